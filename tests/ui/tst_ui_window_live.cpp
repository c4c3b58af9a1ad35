// The main window against simulated codecs over 127.0.0.1, checked on screen
// and from what the codecs received: switching devices leaves nothing of the
// old one listening, the device menu in its states, the filters, the
// statistics table across refreshes, the fleet's disconnect, metering off,
// alerts and a call started from the Connections tab, a settings change, tab
// panes built after the device began talking.

#include "alerts/deviceeventhandler.h"
#include "alerts/soundplayer.h"
#include "alerts/windowalerts.h"
#include "../device/simrig.h"
#include "common/itemroles.h"
#include "connections/connectionstab.h"
#include "fleet/adddevice.h"
#include "fleet/instancewidget.h"
#include "fleet/torvikstatrow.h"
#include "fleet/torviksummary.h"
#include "fleet/unitpassword.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "mainwindow/mainwindow.h"
#include "meters/meterwidget.h"
#include "meters/minimeter.h"
#include "meters/monitoringmeter.h"
#include "sessiontable.h"
#include "uitest.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>


using State = IQEndpointClient::DEVICE_STATE;
using uitest::child;

namespace {

const int Long = 20000; // generous: the machine may be busy

/** The requests named @p name that codec @p codec received, in order. */
QList<Message> received(const SimRig &rig, const char *name, int codec = 0)
{
    QList<Message> out;
    for (const Request &r : rig.requests(codec)) {
        if (r.message.name() == name)
            out << r.message;
    }
    return out;
}

/** Returns once codec @p codec has read everything @p s sent before this call. */
bool sync(SimRig &rig, IPCObject *s, int codec = 0)
{
    static int markers = 0;
    const std::string seq = "marker" + std::to_string(++markers);
    Message marker("getCodecList");
    marker.set_string("seq", seq);
    s->sendCommand(marker);
    return QTest::qWaitFor([&] { return rig.count("getCodecList/" + seq, codec) > 0; }, Long);
}

/** Loads 127.0.0.1:@p port as the operator does ("tarlin"); returned once READY unless @p wait is false. */
IPCObject *load(MainWindow &window, quint16 port, bool wait = true)
{
    AddDevice dialog;
    child<QLineEdit>(&dialog, "addressEdit")->setText("127.0.0.1");
    child<QLineEdit>(&dialog, "portEdit")->setText(QString::number(port));
    IPCObject *s = window.addDeviceFrom(dialog);
    if (wait && !QTest::qWaitFor([s] { return s->state() == IQEndpointClient::READY; }, Long))
        return nullptr;
    return s;
}

/**
 * A second device of the fleet beside the loaded one, with its tile when
 * @p tile; connected unless @p password is empty (then it stays still).
 */
IPCObject *addToFleet(MainWindow &window, quint16 port, const QString &password, bool tile)
{
    IPCObject *s = window.sessions().create();
    s->setAddress("127.0.0.1", port);
    if (tile) {
        window.summary().addDeviceView(s);
        window.summary().layoutTiles();
    }
    if (!password.isEmpty())
        s->setAddressAndConnect("127.0.0.1", port, password);
    return s;
}

InstanceWidget *tileOf(MainWindow &window, IPCObject *s)
{
    for (InstanceWidget *t : window.summary().tiles()) {
        if (t->session() == s)
            return t;
    }
    return nullptr;
}

QStringList menuOf(InstanceWidget *tile)
{
    QMenu menu;
    tile->fillContextMenu(&menu);
    QStringList out;
    for (QAction *a : menu.actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return out;
}

/** What the details pane shows, as text: equal snapshots mean nothing on screen changed. */
QStringList screen(MainWindow &w)
{
    QStringList out{child<QLabel>(&w, "headerLabel")->text(),
                    QString::number(child<QStackedWidget>(&w, "detailsStack")->currentIndex()),
                    child<QPlainTextEdit>(&w, "logView")->toPlainText()};
    auto *peers = child<QTreeWidget>(&w, "peerList");
    for (int i = 0; i < peers->topLevelItemCount(); ++i)
        out << peers->topLevelItem(i)->text(0) + peers->topLevelItem(i)->text(2);
    auto *profiles = child<QListWidget>(&w, "profileList");
    for (int i = 0; i < profiles->count(); ++i)
        out << profiles->item(i)->text();
    auto *stats = child<QTableWidget>(&w, "statsTable");
    for (int r = 0; r < stats->rowCount(); ++r)
        out << stats->item(r, 0)->text() + stats->item(r, 1)->text();
    for (const char *label : {"currentEncoderLabel", "sipLabel", "pallisterServerLabel", "firmwareVersionLabel"})
        out << child<QLabel>(&w, label)->text();
    auto *meter = child<MonitoringMeter>(&w, "meter");
    for (int i = 0; i < 4; ++i)
        out << QString::number(meter->bar(i)->level());
    out << QString::number(child<QTreeWidget>(&w, "treeSettings")->topLevelItemCount());
    return out;
}

QTreeWidgetItem *peerRow(QTreeWidget *tree, const QString &id)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (tree->topLevelItem(i)->data(0, ItemRoles::PeerId).toString() == id)
            return tree->topLevelItem(i);
    }
    return nullptr;
}

