#include "detailspane.h"

#include "connections/statuspanel.h"
#include "fleet/devicestatetext.h"
#include "ipcobject.h"
#include "log/logtab.h"
#include "meters/meterpane.h"
#include "stats/statstab.h"

#include <QLabel>
#include <QStackedWidget>

DetailsPane::DetailsPane(const Parts &parts, QObject *parent)
    : QObject(parent)
    , m_parts(parts)
{
}

void DetailsPane::setSession(IPCObject *session)
{
    if (m_binding.bind(session)) {
        m_stateText.clear();
        if (session) {
            m_binding << connect(session, &IPCObject::changedState, this,
                                 [this](QUuid, IQEndpointClient::DEVICE_STATE state) { showState(state); })
                      << connect(session, &IPCObject::recvPeerList, this, &DetailsPane::peerListReceived)
                      << connect(session, &IPCObject::recvSysOptions, this, &DetailsPane::refreshHeader);
        }
    }
    m_parts.status->setSession(session);
    m_parts.log->setSession(session);
    m_parts.stats->setSession(session);
    m_parts.meters->setSession(session);
    if (!session) {
        m_parts.header->clear();
        m_parts.stack->setCurrentIndex(0);
        return;
    }
    m_parts.stack->setCurrentIndex(1);
    m_stateText = deviceStateText(session->state(), session->activePeerCount(), m_stateText);
    refreshHeader();
    emit refreshed();
}

void DetailsPane::showState(IQEndpointClient::DEVICE_STATE state)
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    m_stateText = deviceStateText(state, session->activePeerCount(), m_stateText);
    const bool ready = state == IQEndpointClient::READY;
    // Everything the device holds has arrived: the one redraw it needs.
    if (ready)
        m_parts.status->refreshAll();
    refreshHeader();
    emit conditionsChanged();
    if (ready)
        emit refreshed();
}

void DetailsPane::peerListReceived()
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    if (session->state() == IQEndpointClient::READY) {
        m_stateText = connectionCountText(session->activePeerCount());
        refreshHeader();
    }
    emit conditionsChanged();
}

void DetailsPane::refreshHeader()
{
    IPCObject *session = m_binding.session();
    if (!session) {
        m_parts.header->clear();
        return;
    }
    QString text = session->unitName() + QStringLiteral(" (") + session->address() + QLatin1Char(':')
                   + QString::number(session->port()) + QLatin1Char(')');
    if (!m_stateText.isEmpty())
        text += QStringLiteral(" - ") + m_stateText;
    m_parts.header->setText(text.trimmed());
}
