#include "sessionbinding.h"

#include "ipcobject.h"

SessionBinding::~SessionBinding()
{
    disconnectAll();
}

bool SessionBinding::bind(IPCObject *session)
{
    // QPointer: a new session at the address of a destroyed one is still new.
    if (session && session == m_session.data())
        return false;
    // A destroyed session reads as none, but its connections are still held.
    const bool changed = session != m_session.data() || !m_connections.isEmpty();
    disconnectAll();
    m_session = session;
    return changed;
}

IPCObject *SessionBinding::session() const
{
    return m_session.data();
}

void SessionBinding::unbind()
{
    disconnectAll();
    m_session = nullptr;
}

SessionBinding &SessionBinding::operator<<(const QMetaObject::Connection &connection)
{
    if (connection)
        m_connections.append(connection);
    return *this;
}

void SessionBinding::disconnectAll()
{
    for (const QMetaObject::Connection &c : qAsConst(m_connections))
        QObject::disconnect(c);
    m_connections.clear();
}