int hiddenRows(QTreeWidget *tree)
{
    int n = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        n += tree->topLevelItem(i)->isHidden() ? 1 : 0;
    return n;
}

} // namespace

class UiWindowLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerDeviceMetaTypes();
        IQCommonApp::instance()->start_manager();
    }
    void cleanupTestCase() { IQCommonApp::instance()->stop_manager(); }

    void switchingDevicesLeavesNoStaleConnection();
    void deviceMenuAndCommandsByState();
    void filtersMatchNothingAndClear();
    void statisticsTableKeepsItsRow();
    void fleetDisconnectSkipsDevicesNotReady();
    void meteringOffHidesTheTabAndStopsLevels();
    void callFromTheConnectionsTabWithAlerts();
    void settingsChangeReachesTheCodec();
    void tabPanesBuiltLateMissNothing();

private:
    uitest::ConfigSandbox m_config;
};

void UiWindowLive::switchingDevicesLeavesNoStaleConnection()
{
    codecsim::Options o;
    o.activePeers = 1;
    SimRig sim(o);
    QVERIFY(sim.ok());
    MainWindow window;
    IPCObject *a = load(window, sim.port());
    QVERIFY(a);
    QTRY_COMPARE_WITH_TIMEOUT(child<QTableWidget>(&window, "statsTable")->rowCount(), 1, Long);
    IPCObject *b = addToFleet(window, 9, QString(), true); // never connected: nothing of its own changes
    const QStringList aShown = screen(window);

    auto noStaleEffect = [&](const char *when) {
        const QStringList before = screen(window);
        QSignalSpy stats(a, &IPCObject::recvChannelStats);
        QSignalSpy levels(a, &IPCObject::recvAllLevels);
        QVERIFY(stats.wait(Long) && levels.wait(Long)); // the old device goes on talking
        emit a->recvPeerList(a->uuid());
        emit a->recvProfileList(a->uuid());
        emit a->recvSysOptions(a->uuid());
        emit a->recvSipProxy();
        emit a->recvCurrentEncoder();
        emit a->recvVersion(a->uuid());
        emit a->recvWeftlineSettings(a->uuid());
        emit a->cnxn_timed_out();
        a->eventLog().add0(QStringLiteral("stale line"));
        emit a->recvAllLevels(1, 1, 1, 1, 1, 1, 1, 1);
        QCoreApplication::processEvents();
        QVERIFY2(screen(window) == before, when);
    };

    window.summary().selectTile(tileOf(window, b)->tileUuid());
    QCOMPARE(window.selectedDevice(), b);
    QVERIFY(child<QLabel>(&window, "headerLabel")->text().contains("127.0.0.1:9"));
    noStaleEffect("another device selected");

    // Back to the first one, twice: everything of it shows, once.
    window.summary().selectTile(tileOf(window, a)->tileUuid());
    window.summary().selectTile(tileOf(window, a)->tileUuid());
    QCOMPARE(window.selectedDevice(), a);
    QTRY_COMPARE_WITH_TIMEOUT(child<QTableWidget>(&window, "statsTable")->rowCount(), 1, Long);
    QCOMPARE(screen(window).at(0), aShown.at(0));
    a->eventLog().add0(QStringLiteral("shown once"));
    QCOMPARE(child<QPlainTextEdit>(&window, "logView")->toPlainText().count("shown once"), 1);

    window.summary().selectTile(tileOf(window, b)->tileUuid());
    noStaleEffect("reselected the other device");
    child<QAction>(&window, "actionRemoveDevice")->trigger();
    QVERIFY(!window.selectedDevice());
    QCOMPARE(child<QStackedWidget>(&window, "detailsStack")->currentIndex(), 0);
    noStaleEffect("the selected device removed");
}

