#include "mainwindow.h"

#include "alerts/windowalerts.h"
#include "common/contextmenu.h"
#include "common/deviceactions.h"
#include "common/stylewhenshown.h"
#include "configurationstore.h"
#include "connections/connectionactions.h"
#include "connections/connectionstab.h"
#include "connections/peeractions.h"
#include "connections/profileactions.h"
#include "connections/profileedit.h"
#include "detailspane.h"
#include "enablerules.h"
#include "fleet/adddevice.h"
#include "fleet/deviceloader.h"
#include "fleet/passwordprompt.h"
#include "fleet/torviksummary.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "meters/meterpane.h"
#include "meters/monitoringmeter.h"
#include "sessiontable.h"
#include "settings/settingsedit.h"
#include "stats/statstab.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QListWidget>
#include <QFileInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTreeWidget>

namespace {

MainWindow *s_window = nullptr;

} // namespace

MainWindow::MainWindow(QWidget *parent, TabPaneBuild panes)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
{
    s_window = this;
    m_ui->setupUi(this);
    m_sessions = new SessionTable(IQCommonApp::instance()->manager(), this);
    m_details = new DetailsPane({m_ui->detailsStack,
                                 m_ui->headerLabel,
                                 m_ui->connectionsPane,
                                 {m_ui->statusTabWidget, m_ui->statsTab, m_ui->settingsTab, m_ui->weftlineTab,
                                  m_ui->logTab, m_ui->meterTab}},
                                this);
    m_passwords = new PasswordPrompt(*m_sessions, this);
    m_summary = m_ui->summary;
    m_summary->setSessionTable(m_sessions);
    m_summary->setPasswordPrompt(m_passwords);
    m_summary->setDeviceActions(deviceActions());
    m_loader = new DeviceLoader(*m_sessions, *m_summary, {[this] { saveConfiguration(); }}, this);
    m_alerts = new WindowAlerts(*m_sessions,
                                {m_ui->actionSound, m_ui->actionAllowDefaultAlerts, m_ui->actionEnableAlertEmails},
                                [this] { saveConfiguration(); }, this);
    m_config = new ConfigurationStore(this, *m_summary, *m_loader,
                                      {[this] { return m_alerts->switches(); },
                                       [this](const AlertSwitches &s) { m_alerts->setSwitches(s); },
                                       [this] { return m_alerts->mailServer(); },
                                       [this](const MailServerSettings &m) { m_alerts->setMailServer(m); }},
                                      this);
    const auto shown = [this] { return selectedDevice(); };
    m_peerActions = new PeerActions(*m_sessions, shown, this);
    m_profileActions = new ProfileActions(*m_sessions, this);
    m_connectionActions = new ConnectionActions(*m_sessions, shown, this);

    wireActions();
    wireViews();

    m_ui->actionConfigDir->setEnabled(QFileInfo::exists(ConfigurationStore::path()));
    m_ui->actionStart_service->setVisible(false);
    m_ui->actionStop_service->setVisible(false);
    // Nothing in this window reaches these.
    for (QAction *unused : {m_ui->actionNewProfile, m_ui->actionAddMultiple, m_ui->actionPreferences})
        unused->setEnabled(false);

    applySingleInstancePresentation();
    // After the details stack has left its group box: a style sheet set on
    // the box would otherwise re-style every widget of the stack twice. The
    // summary's box is out of sight in this presentation.
    const int groupPoints = int(1.2 * m_ui->summaryGroupBox->font().pointSizeF());
    const QString groupStyle = QStringLiteral("QGroupBox{ font-size: %1pt; }").arg(groupPoints);
    setStyleSheetWhenShown(m_ui->summaryGroupBox, groupStyle);
    m_ui->detailsGroupBox->setStyleSheet(groupStyle);
    m_ui->menuHelp->removeAction(m_ui->actionNick);
    m_ui->detailsStack->setCurrentIndex(1);
    m_ui->statusTabWidget->setCurrentIndex(0);
    if (panes == TabPaneBuild::WithWindow)
        m_details->panes().build();
    else
        m_details->panes().buildAfterFirstPaint(this);
    // Nothing is selected yet: every device action starts off.
    handleAllEnables();
}

MainWindow::~MainWindow()
{
    saveOnClose();
    m_details->setSession(nullptr);

    // Sessions leave the manager now, while it still runs (it stops when this
    // window's destroyed() is emitted), and are deleted here rather than by an
    // event loop that has already returned.
    const QList<IPCObject *> sessions = m_sessions->sessions();
    delete m_sessions;
    m_sessions = nullptr;
    DeviceLoader::destroyPending(sessions);
    delete m_ui;
    if (s_window == this)
        s_window = nullptr;
}

