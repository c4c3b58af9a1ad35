// The main window's frame without a codec: every action with its text, tip,
// shortcut and menu, the menus in their orders, the construction details,
// tab panes built late, the alert switches and their file, "Timed Out" on the header, About and
// where Help looks for the README.

#include "common/stylewhenshown.h"
#include "configfile.h"
#include "connections/connectionstab.h"
#include "fleet/adddevice.h"
#include "fleet/instancewidget.h"
#include "fleet/torviksummary.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "alerts/windowalerts.h"
#include "mainwindow/aboutdialog.h"
#include "mainwindow/detailspane.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/windowcommands.h"
#include "uitest.h"
#include "weftline/weftlinestats.h"

#include <QAction>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

using uitest::child;

namespace {

// Object names of a menu's actions in order, "-" for a separator.
QStringList entries(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return out;
}

QStringList names(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions)
        out << (a ? a->objectName() : QStringLiteral("-"));
    return out;
}

// The menus of the window that hold @p action.
QStringList menusOf(QAction *action)
{
    QStringList out;
    for (QWidget *w : action->associatedWidgets()) {
        if (qobject_cast<QMenu *>(w))
            out << w->objectName();
    }
    return out;
}

QString configText()
{
    QFile f(uitest::ConfigSandbox::configPath());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class UiWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { IQCommonApp::instance()->start_manager(); }
    void cleanupTestCase() { IQCommonApp::instance()->stop_manager(); }

    void actions_data();
    void actions();
    void menusInOrder();
    void constructionDetails();
    void tabPanesWaitForTheirFirstNeed();
    void styleSheetWaitsUntilShown();
    void alertSwitchesAreSavedAndRestored();
    void headerShowsTimedOutUntilTheNextAttempt();
    void aboutShowsTheConfigurationFile();
    void weftlineTabTakesTheTunnelColour();
    void failedAlertMailShowsInTheStatusBar();
    void recordFieldsFromChildOrAttribute();
    void readmeIsLookedForBesideTheProgramThenInstalled();

private:
    uitest::ConfigSandbox m_config;
};

