#include "peeractions.h"

#include "copytodevicesdialog.h"
#include "ipcobject.h"
#include "qtmessage.h"

#include <QPointer>

PeerActions::PeerActions(const SessionTable &sessions, CurrentDevice current, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
    , m_current(std::move(current))
{
}

bool PeerActions::stillShown(IPCObject *session) const
{
    return session && (!m_current || m_current() == session);
}

bool PeerActions::addPeer(IPCObject *session, QWidget *parent)
{
    if (!session)
        return false;
    QPointer<IPCObject> target(session);
    AddEntry dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Add a remote Peer"));
    if (!session->isVersioned())
        dialog.disableWeftline();
    if (dialog.exec() != QDialog::Accepted || !stillShown(target))
        return false;
    const AddEntry::Values v = dialog.values();
    if (dialog.weftlineAvailable() && v.weftline)
        target->addPeer(v.name, v.addr, v.password, v.unit);
    else
        target->addPeer(v.name, v.addr, v.password);
    return true;
}

bool PeerActions::editPeer(IPCObject *session, const SelectedPeer &peer, QWidget *parent)
{
    int id = 0;
    if (!session || peer.directory || !peer.numericId(id))
        return false;
    const PeerMetaPtr record = session->peersById().value(id);
    if (!record)
        return false;
    QPointer<IPCObject> target(session);
    AddEntry dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Edit peer"));
    dialog.fill(*record);
    if (!session->isVersioned())
        dialog.disableWeftline();
    if (dialog.exec() != QDialog::Accepted || !stillShown(target))
        return false;
    target->sendCommand(editRequest(id, dialog.values()));
    return true;
}

Message PeerActions::editRequest(int id, const AddEntry::Values &v)
{
    Message m("setPeerSettings");
    m.set_int("id", id);
    set_qstring(m, "addr", v.addr);
    set_qstring(m, "name", v.name);
    set_qstring(m, "password", v.password);
    set_qstring(m, "unit", v.unit);
    m.set_bool("weftline", v.weftline);
    return m;
}

bool PeerActions::removePeer(IPCObject *session, const SelectedPeer &peer)
{
    int id = 0;
    // Incoming connections and directory entries are not the address book's to remove.
    if (!session || peer.directory || !peer.numericId(id) || id < 0)
        return false;
    session->removePeer(id);
    return true;
}

int PeerActions::copyToDevices(IPCObject *session, const SelectedPeer &peer, QWidget *parent)
{
    // A directory entry is the directory server's, not an address-book entry to copy.
    if (!session || !peer.isValid() || peer.directory)
        return 0;
    Message entry;
    if (!session->findPeer(peer.id, entry))
        return 0;
    const QList<IPCObject *> chosen = SendDialog::choose(m_sessions, session, parent);
    for (IPCObject *device : chosen)
        device->copyPeer(entry);
    return chosen.size();
}
