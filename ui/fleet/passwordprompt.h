#pragma once

#include <QList>
#include <QObject>
#include <QUuid>

class SessionTable;
class QWidget;

/**
 * Asks for a device's password (its tile does when the device refuses the
 * one it has; "Input Password..." on the operator's command), and on an
 * answer stores it and reconnects at once. One prompt per device at a time;
 * the device may go away while its prompt is open.
 */
class PasswordPrompt : public QObject
{
    Q_OBJECT

public:
    /** Devices are looked up in @p sessions. */
    PasswordPrompt(SessionTable &sessions, QObject *parent = nullptr);

    /** Asks now for the password of the device @p uuid, over @p parent. */
    void ask(QUuid uuid, QWidget *parent);

signals:
    /** The device @p uuid was given a new password and reconnects with it. */
    void passwordChanged(QUuid uuid);

private:
    SessionTable &m_sessions;
    QList<QUuid> m_open; // devices whose prompt is open
};