void UiWindow::actions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip"); // empty: none of its own
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("menu"); // empty: none (the fleet's menus are gone)

    const QKeySequence none;
    QTest::newRow("actionExit") << "Exit" << "" << QKeySequence("Ctrl+W") << "menuFile";
    QTest::newRow("actionGeneralOverview") << "Tiled" << "" << QKeySequence("Ctrl+D") << "";
    QTest::newRow("actionStatsOverview") << "Stats Table" << "" << none << "";
    QTest::newRow("actionAddDevice") << "Load Codec Instance..." << "" << QKeySequence("Ctrl+N") << "menuCodec";
    QTest::newRow("actionRemoveDevice") << "Disconnect from Codec Instance" << ""
                                        << QKeySequence(QKeySequence::Delete) << "menuCodec";
    QTest::newRow("actionCopyNodeId") << "Copy MAC Address" << "Copy the MAC Address of this unit\n" << none
                                      << "menuCodec";
    QTest::newRow("actionCopyProfile") << "Duplicate Profile" << "" << none << "menuCodec";
    QTest::newRow("actionEditProfile") << "Edit Profile..." << "" << none << "menuCodec";
    QTest::newRow("actionAddEntry") << "Add Peer..." << "" << none << "menuCodec";
    QTest::newRow("actionEditEntry") << "Edit Peer" << "" << none << "menuCodec";
    QTest::newRow("actionEnableMetering") << "Enable Metering" << "" << none << "menuCodec";
    QTest::newRow("actionDisableMetering") << "Disable Metering" << "" << none << "menuCodec";
    QTest::newRow("actionSetSounds")
        << "Set Alert Sounds..." << "Define which .wav files are played by Quorvane when certain device events happen."
        << none << "menuCodec";
    QTest::newRow("actionStart_service") << "Start TORVIK Service" << "" << none << "menuCodec";
    QTest::newRow("actionStop_service") << "Stop TORVIK Service" << "" << none << "menuCodec";
    QTest::newRow("actionDisconnectFleet") << "Fleet Disconnect All" << "" << none << "";
    QTest::newRow("actionSound") << "Play Connection Alerts" << "Enable or disable device alerts" << none
                                 << "menuAlerts";
    QTest::newRow("actionAllowDefaultAlerts")
        << "Enable the Default Alert Sounds"
        << "Allow or disallow the built-in alert sounds to play for device events when a wav file isn't provided"
        << none << "menuAlerts";
    QTest::newRow("actionAbout") << "About" << "" << QKeySequence(QKeySequence::HelpContents) << "menuHelp";
    QTest::newRow("actionHelp") << "Help" << "" << none << "menuHelp";
    QTest::newRow("actionConfigDir") << "Open config folder" << "" << none << "menuHelp";
    QTest::newRow("actionNick") << "nick" << "" << none << "";
    QTest::newRow("actionConnect") << "Connect" << "" << none << "";
    QTest::newRow("actionDisconnect") << "Disconnect All" << "" << none << "";
    QTest::newRow("actionRemoveEntry") << "Remove Peer" << "" << none << "";
    QTest::newRow("actionUseDirectoryPeers") << "Use Directory Peers" << "" << none << "";
    QTest::newRow("actionNewProfile") << "Create New Profile..." << "" << none << "";
    QTest::newRow("actionRemoveProfile") << "Remove Profile" << "" << none << "";
    QTest::newRow("actionSendProfile") << "Copy Profile to..." << "Copy the selected profile to other devices" << none
                                       << "";
    QTest::newRow("actionSendPeer") << "Copy Peer to..." << "Copy the selected peer to other devices" << none << "";
    QTest::newRow("actionSetDefaultProfile") << "Set this as the Unit's Default Profile" << "" << none << "";
    QTest::newRow("actionAssignProfile") << "Assign Profile to the selected Peer" << "" << none << "";
    QTest::newRow("actionAssignDefaultProfile") << "Assign the Default Profile to this peer" << "" << none << "";
    QTest::newRow("actionDisconnectPeerFromStatTable") << "Disconnect this peer" << "" << none << "";
    QTest::newRow("actionInputPassword") << "Input Password..." << "" << none << "";
    QTest::newRow("actionAddMultiple") << "Add Multiple Instances..." << "" << none << "";
    QTest::newRow("actionConfigure") << "Configure Instance" << "View and edit instance settings" << none << "";
    QTest::newRow("actionShowNetStats") << "Show Network Stats" << "" << none << "";
    QTest::newRow("actionReconnect") << "Reconnect to Device" << "" << none << "";
    QTest::newRow("actionPreferences") << "Preferences..." << "" << none << "";
    QTest::newRow("actionEnableAlertEmails") << "Enable Alert Emails" << "" << none << "menuAlerts";
    QTest::newRow("actionAssignEmailAddresses") << "Assign Email Addresses..." << "" << none << "";
    QTest::newRow("actionManageAddresses") << "Manage alert addresses" << "" << none << "menuAlerts";
    QTest::newRow("actionMailServer") << "Mail Server..." << "Set the mail server that alert e-mails are sent through"
                                      << none << "menuAlerts";
}

void UiWindow::actions()
{
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, menu);
    MainWindow window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the dropped menus
    auto *action = child<QAction>(&window, QTest::currentDataTag());
    QVERIFY(action);
    QCOMPARE(action->text(), text);
    if (!tip.isEmpty())
        QCOMPARE(action->toolTip(), tip);
    QCOMPARE(action->shortcut(), shortcut);
    QCOMPARE(menusOf(action), menu.isEmpty() ? QStringList() : QStringList{menu});
}

void UiWindow::menusInOrder()
{
    MainWindow window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(entries(child<QMenu>(&window, "menuCodec")),
             (QStringList{"actionAddDevice", "actionRemoveDevice", "-", "actionCopyNodeId", "-", "actionCopyProfile",
                          "actionEditProfile", "-", "actionAddEntry", "actionEditEntry", "-",
                          "actionEnableMetering", "actionDisableMetering", "actionSetSounds", "-",
                          "actionStart_service", "actionStop_service"}));
    QVERIFY(!child<QAction>(&window, "actionStart_service")->isVisible());
    QCOMPARE(entries(child<QMenu>(&window, "menuHelp")), (QStringList{"actionAbout", "actionHelp", "actionConfigDir"}));
    QCOMPARE(entries(child<QMenu>(&window, "menuAlerts")),
             (QStringList{"actionSound", "actionAllowDefaultAlerts", "actionEnableAlertEmails", "-",
                          "actionManageAddresses", "actionMailServer"}));

    auto *tab = window.findChild<ConnectionsTab *>();
    QCOMPARE(names(tab->peerMenu()), (QStringList{"actionAddEntry", "actionEditEntry", "actionRemoveEntry", "-",
                                                  "actionSendPeer", "actionAssignDefaultProfile"}));
    QCOMPARE(names(tab->profileMenu()),
             (QStringList{"actionCopyProfile", "actionEditProfile", "-", "actionAssignProfile",
                          "actionSetDefaultProfile", "-", "actionSendProfile", "-", "actionRemoveProfile"}));
}