void UiWindowLive::deviceMenuAndCommandsByState()
{
    codecsim::Options o;
    o.password = "secret";
    SimRig sim(o);
    QVERIFY(sim.ok());
    MainWindow window;
    auto rejected = uitest::whenModal<UnitPassword>([](UnitPassword *d) { d->reject(); });
    IPCObject *s = load(window, sim.port(), false);
    QVERIFY(s);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::AUTH_FAILED, Long);
    QTRY_VERIFY_WITH_TIMEOUT(*rejected, Long);
    InstanceWidget *tile = tileOf(window, s);
    QCOMPARE(menuOf(tile), (QStringList{"actionConnect", "actionDisconnect", "-", "actionInputPassword",
                                        "actionSetSounds", "actionDisableMetering", "-", "actionAddDevice",
                                        "actionRemoveDevice"}));
    QVERIFY(child<QAction>(&window, "actionInputPassword")->isEnabled());
    QVERIFY(!child<QAction>(&window, "actionConnect")->isEnabled());

    auto answered = uitest::whenModal<UnitPassword>([](UnitPassword *d) {
        child<QLineEdit>(d, "passwordEdit")->setText("secret");
        d->accept();
    });
    child<QAction>(&window, "actionInputPassword")->trigger();
    QVERIFY(*answered);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::READY, Long);
    QCOMPARE(menuOf(tile), (QStringList{"actionConnect", "actionDisconnect", "-", "actionCopyNodeId",
                                        "actionSetSounds", "actionDisableMetering", "-", "actionAddDevice",
                                        "actionRemoveDevice"}));
    QVERIFY(child<QAction>(&window, "actionConnect")->isEnabled());
    QVERIFY(!child<QAction>(&window, "actionDisconnect")->isEnabled()); // no call yet

    // The MAC address, read as the codec sends it.
    Message version;
    QVERIFY(s->cachedMessage("version", version));
    QApplication::clipboard()->clear();
    child<QAction>(&window, "actionCopyNodeId")->trigger();
    QVERIFY(!QApplication::clipboard()->text().isEmpty());
    QCOMPARE(QApplication::clipboard()->text(), get_field_qstring(version, "node_id"));

    // "Reconnect to Device" logs the selected codec in again.
    QSignalSpy states(s, &IPCObject::changedState);
    child<QAction>(&window, "actionReconnect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(states.count() >= 2 && s->state() == IQEndpointClient::READY, Long);
    bool connecting = false;
    for (const QList<QVariant> &change : qAsConst(states))
        connecting |= change.at(1).value<State>() == IQEndpointClient::CONNECTING;
    QVERIFY(connecting);
}

