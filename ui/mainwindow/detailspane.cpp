#include "detailspane.h"

#include "connections/connectionstab.h"
#include "enablerules.h"
#include "ipcobject.h"
#include "weftline/weftlinestats.h"

#include <QLabel>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>

DetailsPane::DetailsPane(const Parts &parts, QObject *parent)
    : QObject(parent)
    , m_parts(parts)
    , m_panes(parts.pages)
{
    connect(&m_panes, &TabPanes::built, this, [this] {
        connect(&m_panes.weftline(), &WeftlineStats::statusChanged, this, &DetailsPane::showWeftlineStatus);
        showWeftlineStatus(m_panes.weftline().status());
    });
    // What a tunnel view without a device shows.
    showWeftlineStatus(WeftlineStats::noTunnelStatus());
}

void DetailsPane::setSession(IPCObject *session)
{
    if (m_binding.bind(session)) {
        m_stateText.clear();
        m_shown = ShownState();
        if (session) {
            m_binding << connect(session, &IPCObject::changedState, this,
                                 [this](QUuid, IQEndpointClient::DEVICE_STATE state) { showState(state); })
                      // Reported apart from the states, just before DISCONNECTED.
                      << connect(session, &IQEndpointClient::cnxn_timed_out, this,
                                 [this] { showState(IQEndpointClient::TIMED_OUT); })
                      << connect(session, &IPCObject::recvPeerList, this, &DetailsPane::peerListReceived)
                      << connect(session, &IPCObject::recvSysOptions, this, &DetailsPane::refreshHeader);
        }
    }
    m_parts.connections->setSession(session);
    m_panes.setSession(session);
    if (!session) {
        m_parts.header->clear();
        m_parts.stack->setCurrentIndex(0);
        return;
    }
    m_parts.stack->setCurrentIndex(1);
    m_stateText = deviceStateText(m_shown.shown(session->state()), session->activePeerCount(), m_stateText);
    refreshHeader();
    emit refreshed();
}

void DetailsPane::showState(IQEndpointClient::DEVICE_STATE reported)
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    // "Timed Out" stays until the device is tried again.
    const IQEndpointClient::DEVICE_STATE state = m_shown.shown(reported);
    m_stateText = deviceStateText(state, session->activePeerCount(), m_stateText);
    const bool ready = state == IQEndpointClient::READY;
    refreshHeader();
    emit conditionsChanged();
    // Everything the device holds has arrived: the one redraw it needs.
    if (ready) {
        m_parts.connections->setSession(session);
        emit refreshed();
    }
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

EnableFacts DetailsPane::facts() const
{
    EnableFacts f;
    IPCObject *s = session();
    if (!s)
        return f;
    const IQEndpointClient::DEVICE_STATE state = s->state();
    f.device = true;
    f.ready = state == IQEndpointClient::READY;
    f.metering = s->meteringEnabled();
    f.versioned = s->isVersioned();
    f.connections = f.ready && s->activePeerCount() > 0;
    f.passwordRefused = state == IQEndpointClient::AUTH_FAILED;

    const SelectedProfile profile = m_parts.connections->selectedProfile();
    f.profile = profile.isValid();
    f.profileNotEditable = f.profile && profile.factory;
    const SelectedPeer peer = m_parts.connections->selectedPeer();
    f.peer = peer.isValid();
    int id = -1;
    // Incoming connections ("-" in the id) and directory peers are no address-book entries.
    f.peerEditable = f.peer && !peer.directory && peer.numericId(id) && id >= 0;
    f.peerConnected = f.peer && peer.active;
    f.statsRow = m_panes.hasCurrentStatsRow();
    return f;
}

void DetailsPane::applyEnables(const Enables &e)
{
    m_parts.connections->setListsEnabled(e.lists);
    m_parts.connections->setButtonsEnabled(e.connectButton, e.disconnectButton);
    m_panes.setEnabled(e.ready, e.connections);

    QTabWidget *tabs = m_parts.pages.tabs;
    tabs->setTabEnabled(tabs->indexOf(m_parts.pages.weftline), e.weftlineTab);
    const int meters = tabs->indexOf(m_parts.pages.meters);
    tabs->setTabEnabled(meters, e.meterTab);
    tabs->setTabVisible(meters, e.meterTabVisible);
}

QColor DetailsPane::weftlineTabColour(const QString &status)
{
    // Darker than the named colours: the text sits on a light tab.
    if (status == QLatin1String("green"))
        return QColor(0, 128, 0);
    if (status == QLatin1String("yellow"))
        return QColor(176, 144, 0);
    if (status == QLatin1String("red"))
        return QColor(200, 0, 0);
    // No tunnel: the tab's own colour (grey would read as disabled).
    return QColor();
}

void DetailsPane::showWeftlineStatus(const QString &status)
{
    QTabWidget *tabs = m_parts.pages.tabs;
    tabs->tabBar()->setTabTextColor(tabs->indexOf(m_parts.pages.weftline), weftlineTabColour(status));
}
