#pragma once

#include <QList>
#include <QMetaObject>
#include <QPointer>

class IPCObject;

/**
 * The connections of one pane to the one device session it shows. A pane
 * binds the selected session, connects what it listens to, and drops all of
 * it at once when another session (or none) is bound. Binding the session
 * that is already bound keeps the connections as they are: the pane refreshes
 * but never listens twice.
 *
 * @code
 * if (m_binding.bind(session) && session)
 *     m_binding << connect(session, &IPCObject::recvPeerList, this, &Pane::refill);
 * refill();
 * @endcode
 */
class SessionBinding
{
public:
    SessionBinding() = default;
    ~SessionBinding();
    SessionBinding(const SessionBinding &) = delete;
    SessionBinding &operator=(const SessionBinding &) = delete;

    /**
     * Makes @p session (or none) the bound session. Returns true when it is
     * not the one bound before: the old connections are gone and the caller
     * connects anew. The same session again returns false and changes nothing.
     */
    bool bind(IPCObject *session);
    /** Drops every connection and forgets the session. */
    void unbind();

    /** Keeps @p connection until the session is unbound. */
    SessionBinding &operator<<(const QMetaObject::Connection &connection);

    /** The bound session; null when none is bound or it has been destroyed. */
    IPCObject *session() const;
    /** How many connections are held. */
    int connectionCount() const { return m_connections.size(); }

private:
    void disconnectAll();

    QPointer<IPCObject> m_session;
    QList<QMetaObject::Connection> m_connections;
};