MainWindow *MainWindow::instance()
{
    return s_window;
}

void MainWindow::wireActions()
{
    // Every action to its handler, by feature: the one place to look.
    const auto on = [this](QAction *action, void (MainWindow::*handler)()) {
        connect(action, &QAction::triggered, this, handler);
    };
    on(m_ui->actionExit, &MainWindow::exit);
    connect(m_ui->actionGeneralOverview, &QAction::triggered, m_summary, &TorvikSummary::showGeneralOverview);
    connect(m_ui->actionStatsOverview, &QAction::triggered, m_summary, &TorvikSummary::showStatsOverview);
    on(m_ui->actionAbout, &MainWindow::showAbout);
    on(m_ui->actionHelp, &MainWindow::showHelp);
    on(m_ui->actionConfigDir, &MainWindow::on_actionConfigDir_triggered);
    on(m_ui->actionNick, &MainWindow::nick);
    // Devices
    on(m_ui->actionAddDevice, &MainWindow::addDeviceTriggered);
    on(m_ui->actionRemoveDevice, &MainWindow::removeInstance);
    on(m_ui->actionInputPassword, &MainWindow::showPasswordDialog);
    on(m_ui->actionReconnect, &MainWindow::reconnectDevice);
    on(m_ui->actionCopyNodeId, &MainWindow::copyNodeId);
    on(m_ui->actionEnableMetering, &MainWindow::enableMetering);
    on(m_ui->actionDisableMetering, &MainWindow::disableMetering);
    on(m_ui->actionConfigure, &MainWindow::on_actionConfigure_triggered);
    on(m_ui->actionShowNetStats, &MainWindow::on_actionShowNetStats_triggered);
    on(m_ui->actionDisconnectFleet, &MainWindow::doDisconnectAllFleet);
    // Address book
    on(m_ui->actionAddEntry, &MainWindow::addNewPeer);
    on(m_ui->actionEditEntry, &MainWindow::editPeer);
    on(m_ui->actionRemoveEntry, &MainWindow::removePeer);
    on(m_ui->actionSendPeer, &MainWindow::sendPeerTriggered);
    on(m_ui->actionAssignDefaultProfile, &MainWindow::assignDefaultProfileTriggered);
    // Profiles
    on(m_ui->actionAssignProfile, &MainWindow::assignProfileTriggered);
    on(m_ui->actionCopyProfile, &MainWindow::copyProfile);
    on(m_ui->actionEditProfile, &MainWindow::editProfile);
    on(m_ui->actionRemoveProfile, &MainWindow::removeProfile);
    on(m_ui->actionSetDefaultProfile, &MainWindow::setDefaultProfileTriggered);
    on(m_ui->actionSendProfile, &MainWindow::sendProfileTriggered);
    // Connections
    on(m_ui->actionConnect, &MainWindow::showConnectDialog);
    on(m_ui->actionDisconnect, &MainWindow::doDisconnectAll);
    on(m_ui->actionDisconnectPeerFromStatTable, &MainWindow::actionDisconnectStatTableTriggered);
    connect(connections()->connectButton(), &QPushButton::clicked, this, &MainWindow::on_connectButton_clicked);
    connect(connections()->disconnectButton(), &QPushButton::clicked, this, &MainWindow::on_disconnectButton_clicked);
    // Alerts: the switches on every change, the dialogs on their items
    connect(m_ui->actionSound, &QAction::toggled, this, &MainWindow::soundToggle);
    connect(m_ui->actionAllowDefaultAlerts, &QAction::toggled, this, &MainWindow::actionAllowDefaultAlertsTriggered);
    connect(m_ui->actionEnableAlertEmails, &QAction::toggled, this, &MainWindow::emailEnableTriggered);
    on(m_ui->actionSetSounds, &MainWindow::setSoundsTriggered);
    on(m_ui->actionAssignEmailAddresses, &MainWindow::assignEmailAddressesTriggered);
    on(m_ui->actionManageAddresses, &MainWindow::manageEmailAddressesTriggered);
    on(m_ui->actionMailServer, &MainWindow::mailServerTriggered);
}