void UiWindow::constructionDetails()
{
    QFile::remove(uitest::ConfigSandbox::configPath());
    MainWindow window;
    auto *tabs = child<QTabWidget>(&window, "statusTabWidget");
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i) + '/' + tabs->widget(i)->objectName();
    QCOMPARE(titles, (QStringList{"Connections/connectionsTab", "Statistics/statsTab", "Settings/settingsTab",
                                  "Weftline/weftlineTab", "Log/logTab", "Meters/meterTab"}));
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(!child<QWidget>(&window, "settingsEdit")->isEnabled());

    const int points = int(1.2 * child<QGroupBox>(&window, "summaryGroupBox")->font().pointSizeF());
    QCOMPARE(child<QGroupBox>(&window, "detailsGroupBox")->styleSheet(),
             QStringLiteral("QGroupBox{ font-size: %1pt; }").arg(points));
    for (const char *name : {"peerList", "profileList", "statsTable"})
        QVERIFY2(child<QAbstractItemView>(&window, name)->alternatingRowColors(), name);
    for (const char *name : {"connectButton", "disconnectButton"}) {
        auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(child<QWidget>(&window, name)->graphicsEffect());
        QVERIFY2(shadow, name);
        QCOMPARE(shadow->color(), QColor(2, 2, 2, 255));
        QCOMPARE(shadow->blurRadius(), 10.0);
        QCOMPARE(shadow->offset(), QPointF(1, 1));
    }
    const QList<QPair<const char *, QString>> legends = {
        {"targetLabel", "220, 228, 0"}, {"jitterLabel", "50, 240, 180"},     {"delayLabel", "70, 140, 240"},
        {"correctionLabel", "230, 200, 0"}, {"remoteLossLabel", "150, 230, 70"}, {"frameLossLabel", "242, 70, 40"}};
    for (const auto &legend : legends)
        QCOMPARE(child<QLabel>(&window, legend.first)->styleSheet(), "color: rgba(" + legend.second + ", 255);");

    // Without a file the folder cannot be opened; the first save makes it.
    auto *configDir = child<QAction>(&window, "actionConfigDir");
    QVERIFY(!configDir->isEnabled());
    window.saveConfiguration();
    QVERIFY(configDir->isEnabled());
    MainWindow second;
    QVERIFY(child<QAction>(&second, "actionConfigDir")->isEnabled());
}

void UiWindow::tabPanesWaitForTheirFirstNeed()
{
    const char *const panes[] = {"statsPane", "settingsEdit", "weftlineView", "logPane", "meterPane"};
    const auto built = [&panes](MainWindow &w) {
        int n = 0;
        for (const char *name : panes)
            n += w.findChild<QWidget *>(name) != nullptr;
        return n;
    };
    // What the panes show with nothing selected, as the window built them with itself.
    const auto state = [](MainWindow &w) {
        return QVariantList{child<QWidget>(&w, "settingsEdit")->isEnabled(),
                            child<QWidget>(&w, "logButtonBox")->isEnabled(),
                            child<QWidget>(&w, "statsTable")->isEnabled(),
                            child<QWidget>(&w, "statsTable")->contextMenuPolicy(),
                            child<QWidget>(&w, "meter")->contextMenuPolicy(),
                            child<QTabWidget>(&w, "statusTabWidget")->tabBar()->tabTextColor(3)};
    };
    MainWindow now;
    QCOMPARE(built(now), 5);

    // Opening a tab builds them all, in their pages, as they would have been.
    MainWindow opened(nullptr, MainWindow::TabPaneBuild::AfterFirstPaint);
    QCOMPARE(built(opened), 0);
    QVERIFY(child<QWidget>(&opened, "statsTab"));
    opened.show();
    child<QTabWidget>(&opened, "statusTabWidget")->setCurrentIndex(4);
    QCOMPARE(built(opened), 5);
    QCOMPARE(state(opened), state(now));
    QCOMPARE(child<QWidget>(&opened, "logPane")->parentWidget(), child<QWidget>(&opened, "logTab"));
    QVERIFY(child<QWidget>(&opened, "logPane")->isVisible());

    // Painted, the window builds them next.
    MainWindow painted(nullptr, MainWindow::TabPaneBuild::AfterFirstPaint);
    painted.show();
    QTRY_COMPARE(built(painted), 5);
    QCOMPARE(child<QTabWidget>(&painted, "statusTabWidget")->currentIndex(), 0);

    // So does a window asked for one: a log line for the selected device.
    MainWindow asked(nullptr, MainWindow::TabPaneBuild::AfterFirstPaint);
    asked.resetLog();
    QCOMPARE(built(asked), 5);
}

