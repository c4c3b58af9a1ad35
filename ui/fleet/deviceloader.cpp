#include "deviceloader.h"

#include "adddevice.h"
#include "ipcobject.h"
#include "passwordprompt.h"
#include "sessiontable.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

const char *const DeviceLoader::DefaultPassword = "tarlin";

DeviceLoader::DeviceLoader(SessionTable &sessions, PasswordPrompt &passwords, Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
    , m_passwords(passwords)
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
    if (m_sessions.count() == 0)
        return;
    m_hooks.select(nullptr);
    const QList<IPCObject *> old = m_sessions.sessions();
    m_sessions.clear();
    // The old codec is out of the manager and gone before the new one connects.
    destroyPending(old);
}

IPCObject *DeviceLoader::load(const AddDevice &dialog)
{
    removeAll();

    IPCObject *session = m_sessions.create(QUuid::createUuid());
    if (!session) {
        qWarning("The new device session could not be registered with the network manager.");
        m_hooks.select(nullptr);
        return nullptr;
    }
    m_passwords.watch(session);

    const QString address = dialog.address();
    const quint16 port = dialog.port();
    session->setAddress(address, port);
    m_hooks.select(session);
    session->setAddressAndConnect(address, port, QString::fromLatin1(DefaultPassword));

    // Only sound files that exist replace the defaults.
    for (QV_EVENT event : {QV_EVENT_AUDIO_CONNECTION_STARTED, QV_EVENT_AUDIO_CONNECTION_ENDED,
                           QV_EVENT_DEVICE_ONLINE, QV_EVENT_DEVICE_OFFLINE}) {
        const QString path = dialog.soundPath(event);
        if (!path.isEmpty() && QFileInfo(path).isFile())
            session->setAlertSound(event, path);
    }
    m_hooks.save();
    return session;
}