void MainWindow::wireViews()
{
    ConnectionsTab *tab = connections();
    // The summary chooses the device the details show.
    connect(m_summary, &TorvikSummary::selectionChanged, this, &MainWindow::activeInstanceSelected);
    connect(m_passwords, &PasswordPrompt::passwordChanged, this, &MainWindow::saveConfiguration);
    connect(&m_details->panes(), &TabPanes::built, this, &MainWindow::wireTabPanes);
    // What the window enables follows the fleet, the shown device and what is selected in its lists.
    connect(m_sessions, &SessionTable::sessionRemoved, this, &MainWindow::handleAllEnables);
    connect(m_summary, &TorvikSummary::pageChanged, this, &MainWindow::handleAllEnables);
    connect(m_details, &DetailsPane::conditionsChanged, this, &MainWindow::handleAllEnables);
    connect(tab, &ConnectionsTab::selectionChanged, this, &MainWindow::handleAllEnables, Qt::QueuedConnection);

    // The context menus, in their orders (null: a separator).
    tab->setMenus({m_ui->actionAddEntry, m_ui->actionEditEntry, m_ui->actionRemoveEntry, nullptr, m_ui->actionSendPeer,
                   m_ui->actionAssignDefaultProfile},
                  {m_ui->actionCopyProfile, m_ui->actionEditProfile, nullptr, m_ui->actionAssignProfile,
                   m_ui->actionSetDefaultProfile, nullptr, m_ui->actionSendProfile, nullptr,
                   m_ui->actionRemoveProfile});
    connect(tab->peerList(), &QWidget::customContextMenuRequested, this, &MainWindow::showPeerlistContextMenu);
    connect(tab->profileList(), &QWidget::customContextMenuRequested, this, &MainWindow::showProfilelistContextMenu);
    // Tiles are out of sight in this presentation: the header offers the device's menu.
    m_ui->headerLabel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->headerLabel, &QWidget::customContextMenuRequested, this, &MainWindow::showHeaderContextMenu);

    connect(m_alerts, &WindowAlerts::mailFailed, this, [this](const QString &text) {
        statusBar()->showMessage(text, 15000);
    });
    // The folder exists once the configuration has been written.
    connect(m_config, &ConfigurationStore::saved, this, [this] { m_ui->actionConfigDir->setEnabled(true); });
}

void MainWindow::wireTabPanes()
{
    TabPanes &panes = m_details->panes();
    QTableWidget *statsTable = panes.stats().table();
    connect(&panes.settings(), &SettingsEdit::saveRequested, this, &MainWindow::sendUpdatedSettings);
    connect(statsTable, &QTableWidget::currentItemChanged, this, &MainWindow::handleAllEnables, Qt::QueuedConnection);
    connect(panes.meters().meter(), &QWidget::customContextMenuRequested, this, &MainWindow::showMeterContextMenu);
    statsTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(statsTable, &QWidget::customContextMenuRequested, this, &MainWindow::showStatsTableContextMenu);
}

void MainWindow::applySingleInstancePresentation()
{
    setWindowTitle(QStringLiteral("Pennoral"));

    m_ui->summaryGroupBox->hide();
    // The alert switches stay reachable: their menu is kept.
    m_ui->menuFleet->deleteLater();
    m_ui->menuView->deleteLater();
    m_ui->menuFleet = m_ui->menuView = nullptr;
    m_ui->detailsGroupBox->hide();
    m_ui->fleetContainer->hide();

    // The details stack takes the whole window; the load button sits in its
    // top right corner.
    m_ui->detailsLayout->removeWidget(m_ui->detailsStack);
    m_ui->gridLayout->addWidget(m_ui->detailsStack, 0, 0, 1, 1);
    m_loadCodecButton = new QPushButton(QIcon(QStringLiteral("://icons/edit_add.png")),
                                        QStringLiteral("Load Codec Instance..."), m_ui->centralWidget);
    m_loadCodecButton->setObjectName(QStringLiteral("loadCodecButton"));
    m_loadCodecButton->setMinimumWidth(150);
    m_ui->gridLayout->addWidget(m_loadCodecButton, 0, 0, 1, 1, Qt::AlignRight | Qt::AlignTop);
    connect(m_loadCodecButton, &QPushButton::clicked, this, &MainWindow::handleCCConnectTo);

    m_ui->actionAddDevice->setText(QStringLiteral("Load Codec Instance..."));
    m_ui->actionRemoveDevice->setText(QStringLiteral("Disconnect from Codec Instance"));
}

DeviceActions MainWindow::deviceActions() const
{
    DeviceActions actions;
    actions.connect = m_ui->actionConnect;
    actions.disconnectAll = m_ui->actionDisconnect;
    actions.inputPassword = m_ui->actionInputPassword;
    actions.copyNodeId = m_ui->actionCopyNodeId;
    actions.setSounds = m_ui->actionSetSounds;
    actions.enableMetering = m_ui->actionEnableMetering;
    actions.disableMetering = m_ui->actionDisableMetering;
    actions.addDevice = m_ui->actionAddDevice;
    actions.removeDevice = m_ui->actionRemoveDevice;
    return actions;
}

ProfileEdit &MainWindow::profileEditor()
{
    // Built on first use: most sessions never edit a profile.
    if (!m_profileEdit)
        m_profileEdit = new ProfileEdit(this);
    return *m_profileEdit;
}

