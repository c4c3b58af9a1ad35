#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QUuid>

class IPCObject;
class IQManager;

/**
 * The program's device sessions by uuid. Sessions are created and registered
 * with the manager through it, and leave it when they are destroyed
 * (remove(), or destroySession() on the session itself).
 */
class SessionTable : public QObject
{
    Q_OBJECT
public:
    explicit SessionTable(IQManager *manager = nullptr, QObject *parent = nullptr);
    /** Destroys every session still in the table. */
    ~SessionTable() override;

    /**
     * A new session for @p uuid (a fresh one when null), registered with the
     * manager and kept here; null when the uuid is in use.
     */
    IPCObject *create(const QUuid &uuid = QUuid());
    /** Keeps a session made elsewhere (already registered); false when its uuid is in use. */
    bool insert(IPCObject *session);
    IPCObject *session(const QUuid &uuid) const { return m_sessions.value(uuid); }
    bool contains(const QUuid &uuid) const { return m_sessions.contains(uuid); }
    int count() const { return m_sessions.size(); }
    QList<QUuid> uuids() const { return m_sessions.keys(); }
    QList<IPCObject *> sessions() const { return m_sessions.values(); }
    const QMap<QUuid, IPCObject *> &map() const { return m_sessions; }

    /** Takes the session out of the table and destroys it. */
    void remove(const QUuid &uuid);
    /** remove() for every session. */
    void clear();

signals:
    void sessionAdded(QUuid uuid);
    void sessionRemoved(QUuid uuid);

private:
    void forget(const QUuid &uuid);

    IQManager *m_manager;
    QMap<QUuid, IPCObject *> m_sessions;
};
