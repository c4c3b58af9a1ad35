#include "deviceeventhandler.h"

#include "alertmailer.h"
#include "ipcobject.h"
#include "soundplayer.h"

DeviceEventHandler::DeviceEventHandler(SoundPlayer *player, QObject *parent)
    : QObject(parent)
{
    setPlayer(player);
}

void DeviceEventHandler::setPlayer(SoundPlayer *player)
{
    m_player = player;
    if (!m_player) {
        if (!m_ownPlayer)
            m_ownPlayer = std::make_unique<QSoundPlayer>();
        m_player = m_ownPlayer.get();
    }
}

DeviceEventHandler::~DeviceEventHandler() = default;

void DeviceEventHandler::setMailer(AlertMailer *mailer)
{
    m_mailer = mailer;
}

QString DeviceEventHandler::soundToPlay(const QString &devicePath, QV_EVENT event, const AlertSwitches &switches,
                                        const AlertSoundFiles &files)
{
    if (!switches.connectionAlerts)
        return QString();
    if (!devicePath.isEmpty()) {
        if (devicePath == QLatin1String("mute"))
            return QString();
        // A chosen file that has gone is skipped silently, without the default.
        return files.resolve(devicePath);
    }
    if (!switches.defaultSounds)
        return QString();
    return files.resolve(AlertSoundFiles::defaultSound(event));
}

void DeviceEventHandler::handleEvent(IPCObject *device, QV_EVENT event)
{
    if (!device)
        return;
    const QString file = soundToPlay(device->alertSound(event), event, m_switches, m_files);
    if (!file.isEmpty())
        m_player->play(file);
    if (m_switches.alertEmails && m_mailer)
        m_mailer->alert(device, event);
}
