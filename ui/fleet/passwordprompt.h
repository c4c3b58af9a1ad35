#pragma once

#include <QList>
#include <QObject>
#include <QUuid>

class IPCObject;
class SessionTable;
class QWidget;

/**
 * Asks for a device's password when it refuses the one it has, and on an
 * answer stores it and reconnects at once. One prompt per device at a time;
 * the device may go away while its prompt is open.
 */
class PasswordPrompt : public QObject
{
    Q_OBJECT

public:
    /** Devices are looked up in @p sessions; automatic prompts open over @p dialogParent. */
    PasswordPrompt(SessionTable &sessions, QWidget *dialogParent);

    /** Asks now for the password of the device @p uuid, over @p parent. */
    void ask(QUuid uuid, QWidget *parent);
    /** Prompts whenever @p session reports that its password was refused. */
    void watch(IPCObject *session);

private:
    SessionTable &m_sessions;
    QWidget *m_dialogParent;
    QList<QUuid> m_open; // devices whose prompt is open
};
