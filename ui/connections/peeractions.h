#pragma once

#include "addentrydialog.h"
#include "selection.h"

#include <QObject>

#include <functional>

class IPCObject;
class Message;
class QWidget;
class SessionTable;

/**
 * What the operator does to a device's address book: add, edit, remove an
 * entry and copy it to other devices. Each is a request to the device; the
 * peer tree redraws from the list the device pushes back.
 */
class PeerActions : public QObject
{
    Q_OBJECT

public:
    /** The device the window shows now (a dialog's answer goes only to the device it was opened for). */
    using CurrentDevice = std::function<IPCObject *()>;

    PeerActions(const SessionTable &sessions, CurrentDevice current, QObject *parent = nullptr);

    /**
     * "Add Peer...": the entry dialog; on OK, if @p session is still the
     * shown device, "addPeer" (the tunnel form when the tunnel controls were
     * available and "Use Weftline" is checked). False when nothing was sent.
     */
    bool addPeer(IPCObject *session, QWidget *parent);
    /**
     * "Edit Peer": the entry dialog filled from the entry @p peer; on OK
     * "setPeerSettings" with every value of the dialog. Nothing for a peer
     * the device does not list. False when nothing was sent.
     */
    bool editPeer(IPCObject *session, const SelectedPeer &peer, QWidget *parent);
    /** "Remove Peer": "removePeer" with the entry's id, at once. */
    static bool removePeer(IPCObject *session, const SelectedPeer &peer);
    /**
     * "Copy Peer to...": the copy dialog over every other device; each chosen
     * one gets the entry as the device holds it. Returns how many got it.
     */
    int copyToDevices(IPCObject *session, const SelectedPeer &peer, QWidget *parent);

    /** The edit request: "setPeerSettings" without seq, id as a number, the four texts and the tunnel flag. */
    static Message editRequest(int id, const AddEntry::Values &values);

private:
    bool stillShown(IPCObject *session) const;

    const SessionTable &m_sessions;
    CurrentDevice m_current;
};
