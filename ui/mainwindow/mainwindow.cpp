#include "mainwindow.h"

#include "common/deviceactions.h"
#include "common/itemroles.h"
#include "configurationstore.h"
#include "detailspane.h"
#include "enablerules.h"
#include "fleet/adddevice.h"
#include "fleet/deviceloader.h"
#include "fleet/passwordprompt.h"
#include "fleet/torviksummary.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "sessiontable.h"
#include "stats/statstab.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QGraphicsDropShadowEffect>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

namespace {

MainWindow *s_window = nullptr;

void addDropShadow(QWidget *button)
{
    auto *shadow = new QGraphicsDropShadowEffect(button);
    shadow->setColor(QColor(2, 2, 2, 255));
    shadow->setBlurRadius(10);
    shadow->setOffset(1, 1);
    button->setGraphicsEffect(shadow);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
{
    s_window = this;
    m_ui->setupUi(this);
    m_sessions = new SessionTable(IQCommonApp::instance()->manager(), this);
    m_details = new DetailsPane({m_ui->detailsStack, m_ui->headerLabel, m_ui->statusPanel, m_ui->logPane,
                                 m_ui->statsPane, m_ui->meterPane},
                                this);
    m_passwords = new PasswordPrompt(*m_sessions, this);
    m_summary = m_ui->summary;
    m_summary->setSessionTable(m_sessions);
    m_summary->setPasswordPrompt(m_passwords);
    m_summary->setDeviceActions(deviceActions());
    m_loader = new DeviceLoader(*m_sessions, *m_summary, {[this] { saveConfiguration(); }}, this);
    m_config = new ConfigurationStore(
        this, *m_summary, *m_loader,
        {[this] { return m_alertSwitches; }, [this](const AlertSwitches &s) { setAlertSwitches(s); }}, this);

    // Actions to their handlers.
    connect(m_ui->actionExit, &QAction::triggered, this, &MainWindow::exit);
    connect(m_ui->actionAddDevice, &QAction::triggered, this, &MainWindow::addDeviceTriggered);
    connect(m_ui->actionRemoveDevice, &QAction::triggered, this, &MainWindow::removeInstance);
    connect(m_ui->actionInputPassword, &QAction::triggered, this, &MainWindow::showPasswordDialog);
    // The summary chooses the device the details show.
    connect(m_summary, &TorvikSummary::selectionChanged, this, &MainWindow::activeInstanceSelected);
    connect(m_passwords, &PasswordPrompt::passwordChanged, this, &MainWindow::saveConfiguration);
    // What the window enables follows the fleet and the shown device.
    connect(m_sessions, &SessionTable::sessionRemoved, this, &MainWindow::handleAllEnables);
    connect(m_summary, &TorvikSummary::pageChanged, this, &MainWindow::handleAllEnables);
    connect(m_details, &DetailsPane::conditionsChanged, this, &MainWindow::handleAllEnables);

    // Tiles are out of sight in this presentation: the header offers the device's menu.
    m_ui->headerLabel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->headerLabel, &QWidget::customContextMenuRequested, this, &MainWindow::showHeaderContextMenu);

    disableUnbuiltActions();
    m_ui->peerList->setAlternatingRowColors(true);
    m_ui->profileList->setAlternatingRowColors(true);

    const int groupPoints = int(1.2 * m_ui->summaryGroupBox->font().pointSizeF());
    const QString groupStyle = QStringLiteral("QGroupBox{ font-size: %1pt; }").arg(groupPoints);
    m_ui->summaryGroupBox->setStyleSheet(groupStyle);
    m_ui->detailsGroupBox->setStyleSheet(groupStyle);

    m_ui->actionAllowDefaultAlerts->setEnabled(m_alertSwitches.connectionAlerts);
    addDropShadow(m_ui->connectButton);
    addDropShadow(m_ui->disconnectButton);

    applySingleInstancePresentation();
    m_ui->menuHelp->removeAction(m_ui->actionNick);

    m_ui->detailsStack->setCurrentIndex(1);
    m_ui->statusTabWidget->setCurrentIndex(0);
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

IPCObject *MainWindow::selectedDevice() const
{
    return m_details->session();
}

void MainWindow::disableUnbuiltActions()
{
    // Actions whose views are not built yet stay disabled until they get
    // their handlers.
    for (QAction *action :
         {m_ui->actionGeneralOverview, m_ui->actionStatsOverview, m_ui->actionCopyNodeId,
          m_ui->actionCopyProfile, m_ui->actionEditProfile, m_ui->actionAddEntry, m_ui->actionEditEntry,
          m_ui->actionEnableMetering, m_ui->actionDisableMetering, m_ui->actionSetSounds, m_ui->actionDisconnectFleet,
          m_ui->actionSound, m_ui->actionAllowDefaultAlerts, m_ui->actionAbout, m_ui->actionHelp,
          m_ui->actionConfigDir, m_ui->actionConnect, m_ui->actionDisconnect, m_ui->actionRemoveEntry,
          m_ui->actionUseDirectoryPeers, m_ui->actionNewProfile, m_ui->actionRemoveProfile, m_ui->actionSendProfile,
          m_ui->actionSendPeer, m_ui->actionSetDefaultProfile, m_ui->actionAssignProfile,
          m_ui->actionAssignDefaultProfile, m_ui->actionDisconnectPeerFromStatTable, m_ui->actionAddMultiple,
          m_ui->actionConfigure, m_ui->actionShowNetStats, m_ui->actionReconnect, m_ui->actionPreferences,
          m_ui->actionEnableAlertEmails, m_ui->actionAssignEmailAddresses, m_ui->actionManageAddresses}) {
        action->setEnabled(false);
    }
    m_ui->actionStart_service->setVisible(false);
    m_ui->actionStop_service->setVisible(false);
}

void MainWindow::applySingleInstancePresentation()
{
    setWindowTitle(QStringLiteral("Pennoral"));

    m_ui->summaryGroupBox->hide();
    m_ui->menuFleet->deleteLater();
    m_ui->menuView->deleteLater();
    m_ui->menuAlerts->deleteLater();
    m_ui->menuFleet = m_ui->menuView = m_ui->menuAlerts = nullptr;
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

void MainWindow::setAlertSwitches(const AlertSwitches &switches)
{
    m_alertSwitches = switches;
    m_ui->actionSound->setChecked(switches.connectionAlerts);
    m_ui->actionAllowDefaultAlerts->setChecked(switches.defaultSounds);
    m_ui->actionEnableAlertEmails->setChecked(switches.alertEmails);
}

void MainWindow::exit()
{
    close();
}

// ---------------------------------------------------------------------------
// Adding a device and its password

void MainWindow::addDeviceTriggered()
{
    AddDevice dialog;
    dialog.setWindowTitle(QStringLiteral("Connect to Codec"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    addDeviceFrom(dialog);
}

void MainWindow::handleCCConnectTo(bool)
{
    addDeviceTriggered();
}

IPCObject *MainWindow::addDeviceFrom(const AddDevice &dialog)
{
    return m_loader->load(dialog);
}

void MainWindow::showPasswordDialog()
{
    if (IPCObject *s = selectedDevice())
        askForPassword(s->uuid(), this);
}

void MainWindow::askForPassword(QUuid uuid, QWidget *parent)
{
    m_passwords->ask(uuid, parent);
}

// ---------------------------------------------------------------------------
// Selection, enabling and the forwarders to the panes

void MainWindow::activeInstanceSelected(IPCObject *session)
{
    // A tile selects itself again when its device becomes ready: the details
    // already show it and redraw on that READY themselves.
    if (!session || session != m_details->session())
        m_details->setSession(session);
    handleAllEnables();
    update();
}

void MainWindow::removeInstance()
{
    m_summary->removeSelectedDevice();
    handleAllEnables();
}

void MainWindow::selectedWidgetChangedState(QUuid, IQEndpointClient::DEVICE_STATE state)
{
    m_details->showState(state);
}

void MainWindow::showHeaderContextMenu(const QPoint &pos)
{
    IPCObject *s = selectedDevice();
    if (!s)
        return;
    // Of the tile's menu, what this window can do so far.
    DeviceActions actions;
    actions.inputPassword = m_ui->actionInputPassword;
    actions.addDevice = m_ui->actionAddDevice;
    actions.removeDevice = m_ui->actionRemoveDevice;
    QMenu menu(this);
    actions.addTo(&menu, s->state(), s->meteringEnabled());
    menu.exec(m_ui->headerLabel->mapToGlobal(pos));
}

void MainWindow::handleAllEnables()
{
    applyEnables(computeEnables(currentFacts()));
}

EnableFacts MainWindow::currentFacts() const
{
    EnableFacts f;
    IPCObject *s = m_summary->deviceCount() > 0 ? selectedDevice() : nullptr;
    if (!s)
        return f;
    const IQEndpointClient::DEVICE_STATE state = s->state();
    f.device = true;
    f.ready = state == IQEndpointClient::READY;
    f.metering = s->meteringEnabled();
    f.versioned = s->isVersioned();
    f.connections = f.ready && s->activePeerCount() > 0;
    f.passwordRefused = state == IQEndpointClient::AUTH_FAILED;

    const QList<QListWidgetItem *> profiles = m_ui->profileList->selectedItems();
    f.profile = !profiles.isEmpty();
    f.profileNotEditable = f.profile && profiles.first()->data(ItemRoles::ProfileNotEditable).toBool();
    const QList<QTreeWidgetItem *> peers = m_ui->peerList->selectedItems();
    f.peer = !peers.isEmpty();
    if (f.peer) {
        const QTreeWidgetItem *row = peers.first();
        f.peerEditable = row->data(0, ItemRoles::PeerFromDirectory).toInt() == 0
                         && row->data(0, ItemRoles::PeerId).toInt() >= 0;
        f.peerConnected = row->data(0, ItemRoles::PeerConnected).toBool();
    }
    return f;
}

void MainWindow::applyEnables(const Enables &e)
{
    m_ui->actionRemoveDevice->setEnabled(e.removeDevice);
    m_ui->peerList->setEnabled(e.lists);
    m_ui->profileList->setEnabled(e.lists);
    m_ui->peerFilter->setEnabled(e.lists);
    m_ui->profileFilter->setEnabled(e.lists);
    m_ui->logPane->setButtonsEnabled(e.logButtons);
    m_ui->settingsEdit->setEnabled(e.settingsEditor);
    m_ui->statsPane->table()->setEnabled(e.statsTable);
    m_ui->connectButton->setEnabled(e.connectButton);
    m_ui->disconnectButton->setEnabled(e.disconnectButton);
    m_ui->statusTabWidget->setTabEnabled(m_ui->statusTabWidget->indexOf(m_ui->meterTab), e.meterTab);
    m_ui->statusTabWidget->setTabEnabled(m_ui->statusTabWidget->indexOf(m_ui->weftlineTab), e.weftlineTab);
    m_ui->actionEnableMetering->setVisible(e.enableMeteringVisible);
    m_ui->actionDisableMetering->setVisible(e.disableMeteringVisible);
    // The tile offers the password prompt only while the device refuses its password.
    m_ui->actionInputPassword->setEnabled(e.inputPassword);
}

void MainWindow::logAppend(const LogLine &line)
{
    m_ui->logPane->append(line);
}

void MainWindow::handleLogButtonPress(QAbstractButton *button)
{
    m_ui->logPane->handleButtonPress(button);
}

void MainWindow::resetLog()
{
    m_ui->logPane->reset();
}

void MainWindow::saveLog()
{
    m_ui->logPane->save();
}
