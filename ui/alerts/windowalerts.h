#pragma once

#include "alertswitches.h"
#include "mailserversettings.h"

#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>

class AlertMailer;
class DeviceEventHandler;
class IPCObject;
class QAction;
class QWidget;
class SessionTable;
class SoundPlayer;

/**
 * The window's alerts: one event handler hearing every session of the
 * table, its mailer, and the three switches mirrored from their checkable
 * actions (the window calls actionsChanged() when one changes). A switch the
 * operator changes is saved at once; the dialogs of the alert menus run
 * through AlertFlows and save too.
 */
class WindowAlerts : public QObject
{
    Q_OBJECT

public:
    /** The checkable actions that show the switches (owned by the window). */
    struct Actions {
        QAction *connectionAlerts = nullptr; ///< "Play Connection Alerts"
        QAction *defaultSounds = nullptr;    ///< "Enable the Default Alert Sounds"
        QAction *alertEmails = nullptr;      ///< "Enable Alert Emails"
    };
    using Save = std::function<void()>;

    /** Hears every session @p sessions gains from now on; @p save stores the configuration. */
    WindowAlerts(SessionTable &sessions, const Actions &actions, Save save, QObject *parent = nullptr);
    ~WindowAlerts() override;

    const AlertSwitches &switches() const { return m_switches; }
    /** Sets the switches and their actions, without saving (a loaded configuration). */
    void setSwitches(const AlertSwitches &switches);
    const MailServerSettings &mailServer() const { return m_mail; }
    /** The server alert e-mails go through, without saving. */
    void setMailServer(const MailServerSettings &mail);

    DeviceEventHandler &events() const { return *m_events; }
    AlertMailer &mailer() const { return *m_mailer; }
    /** Plays through @p player (not owned) from now on (tests; a window without sound). */
    void setSoundPlayer(SoundPlayer *player);

public slots:
    /** One of the three actions changed: the switches follow them and are saved. */
    void actionsChanged();
    /** "Set Alert Sounds..." for @p device. */
    bool chooseSounds(IPCObject *device, QWidget *parent);
    /** "Assign Email Addresses..." over every device of the table. */
    bool assignEmailAddresses(QWidget *parent);
    /** "Manage alert addresses" of @p device. */
    bool manageEmailAddresses(IPCObject *device, QWidget *parent);
    /** "Mail Server...". */
    bool editMailServer(QWidget *parent);

signals:
    /** An alert e-mail could not be delivered: a line for the status bar. */
    void mailFailed(const QString &message);

private:
    void sessionAdded(QUuid uuid);
    void showSwitches();

    SessionTable &m_sessions;
    Actions m_actions;
    Save m_save;
    AlertSwitches m_switches;
    MailServerSettings m_mail;
    AlertMailer *m_mailer;
    DeviceEventHandler *m_events;
};
