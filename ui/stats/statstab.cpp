#include "statstab.h"

#include "common/itemroles.h"
#include "common/legendcolours.h"
#include "ipcobject.h"
#include "statsrows.h"
#include "ui_statstab.h"

#include <QHeaderView>
#include <QTableWidget>

StatsTab::StatsTab(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::StatsTab)
{
    m_ui->setupUi(this);
    setUpTable();

    // The labels double as the graphs' legends.
    using namespace LegendColours;
    m_ui->targetLabel->setStyleSheet(Target.labelStyleSheet());
    m_ui->jitterLabel->setStyleSheet(Jitter.labelStyleSheet());
    m_ui->delayLabel->setStyleSheet(Delay.labelStyleSheet());
    m_ui->correctionLabel->setStyleSheet(Correction.labelStyleSheet());
    m_ui->remoteLossLabel->setStyleSheet(RemoteLoss.labelStyleSheet());
    m_ui->frameLossLabel->setStyleSheet(FrameLoss.labelStyleSheet());

    connect(m_ui->statsTable, &QTableWidget::currentItemChanged, this, &StatsTab::activePeerSelectionChanged);
}

StatsTab::~StatsTab()
{
    delete m_ui;
}

void StatsTab::setUpTable()
{
    QTableWidget *table = m_ui->statsTable;
    const QStringList headers = StatsRows::tableHeaders();
    table->setColumnCount(headers.size());
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[] = {85, 55, 88, 58, 58, 80, 55, 70, 70};
    for (int column = 1; column <= 9; ++column)
        table->setColumnWidth(column, widths[column - 1]);
    widenToFit();
    table->setAlternatingRowColors(true);
    // A selected row would set every header in bold, wider than its column.
    table->horizontalHeader()->setHighlightSections(false);
    table->verticalHeader()->hide();
}

QTableWidget *StatsTab::table() const
{
    return m_ui->statsTable;
}

DelayGraph *StatsTab::delayGraph() const
{
    return m_ui->delayGraph;
}

LossGraph *StatsTab::lossGraph() const
{
    return m_ui->lossGraph;
}

void StatsTab::setSession(IPCObject *session)
{
    if (m_binding.bind(session)) {
        m_ui->delayGraph->setData(session ? &session->delayGraphData() : nullptr);
        m_ui->lossGraph->setData(session ? &session->lossGraphData() : nullptr);
        if (session) {
            m_binding << connect(session, &IPCObject::recvChannelStats, this, &StatsTab::updateStatsTable)
                      << connect(session, &IPCObject::changedState, this,
                                 [this](QUuid, IQEndpointClient::DEVICE_STATE state) { showState(state); });
        }
        // Another device: no row of the one before stays current.
        m_ui->statsTable->setRowCount(0);
    }
    showState(session ? session->state() : IQEndpointClient::DISCONNECTED);
    updateStatsTable();
}

void StatsTab::showState(IQEndpointClient::DEVICE_STATE state)
{
    if (state == IQEndpointClient::READY) {
        m_ui->delayGraph->enable();
        m_ui->lossGraph->enable();
    } else {
        m_ui->delayGraph->disable();
        m_ui->lossGraph->disable();
    }
}

std::optional<int> StatsTab::selectedPeerId() const
{
    const QTableWidgetItem *current = m_ui->statsTable->currentItem();
    if (!current)
        return std::nullopt;
    return current->data(ItemRoles::StatsPeerId).toInt();
}

void StatsTab::updateStatsTable()
{
    QTableWidget *table = m_ui->statsTable;
    const QTableWidgetItem *current = table->currentItem();
    const bool hadCurrent = current != nullptr;
    const int currentChannel = hadCurrent ? current->data(ItemRoles::ChannelIndex).toInt() : 0;

    IPCObject *session = m_binding.session();
    const QList<StatsRows::Row> rows =
        session ? StatsRows::tableRows(session->activePeers(), session->peerStatsById(), session->channelStatsById())
                : QList<StatsRows::Row>();

    // Refilled quietly: the current row is put back below, once.
    const QSignalBlocker quiet(table);
    table->setRowCount(0);
    table->setRowCount(rows.size());
    int restored = -1;
    for (int r = 0; r < rows.size(); ++r) {
        const StatsRows::Row &row = rows.at(r);
        for (int column = 0; column < row.texts.size(); ++column) {
            auto *item = new QTableWidgetItem(row.texts.at(column));
            item->setData(ItemRoles::ChannelIndex, row.channel);
            item->setData(ItemRoles::StatsPeerId, row.peerId);
            table->setItem(r, column, item);
        }
        if (hadCurrent && row.channel == currentChannel)
            restored = r;
    }
    if (restored < 0 && !hadCurrent && !rows.isEmpty())
        restored = 0;
    if (restored >= 0) {
        table->setCurrentCell(restored, 0);
        showPeer(rows.at(restored).peerId);
    }
    widenToFit();
    table->viewport()->update();
}

void StatsTab::widenToFit()
{
    // The designed widths are the least a column gets: texts in this
    // platform's font may need more, and a column never narrows again.
    QTableWidget *table = m_ui->statsTable;
    const QAbstractItemView *view = table;
    for (int column = 1; column < table->columnCount(); ++column) {
        const int needed = qMax(table->horizontalHeader()->sectionSizeHint(column), view->sizeHintForColumn(column));
        if (needed > table->columnWidth(column))
            table->setColumnWidth(column, needed);
    }
}

void StatsTab::activePeerSelectionChanged(QTableWidgetItem *current, QTableWidgetItem *)
{
    if (current)
        showPeer(current->data(ItemRoles::StatsPeerId).toInt());
}

void StatsTab::showPeer(int peerId)
{
    IPCObject *session = m_binding.session();
    if (!session)
        return;
    session->delayGraphData().setCurrentKey(peerId);
    session->lossGraphData().setCurrentKey(peerId);
}