ConnectionsTab *MainWindow::connections() const
{
    return m_ui->connectionsPane;
}

IPCObject *MainWindow::selectedDevice() const
{
    return m_details->session();
}

// ---------------------------------------------------------------------------
// Configuration and alert switches

bool MainWindow::loadConfiguration()
{
    return m_config->load();
}

void MainWindow::saveConfiguration()
{
    m_config->save();
}

void MainWindow::saveOnClose()
{
    // Once, while the sessions and the window's geometry are all still there.
    if (m_savedOnClose)
        return;
    m_savedOnClose = true;
    saveConfiguration();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveOnClose();
    QMainWindow::closeEvent(event);
}

const AlertSwitches &MainWindow::alertSwitches() const
{
    return m_alerts->switches();
}

void MainWindow::setAlertSwitches(const AlertSwitches &switches)
{
    m_alerts->setSwitches(switches);
}

// ---------------------------------------------------------------------------
// Adding a device, selecting it, and what the window enables for it

void MainWindow::addDeviceTriggered()
{
    AddDevice dialog;
    dialog.setWindowTitle(QStringLiteral("Connect to Codec"));
    if (dialog.exec() == QDialog::Accepted)
        addDeviceFrom(dialog);
}

IPCObject *MainWindow::addDeviceFrom(const AddDevice &dialog)
{
    return m_loader->load(dialog);
}

void MainWindow::askForPassword(QUuid uuid, QWidget *parent)
{
    m_passwords->ask(uuid, parent);
}

void MainWindow::activeInstanceSelected(IPCObject *session)
{
    // A tile selects itself again when its device becomes ready: the details
    // already show it and redraw on that READY themselves.
    if (!session || session != m_details->session())
        m_details->setSession(session);
    handleAllEnables();
    update();
}

void MainWindow::showHeaderContextMenu(const QPoint &pos)
{
    if (IPCObject *s = selectedDevice())
        popUpMenu(this, deviceActions().withSeparators(s->state(), s->meteringEnabled()),
                  m_ui->headerLabel->mapToGlobal(pos));
}

void MainWindow::setMetering(bool on)
{
    IPCObject *s = selectedDevice();
    if (!s)
        return;
    // The codec stops or starts its levels; the tile and the summary row follow.
    on ? s->meteringOn() : s->meteringOff();
    m_summary->setMeteringShown(s, on);
    handleAllEnables();
}

void MainWindow::handleAllEnables()
{
    applyEnables(computeEnables(currentFacts()));
}

EnableFacts MainWindow::currentFacts() const
{
    // A device the summary no longer holds counts for nothing.
    EnableFacts f = m_summary->deviceCount() > 0 ? m_details->facts() : EnableFacts();
    f.summaryPage = m_summary->currentPage();
    return f;
}

void MainWindow::applyEnables(const Enables &e)
{
    const std::pair<QAction *, bool> actions[] = {
        {m_ui->actionRemoveDevice, e.removeDevice},
        {m_ui->actionAddEntry, e.ready},
        {m_ui->actionConfigure, e.ready},
        {m_ui->actionShowNetStats, e.ready},
        {m_ui->actionConnect, e.ready},
        {m_ui->actionUseDirectoryPeers, e.ready},
        {m_ui->actionSetSounds, e.ready},
        {m_ui->actionManageAddresses, e.ready},
        {m_ui->actionCopyNodeId, e.ready},
        {m_ui->actionEditEntry, e.peerEntry},
        {m_ui->actionRemoveEntry, e.peerEntry},
        {m_ui->actionSendPeer, e.peerEntry},
        {m_ui->actionCopyProfile, e.profile},
        {m_ui->actionSetDefaultProfile, e.profile},
        {m_ui->actionDisconnect, e.connections},
        {m_ui->actionEditProfile, e.editableProfile},
        {m_ui->actionRemoveProfile, e.editableProfile},
        {m_ui->actionSendProfile, e.editableProfile},
        {m_ui->actionAssignProfile, e.assignProfile},
        {m_ui->actionAssignDefaultProfile, e.assignDefault},
        {m_ui->actionInputPassword, e.inputPassword},
        {m_ui->actionReconnect, e.reconnect},
        {m_ui->actionDisconnectPeerFromStatTable, e.disconnectStatsPeer},
    };
    for (const auto &[action, enabled] : actions)
        action->setEnabled(enabled);
    m_ui->actionEnableMetering->setVisible(e.enableMeteringVisible);
    m_ui->actionDisableMetering->setVisible(e.disableMeteringVisible);
    m_ui->actionGeneralOverview->setVisible(e.tiledVisible);
    m_ui->actionStatsOverview->setVisible(e.statsTableVisible);
    m_details->applyEnables(e);
}
