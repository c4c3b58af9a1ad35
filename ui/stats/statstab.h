#pragma once

#include "common/sessionbinding.h"
#include "iqendpointclient.h"

#include <QWidget>

#include <optional>

class DelayGraph;
class IPCObject;
class LossGraph;
class QTableWidget;
class QTableWidgetItem;

namespace Ui {
class StatsTab;
}

/**
 * The "Statistics" tab: the selected device's receive delay and frame loss
 * graphs with their legends, and the statistics table of its live
 * connections. The table's current row chooses whose series the graphs
 * draw.
 */
class StatsTab : public QWidget
{
    Q_OBJECT

public:
    explicit StatsTab(QWidget *parent = nullptr);
    ~StatsTab() override;

    /** Shows @p session (or none); the same session again only refills the table. */
    void setSession(IPCObject *session);

    QTableWidget *table() const;
    DelayGraph *delayGraph() const;
    LossGraph *lossGraph() const;
    /** The peer of the table's current row, if a row is current. */
    std::optional<int> selectedPeerId() const;

public slots:
    /** Rebuilds the table from the session's statistics, keeping the current row. */
    void updateStatsTable();
    /** The graphs draw the series of the current row's peer. */
    void activePeerSelectionChanged(QTableWidgetItem *current, QTableWidgetItem *previous);
    /** The graphs draw only while the device is ready. */
    void showState(IQEndpointClient::DEVICE_STATE state);

private:
    void setUpTable();
    void widenToFit();
    void showPeer(int peerId);

    Ui::StatsTab *m_ui;
    SessionBinding m_binding;
};
