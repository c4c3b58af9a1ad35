#include "torvikstatrow.h"

#include "common/sharedicons.h"
#include "ipcobject.h"
#include "meters/minimeter.h"
#include "stats/statsrows.h"

#include <QTreeWidget>

namespace {

// The summary's words for a state; READY and AUTHENTICATED wait for the peer list.
QString rowStateText(IQEndpointClient::DEVICE_STATE state, const QString &previous)
{
    switch (state) {
    case IQEndpointClient::DISCONNECTED:
        return QStringLiteral("Not connected");
    case IQEndpointClient::CONNECTING:
        return QStringLiteral("Connecting");
    case IQEndpointClient::CONNECTED:
        return QStringLiteral("Logging in");
    case IQEndpointClient::CODE_UPLOAD:
        return QStringLiteral("Device is about to update");
    case IQEndpointClient::CODE_UPDATE:
        return QStringLiteral("Device is updating firmware");
    case IQEndpointClient::TIMED_OUT:
        return QStringLiteral("Timed out");
    case IQEndpointClient::AUTH_FAILED:
        return QStringLiteral("Wrong Password");
    default:
        return previous;
    }
}

const QIcon *rowStateIcon(IQEndpointClient::DEVICE_STATE state)
{
    switch (state) {
    case IQEndpointClient::AUTHENTICATED:
    case IQEndpointClient::READY:
        return &SharedIcons::icon(SharedIcons::GreenCheck);
    case IQEndpointClient::AUTH_FAILED:
        return &SharedIcons::icon(SharedIcons::Key);
    case IQEndpointClient::TIMED_OUT:
    case IQEndpointClient::DISCONNECTED:
        return &SharedIcons::icon(SharedIcons::RedX);
    default:
        return nullptr;
    }
}

} // namespace

TorvikStatRow::TorvikStatRow(IPCObject *session, const QUuid &tileUuid, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_item(new QTreeWidgetItem)
    , m_uuid(tileUuid)
{
    m_item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled);
    m_item->setText(Status, QStringLiteral("Not connected"));
    if (!session)
        return;
    m_item->setText(Name, session->unitName());
    m_item->setText(Address, session->address());
    connect(session, &IPCObject::recvSysOptions, this, &TorvikStatRow::ipcRecvSysOptions);
    connect(session, &IPCObject::changedState, this, &TorvikStatRow::ipcChangedState);
    connect(session, &IPCObject::recvPeerList, this, &TorvikStatRow::ipcRecvPeerList);
    connect(session, &IPCObject::recvChannelStats, this, &TorvikStatRow::updateStats);
    connect(session, &IQEndpointClient::cnxn_timed_out, this, [this] {
        m_shown.timedOut();
        if (m_session)
            ipcChangedState(m_session->uuid(), IQEndpointClient::TIMED_OUT);
    });
}

TorvikStatRow::~TorvikStatRow()
{
    delete m_item;
}

IPCObject *TorvikStatRow::session() const
{
    return m_session.data();
}

MiniMeter *TorvikStatRow::meter() const
{
    return m_meter.data();
}

void TorvikStatRow::showMeter()
{
    QTreeWidget *tree = m_item->treeWidget();
    if (m_meter || !tree || !m_session)
        return;
    // Made in the viewport that will hold it: moved there, it would be styled twice.
    m_meter = new MiniMeter(tree->viewport());
    connect(m_session, &IPCObject::recvLevels, m_meter, &MiniMeter::levels);
    connect(m_meter, &QObject::destroyed, this, &TorvikStatRow::meterDestroyed);
    tree->setItemWidget(m_item, Levels, m_meter);
}

void TorvikStatRow::hideMeter()
{
    if (QTreeWidget *tree = m_item->treeWidget())
        tree->removeItemWidget(m_item, Levels);
    delete m_meter.data();
}

void TorvikStatRow::meterDestroyed()
{
    m_meter = nullptr;
}

void TorvikStatRow::ipcRecvSysOptions(QUuid)
{
    if (!m_session)
        return;
    m_item->setText(Name, m_session->unitName());
    m_item->setText(Address, m_session->address());
}

void TorvikStatRow::ipcChangedState(QUuid, IQEndpointClient::DEVICE_STATE reported)
{
    const IQEndpointClient::DEVICE_STATE state = m_shown.shown(reported);
    m_item->setText(Status, rowStateText(state, m_item->text(Status)));
    if (const QIcon *icon = rowStateIcon(state))
        m_item->setIcon(Status, *icon);
}

void TorvikStatRow::ipcRecvPeerList(QUuid)
{
    if (!m_session)
        return;
    const QList<PeerMetaPtr> &active = m_session->activePeers();
    m_item->setText(Status, connectionCountText(active.size()));
    m_item->setText(Connections, active.isEmpty() ? QString() : active.first()->name);
}

void TorvikStatRow::updateStats(QUuid)
{
    if (!m_session || m_session->receivingPeerId().isEmpty())
        return;
    const std::optional<QStringList> texts =
        StatsRows::receivingColumns(m_session->receivingPeerId(), m_session->peersById(), m_session->peerStatsById(),
                                    m_session->channelStatsById());
    if (!texts)
        qDebug("XXX peerinfo/channelinfo missing");
    for (int column = FrameLoss; column <= Duration; ++column)
        m_item->setText(column, texts ? texts->at(column - FrameLoss) : QString());
}
