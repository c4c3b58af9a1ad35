#pragma once

#include "common/deviceactions.h"

#include <QList>
#include <QMap>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class InstanceWidget;
class IPCObject;
class PasswordPrompt;
class QGridLayout;
class QTreeWidget;
class QTreeWidgetItem;
class SessionTable;
class TorvikStatRow;

namespace Ui {
class TorvikSummary;
}

/**
 * The fleet overview: one tile per device in a two-column grid (page 0) and
 * one row per device in the summary tree (page 1). It owns the list of
 * devices as the user sees it and which one is selected. Hidden by the
 * single-device presentation, it still does all of this for the one device.
 */
class TorvikSummary : public QWidget
{
    Q_OBJECT

public:
    explicit TorvikSummary(QWidget *parent = nullptr);
    /** Releases the summary's shared icons; never saves anything. */
    ~TorvikSummary() override;

    /** Where removed devices' sessions are taken out of (none: they are only torn down). */
    void setSessionTable(SessionTable *sessions) { m_sessions = sessions; }
    /** The device menu of tiles and rows (actions owned by the window). */
    void setDeviceActions(const DeviceActions &actions);
    /** Where tiles ask again for a refused password. */
    void setPasswordPrompt(PasswordPrompt *prompt);

    /** A tile and a summary row for @p session; the tile is returned (not laid out yet). */
    InstanceWidget *addDeviceView(IPCObject *session);
    /** Tile i of the list goes to row i / 2, column i mod 2. */
    void layoutTiles();
    /** Selects the tile @p tileUuid as a click does. */
    void selectTile(const QUuid &tileUuid);

    /** Removes the selected device (tile, row and session); the selection becomes empty. */
    void removeSelectedDevice();
    /** Removes every device as removeSelectedDevice() does; the selection becomes empty. */
    void removeAllDevices();

    /** Shows or hides the mini meters of @p session's tile and row (metering on or off). */
    void setMeteringShown(IPCObject *session, bool shown);

    int deviceCount() const { return m_tileList.size(); }
    /** The tiles in order of addition. */
    const QList<InstanceWidget *> &tiles() const { return m_tileList; }
    InstanceWidget *tile(const QUuid &tileUuid) const { return m_tiles.value(tileUuid); }
    TorvikStatRow *row(const QUuid &tileUuid) const { return m_rows.value(tileUuid); }
    QUuid selectedTileUuid() const { return m_selected; }
    /** The selected tile's session, or null. */
    IPCObject *selectedSession() const;
    /** The first tile's session (the one the configuration stores), or null. */
    IPCObject *firstSession() const;
    /** Page 0: tiles; page 1: the summary tree. */
    int currentPage() const;
    QGridLayout *tileGrid() const;
    QTreeWidget *summaryTree() const;

signals:
    /** The selected device changed (null: none). */
    void selectionChanged(IPCObject *session);
    /** The page shown changed (what the window offers to show follows). */
    void pageChanged();

public slots:
    void tileSelected(QUuid tileUuid);
    void showStatsOverview();
    void showGeneralOverview();
    void showSummaryTreeContextMenu(const QPoint &pos);
    void createGroupRow(QString groupName);
    void removeGroupRow(QString groupName);
    void showContextMenu(const QPoint &pos);
    void summaryTreeItemActivated(QTreeWidgetItem *item, int column);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /** Takes one device out of the list, grid, tree and session table; deleted later. */
    void dropDevice(InstanceWidget *tile);
    void addDeviceMenu(QMenu *menu) const;

    Ui::TorvikSummary *m_ui;
    SessionTable *m_sessions = nullptr;
    QPointer<PasswordPrompt> m_prompt;
    DeviceActions m_actions;
    QList<InstanceWidget *> m_tileList;
    QMap<QUuid, InstanceWidget *> m_tiles;
    QMap<QUuid, TorvikStatRow *> m_rows;
    QMap<QTreeWidgetItem *, TorvikStatRow *> m_items;
    QMap<QString, QTreeWidgetItem *> m_groups;
    QUuid m_selected;
};
