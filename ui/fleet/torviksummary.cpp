#include "torviksummary.h"

#include "common/sharedicons.h"
#include "instancewidget.h"
#include "ipcobject.h"
#include "meters/minimeter.h"
#include "passwordprompt.h"
#include "sessiontable.h"
#include "torvikstatrow.h"
#include "ui_torviksummary.h"

#include <QEvent>
#include <QHeaderView>
#include <QMenu>

TorvikSummary::TorvikSummary(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::TorvikSummary)
{
    m_ui->setupUi(this);
    m_ui->tileGrid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    // Columns size to their contents while the tree can be seen: the header
    // measures every row again on each change, which a hidden tree of a few
    // hundred codecs would pay for nothing.
    m_ui->summaryTree->installEventFilter(this);
    // Every row is one line: a statistics update need not measure its height.
    m_ui->summaryTree->setUniformRowHeights(true);
    connect(m_ui->summaryTree, &QTreeWidget::itemPressed, this, &TorvikSummary::summaryTreeItemActivated);
    connect(m_ui->summaryTree, &QWidget::customContextMenuRequested, this,
            &TorvikSummary::showSummaryTreeContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TorvikSummary::showContextMenu);
}

TorvikSummary::~TorvikSummary()
{
    // Rows delete their items: before the tree goes.
    qDeleteAll(m_rows);
    m_rows.clear();
    m_items.clear();
    SharedIcons::releaseSummaryIcons();
    delete m_ui;
}

bool TorvikSummary::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->summaryTree && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        m_ui->summaryTree->header()->setSectionResizeMode(
            event->type() == QEvent::Show ? QHeaderView::ResizeToContents : QHeaderView::Interactive);
    }
    return QWidget::eventFilter(watched, event);
}

void TorvikSummary::setDeviceActions(const DeviceActions &actions)
{
    m_actions = actions;
    for (InstanceWidget *tile : qAsConst(m_tileList))
        tile->setDeviceActions(actions);
}

void TorvikSummary::setPasswordPrompt(PasswordPrompt *prompt)
{
    m_prompt = prompt;
    for (InstanceWidget *tile : qAsConst(m_tileList))
        tile->setPasswordPrompt(prompt);
}

InstanceWidget *TorvikSummary::addDeviceView(IPCObject *session)
{
    const QUuid uuid = QUuid::createUuid();
    // Made where the grid keeps it: moved there later, it would be styled twice.
    auto *tile = new InstanceWidget(m_ui->scrollAreaContents, session, uuid);
    tile->setDeviceActions(m_actions);
    tile->setPasswordPrompt(m_prompt);
    m_tiles.insert(uuid, tile);
    m_tileList.append(tile);

    auto *row = new TorvikStatRow(session, uuid, this);
    m_ui->summaryTree->addTopLevelItem(row->item());
    if (session && session->meteringEnabled())
        row->showMeter();
    m_rows.insert(uuid, row);
    m_items.insert(row->item(), row);

    connect(tile, &InstanceWidget::selected, this, &TorvikSummary::tileSelected);
    return tile;
}

void TorvikSummary::layoutTiles()
{
    QGridLayout *grid = m_ui->tileGrid;
    for (InstanceWidget *tile : qAsConst(m_tileList))
        grid->removeWidget(tile);
    // A tile shows with its page. Only a page on screen has to be told: laying
    // out and styling a tile out of sight is work done again when it shows.
    const bool onScreen = m_ui->scrollAreaContents->isVisible();
    for (int i = 0; i < m_tileList.size(); ++i) {
        grid->addWidget(m_tileList.at(i), i / 2, i % 2);
        if (onScreen)
            m_tileList.at(i)->show();
    }
}

void TorvikSummary::selectTile(const QUuid &tileUuid)
{
    if (InstanceWidget *t = tile(tileUuid))
        t->select();
}

void TorvikSummary::tileSelected(QUuid tileUuid)
{
    InstanceWidget *chosen = tile(tileUuid);
    if (!chosen)
        return;
    if (tileUuid != m_selected) {
        if (InstanceWidget *previous = tile(m_selected))
            previous->deselect();
        m_selected = tileUuid;
    }
    if (TorvikStatRow *r = row(tileUuid))
        m_ui->summaryTree->setCurrentItem(r->item());
    emit selectionChanged(chosen->session());
}

void TorvikSummary::summaryTreeItemActivated(QTreeWidgetItem *item, int)
{
    if (TorvikStatRow *r = m_items.value(item))
        selectTile(r->tileUuid());
}