void UiWindowLive::filtersMatchNothingAndClear()
{
    SimRig sim;
    QVERIFY(sim.ok());
    MainWindow window;
    IPCObject *s = load(window, sim.port());
    QVERIFY(s);
    auto *tab = window.findChild<ConnectionsTab *>();
    QTreeWidget *peers = tab->peerList();
    QTRY_VERIFY_WITH_TIMEOUT(peers->topLevelItemCount() > 3 && tab->profileList()->count() > 3, Long);
    const int rows = peers->topLevelItemCount();

    tab->peerFilter()->setText("no such unit");
    tab->profileFilter()->setText("no such profile");
    QCOMPARE(hiddenRows(peers), rows);
    QCOMPARE(tab->peerFilter()->styleSheet(), QStringLiteral("background-color: #F64;"));
    QCOMPARE(tab->profileFilter()->styleSheet(), QStringLiteral("background-color: #F64;"));
    for (int i = 0; i < tab->profileList()->count(); ++i)
        QVERIFY(tab->profileList()->item(i)->isHidden());
    tab->peerFilter()->clear();
    tab->profileFilter()->clear();
    QCOMPARE(hiddenRows(peers), 0);
    QCOMPARE(tab->peerFilter()->styleSheet(), QStringLiteral("background-color: #FFF;"));
    QCOMPARE(tab->profileFilter()->styleSheet(), QStringLiteral("background-color: #FFF;"));

    // A row the codec adds later is filtered as it arrives.
    const QString first = peers->topLevelItem(0)->text(0);
    tab->peerFilter()->setText(first.toUpper());
    QCOMPARE(tab->peerFilter()->styleSheet(), QStringLiteral("background-color: #FF6;"));
    const int hidden = hiddenRows(peers);
    s->addPeer("Zulu Desk", "10.9.9.9", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(peers->topLevelItemCount(), rows + 1, Long);
    QCOMPARE(hiddenRows(peers), hidden + 1);
}

void UiWindowLive::statisticsTableKeepsItsRow()
{
    codecsim::Options o;
    o.activePeers = 2;
    SimRig sim(o);
    QVERIFY(sim.ok());
    MainWindow window;
    IPCObject *s = load(window, sim.port());
    QVERIFY(s);
    auto *table = child<QTableWidget>(&window, "statsTable");
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 2, Long);
    QCOMPARE(table->currentRow(), 0); // the first row when none was chosen
    table->setCurrentCell(1, 0);
    const int peer = table->item(1, 0)->data(ItemRoles::StatsPeerId).toInt();
    const int channel = table->item(1, 0)->data(ItemRoles::ChannelIndex).toInt();
    const QString name = table->item(1, 0)->text();
    QCOMPARE(s->delayGraphData().currentKey(), peer);

    QSignalSpy refreshed(s, &IPCObject::recvChannelStats);
    QTRY_VERIFY_WITH_TIMEOUT(refreshed.count() >= 3, Long);
    QVERIFY(table->currentItem());
    QCOMPARE(table->currentItem()->data(ItemRoles::ChannelIndex).toInt(), channel);
    QCOMPARE(table->item(table->currentRow(), 0)->text(), name);
    QCOMPARE(s->delayGraphData().currentKey(), peer);

    // "Disconnect this peer" ends the row's own peer's call.
    QTRY_VERIFY_WITH_TIMEOUT(child<QAction>(&window, "actionDisconnectPeerFromStatTable")->isEnabled(), Long);
    child<QAction>(&window, "actionDisconnectPeerFromStatTable")->trigger();
    QVERIFY(sync(sim, s));
    const QList<Message> sent = received(sim, "disconnect");
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().get_int("id"), peer);
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, Long);
    QVERIFY(table->item(0, 0)->text() != name);
}

void UiWindowLive::fleetDisconnectSkipsDevicesNotReady()
{
    codecsim::Options o;
    o.count = 2;
    o.activePeers = 1;
    SimRig sim(o);
    QVERIFY(sim.ok());
    MainWindow window;
    IPCObject *ready = load(window, sim.port(0));
    QVERIFY(ready);
    IPCObject *refused = addToFleet(window, sim.port(1), "wrong", false);
    QTRY_COMPARE_WITH_TIMEOUT(refused->state(), IQEndpointClient::AUTH_FAILED, Long);
    QTRY_COMPARE_WITH_TIMEOUT(ready->activePeerCount(), 1, Long);

    child<QAction>(&window, "actionDisconnectFleet")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ready->activePeerCount(), 0, Long);
    QCOMPARE(received(sim, "disconnect", 0).size(), 1);
    QVERIFY(!received(sim, "disconnect", 0).first().has_attribute("id"));

    // Nothing was queued for the device that was not logged in.
    refused->setAddressAndConnect("127.0.0.1", sim.port(1), "tarlin");
    QTRY_COMPARE_WITH_TIMEOUT(refused->state(), IQEndpointClient::READY, Long);
    QVERIFY(sync(sim, refused, 1));
    QCOMPARE(received(sim, "disconnect", 1).size(), 0);
    QCOMPARE(refused->activePeerCount(), 1);
}

