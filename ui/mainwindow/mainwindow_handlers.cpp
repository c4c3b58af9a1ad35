// The window's handlers: one line each, handing the selected device and the
// selection in its lists to the pane or action owner that does the work.

#include "alerts/windowalerts.h"
#include "common/contextmenu.h"
#include "configurationstore.h"
#include "connections/connectionactions.h"
#include "connections/connectionstab.h"
#include "connections/peeractions.h"
#include "connections/profileactions.h"
#include "detailspane.h"
#include "fleet/torviksummary.h"
#include "ipcobject.h"
#include "log/logtab.h"
#include "mainwindow.h"
#include "meters/meterpane.h"
#include "meters/monitoringmeter.h"
#include "settings/settingssession.h"
#include "stats/statstab.h"
#include "ui_mainwindow.h"
#include "windowcommands.h"

#include <QTableWidget>

// Devices

void MainWindow::exit() { close(); }
void MainWindow::handleCCConnectTo(bool) { addDeviceTriggered(); }
void MainWindow::selectedWidgetChangedState(QUuid, IQEndpointClient::DEVICE_STATE s) { m_details->showState(s); }
void MainWindow::enableMetering() { setMetering(true); }
void MainWindow::disableMetering() { setMetering(false); }
void MainWindow::copyNodeId() { WindowCommands::copyNodeId(selectedDevice()); }
void MainWindow::doDisconnectAllFleet() { m_connectionActions->disconnectAllFleet(); }

void MainWindow::removeInstance()
{
    m_summary->removeSelectedDevice();
    handleAllEnables();
}

void MainWindow::showPasswordDialog()
{
    if (IPCObject *s = selectedDevice())
        askForPassword(s->uuid(), this);
}

void MainWindow::reconnectDevice()
{
    if (IPCObject *s = selectedDevice())
        s->reconnect();
}

// Address book, profiles and connections

SelectedPeer MainWindow::peer() const { return connections()->selectedPeer(); }
SelectedProfile MainWindow::profile() const { return connections()->selectedProfile(); }

void MainWindow::addNewPeer() { m_peerActions->addPeer(selectedDevice(), this); }
void MainWindow::editPeer() { m_peerActions->editPeer(selectedDevice(), peer(), this); }
void MainWindow::removePeer() { PeerActions::removePeer(selectedDevice(), peer()); }
void MainWindow::sendPeerTriggered() { m_peerActions->copyToDevices(selectedDevice(), peer(), this); }
void MainWindow::assignDefaultProfileTriggered() { ProfileActions::assignDefault(selectedDevice(), peer()); }
void MainWindow::assignProfileTriggered() { ProfileActions::assign(selectedDevice(), peer(), profile()); }
void MainWindow::copyProfile() { ProfileActions::duplicate(selectedDevice(), profile()); }
void MainWindow::editProfile() { ProfileActions::edit(selectedDevice(), profile(), profileEditor()); }
void MainWindow::setDefaultProfileTriggered() { ProfileActions::setDefault(selectedDevice(), profile()); }
void MainWindow::sendProfileTriggered() { m_profileActions->copyToDevices(selectedDevice(), profile(), this); }

void MainWindow::removeProfile()
{
    ProfileActions::remove(selectedDevice(), profile(), this);
    handleAllEnables();
}

void MainWindow::showConnectDialog() { m_connectionActions->showConnectDialog(selectedDevice(), this); }
void MainWindow::doDisconnectAll() { ConnectionActions::disconnectAll(selectedDevice()); }
void MainWindow::on_disconnectButton_clicked() { ConnectionActions::disconnectPeer(selectedDevice(), peer()); }
void MainWindow::on_connectButton_clicked() { ConnectionActions::connectPeer(selectedDevice(), peer(), profile()); }
void MainWindow::actionDisconnectStatTableTriggered()
{
    // The row's own peer, not its channel.
    if (const std::optional<int> peer = m_details->panes().stats().selectedPeerId())
        ConnectionActions::disconnectPeerById(selectedDevice(), *peer);
}

void MainWindow::sendUpdatedSettings(const Message &m) { ::sendUpdatedSettings(selectedDevice(), m); }

// Alerts

void MainWindow::soundToggle() { m_alerts->actionsChanged(); }
void MainWindow::actionAllowDefaultAlertsTriggered() { m_alerts->actionsChanged(); }
void MainWindow::emailEnableTriggered() { m_alerts->actionsChanged(); }
void MainWindow::setSoundsTriggered() { m_alerts->chooseSounds(selectedDevice(), this); }
void MainWindow::assignEmailAddressesTriggered() { m_alerts->assignEmailAddresses(this); }
void MainWindow::manageEmailAddressesTriggered() { m_alerts->manageEmailAddresses(selectedDevice(), this); }
void MainWindow::mailServerTriggered() { m_alerts->editMailServer(this); }

// Context menus

void MainWindow::showPeerlistContextMenu(const QPoint &pos) { connections()->showPeerMenu(pos); }
void MainWindow::showProfilelistContextMenu(const QPoint &pos) { connections()->showProfileMenu(pos); }

void MainWindow::showMeterContextMenu(const QPoint &pos)
{
    IPCObject *s = selectedDevice();
    if (!s)
        return;
    QWidget *meter = m_details->panes().meters().meter();
    QAction *switchAction = s->meteringEnabled() ? m_ui->actionDisableMetering : m_ui->actionEnableMetering;
    popUpMenu(this, {switchAction}, meter->mapToGlobal(pos));
}

void MainWindow::showStatsTableContextMenu(const QPoint &pos)
{
    QTableWidget *table = m_details->panes().stats().table();
    if (selectedDevice() && table->currentItem())
        popUpMenu(this, {m_ui->actionDisconnectPeerFromStatTable}, table->viewport()->mapToGlobal(pos));
}

// Help, and the actions that stay as designed

void MainWindow::showAbout() { WindowCommands::showAbout(this, ConfigurationStore::path()); }
void MainWindow::showHelp() { WindowCommands::openHelp(this); }
void MainWindow::on_actionConfigDir_triggered() { WindowCommands::openConfigFolder(ConfigurationStore::path()); }
void MainWindow::on_actionConfigure_triggered() { WindowCommands::showConfigureDialog(this); }
void MainWindow::on_actionShowNetStats_triggered() {}
void MainWindow::nick() {}

// Log tab

void MainWindow::logAppend(const LogLine &line) { m_details->panes().log().append(line); }
void MainWindow::handleLogButtonPress(QAbstractButton *button) { m_details->panes().log().handleButtonPress(button); }
void MainWindow::resetLog() { m_details->panes().log().reset(); }
void MainWindow::saveLog() { m_details->panes().log().save(); }
