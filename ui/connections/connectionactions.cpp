#include "connectionactions.h"

#include "connectdialog.h"
#include "ipcobject.h"
#include "sessiontable.h"

#include <QPointer>

ConnectionActions::ConnectionActions(const SessionTable &sessions, CurrentDevice current, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
    , m_current(std::move(current))
{
}

bool ConnectionActions::connectPeer(IPCObject *session, const SelectedPeer &peer, const SelectedProfile &profile)
{
    if (!session || !peer.isValid() || !profile.isValid())
        return false;
    return session->connectPeer(peer.id, profile.id);
}

bool ConnectionActions::showConnectDialog(IPCObject *session, QWidget *parent)
{
    if (!session)
        return false;
    QPointer<IPCObject> target(session);
    ConnectionDialog dialog(session, parent);
    if (dialog.exec() != QDialog::Accepted || !target || (m_current && m_current() != target))
        return false;
    const QString peerId = dialog.selectedPeerId();
    const QString profileId = dialog.selectedProfileId();
    if (peerId.isEmpty() || profileId.isEmpty())
        return false;
    return target->connectPeer(peerId, profileId);
}

bool ConnectionActions::disconnectPeer(IPCObject *session, const SelectedPeer &peer)
{
    int id = 0;
    if (!session || !peer.numericId(id))
        return false;
    session->disconnectPeer(id);
    return true;
}

bool ConnectionActions::disconnectPeerById(IPCObject *session, int peerId)
{
    if (!session)
        return false;
    session->disconnectPeer(peerId);
    return true;
}

bool ConnectionActions::disconnectAll(IPCObject *session)
{
    if (!session)
        return false;
    session->disconnectAll();
    return true;
}

int ConnectionActions::disconnectAllFleet() const
{
    int asked = 0;
    // A device that is not logged in would only queue the request for later.
    for (IPCObject *s : m_sessions.sessions()) {
        if (s && s->state() == IQEndpointClient::READY) {
            s->disconnectAll();
            ++asked;
        }
    }
    return asked;
}