IPCObject *TorvikSummary::selectedSession() const
{
    InstanceWidget *t = tile(m_selected);
    return t ? t->session() : nullptr;
}

IPCObject *TorvikSummary::firstSession() const
{
    return m_tileList.isEmpty() ? nullptr : m_tileList.first()->session();
}

void TorvikSummary::dropDevice(InstanceWidget *tile)
{
    const QUuid uuid = tile->tileUuid();
    m_tileList.removeAll(tile);
    m_tiles.remove(uuid);
    m_ui->tileGrid->removeWidget(tile);
    if (IPCObject *session = tile->session()) {
        if (m_sessions && m_sessions->contains(session->uuid()))
            m_sessions->remove(session->uuid());
        else
            session->destroySession();
    }
    tile->deselect();
    tile->hide();
    tile->deleteLater();
    if (uuid == m_selected)
        m_selected = QUuid();

    if (TorvikStatRow *r = m_rows.take(uuid)) {
        m_items.remove(r->item());
        if (QTreeWidgetItem *parent = r->item()->parent())
            parent->removeChild(r->item());
        else
            m_ui->summaryTree->takeTopLevelItem(m_ui->summaryTree->indexOfTopLevelItem(r->item()));
        r->deleteLater();
    }
}

void TorvikSummary::removeSelectedDevice()
{
    InstanceWidget *selected = tile(m_selected);
    if (!selected)
        return;
    dropDevice(selected);
    emit selectionChanged(nullptr);
    layoutTiles();
}

void TorvikSummary::removeAllDevices()
{
    if (m_tileList.isEmpty())
        return;
    // Each device goes as a removal of the selected one would take it: tile,
    // row and session; the window then hears of the empty selection.
    const QList<InstanceWidget *> all = m_tileList;
    for (InstanceWidget *t : all)
        dropDevice(t);
    m_selected = QUuid();
    emit selectionChanged(nullptr);
}

void TorvikSummary::setMeteringShown(IPCObject *session, bool shown)
{
    for (InstanceWidget *t : qAsConst(m_tileList)) {
        if (t->session() != session)
            continue;
        t->miniMeter()->setVisible(shown);
        if (TorvikStatRow *r = row(t->tileUuid()))
            shown ? r->showMeter() : r->hideMeter();
    }
}

int TorvikSummary::currentPage() const
{
    return m_ui->stackEdit->currentIndex();
}

QGridLayout *TorvikSummary::tileGrid() const
{
    return m_ui->tileGrid;
}

QTreeWidget *TorvikSummary::summaryTree() const
{
    return m_ui->summaryTree;
}

void TorvikSummary::showStatsOverview()
{
    m_ui->stackEdit->setCurrentIndex(1);
    emit pageChanged();
}

void TorvikSummary::showGeneralOverview()
{
    m_ui->stackEdit->setCurrentIndex(0);
    emit pageChanged();
}

void TorvikSummary::addDeviceMenu(QMenu *menu) const
{
    if (m_actions.addDevice)
        menu->addAction(m_actions.addDevice);
}

void TorvikSummary::showSummaryTreeContextMenu(const QPoint &pos)
{
    QMenu menu(this);
    if (IPCObject *session = selectedSession())
        m_actions.addToWithSeparators(&menu, session->state(), session->meteringEnabled());
    else
        addDeviceMenu(&menu);
    if (!menu.isEmpty())
        menu.exec(m_ui->summaryTree->viewport()->mapToGlobal(pos));
}

void TorvikSummary::showContextMenu(const QPoint &pos)
{
    QMenu menu(this);
    addDeviceMenu(&menu);
    if (!menu.isEmpty())
        menu.exec(mapToGlobal(pos));
}

void TorvikSummary::createGroupRow(QString groupName)
{
    if (m_groups.contains(groupName))
        return;
    auto *group = new QTreeWidgetItem(QStringList{groupName});
    group->setFlags(Qt::ItemIsSelectable | Qt::ItemIsDropEnabled | Qt::ItemIsEnabled);
    m_ui->summaryTree->addTopLevelItem(group);
    m_groups.insert(groupName, group);
}

void TorvikSummary::removeGroupRow(QString groupName)
{
    QTreeWidgetItem *group = m_groups.take(groupName);
    if (!group)
        return;
    QTreeWidget *tree = m_ui->summaryTree;
    tree->addTopLevelItems(group->takeChildren());
    delete tree->takeTopLevelItem(tree->indexOfTopLevelItem(group));
}
