#pragma once

#include "common/sessionbinding.h"
#include "selection.h"

#include <QObject>
#include <QPointer>

class IPCObject;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;
struct PeerRow;

/**
 * Fills the window's peer tree ("peerList") from the selected device's peer
 * list and keeps it current: a new device clears and refills it, every peer
 * list of that device updates the rows in place (the selection and the
 * scroll position stay). The tree is never edited otherwise: changes go to
 * the device, which pushes a new list.
 *
 * Each row carries its peer id (258), whether it is connected (259), whether
 * it came from the directory (260) and its assigned profile id (261).
 */
class PeerTree : public QObject
{
    Q_OBJECT

public:
    /** Drives @p tree; @p filter (may be null) filters its rows as the operator types. */
    PeerTree(QTreeWidget *tree, QLineEdit *filter, QObject *parent = nullptr);

    /**
     * Shows the peers of @p session (or none). Another device clears the tree
     * and fills it when that device is ready; the same device again updates it.
     */
    void setSession(IPCObject *session);
    IPCObject *session() const { return m_binding.session(); }

    /** The selected row's data; an invalid value when none is selected. */
    SelectedPeer selectedPeer() const;

public slots:
    /** Clears the tree and adds one row per peer of the device, in list order. */
    void refill();
    /** Refreshes rows in place, removes the gone ones and inserts the new ones at their place. */
    void update();
    /** Shows the rows whose name or address contains the filter text and paints the filter box. */
    void applyFilter();

signals:
    /** The rows were rebuilt or updated: the other list's filter and the enables want re-applying. */
    void refilled();

private:
    void write(QTreeWidgetItem *item, const PeerRow &row) const;
    void select(const QString &id);
    void finish();

    QTreeWidget *m_tree;
    QPointer<QLineEdit> m_filter;
    SessionBinding m_binding;
};