void UiWindowLive::meteringOffHidesTheTabAndStopsLevels()
{
    SimRig sim;
    QVERIFY(sim.ok());
    MainWindow window;
    IPCObject *s = load(window, sim.port());
    QVERIFY(s);
    auto *tabs = child<QTabWidget>(&window, "statusTabWidget");
    const int meters = tabs->indexOf(child<QWidget>(&window, "meterTab"));
    auto *off = child<QAction>(&window, "actionDisableMetering");
    auto *on = child<QAction>(&window, "actionEnableMetering");
    InstanceWidget *tile = tileOf(window, s);
    TorvikStatRow *row = window.summary().row(tile->tileUuid());
    QSignalSpy levels(s, &IPCObject::recvAllLevels);
    QVERIFY(levels.wait(Long));
    QVERIFY(tabs->isTabVisible(meters) && tabs->isTabEnabled(meters));
    QVERIFY(off->isVisible() && !on->isVisible());

    off->trigger();
    QVERIFY(!tabs->isTabVisible(meters));
    QVERIFY(on->isVisible() && !off->isVisible());
    QVERIFY(tile->miniMeter()->isHidden());
    QVERIFY(!row->meter());
    // Once the codec has read the request, no level follows it.
    QVERIFY(sync(sim, s));
    QCOMPARE(received(sim, "monitor").last().get_bool("metering"), false);
    QVERIFY(sync(sim, s));
    const int after = levels.count();
    QVERIFY(sync(sim, s));
    QCOMPARE(levels.count(), after);

    on->trigger();
    QVERIFY(tabs->isTabVisible(meters) && tabs->isTabEnabled(meters));
    QVERIFY(row->meter());
    QVERIFY(levels.wait(Long));
    QCOMPARE(received(sim, "monitor").last().get_bool("metering"), true);
}

