#include "connectdialog.h"

#include "common/itemroles.h"
#include "common/sharedicons.h"
#include "ipcobject.h"
#include "ui_connectdialog.h"

#include <QPushButton>

namespace {

QString currentId(const QListWidget *list, int role)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(role).toString();
}

void reselect(QListWidget *list, int role, const QString &id)
{
    if (id.isEmpty())
        return;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(role).toString() == id) {
            list->setCurrentRow(i);
            return;
        }
    }
}

} // namespace

ConnectionDialog::ConnectionDialog(IPCObject *session, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::ConnectionDialog)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (m_binding.bind(session) && session) {
        m_binding << connect(session, &IPCObject::recvPeerList, this, &ConnectionDialog::ipcPeerListUpdate)
                  << connect(session, &IPCObject::recvProfileList, this, &ConnectionDialog::ipcProfileListUpdate);
    }
    connect(this, &QDialog::finished, this, &ConnectionDialog::dialogFinished);
    connect(m_ui->peerList, &QListWidget::itemSelectionChanged, this, &ConnectionDialog::updateOk);
    connect(m_ui->profileList, &QListWidget::itemSelectionChanged, this, &ConnectionDialog::updateOk);
    fillPeers();
    fillProfiles();
    updateOk();
}

ConnectionDialog::~ConnectionDialog()
{
    delete m_ui;
}

QString ConnectionDialog::selectedPeerId() const
{
    return currentId(m_ui->peerList, ItemRoles::PeerId);
}

QString ConnectionDialog::selectedProfileId() const
{
    return currentId(m_ui->profileList, ItemRoles::ProfileId);
}

void ConnectionDialog::ipcPeerListUpdate(QUuid)
{
    fillPeers();
}

void ConnectionDialog::ipcProfileListUpdate(QUuid)
{
    fillProfiles();
}

void ConnectionDialog::dialogFinished()
{
    m_binding.unbind();
}

void ConnectionDialog::fillPeers()
{
    // A refill keeps the operator's choice when the peer is still there.
    const QString keep = selectedPeerId();
    m_ui->peerList->clear();
    IPCObject *s = m_binding.session();
    if (!s)
        return;
    for (const PeerMetaPtr &p : s->addressPeers()) {
        auto *item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(p->name, p->host), m_ui->peerList);
        item->setData(ItemRoles::PeerId, p->id);
        item->setData(ItemRoles::PeerFromDirectory, 0);
    }
    for (const PeerMetaPtr &p : s->directoryPeers()) {
        const bool online = p->directory && p->directory->online;
        const QString state = p->directory ? p->directory->state : QString();
        auto *item = new QListWidgetItem(SharedIcons::icon(online ? SharedIcons::AsteriskGreen : SharedIcons::AsteriskGray),
                                         QStringLiteral("%1 [%2]").arg(p->name, state), m_ui->peerList);
        item->setData(ItemRoles::PeerId, p->id);
        item->setData(ItemRoles::PeerFromDirectory, 1);
    }
    reselect(m_ui->peerList, ItemRoles::PeerId, keep);
}

void ConnectionDialog::fillProfiles()
{
    const QString keep = selectedProfileId();
    m_ui->profileList->clear();
    IPCObject *s = m_binding.session();
    if (!s)
        return;
    for (const ProfileSummary &p : s->profiles()) {
        auto *item = new QListWidgetItem(p.name, m_ui->profileList);
        item->setData(ItemRoles::ProfileId, p.id);
        item->setData(ItemRoles::ProfileName, p.name);
    }
    reselect(m_ui->profileList, ItemRoles::ProfileId, keep);
}

void ConnectionDialog::updateOk()
{
    // Without a profile the device would be told profile 0 and move the entry to its default.
    const bool ready = !selectedPeerId().isEmpty() && !selectedProfileId().isEmpty();
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(ready);
}
