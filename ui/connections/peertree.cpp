#include "peertree.h"

#include "common/itemroles.h"
#include "common/sharedicons.h"
#include "ipcobject.h"
#include "listfilter.h"
#include "peerrows.h"

#include <QHash>
#include <QLineEdit>
#include <QScrollBar>
#include <QSet>
#include <QTreeWidget>

namespace {

// Live calls stand out from the rest of the address book.
const QColor ActiveColour(0, 110, 30);
const QColor IdleColour(0, 0, 0);

SharedIcons::Id iconFor(PeerRow::Mark mark)
{
    switch (mark) {
    case PeerRow::Mark::Active:
        return SharedIcons::AsteriskGreen;
    case PeerRow::Mark::DirectoryOnline:
        return SharedIcons::AsteriskYellow;
    case PeerRow::Mark::DirectoryOffline:
        return SharedIcons::AsteriskRed;
    case PeerRow::Mark::Idle:
        break;
    }
    return SharedIcons::AsteriskGray;
}

QString rowId(const QTreeWidgetItem *item)
{
    return item->data(0, ItemRoles::PeerId).toString();
}

} // namespace

PeerTree::PeerTree(QTreeWidget *tree, QLineEdit *filter, QObject *parent)
    : QObject(parent)
    , m_tree(tree)
    , m_filter(filter)
{
    if (m_filter)
        connect(m_filter, &QLineEdit::textChanged, this, &PeerTree::applyFilter);
}

void PeerTree::setSession(IPCObject *session)
{
    if (m_binding.bind(session)) {
        if (session)
            m_binding << connect(session, &IPCObject::recvPeerList, this, &PeerTree::update);
        m_tree->clear();
        if (session && session->state() == IQEndpointClient::READY)
            refill();
        else
            finish();
        return;
    }
    if (session)
        update();
}

SelectedPeer PeerTree::selectedPeer() const
{
    SelectedPeer p;
    const QList<QTreeWidgetItem *> selected = m_tree->selectedItems();
    if (selected.isEmpty())
        return p;
    const QTreeWidgetItem *item = selected.first();
    p.id = rowId(item);
    p.active = item->data(0, ItemRoles::PeerConnected).toBool();
    p.directory = item->data(0, ItemRoles::PeerFromDirectory).toBool();
    p.profile = item->data(0, ItemRoles::PeerProfile).toString();
    return p;
}

void PeerTree::refill()
{
    m_tree->clear();
    if (IPCObject *s = m_binding.session()) {
        for (const PeerRow &row : PeerRows::rows(s->allPeers())) {
            auto *item = new QTreeWidgetItem(m_tree);
            write(item, row);
        }
    }
    finish();
}

void PeerTree::update()
{
    IPCObject *s = m_binding.session();
    if (!s)
        return;
    const QVector<PeerRow> rows = PeerRows::rows(s->allPeers());
    const int scroll = m_tree->verticalScrollBar()->value();
    const QString selected = selectedPeer().id;

    // Rows whose peer is gone go first, and a second row of the same id with them.
    QSet<QString> wanted;
    for (const PeerRow &r : rows)
        wanted.insert(r.id);
    QHash<QString, QTreeWidgetItem *> items;
    for (int i = m_tree->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem *item = m_tree->topLevelItem(i);
        const QString id = rowId(item);
        if (!wanted.contains(id) || items.contains(id))
            delete m_tree->takeTopLevelItem(i);
        else
            items.insert(id, item);
    }
    // Then each peer's row at its place in the list: kept, moved or new.
    for (int i = 0; i < rows.size(); ++i) {
        QTreeWidgetItem *item = items.take(rows[i].id);
        if (!item) {
            item = new QTreeWidgetItem;
            m_tree->insertTopLevelItem(i, item);
        } else if (m_tree->indexOfTopLevelItem(item) != i) {
            m_tree->takeTopLevelItem(m_tree->indexOfTopLevelItem(item));
            m_tree->insertTopLevelItem(i, item);
        }
        write(item, rows[i]);
    }
    if (!selected.isEmpty() && selectedPeer().id != selected)
        select(selected);
    finish();
    m_tree->verticalScrollBar()->setValue(scroll);
}

void PeerTree::write(QTreeWidgetItem *item, const PeerRow &row) const
{
    const QBrush brush(row.active ? ActiveColour : IdleColour);
    for (int c = 0; c < PeerRows::ColumnCount; ++c) {
        item->setText(c, row.texts.value(c));
        item->setForeground(c, brush);
    }
    item->setIcon(0, SharedIcons::icon(iconFor(row.mark)));
    item->setData(0, ItemRoles::PeerId, row.id);
    item->setData(0, ItemRoles::PeerConnected, row.active);
    item->setData(0, ItemRoles::PeerFromDirectory, row.directory);
    item->setData(0, ItemRoles::PeerProfile, row.profile);
}

void PeerTree::select(const QString &id)
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_tree->topLevelItem(i);
        if (rowId(item) == id) {
            m_tree->setCurrentItem(item);
            return;
        }
    }
}

void PeerTree::finish()
{
    applyFilter();
    m_tree->resizeColumnToContents(0);
    m_tree->resizeColumnToContents(1);
    emit refilled();
}

void PeerTree::applyFilter()
{
    const QString text = m_filter ? m_filter->text() : QString();
    QVector<QStringList> rows;
    rows.reserve(m_tree->topLevelItemCount());
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_tree->topLevelItem(i);
        rows.append(QStringList{item->text(0), item->text(1)});
    }
    const ListFilter::Result result = ListFilter::apply(text, rows);
    for (int i = 0; i < rows.size(); ++i)
        m_tree->topLevelItem(i)->setHidden(!result.visible[i]);
    if (m_filter)
        m_filter->setStyleSheet(result.styleSheet);
}
