#pragma once

#include "alerts/alertswitches.h"
#include "configfile.h"

#include <QObject>
#include <QPointer>

#include <functional>

class DeviceLoader;
class QWidget;
class TorvikSummary;

/**
 * The window's side of "pn-config.xml": loading applies the file to the
 * window (geometry, alert switches), the summary (the stored device) and the
 * mail server settings; saving gathers them again. A file that cannot be
 * read or written is reported in the "Load Configuration" or "Save
 * Configuration" box; the mail server settings are kept as read.
 */
class ConfigurationStore : public QObject
{
    Q_OBJECT

public:
    /** What the store asks of its window. */
    struct Hooks {
        std::function<AlertSwitches()> switches;               ///< the window's alert switches
        std::function<void(const AlertSwitches &)> setSwitches; ///< sets them and the actions showing them
    };

    ConfigurationStore(QWidget *window, TorvikSummary &summary, DeviceLoader &loader, Hooks hooks,
                       QObject *parent = nullptr);

    /** The configuration file's path (in the application data folder). */
    static QString path();

    /** Loads the file; whether it existed. A file that cannot be loaded leaves everything as it is. */
    bool load();
    /** Writes what the window holds now; false (after the warning box) when it could not. */
    bool save();
    /** What save() writes now. */
    ConfigSettings current() const;

    const MailServerSettings &mailServer() const { return m_mail; }
    /** Kept for the next save. */
    void setMailServer(const MailServerSettings &mail) { m_mail = mail; }

signals:
    /** The file was written. */
    void saved();

private:
    void apply(const ConfigWindow &window);

    QPointer<QWidget> m_window;
    TorvikSummary &m_summary;
    DeviceLoader &m_loader;
    Hooks m_hooks;
    MailServerSettings m_mail;
};