void UiWindowLive::callFromTheConnectionsTabWithAlerts()
{
    QTemporaryDir sounds;
    QVERIFY(QDir(sounds.path()).mkpath("wav"));
    for (const char *name : {"wav/d_conn.wav", "wav/d_disc.wav"}) {
        QFile f(sounds.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    SimRig sim;
    QVERIFY(sim.ok());
    MainWindow window;
    RecordingSoundPlayer player;
    window.alerts().setSoundPlayer(&player);
    window.alerts().events().setSoundFiles(AlertSoundFiles({sounds.path()}));
    child<QAction>(&window, "actionSound")->trigger();
    child<QAction>(&window, "actionAllowDefaultAlerts")->trigger();
    IPCObject *s = load(window, sim.port());
    QVERIFY(s);

    auto *tab = window.findChild<ConnectionsTab *>();
    QTRY_VERIFY_WITH_TIMEOUT(peerRow(tab->peerList(), "1") && tab->profileList()->count() > 0, Long);
    QVERIFY(!tab->connectButton()->isEnabled());
    tab->peerList()->setCurrentItem(peerRow(tab->peerList(), "1"));
    tab->profileList()->setCurrentRow(0);
    QTRY_VERIFY(tab->connectButton()->isEnabled());
    QTest::mouseClick(tab->connectButton(), Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(peerRow(tab->peerList(), "1")->data(0, ItemRoles::PeerConnected).toBool(), Long);
    QCOMPARE(received(sim, "connect").size(), 1);
    QCOMPARE(received(sim, "connect").first().get_string("id"), std::string("1"));
    QTRY_COMPARE_WITH_TIMEOUT(player.played, QStringList{sounds.filePath("wav/d_conn.wav")}, Long);
    QTRY_VERIFY_WITH_TIMEOUT(tab->disconnectButton()->isEnabled() && !tab->connectButton()->isEnabled(), Long);

    QTest::mouseClick(tab->disconnectButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!peerRow(tab->peerList(), "1")->data(0, ItemRoles::PeerConnected).toBool(), Long);
    QCOMPARE(received(sim, "disconnect").first().get_int("id"), 1);
    QTRY_COMPARE_WITH_TIMEOUT(player.played.last(), sounds.filePath("wav/d_disc.wav"), Long);
    window.alerts().setSoundPlayer(nullptr);
}

void UiWindowLive::settingsChangeReachesTheCodec()
{
    SimRig sim;
    QVERIFY(sim.ok());
    MainWindow window;
    IPCObject *s = load(window, sim.port());
    QVERIFY(s);
    auto *tree = child<QTreeWidget>(&window, "treeSettings");
    QTRY_VERIFY_WITH_TIMEOUT(child<QWidget>(&window, "settingsEdit")->isEnabled() && tree->topLevelItemCount() > 0,
                             Long);
    QTreeWidgetItem *unitName = nullptr;
    for (int i = 0; i < tree->topLevelItemCount() && !unitName; ++i) {
        for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j) {
            if (tree->topLevelItem(i)->child(j)->data(0, Qt::UserRole).toString() == "unit_name")
                unitName = tree->topLevelItem(i)->child(j);
        }
    }
    QVERIFY(unitName);
    tree->setCurrentItem(unitName);
    child<QLineEdit>(&window, "lineValue")->setText("Studio Nine");
    QTest::mouseClick(child<QPushButton>(&window, "buttonSave"), Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(&window, "headerLabel")->text().startsWith("Studio Nine (127.0.0.1:"),
                             Long);
    const QList<Message> saved = received(sim, "setSysOptions");
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved.first().get_string("seq"), std::string("setSysOptions"));
    QCOMPARE(saved.first().get_string("unit_name"), std::string("Studio Nine"));
}

void UiWindowLive::tabPanesBuiltLateMissNothing()
{
    MainWindow window(nullptr, MainWindow::TabPaneBuild::AfterFirstPaint);
    // Never shown. A codec that refuses pushes nothing a pane would keep: nothing is built.
    IPCObject *refusing = load(window, 1, false);
    QVERIFY(refusing);
    QSignalSpy tried(refusing, &IPCObject::changedState);
    QTRY_VERIFY_WITH_TIMEOUT(tried.count() >= 2, Long);
    QVERIFY(!window.findChild<QWidget *>("statsPane"));

    // One that answers: the panes are there for its first levels, and show what came before.
    codecsim::Options o;
    o.activePeers = 1;
    SimRig sim(o);
    QVERIFY(sim.ok());
    IPCObject *s = load(window, sim.port(), false);
    QVERIFY(s);
    s->eventLog().add0(QStringLiteral("before the panes"));
    int samples = 0;
    bool firstSampleShown = false;
    connect(s, &IPCObject::recvAllLevels, this, [&](float rxl) {
        if (samples++ == 0) {
            auto *meter = window.findChild<MonitoringMeter *>("meter");
            firstSampleShown = meter && (rxl <= -100 || meter->bar(0)->level() > 0);
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(samples > 0, Long);
    QVERIFY(firstSampleShown);

    QTRY_VERIFY_WITH_TIMEOUT(s->state() == IQEndpointClient::READY, Long);
    QTRY_COMPARE_WITH_TIMEOUT(child<QTableWidget>(&window, "statsTable")->rowCount(), 1, Long);
    QTRY_VERIFY_WITH_TIMEOUT(child<QTreeWidget>(&window, "treeSettings")->topLevelItemCount() > 0, Long);
    QVERIFY(child<QWidget>(&window, "settingsEdit")->isEnabled());
    QCOMPARE(child<QPlainTextEdit>(&window, "logView")->toPlainText().count("before the panes"), 1);
}

QTEST_MAIN(UiWindowLive)
#include "tst_ui_window_live.moc"
