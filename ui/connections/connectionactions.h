#pragma once

#include "selection.h"

#include <QObject>

#include <functional>

class IPCObject;
class QWidget;
class SessionTable;

/**
 * Starting and ending audio connections: connect a peer with a profile (from
 * the buttons under the lists or from "Connection setup"), end one peer's
 * connection, all of a device's, or all of every ready device's.
 */
class ConnectionActions : public QObject
{
    Q_OBJECT

public:
    /** The device the window shows now (a dialog's answer goes only to the device it was opened for). */
    using CurrentDevice = std::function<IPCObject *()>;

    ConnectionActions(const SessionTable &sessions, CurrentDevice current, QObject *parent = nullptr);

    /**
     * The "Connect" button: connects @p peer with @p profile, assigning the
     * profile first when the peer does not use it. Needs both; false when
     * nothing was sent.
     */
    static bool connectPeer(IPCObject *session, const SelectedPeer &peer, const SelectedProfile &profile);
    /**
     * "Connect" in the tile menu: "Connection setup" for @p session; on OK
     * (a peer and a profile chosen, the device still shown) connects them.
     */
    bool showConnectDialog(IPCObject *session, QWidget *parent);
    /** The "Disconnect" button: ends the selected peer's connection. */
    static bool disconnectPeer(IPCObject *session, const SelectedPeer &peer);
    /** "Disconnect this peer" of the statistics table: ends the connection of peer @p peerId. */
    static bool disconnectPeerById(IPCObject *session, int peerId);
    /** "Disconnect All": every connection of @p session. */
    static bool disconnectAll(IPCObject *session);
    /** "Fleet Disconnect All": every connection of every READY device; returns how many were asked. */
    int disconnectAllFleet() const;

private:
    const SessionTable &m_sessions;
    CurrentDevice m_current;
};
