#pragma once

#include "alertsoundfiles.h"
#include "alertswitches.h"
#include "qvevent.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class AlertMailer;
class IPCObject;
class SoundPlayer;

/**
 * Decides what a device event sounds like, and hands it to the mailer while
 * alert e-mails are on. Every session's deviceEvent() is connected to
 * handleEvent(); the window gives it its switches whenever they change.
 */
class DeviceEventHandler : public QObject
{
    Q_OBJECT

public:
    /** Plays through @p player (not owned); without one, through Qt Multimedia. */
    explicit DeviceEventHandler(SoundPlayer *player = nullptr, QObject *parent = nullptr);
    ~DeviceEventHandler() override;

    /** Plays through @p player (not owned) from now on; null: through Qt Multimedia. */
    void setPlayer(SoundPlayer *player);
    void setSwitches(const AlertSwitches &switches) { m_switches = switches; }
    const AlertSwitches &switches() const { return m_switches; }
    void setSoundFiles(const AlertSoundFiles &files) { m_files = files; }
    const AlertSoundFiles &soundFiles() const { return m_files; }
    /** Where events go while alert e-mails are on (not owned; none: no mail). */
    void setMailer(AlertMailer *mailer);

    /**
     * The file to play for @p event when the device's path for it is
     * @p devicePath: nothing while alerts are off or for "mute"; the device's
     * file when it has one (nothing when it is missing); otherwise the
     * built-in default, when defaults are allowed and the event has one.
     * Empty: play nothing.
     */
    static QString soundToPlay(const QString &devicePath, QV_EVENT event, const AlertSwitches &switches,
                               const AlertSoundFiles &files);

public slots:
    void handleEvent(IPCObject *device, QV_EVENT event);

private:
    std::unique_ptr<SoundPlayer> m_ownPlayer;
    SoundPlayer *m_player = nullptr;
    AlertSwitches m_switches;
    AlertSoundFiles m_files;
    QPointer<AlertMailer> m_mailer;
};
