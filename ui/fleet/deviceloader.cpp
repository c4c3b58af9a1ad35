#include "deviceloader.h"

#include "adddevice.h"
#include "configfile.h"
#include "instancewidget.h"
#include "ipcobject.h"
#include "meters/minimeter.h"
#include "sessiontable.h"
#include "torviksummary.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

const char *const DeviceLoader::DefaultPassword = "tarlin";

namespace {

const QV_EVENT SoundEvents[] = {QV_EVENT_AUDIO_CONNECTION_STARTED, QV_EVENT_AUDIO_CONNECTION_ENDED,
                                QV_EVENT_DEVICE_ONLINE, QV_EVENT_DEVICE_OFFLINE};

} // namespace

DeviceLoader::DeviceLoader(SessionTable &sessions, TorvikSummary &summary, Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
    , m_summary(summary)
    , m_hooks(std::move(hooks))
{
}

void DeviceLoader::destroyPending(const QList<IPCObject *> &sessions)
{
    QList<QPointer<IPCObject>> guarded;
    for (IPCObject *s : sessions)
        guarded.append(s);
    for (const QPointer<IPCObject> &s : guarded) {
        if (s)
            QCoreApplication::sendPostedEvents(s, QEvent::DeferredDelete);
    }
}

void DeviceLoader::removeAll()
{
    const QList<IPCObject *> old = m_sessions.sessions();
    m_summary.removeAllDevices();
    // A session without a tile is managed no more either.
    m_sessions.clear();
    // The old codec is out of the manager and gone before the new one connects.
    destroyPending(old);
}

IPCObject *DeviceLoader::createSession()
{
    IPCObject *session = m_sessions.create(QUuid::createUuid());
    if (!session)
        qWarning("The new device session could not be registered with the network manager.");
    return session;
}

IPCObject *DeviceLoader::load(const AddDevice &dialog)
{
    removeAll();
    IPCObject *session = createSession();
    if (!session)
        return nullptr;

    const QString address = dialog.address();
    const quint16 port = dialog.port();
    session->setAddress(address, port);
    m_summary.selectTile(m_summary.addDeviceView(session)->tileUuid());
    session->setAddressAndConnect(address, port, QString::fromLatin1(DefaultPassword));
    m_summary.layoutTiles();

    // Only sound files that exist replace the defaults.
    for (QV_EVENT event : SoundEvents) {
        const QString path = dialog.soundPath(event);
        if (!path.isEmpty() && QFileInfo(path).isFile())
            session->setAlertSound(event, path);
    }
    m_hooks.save();
    return session;
}

IPCObject *DeviceLoader::loadStored(const ConfigRemote &remote)
{
    IPCObject *session = createSession();
    if (!session)
        return nullptr;
    // Only the flag: the codec hears of it when it is logged in.
    session->setMeteringEnabled(remote.metering);
    for (QV_EVENT event : SoundEvents) {
        const QString path = remote.alertSounds.value(event);
        if (!path.isEmpty())
            session->setAlertSound(event, path);
    }
    session->setEmailAddresses(remote.emailAddresses);
    session->setAddressAndConnect(remote.address, quint16(remote.port), remote.password);

    InstanceWidget *tile = m_summary.addDeviceView(session);
    tile->miniMeter()->hide();
    m_summary.selectTile(tile->tileUuid());
    m_summary.layoutTiles();
    return session;
}
