#include "mainwindow.h"

#include "adddevice.h"
#include "devicestatetext.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "qtmessage.h"
#include "sessiontable.h"
#include "ui_mainwindow.h"
#include "unitpassword.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <string_view>

const char *const MainWindow::DefaultPassword = "tarlin";

namespace {

MainWindow *s_window = nullptr;

// The item data role in which a peer row says whether the peer is connected.
constexpr int RolePeerConnected = 259;

bool recordBool(const Message &record, std::string_view name)
{
    const QString text = get_field_qstring(record, name).trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
}

void setLegendColour(QWidget *label, int r, int g, int b, int a)
{
    label->setStyleSheet(QStringLiteral("color: rgba(%1, %2, %3, %4);").arg(r).arg(g).arg(b).arg(a));
}

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

    connect(m_ui->actionExit, &QAction::triggered, this, &MainWindow::exit);
    connect(m_ui->actionAddDevice, &QAction::triggered, this, &MainWindow::addDeviceTriggered);
    connect(m_ui->actionInputPassword, &QAction::triggered, this, &MainWindow::showPasswordDialog);
    connect(m_ui->logButtonBox, &QDialogButtonBox::clicked, this, &MainWindow::handleLogButtonPress);
    connect(m_sessions, &SessionTable::sessionRemoved, this, [this] { handleAllEnables(); });