void UiWindow::styleSheetWaitsUntilShown()
{
    const QString sheet = QStringLiteral("QGroupBox{ font-size: 14pt; }");
    QWidget window;
    auto *box = new QGroupBox(&window);
    box->hide();
    window.show();
    setStyleSheetWhenShown(box, sheet);
    QVERIFY(box->styleSheet().isEmpty());
    box->show();
    QCOMPARE(box->styleSheet(), sheet);
    // Shown already: at once.
    QGroupBox shown;
    shown.show();
    setStyleSheetWhenShown(&shown, sheet);
    QCOMPARE(shown.styleSheet(), sheet);

    MainWindow main;
    QVERIFY(child<QWidget>(&main, "summaryGroupBox")->styleSheet().isEmpty()); // out of sight
}

void UiWindow::alertSwitchesAreSavedAndRestored()
{
    QFile::remove(uitest::ConfigSandbox::configPath());
    MailServerSettings mail;
    mail.host = "smtp.example.org";
    mail.port = 587;
    mail.security = MailServerSettings::StartTls;
    mail.sender = "console@example.org";
    {
        MainWindow window;
        auto *sounds = child<QAction>(&window, "actionSound");
        auto *defaults = child<QAction>(&window, "actionAllowDefaultAlerts");
        QVERIFY(!defaults->isEnabled()); // only while alerts are on
        sounds->trigger();
        QVERIFY(defaults->isEnabled());
        QVERIFY(window.alertSwitches().connectionAlerts);
        QVERIFY(configText().contains("audio=\"true\""));
        defaults->trigger();
        child<QAction>(&window, "actionEnableAlertEmails")->trigger();
        QVERIFY(configText().contains("alert-emails=\"true\""));
        sounds->trigger();
        QVERIFY(!defaults->isEnabled());
        QVERIFY(configText().contains("audio=\"false\" default-sounds=\"true\""));
        window.alerts().setMailServer(mail);
    }
    MainWindow window;
    QVERIFY(window.loadConfiguration());
    QCOMPARE(window.alertSwitches(), (AlertSwitches{false, true, true}));
    QCOMPARE(window.alerts().mailServer(), mail);
    QVERIFY(child<QAction>(&window, "actionEnableAlertEmails")->isChecked());
    QVERIFY(!child<QAction>(&window, "actionAllowDefaultAlerts")->isEnabled());
}

void UiWindow::headerShowsTimedOutUntilTheNextAttempt()
{
    MainWindow window;
    AddDevice dialog;
    child<QLineEdit>(&dialog, "addressEdit")->setText("127.0.0.1");
    child<QLineEdit>(&dialog, "portEdit")->setText("9");
    IPCObject *s = window.addDeviceFrom(dialog);
    QVERIFY(s);
    auto *header = child<QLabel>(&window, "headerLabel");
    QLabel *tileState = child<QLabel>(window.summary().tiles().first(), "stateLabel");

    // The session reports the time-out apart, then DISCONNECTED at once.
    emit s->cnxn_timed_out();
    emit s->changedState(s->uuid(), IQEndpointClient::DISCONNECTED);
    QVERIFY2(header->text().endsWith(" - Timed Out"), qPrintable(header->text()));
    QCOMPARE(tileState->text(), QStringLiteral("Timed Out"));
    emit s->changedState(s->uuid(), IQEndpointClient::CONNECTING);
    QVERIFY(header->text().endsWith(" - Connecting"));
    emit s->changedState(s->uuid(), IQEndpointClient::DISCONNECTED);
    QVERIFY(header->text().endsWith(" - Not connected"));
}

