#pragma once

#include "selection.h"

#include <QList>
#include <QWidget>

class IPCObject;
class PeerTree;
class ProfileList;
class QAbstractScrollArea;
class QAction;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;
class StatusPanel;

namespace Ui {
class ConnectionsTab;
}

/**
 * The "Connections" tab: the selected device's profiles with the "Connect"
 * and "Disconnect" buttons, its address book ("Remote Sarvel Units"), each
 * with its filter box, and the "System Status" box. The lists follow the
 * device themselves; the tab tells when what is selected in them changed.
 */
class ConnectionsTab : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionsTab(QWidget *parent = nullptr);
    ~ConnectionsTab() override;

    /** Shows @p session (or none) in both lists and the status box; the same session again refreshes. */
    void setSession(IPCObject *session);
    IPCObject *session() const;

    SelectedPeer selectedPeer() const;
    SelectedProfile selectedProfile() const;

    /**
     * The context menus of the two lists, in order; a null entry stands for
     * a separator. The actions are owned elsewhere.
     */
    void setMenus(const QList<QAction *> &peerMenu, const QList<QAction *> &profileMenu);
    const QList<QAction *> &peerMenu() const { return m_peerMenu; }
    const QList<QAction *> &profileMenu() const { return m_profileMenu; }
    /** The peer tree's menu at @p pos (of the tree), while a device is shown. */
    void showPeerMenu(const QPoint &pos);
    /** The profile list's menu at @p pos (of the list), while a device is shown. */
    void showProfileMenu(const QPoint &pos);

    /** The two lists and their filter boxes. */
    void setListsEnabled(bool enabled);
    void setButtonsEnabled(bool connect, bool disconnect);

    PeerTree *peers() const { return m_peers; }
    ProfileList *profiles() const { return m_profiles; }
    StatusPanel *statusPanel() const;
    QTreeWidget *peerList() const;
    QListWidget *profileList() const;
    QLineEdit *peerFilter() const;
    QLineEdit *profileFilter() const;
    QPushButton *connectButton() const;
    QPushButton *disconnectButton() const;

signals:
    /** The selected peer or profile changed, or a list was rebuilt: what the window enables may follow. */
    void selectionChanged();

private:
    void showMenu(QAbstractScrollArea *list, const QList<QAction *> &actions, const QPoint &pos);

    Ui::ConnectionsTab *m_ui;
    PeerTree *m_peers;
    ProfileList *m_profiles;
    QList<QAction *> m_peerMenu;
    QList<QAction *> m_profileMenu;
};