    // The header stands in for the device's tile menu while there is no tile.
    m_ui->headerLabel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->headerLabel, &QWidget::customContextMenuRequested, this, &MainWindow::showHeaderContextMenu);

    // Actions whose views are not built yet stay disabled until they get
    // their handlers.
    for (QAction *action :
         {m_ui->actionGeneralOverview, m_ui->actionStatsOverview, m_ui->actionRemoveDevice, m_ui->actionCopyNodeId,
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

    setUpStatisticsTable();
    m_ui->peerList->setAlternatingRowColors(true);
    m_ui->profileList->setAlternatingRowColors(true);

    const int groupPoints = int(1.2 * m_ui->summaryGroupBox->font().pointSizeF());
    const QString groupStyle = QStringLiteral("QGroupBox{ font-size: %1pt; }").arg(groupPoints);
    m_ui->summaryGroupBox->setStyleSheet(groupStyle);
    m_ui->detailsGroupBox->setStyleSheet(groupStyle);

    m_ui->actionAllowDefaultAlerts->setEnabled(m_connectionAlerts);
    addDropShadow(m_ui->connectButton);
    addDropShadow(m_ui->disconnectButton);

    applySingleInstancePresentation();

    // The statistics labels double as the graphs' legends.
    setLegendColour(m_ui->targetLabel, 220, 228, 0, 255);
    setLegendColour(m_ui->jitterLabel, 50, 240, 180, 255);
    setLegendColour(m_ui->delayLabel, 70, 140, 240, 255);
    setLegendColour(m_ui->correctionLabel, 230, 200, 0, 255);
    setLegendColour(m_ui->remoteLossLabel, 150, 230, 70, 255);
    setLegendColour(m_ui->frameLossLabel, 242, 70, 40, 255);
    m_ui->menuHelp->removeAction(m_ui->actionNick);

    m_ui->detailsStack->setCurrentIndex(1);
    m_ui->statusTabWidget->setCurrentIndex(0);
}

MainWindow::~MainWindow()
{
    saveConfiguration();
    disconnectSelected();
    m_selected = nullptr;

    // Sessions leave the manager now, while it still runs (it stops when this
    // window's destroyed() is emitted), and are deleted here rather than by an
    // event loop that has already returned.
    QList<QPointer<IPCObject>> sessions;
    for (IPCObject *s : m_sessions->sessions())
        sessions.append(s);
    delete m_sessions;
    m_sessions = nullptr;
    for (const QPointer<IPCObject> &s : sessions) {
        if (s)
            QCoreApplication::sendPostedEvents(s, QEvent::DeferredDelete);
    }
    delete m_ui;
    if (s_window == this)
        s_window = nullptr;
}

MainWindow *MainWindow::instance()
{
    return s_window;
}

void MainWindow::setUpStatisticsTable()
{
    QTableWidget *table = m_ui->statsTable;
    const QStringList headers = {"Remote Unit", "Duration", "RX Rate",    "RX Overhead", "RX Delay",
                                 "TX Rate",     "TX Overhead", "TX Delay", "Frame Loss",  "Remote Loss"};
    table->setColumnCount(headers.size());
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    const int widths[] = {85, 55, 88, 58, 58, 80, 55, 70, 70};
    for (int column = 1; column <= 9; ++column)
        table->setColumnWidth(column, widths[column - 1]);
    table->setAlternatingRowColors(true);
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

bool MainWindow::loadConfiguration()
{
    // The configuration file is read by the summary pane, which is not here yet.
    return false;
}

void MainWindow::saveConfiguration()
{
    // The configuration file is written with the summary pane, which is not here yet.
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

void MainWindow::removeAllDevices()
{
    if (m_selected && m_sessions->contains(m_selected->uuid())) {
        disconnectSelected();
        m_selected = nullptr;
    }
    QList<QPointer<IPCObject>> old;
    for (IPCObject *s : m_sessions->sessions())
        old.append(s);
    m_sessions->clear();
    // The old codec is out of the manager and gone before the new one connects.
    for (const QPointer<IPCObject> &s : old) {
        if (s)
            QCoreApplication::sendPostedEvents(s, QEvent::DeferredDelete);
    }
}

IPCObject *MainWindow::addDeviceFrom(const AddDevice &dialog)
{
    removeAllDevices();

    IPCObject *session = m_sessions->create(QUuid::createUuid());
    if (!session) {
        qWarning("The new device session could not be registered with the network manager.");
        activeInstanceSelected(nullptr);
        return nullptr;
    }
    // What the device's tile does with its state (the password prompt).
    connect(session, &IPCObject::changedState, this, &MainWindow::deviceChangedState);

    const QString address = dialog.address();
    const quint16 port = dialog.port();
    session->setAddress(address, port);
    activeInstanceSelected(session);
    session->setAddressAndConnect(address, port, QString::fromLatin1(DefaultPassword));

    // Only sound files that exist replace the defaults.
    for (QV_EVENT event : {QV_EVENT_AUDIO_CONNECTION_STARTED, QV_EVENT_AUDIO_CONNECTION_ENDED,
                           QV_EVENT_DEVICE_ONLINE, QV_EVENT_DEVICE_OFFLINE}) {
        const QString path = dialog.soundPath(event);
        if (!path.isEmpty() && QFileInfo(path).isFile())
            session->setAlertSound(event, path);
    }
    saveConfiguration();
    return session;
}

void MainWindow::showPasswordDialog()
{
    if (!m_selected)
        return;
    askForPassword(m_selected->uuid(), this);
}

void MainWindow::askForPassword(QUuid uuid, QWidget *parent)
{
    IPCObject *session = m_sessions->session(uuid);
    if (!session || m_passwordPrompts.contains(uuid))
        return;
    m_passwordPrompts.append(uuid);
    UnitPassword dialog(parent);
    dialog.setUnitName(session->unitName());
    dialog.setAddress(session->address());
    const int result = dialog.exec();
    m_passwordPrompts.removeAll(uuid);
    if (result != QDialog::Accepted)
        return;
    // The device may have been replaced while the prompt was open.
    session = m_sessions->session(uuid);
    if (!session)
        return;
    session->setPassword(dialog.password());
    session->reconnect();
}

void MainWindow::deviceChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state)
{
    if (state == IQEndpointClient::AUTH_FAILED) {
        // Asked from the event loop, not from inside the session's signal, so
        // the device may go away while the prompt is open.
        QTimer::singleShot(0, this, [this, uuid] {
            IPCObject *session = m_sessions->session(uuid);
            if (session && session->state() == IQEndpointClient::AUTH_FAILED)
                askForPassword(uuid, this);
        });
    } else if (state == IQEndpointClient::READY && m_selected && m_selected->uuid() == uuid) {
        // A device that becomes ready is selected again so that the details follow.
        activeInstanceSelected(m_selected);
    }
}

// ---------------------------------------------------------------------------
// Selection and the details pane

void MainWindow::disconnectSelected()
{
    for (const QMetaObject::Connection &c : qAsConst(m_selectedConnections))
        disconnect(c);
    m_selectedConnections.clear();
}

void MainWindow::activeInstanceSelected(IPCObject *session)
{
    const bool changed = session != m_selected;
    disconnectSelected();
    m_selected = session;

    if (changed) {
        clearStatusPane();
        m_ui->currentEncoderLabel->clear();
        m_ui->firmwareVersionLabel->clear();
        m_stateText.clear();
    }
    if (!session) {
        m_ui->headerLabel->clear();
        m_ui->logView->clear();
        handleAllEnables();
        m_ui->detailsStack->setCurrentIndex(0);
        return;
    }

    m_ui->detailsStack->setCurrentIndex(1);
    m_selectedConnections << connect(session, &IPCObject::recvPeerList, this, &MainWindow::ipcRecvPeerList)
                          << connect(session, &IPCObject::changedState, this, &MainWindow::selectedWidgetChangedState)
                          << connect(&session->eventLog(), &DeviceLog::lineAdded, this, &MainWindow::logAppend)
                          << connect(&session->eventLog(), &DeviceLog::lineReplaced, this, &MainWindow::logAppend)
                          << connect(session, &IPCObject::recvSipProxy, this, &MainWindow::refreshSipStatus)
                          << connect(session, &IPCObject::recvDirectoryServer, this,
                                     &MainWindow::refreshDirectoryServerStatus)
                          << connect(session, &IPCObject::recvCurrentEncoder, this, &MainWindow::refreshCurrentEncoder)
                          << connect(session, &IPCObject::recvSysOptions, this, &MainWindow::ipcRecvSysOptions)
                          << connect(session, &IPCObject::recvVersion, this, &MainWindow::ipcRecvVersion);

    m_stateText = deviceStateText(session->state(), session->activePeerCount(), m_stateText);
    if (session->state() == IQEndpointClient::READY) {
        refreshSipStatus();
        refreshDirectoryServerStatus();
        refreshCurrentEncoder();
        refreshFirmwareVersion();
    }
    refreshHeader();
    reloadLogView();
    handleAllEnables();
    update();
}

void MainWindow::selectedWidgetChangedState(QUuid, IQEndpointClient::DEVICE_STATE state)
{
    if (!m_selected)
        return;
    m_stateText = deviceStateText(state, m_selected->activePeerCount(), m_stateText);
    refreshHeader();
    handleAllEnables();
}

void MainWindow::refreshHeader()
{
    if (!m_selected) {
        m_ui->headerLabel->clear();
        return;
    }
    QString text = m_selected->unitName() + QStringLiteral(" (") + m_selected->address() + QLatin1Char(':')
                   + QString::number(m_selected->port()) + QLatin1Char(')');
    if (!m_stateText.isEmpty())
        text += QStringLiteral(" - ") + m_stateText;
    m_ui->headerLabel->setText(text.trimmed());
}

void MainWindow::ipcRecvSysOptions(QUuid)
{
    refreshHeader();
}

void MainWindow::ipcRecvPeerList(QUuid)
{
    if (!m_selected)
        return;
    if (m_selected->state() == IQEndpointClient::READY) {
        m_stateText = connectionCountText(m_selected->activePeerCount());
        refreshHeader();
    }
    handleAllEnables();
}

void MainWindow::ipcRecvVersion(QUuid)
{
    refreshFirmwareVersion();
}

void MainWindow::refreshFirmwareVersion()
{
    if (!m_selected)
        return;
    Message version;
    if (m_selected->cachedMessage(QStringLiteral("version"), version))
        m_ui->firmwareVersionLabel->setText(get_field_qstring(version, "version"));
}

void MainWindow::refreshSipStatus()
{
    if (!m_selected)
        return;
    Message sip;
    if (!m_selected->cachedMessage(QStringLiteral("sipProxy"), sip))
        return;
    if (!recordBool(sip, "enabled"))
        m_ui->sipLabel->setText(QStringLiteral("Disabled"));
    else if (recordBool(sip, "online"))
        m_ui->sipLabel->setText(QStringLiteral("Connected (") + get_field_qstring(sip, "status") + QLatin1Char(')'));
    else
        m_ui->sipLabel->setText(QStringLiteral("Not Connected"));
}

void MainWindow::refreshDirectoryServerStatus()
{
    if (!m_selected)
        return;
    Message server;
    if (!m_selected->cachedMessage(QStringLiteral("directoryServer"), server))
        return;
    QLabel *label = m_ui->pallisterServerLabel;
    if (!recordBool(server, "enabled")) {
        label->setText(QStringLiteral("Disabled"));
        label->setStyleSheet(QStringLiteral("color: darkYellow"));
    } else if (recordBool(server, "connected")) {
        label->setText(QStringLiteral("Online"));
        label->setStyleSheet(QStringLiteral("color: darkGreen"));
    } else {
        label->setText(QStringLiteral("Offline"));
        label->setStyleSheet(QStringLiteral("color: darkRed"));
    }
    m_ui->publicIpLabel->setText(get_field_qstring(server, "nat_addr"));
    m_ui->natTypeLabel->setText(get_field_qstring(server, "nat_type"));
}

void MainWindow::refreshCurrentEncoder()
{
    if (!m_selected)
        return;
    Message encoder;
    if (m_selected->cachedMessage(QStringLiteral("currentEncoder"), encoder) && m_selected->activePeerCount() > 0)
        m_ui->currentEncoderLabel->setText(get_field_qstring(encoder, "descr"));
    else
        m_ui->currentEncoderLabel->setText(QStringLiteral("None"));
}

void MainWindow::clearStatusPane()
{
    m_ui->sipLabel->clear();
    m_ui->pallisterServerLabel->clear();
    m_ui->publicIpLabel->clear();
    m_ui->natTypeLabel->clear();
}

void MainWindow::showHeaderContextMenu(const QPoint &pos)
{
    if (!m_selected)
        return;
    QMenu menu(this);
    if (m_selected->state() == IQEndpointClient::AUTH_FAILED)
        menu.addAction(m_ui->actionInputPassword);
    menu.addAction(m_ui->actionAddDevice);
    menu.exec(m_ui->headerLabel->mapToGlobal(pos));
}

void MainWindow::handleAllEnables()
{
    IPCObject *s = m_sessions && m_sessions->count() > 0 ? m_selected.data() : nullptr;
    const IQEndpointClient::DEVICE_STATE state = s ? s->state() : IQEndpointClient::DISCONNECTED;
    const bool device = s != nullptr;
    const bool ready = device && state == IQEndpointClient::READY;
    const bool metering = device && s->meteringEnabled();
    const bool versioned = device && s->isVersioned();
    const bool calls = ready && s->activePeerCount() > 0;

    const QList<QListWidgetItem *> profiles = m_ui->profileList->selectedItems();
    const bool profile = device && !profiles.isEmpty();
    const QList<QTreeWidgetItem *> peers = m_ui->peerList->selectedItems();
    const bool peer = device && !peers.isEmpty();
    const bool peerConnected = peer && peers.first()->data(0, RolePeerConnected).toBool();

    m_ui->peerList->setEnabled(ready);
    m_ui->profileList->setEnabled(ready);
    m_ui->peerFilter->setEnabled(ready);
    m_ui->profileFilter->setEnabled(ready);
    m_ui->logButtonBox->setEnabled(ready);
    m_ui->settingsEdit->setEnabled(ready);
    m_ui->statsTable->setEnabled(calls);
    m_ui->connectButton->setEnabled(profile && peer && !peerConnected);
    m_ui->disconnectButton->setEnabled(peer && peerConnected);
    m_ui->statusTabWidget->setTabEnabled(m_ui->statusTabWidget->indexOf(m_ui->meterTab), ready && metering);
    m_ui->statusTabWidget->setTabEnabled(m_ui->statusTabWidget->indexOf(m_ui->weftlineTab), device && versioned);
    m_ui->actionEnableMetering->setVisible(ready && !metering);
    m_ui->actionDisableMetering->setVisible(ready && metering);
    // The tile offers the password prompt only while the device refuses its password.
    m_ui->actionInputPassword->setEnabled(device && state == IQEndpointClient::AUTH_FAILED);
}

// ---------------------------------------------------------------------------
// Log tab

void MainWindow::reloadLogView()
{
    m_ui->logView->clear();
    if (!m_selected)
        return;
    const QList<LogLine> &lines = m_selected->eventLog().lines();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        m_ui->logView->appendPlainText(it->text());
}

void MainWindow::logAppend(const LogLine &line)
{
    m_ui->logView->appendPlainText(line.text());
}

void MainWindow::handleLogButtonPress(QAbstractButton *button)
{
    switch (m_ui->logButtonBox->standardButton(button)) {
    case QDialogButtonBox::Reset:
        resetLog();
        break;
    case QDialogButtonBox::Save:
        saveLog();
        break;
    default:
        break;
    }
}

void MainWindow::resetLog()
{
    if (!m_selected)
        return;
    m_selected->eventLog().clear();
    m_ui->logView->clear();
}

QString MainWindow::logFileName(const QString &chosen)
{
    if (chosen.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QStringLiteral(".txt");
}

bool MainWindow::writeLogFile(const QString &path, const QString &text)
{
    QFile file(path);
    // Truncated: a shorter log must not leave the tail of an older file behind.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    QString content = text;
    content.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    content += QStringLiteral("\r\n");
    const QByteArray bytes = content.toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

void MainWindow::saveLog()
{
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Save Log as txt File"), QString(),
                                                        QStringLiteral("Text file (*.txt)"));
    if (chosen.isEmpty())
        return;
    if (!writeLogFile(logFileName(chosen), m_ui->logView->toPlainText())) {
        QMessageBox::warning(this, QStringLiteral("Error"), QStringLiteral("Unable to save the log to the file specified."),
                             QMessageBox::Ok);
    }
}
