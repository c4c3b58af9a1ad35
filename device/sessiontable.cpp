#include "sessiontable.h"

#include "ipcobject.h"

SessionTable::SessionTable(IQManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
{
}

SessionTable::~SessionTable()
{
    // Sessions go through deferred deletion; out of the table and the
    // manager now, deleted by the event loop (or with the application).
    const QList<IPCObject *> all = m_sessions.values();
    m_sessions.clear();
    for (IPCObject *s : all) {
        disconnect(s, nullptr, this, nullptr);
        s->destroySession();
    }
}

IPCObject *SessionTable::create(const QUuid &requested)
{
    const QUuid uuid = requested.isNull() ? QUuid::createUuid() : requested;
    if (m_sessions.contains(uuid))
        return nullptr;
    IPCObject *session = IPCObject::create(uuid, m_manager);
    if (!session)
        return nullptr;
    insert(session);
    return session;
}

bool SessionTable::insert(IPCObject *session)
{
    const QUuid uuid = session->uuid();
    if (m_sessions.contains(uuid))
        return false;
    m_sessions.insert(uuid, session);
    // A session destroyed by itself leaves the table too.
    connect(session, &QObject::destroyed, this, [this, uuid] { forget(uuid); });
    emit sessionAdded(uuid);
    return true;
}

void SessionTable::remove(const QUuid &uuid)
{
    IPCObject *session = m_sessions.value(uuid);
    if (!session)
        return;
    forget(uuid);
    session->destroySession();
}

void SessionTable::clear()
{
    const QList<QUuid> all = m_sessions.keys();
    for (const QUuid &uuid : all)
        remove(uuid);
}

void SessionTable::forget(const QUuid &uuid)
{
    if (m_sessions.remove(uuid))
        emit sessionRemoved(uuid);
}
