#include "connectionstab.h"

#include "common/contextmenu.h"
#include "peertree.h"
#include "profilelist.h"
#include "statuspanel.h"
#include "ui_connectionstab.h"

#include <QGraphicsDropShadowEffect>

namespace {

void addDropShadow(QWidget *button)
{
    auto *shadow = new QGraphicsDropShadowEffect(button);
    shadow->setColor(QColor(2, 2, 2, 255));
    shadow->setBlurRadius(10);
    shadow->setOffset(1, 1);
    button->setGraphicsEffect(shadow);
}

} // namespace

ConnectionsTab::ConnectionsTab(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::ConnectionsTab)
{
    m_ui->setupUi(this);
    m_peers = new PeerTree(m_ui->peerList, m_ui->peerFilter, this);
    m_profiles = new ProfileList(m_ui->profileList, m_ui->profileFilter, this);
    addDropShadow(m_ui->connectButton);
    addDropShadow(m_ui->disconnectButton);

    // A refill of either list re-applies the other's filter too.
    connect(m_peers, &PeerTree::refilled, m_profiles, &ProfileList::applyFilter);
    connect(m_profiles, &ProfileList::refilled, m_peers, &PeerTree::applyFilter);
    connect(m_peers, &PeerTree::refilled, this, &ConnectionsTab::selectionChanged);
    connect(m_profiles, &ProfileList::refilled, this, &ConnectionsTab::selectionChanged);
    connect(m_ui->peerList, &QTreeWidget::itemSelectionChanged, this, &ConnectionsTab::selectionChanged);
    connect(m_ui->profileList, &QListWidget::itemSelectionChanged, this, &ConnectionsTab::selectionChanged);
}

ConnectionsTab::~ConnectionsTab()
{
    delete m_ui;
}

void ConnectionsTab::setSession(IPCObject *session)
{
    m_peers->setSession(session);
    m_profiles->setSession(session);
    m_ui->statusPanel->setSession(session);
}

IPCObject *ConnectionsTab::session() const
{
    return m_peers->session();
}

SelectedPeer ConnectionsTab::selectedPeer() const
{
    return m_peers->selectedPeer();
}

SelectedProfile ConnectionsTab::selectedProfile() const
{
    return m_profiles->selectedProfile();
}

void ConnectionsTab::setMenus(const QList<QAction *> &peerMenu, const QList<QAction *> &profileMenu)
{
    m_peerMenu = peerMenu;
    m_profileMenu = profileMenu;
}

void ConnectionsTab::showPeerMenu(const QPoint &pos)
{
    showMenu(m_ui->peerList, m_peerMenu, pos);
}

void ConnectionsTab::showProfileMenu(const QPoint &pos)
{
    showMenu(m_ui->profileList, m_profileMenu, pos);
}

void ConnectionsTab::showMenu(QAbstractScrollArea *list, const QList<QAction *> &actions, const QPoint &pos)
{
    // Only while a device is shown; the point is the list's viewport's.
    if (session())
        popUpMenu(this, actions, list->viewport()->mapToGlobal(pos));
}

void ConnectionsTab::setListsEnabled(bool enabled)
{
    m_ui->peerList->setEnabled(enabled);
    m_ui->profileList->setEnabled(enabled);
    m_ui->peerFilter->setEnabled(enabled);
    m_ui->profileFilter->setEnabled(enabled);
}

void ConnectionsTab::setButtonsEnabled(bool connect, bool disconnect)
{
    m_ui->connectButton->setEnabled(connect);
    m_ui->disconnectButton->setEnabled(disconnect);
}

StatusPanel *ConnectionsTab::statusPanel() const
{
    return m_ui->statusPanel;
}

QTreeWidget *ConnectionsTab::peerList() const
{
    return m_ui->peerList;
}

QListWidget *ConnectionsTab::profileList() const
{
    return m_ui->profileList;
}

QLineEdit *ConnectionsTab::peerFilter() const
{
    return m_ui->peerFilter;
}

QLineEdit *ConnectionsTab::profileFilter() const
{
    return m_ui->profileFilter;
}

QPushButton *ConnectionsTab::connectButton() const
{
    return m_ui->connectButton;
}

QPushButton *ConnectionsTab::disconnectButton() const
{
    return m_ui->disconnectButton;
}