void UiWindow::aboutShowsTheConfigurationFile()
{
    MainWindow window;
    QString shown;
    auto ran = uitest::whenModal<AboutDialog>([&shown](AboutDialog *d) {
        shown = child<QLabel>(d, "configPathLabel")->text();
        d->accept();
    });
    child<QAction>(&window, "actionAbout")->trigger();
    QVERIFY(*ran);
    QCOMPARE(shown, QDir::toNativeSeparators(uitest::ConfigSandbox::configPath()));
}

void UiWindow::weftlineTabTakesTheTunnelColour()
{
    MainWindow window;
    auto *tabs = child<QTabWidget>(&window, "statusTabWidget");
    const int weftline = tabs->indexOf(child<QWidget>(&window, "weftlineTab"));
    auto *pane = window.findChild<WeftlineStats *>();
    for (const char *status : {"green", "yellow", "red"}) {
        emit pane->statusChanged(status);
        QCOMPARE(tabs->tabBar()->tabTextColor(weftline), DetailsPane::weftlineTabColour(status));
        QVERIFY(DetailsPane::weftlineTabColour(status).isValid());
    }
    QVERIFY(DetailsPane::weftlineTabColour("red") != DetailsPane::weftlineTabColour("green"));
    QVERIFY(!DetailsPane::weftlineTabColour("gray").isValid()); // no tunnel: the tab's own colour
}

void UiWindow::failedAlertMailShowsInTheStatusBar()
{
    MainWindow window;
    AddDevice dialog;
    child<QLineEdit>(&dialog, "addressEdit")->setText("127.0.0.1");
    child<QLineEdit>(&dialog, "portEdit")->setText("9");
    IPCObject *s = window.addDeviceFrom(dialog);
    s->setEmailAddresses({"desk@example.org"});
    window.setAlertSwitches(AlertSwitches{false, false, true});
    // Every session of the fleet reaches the alert handler; no server is set up.
    emit s->deviceEvent(s, QV_EVENT_AUDIO_CONNECTION_STARTED);
    QTRY_VERIFY(window.statusBar()->currentMessage().contains("desk@example.org"));
    QVERIFY(window.statusBar()->currentMessage().contains("failed"));
}

void UiWindow::recordFieldsFromChildOrAttribute()
{
    // What the status box reads: a child's text, else the attribute of that name.
    const auto status = [](const char *xml) {
        Message record;
        record.parse(std::string(xml));
        return get_field_qstring(record, "status");
    };
    QCOMPARE(status("<sipProxy><status>Registered</status></sipProxy>"), QStringLiteral("Registered"));
    QCOMPARE(status("<sipProxy status=\"Registered\"/>"), QStringLiteral("Registered"));
    QCOMPARE(status("<sipProxy status=\"old\"><status>Registered</status></sipProxy>"), QStringLiteral("Registered"));
    QCOMPARE(status("<sipProxy status=\"Registered\"><status/></sipProxy>"), QStringLiteral("Registered"));
    QCOMPARE(status("<sipProxy/>"), QString());
}

void UiWindow::readmeIsLookedForBesideTheProgramThenInstalled()
{
    QCOMPARE(WindowCommands::readmeCandidates("/opt/q/bin", "/usr/share/quorvane"),
             (QStringList{"/opt/q/bin/README.md", "/opt/q/share/quorvane/README.md",
                          "/opt/q/share/doc/quorvane/README.md", "/usr/share/quorvane/README.md",
                          "/usr/share/doc/quorvane/README.md"}));
    // An install in its configured prefix names each folder once.
    QCOMPARE(WindowCommands::readmeCandidates("/usr/bin", "/usr/share/quorvane").size(), 3);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("share/doc/quorvane"));
    const QString installed = dir.filePath("share/doc/quorvane/README.md");
    QFile f(installed);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const QStringList candidates = WindowCommands::readmeCandidates(dir.filePath("bin"), "/nonexistent");
    QCOMPARE(WindowCommands::firstExisting(candidates), installed);
    QVERIFY(WindowCommands::firstExisting({dir.path()}).isEmpty()); // a folder is no README
}

QTEST_MAIN(UiWindow)
#include "tst_ui_window.moc"
