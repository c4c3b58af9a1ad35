// The fleet views without a codec: the device tile (states, icons, tool
// tips, menu, selection, password prompt), the summary (grid, selection,
// removal) and its rows, and the statistics texts and table.

#include "../device/devicetest.h"
#include "common/itemroles.h"
#include "fleet/connectionline.h"
#include "fleet/instancewidget.h"
#include "fleet/passwordprompt.h"
#include "fleet/torvikstatrow.h"
#include "fleet/torviksummary.h"
#include "fleet/unitpassword.h"
#include "meters/meterwidget.h"
#include "meters/minimeter.h"
#include "sessiontable.h"
#include "stats/statsrows.h"
#include "stats/statstab.h"
#include "uitest.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include <stdexcept>

using State = IQEndpointClient::DEVICE_STATE;
using Icon = InstanceWidget::Icon;
using uitest::child;
using uitest::whenModal;

Q_DECLARE_METATYPE(InstanceWidget::Icon)
Q_DECLARE_METATYPE(PeerMetaPtr)

namespace {

PeerMetaPtr livePeer(const char *name, const char *host, bool tx, bool rx)
{
    auto p = PeerMetaPtr::create();
    p->name = QString::fromLatin1(name);
    p->host = QString::fromLatin1(host);
    p->active = true;
    p->channel.emplace();
    p->channel->transmitting = tx;
    p->channel->receiving = rx;
    return p;
}

QString text(InstanceWidget &tile, const char *label)
{
    return child<QLabel>(&tile, label)->text();
}

// The device's menu as texts, "|" for a separator.
QString menuTexts(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions)
        out << (!a || a->isSeparator() ? QStringLiteral("|") : a->text());
    return out.join(' ');
}

// A session that tells how many connections its signals have.
class CountedSession : public ProbeSession
{
public:
    using QObject::receivers;
};

void dropDeleted()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Sessions owned by a table, as the window keeps them.
struct Fleet
{
    SessionTable table;
    TorvikSummary summary;

    Fleet() { summary.setSessionTable(&table); }
    ProbeSession *add(const QString &address = QStringLiteral("10.0.0.1"))
    {
        auto *s = new ProbeSession;
        s->setAddress(address, 8080);
        table.insert(s);
        summary.addDeviceView(s);
        summary.layoutTiles();
        return s;
    }
};

// A call with peer 3 on channel 2, receiving, with its statistics.
void startCall(ProbeSession &s, bool withChannelStats = true)
{
    s.handleResponse(peerListAnswer(
        {peer(3, "Alpha", true, "addr=\"10.0.0.3:9000\" channel=\"2\" transmitting=\"true\" receiving=\"true\""),
         peer(4, "Beta", false)}));
    s.handleUnsolicited(xml("<unso id=\"peer_stats\"><peerStats><peer id=\"3\" name=\"Alpha\" callTime=\"3725\" "
                            "bufferDelayAvg=\"1234\" frameLossRateAvg=\"57\" remoteLossAvg=\"12\" delayIn=\"455\" "
                            "delayOut=\"301\" bufferDelay=\"40\" packetJitter=\"5\" bufferDesiredDelay=\"50\"/>"
                            "</peerStats></unso>"));
    if (withChannelStats)
        s.handleUnsolicited(xml("<unso id=\"channel_stats\"><channelStats><channel id=\"2\" name=\"eth0\" "
                                "rxAvgPayload=\"64500\" rxAvgOverhead=\"12000\" txAvgPayload=\"128999\" "
                                "txAvgOverhead=\"999\"/></channelStats></unso>"));
    else
        s.handleUnsolicited(xml("<unso id=\"channel_stats\"><channelStats><channel id=\"3\" name=\"eth1\"/>"
                                "</channelStats></unso>"));
}

} // namespace

class UiFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }
    void cleanup() { dropDeleted(); }

    void connectionLines_data();
    void connectionLines();
    void tileStates_data();
    void tileStates();
    void readySessionShownAtOnce();
    void timedOutUntilConnecting();
    void miniMeterEmptiesLeavingReady();
    void tileMenu_data();
    void tileMenu();
    void selectionPainting();
    void attachingTwiceOrNullThrows();
    void refusedPasswordAskedFromTile();

    void fiveTilesInTwoColumns();
    void removingTheSelectedDevice();
    void removingAllCleansEveryDevice();
    void treeRowSelectsItsTile();

    void statsFormats_data();
    void statsFormats();
    void statsTableRows();
    void summaryRowFindsStatsByChannel();
    void statsTabRowChoosesGraphPeer();
};

void UiFleet::connectionLines_data()
{
    QTest::addColumn<QList<PeerMetaPtr>>("active");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("idle") << QList<PeerMetaPtr>() << "[idle]" << "Device is not connected to any peer.";
    QTest::newRow("both ways") << QList<PeerMetaPtr>{livePeer("Alpha", "10.0.0.3", true, true)} << "Alpha"
                               << "Device is transmitting to and receiving from 10.0.0.3";
    QTest::newRow("sending") << QList<PeerMetaPtr>{livePeer("Alpha", "10.0.0.3", true, false)} << "Alpha"
                             << "Device is transmitting to 10.0.0.3";
    QTest::newRow("receiving") << QList<PeerMetaPtr>{livePeer("Alpha", "10.0.0.3", false, true)} << "Alpha"
                               << "Device is receiving from 10.0.0.3";
    QTest::newRow("neither") << QList<PeerMetaPtr>{livePeer("Alpha", "10.0.0.3", false, false)} << "Alpha"
                             << "Device is connected, but NOT transmitting OR receiving from 10.0.0.3";
    QTest::newRow("two") << QList<PeerMetaPtr>{livePeer("Rx", "10.0.0.4", false, true),
                                               livePeer("Both", "10.0.0.5", true, true)}
                         << "(2 devices connected)" << "RX: Rx (10.0.0.4)\nRX+TX: Both (10.0.0.5)\n";
    QTest::newRow("three") << QList<PeerMetaPtr>{livePeer("Tx", "a", true, false), livePeer("None", "b", false, false),
                                                 livePeer("Rx", "c", false, true)}
                           << "(3 devices connected)" << "TX: Tx (a)\n???: None (b)\nRX: Rx (c)\n";
}

void UiFleet::connectionLines()
{
    QFETCH(QList<PeerMetaPtr>, active);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    const ConnectionLine line = connectionLine(active);
    QCOMPARE(line.text, text);
    QCOMPARE(line.toolTip, toolTip);
}

void UiFleet::tileStates_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("active");
    QTest::addColumn<Icon>("icon");
    QTest::addColumn<QString>("label");

    // Each row starts from a tile that shows "Connecting" in the active style.
    QTest::newRow("timed out") << int(IQEndpointClient::TIMED_OUT) << false << Icon::RedCross << "Timed Out";
    QTest::newRow("wrong password") << int(IQEndpointClient::AUTH_FAILED) << true << Icon::Alert << "Wrong Password";
    QTest::newRow("disconnected") << int(IQEndpointClient::DISCONNECTED) << false << Icon::RedCross << "Not connected";
    QTest::newRow("logging in") << int(IQEndpointClient::CONNECTED) << true << Icon::YellowArrow << "Logging in...";
    QTest::newRow("logged in") << int(IQEndpointClient::AUTHENTICATED) << true << Icon::GreenCheck << "Connecting";
    QTest::newRow("ready") << int(IQEndpointClient::READY) << true << Icon::GreenCheck << "Ready";
    QTest::newRow("upload") << int(IQEndpointClient::CODE_UPLOAD) << true << Icon::YellowArrow
                            << "Device is about to update";
    QTest::newRow("update") << int(IQEndpointClient::CODE_UPDATE) << true << Icon::YellowArrow
                            << "Device is updating firmware";
}

void UiFleet::tileStates()
{
    QFETCH(int, state);
    QFETCH(bool, active);
    QFETCH(Icon, icon);
    QFETCH(QString, label);

    ProbeSession s;
    s.setAddress(QStringLiteral("10.0.0.9"), 8080);
    InstanceWidget tile(nullptr, &s, QUuid::createUuid());
    QCOMPARE(text(tile, "nameLabel"), QStringLiteral("10.0.0.9"));
    QVERIFY(!tile.isActiveStyle());
    QCOMPARE(tile.styleSheet(), QString::fromLatin1(InstanceWidget::InactiveStyle));

    s.setState(IQEndpointClient::CONNECTING);
    s.storeInCache(xml("<version version=\"8.1.0\"/>"), QStringLiteral("version"));
    emit s.recvVersion(s.uuid());
    QVERIFY(tile.isActiveStyle());
    QCOMPARE(tile.styleSheet(), QString::fromLatin1(InstanceWidget::ActiveStyle));

    // The session announces only some states itself; the others are told.
    if (state == IQEndpointClient::AUTHENTICATED || state >= IQEndpointClient::CODE_UPLOAD)
        emit s.changedState(s.uuid(), State(state));
    else
        s.setState(State(state));
    QCOMPARE(tile.isActiveStyle(), active);
    QCOMPARE(tile.icon(), icon);
    QCOMPARE(child<QWidget>(&tile, "statusIcon")->styleSheet(), InstanceWidget::iconStyle(icon));
    QCOMPARE(text(tile, "stateLabel"), label);
}

void UiFleet::readySessionShownAtOnce()
{
    ProbeSession s;
    s.setState(IQEndpointClient::READY);
    s.handleResponse(xml("<resp seq=\"sysOptions\" unit_name=\"Studio 4\"/>"));
    s.handleResponse(peerListAnswer({peer(3, "Alpha", true, "addr=\"10.0.0.3\" receiving=\"true\"")}));
    InstanceWidget tile(nullptr, &s, QUuid::createUuid());
    QCOMPARE(tile.icon(), Icon::GreenCheck);
    QCOMPARE(text(tile, "stateLabel"), QStringLiteral("1 connected"));
    QCOMPARE(text(tile, "nameLabel"), QStringLiteral("Studio 4"));
    QCOMPARE(InstanceWidget::iconStyle(Icon::YellowArrow),
             QStringLiteral("border-image: url(:icons/yellow backbend arrow.png) 0 0 0 0 stretch stretch;"));
    QCOMPARE(tile.minimumSize(), QSize(270, 66));
    QCOMPARE(tile.maximumSize(), QSize(550, 66));

    // The connection line follows the peer lists.
    s.handleResponse(peerListAnswer({peer(3, "Alpha", true, "addr=\"10.0.0.3\" receiving=\"true\""),
                                     peer(5, "Gamma", true, "addr=\"10.0.0.5\" receiving=\"true\" "
                                                            "transmitting=\"true\"")}));
    QCOMPARE(text(tile, "connectionLabel"), QStringLiteral("(2 devices connected)"));
    QCOMPARE(child<QLabel>(&tile, "connectionLabel")->toolTip(),
             QStringLiteral("RX: Alpha (10.0.0.3)\nRX+TX: Gamma (10.0.0.5)\n"));
    QCOMPARE(text(tile, "stateLabel"), QStringLiteral("2 connected"));
}

void UiFleet::timedOutUntilConnecting()
{
    ProbeSession s;
    InstanceWidget tile(nullptr, &s, QUuid::createUuid());
    TorvikStatRow row(&s, tile.tileUuid());
    QSignalSpy states(&s, &IPCObject::changedState);

    // The time-out is not a changedState(); DISCONNECTED follows at once.
    s.setState(IQEndpointClient::CONNECTING);
    s.setState(IQEndpointClient::TIMED_OUT);
    s.setState(IQEndpointClient::DISCONNECTED);
    QCOMPARE(text(tile, "stateLabel"), QStringLiteral("Timed Out"));
    QCOMPARE(tile.icon(), Icon::RedCross);
    QCOMPARE(row.item()->text(TorvikStatRow::Status), QStringLiteral("Timed out"));
    for (const QList<QVariant> &change : qAsConst(states))
        QVERIFY(change.at(1).value<State>() != IQEndpointClient::TIMED_OUT);

    s.setState(IQEndpointClient::CONNECTING);
    QCOMPARE(text(tile, "stateLabel"), QStringLiteral("Connecting"));
    QCOMPARE(row.item()->text(TorvikStatRow::Status), QStringLiteral("Connecting"));
    s.setState(IQEndpointClient::DISCONNECTED);
    QCOMPARE(text(tile, "stateLabel"), QStringLiteral("Not connected"));
    QCOMPARE(row.item()->text(TorvikStatRow::Status), QStringLiteral("Not connected"));
}

void UiFleet::miniMeterEmptiesLeavingReady()
{
    ProbeSession s;
    InstanceWidget tile(nullptr, &s, QUuid::createUuid());
    s.setState(IQEndpointClient::READY);
    emit s.recvLevels(0, 0, -36, 0);
    QCOMPARE(tile.miniMeter()->bar(0)->level(), 1.0f);
    QCOMPARE(tile.miniMeter()->bar(2)->level(), 0.5f);
    s.setState(IQEndpointClient::DISCONNECTED);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(tile.miniMeter()->bar(i)->level(), 0.0f);
}

void UiFleet::tileMenu_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("metering");
    QTest::addColumn<QString>("menu");

    QTest::newRow("wrong password") << int(IQEndpointClient::AUTH_FAILED) << true
                                    << "Connect Disconnect | Password Sounds MeterOff | Add Remove";
    QTest::newRow("ready") << int(IQEndpointClient::READY) << false
                           << "Connect Disconnect | MAC Sounds MeterOn | Add Remove";
    QTest::newRow("connecting") << int(IQEndpointClient::CONNECTING) << false
                                << "Connect Disconnect | Sounds MeterOn | Add Remove";
}

void UiFleet::tileMenu()
{
    QFETCH(int, state);
    QFETCH(bool, metering);
    QFETCH(QString, menu);

    QObject owner;
    auto make = [&owner](const char *name) { return new QAction(QString::fromLatin1(name), &owner); };
    DeviceActions actions;
    actions.connect = make("Connect");
    actions.disconnectAll = make("Disconnect");
    actions.inputPassword = make("Password");
    actions.copyNodeId = make("MAC");
    actions.setSounds = make("Sounds");
    actions.enableMetering = make("MeterOn");
    actions.disableMetering = make("MeterOff");
    actions.addDevice = make("Add");
    actions.removeDevice = make("Remove");

    ProbeSession s;
    s.setMeteringEnabled(metering);
    s.setState(State(state));
    InstanceWidget tile(nullptr, &s, QUuid::createUuid());
    tile.setDeviceActions(actions);
    QMenu built;
    tile.fillContextMenu(&built);
    QCOMPARE(menuTexts(built.actions()), menu);
    QCOMPARE(menuTexts(actions.withSeparators(State(state), metering)), menu);
}

void UiFleet::selectionPainting()
{
    ProbeSession s;
    InstanceWidget tile(nullptr, &s, QUuid::createUuid());
    tile.resize(300, 66);
    QSignalSpy selected(&tile, &InstanceWidget::selected);
    const QColor mark(255, 240, 0);
    QVERIFY(tile.grab().toImage().pixelColor(3, 33) != mark);

    QTest::mouseClick(&tile, Qt::LeftButton);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).toUuid(), tile.tileUuid());
    QVERIFY(tile.isSelected());
    QVERIFY(tile.isNotReady());
    QCOMPARE(tile.grab().toImage().pixelColor(3, 33), mark);
    QCOMPARE(tile.cursor().shape(), Qt::PointingHandCursor);

    tile.deselect();
    QVERIFY(!tile.isSelected());
    QVERIFY(tile.grab().toImage().pixelColor(3, 33) != mark);
}

void UiFleet::attachingTwiceOrNullThrows()
{
    ProbeSession s;
    InstanceWidget tile(nullptr, &s, QUuid::createUuid());
    QVERIFY_EXCEPTION_THROWN(tile.attachIPC(&s), std::logic_error);
    InstanceWidget empty(nullptr, nullptr, QUuid::createUuid());
    QCOMPARE(text(empty, "nameLabel"), QString());
    QVERIFY_EXCEPTION_THROWN(empty.attachIPC(nullptr), std::invalid_argument);
    empty.attachIPC(&s);
    QCOMPARE(empty.session(), &s);
}

void UiFleet::refusedPasswordAskedFromTile()
{
    Fleet fleet;
    PasswordPrompt prompt(fleet.table);
    fleet.summary.setPasswordPrompt(&prompt);
    ProbeSession *s = fleet.add(QStringLiteral("10.0.0.7"));
    InstanceWidget *tile = fleet.summary.tiles().first();
    QSignalSpy changed(&prompt, &PasswordPrompt::passwordChanged);
    QSignalSpy reconnects(s, SIGNAL(reconnect(QUuid)));

    QWidget *parent = nullptr;
    QString title, prompted;
    auto answered = whenModal<UnitPassword>([&](UnitPassword *d) {
        parent = d->parentWidget();
        title = d->windowTitle();
        prompted = child<QLabel>(d, "promptLabel")->text();
        child<QLineEdit>(d, "passwordEdit")->setText(QStringLiteral("secret"));
        child<QPushButton>(d, "okButton")->click();
    });
    s->setState(IQEndpointClient::AUTH_FAILED);
    QCOMPARE(text(*tile, "stateLabel"), QStringLiteral("Wrong Password"));
    QTRY_VERIFY(*answered);
    QCOMPARE(parent, tile);
    QCOMPARE(title, QStringLiteral("Device Login Failed (10.0.0.7)"));
    QCOMPARE(prompted, QStringLiteral("Enter connection password:"));
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("secret"));
    QCOMPARE(reconnects.count(), 1);
    QCOMPARE(changed.count(), 1);
}

void UiFleet::fiveTilesInTwoColumns()
{
    Fleet fleet;
    for (int i = 0; i < 5; ++i)
        fleet.add(QStringLiteral("10.0.0.%1").arg(i));
    const QList<QPair<int, int>> expected = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}};
    QGridLayout *grid = fleet.summary.tileGrid();
    QCOMPARE(grid->count(), 5);
    for (int i = 0; i < 5; ++i) {
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(fleet.summary.tiles().at(i)), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(qMakePair(row, column), expected.at(i));
    }
    QCOMPARE(grid->horizontalSpacing(), 8);
    QCOMPARE(grid->verticalSpacing(), 8);
    QCOMPARE(grid->contentsMargins(), QMargins(4, 4, 4, 4));
    QCOMPARE(fleet.summary.summaryTree()->topLevelItemCount(), 5);
    QCOMPARE(fleet.summary.summaryTree()->columnCount(), 8);
    QCOMPARE(fleet.summary.summaryTree()->headerItem()->text(7), QStringLiteral("Duration"));
    QCOMPARE(fleet.summary.firstSession()->address(), QStringLiteral("10.0.0.0"));
}

void UiFleet::removingTheSelectedDevice()
{
    Fleet fleet;
    QList<QPointer<IPCObject>> sessions;
    for (int i = 0; i < 3; ++i)
        sessions << fleet.add(QStringLiteral("10.0.0.%1").arg(i));
    QSignalSpy selection(&fleet.summary, &TorvikSummary::selectionChanged);
    QPointer<InstanceWidget> middle = fleet.summary.tiles().at(1);
    fleet.summary.selectTile(middle->tileUuid());
    QCOMPARE(selection.count(), 1);
    QCOMPARE(selection.at(0).at(0).value<IPCObject *>(), sessions.at(1).data());
    QCOMPARE(fleet.summary.selectedSession(), sessions.at(1).data());

    fleet.summary.removeSelectedDevice();
    QCOMPARE(selection.count(), 2);
    QVERIFY(!selection.at(1).at(0).value<IPCObject *>());
    QVERIFY(fleet.summary.selectedTileUuid().isNull());
    QCOMPARE(fleet.summary.deviceCount(), 2);
    QCOMPARE(fleet.table.count(), 2);
    QCOMPARE(fleet.summary.summaryTree()->topLevelItemCount(), 2);
    // The others keep their order, laid out again.
    QCOMPARE(fleet.summary.tiles().at(0)->session(), sessions.at(0).data());
    QCOMPARE(fleet.summary.tiles().at(1)->session(), sessions.at(2).data());
    int row = -1, column = -1, span = 0;
    QGridLayout *grid = fleet.summary.tileGrid();
    grid->getItemPosition(grid->indexOf(fleet.summary.tiles().at(1)), &row, &column, &span, &span);
    QCOMPARE(qMakePair(row, column), qMakePair(0, 1));
    dropDeleted();
    QVERIFY(middle.isNull());
    QVERIFY(sessions.at(1).isNull());
    QVERIFY(sessions.at(0) && sessions.at(2));

    // Nothing selected: nothing to remove.
    fleet.summary.removeSelectedDevice();
    QCOMPARE(fleet.summary.deviceCount(), 2);
}

void UiFleet::removingAllCleansEveryDevice()
{
    Fleet fleet;
    QList<QPointer<IPCObject>> sessions;
    QList<QPointer<InstanceWidget>> tiles;
    for (int i = 0; i < 3; ++i)
        sessions << fleet.add(QStringLiteral("10.0.0.%1").arg(i));
    for (InstanceWidget *t : fleet.summary.tiles())
        tiles << t;
    fleet.summary.selectTile(tiles.at(2)->tileUuid());
    QSignalSpy selection(&fleet.summary, &TorvikSummary::selectionChanged);

    fleet.summary.removeAllDevices();
    // The empty selection is announced, and no tile, row or session is left behind.
    QCOMPARE(selection.count(), 1);
    QVERIFY(!selection.at(0).at(0).value<IPCObject *>());
    QVERIFY(!fleet.summary.selectedSession());
    QCOMPARE(fleet.summary.deviceCount(), 0);
    QCOMPARE(fleet.summary.tileGrid()->count(), 0);
    QCOMPARE(fleet.summary.summaryTree()->topLevelItemCount(), 0);
    QCOMPARE(fleet.table.count(), 0);
    QVERIFY(!fleet.summary.firstSession());
    dropDeleted();
    for (int i = 0; i < 3; ++i) {
        QVERIFY(sessions.at(i).isNull());
        QVERIFY(tiles.at(i).isNull());
    }
}

void UiFleet::treeRowSelectsItsTile()
{
    Fleet fleet;
    fleet.add();
    ProbeSession *second = fleet.add(QStringLiteral("10.0.0.2"));
    QSignalSpy selection(&fleet.summary, &TorvikSummary::selectionChanged);
    InstanceWidget *tile = fleet.summary.tiles().at(1);
    TorvikStatRow *row = fleet.summary.row(tile->tileUuid());
    QCOMPARE(row->item()->text(TorvikStatRow::Address), QStringLiteral("10.0.0.2"));
    QCOMPARE(row->item()->text(TorvikStatRow::Status), QStringLiteral("Not connected"));
    // Metering is on for a new session: the row shows its meter.
    QVERIFY(row->meter());
    QCOMPARE(fleet.summary.summaryTree()->itemWidget(row->item(), TorvikStatRow::Levels), row->meter());

    fleet.summary.summaryTreeItemActivated(row->item(), 0);
    QVERIFY(tile->isSelected());
    QCOMPARE(selection.count(), 1);
    QCOMPARE(selection.at(0).at(0).value<IPCObject *>(), static_cast<IPCObject *>(second));
    QCOMPARE(fleet.summary.summaryTree()->currentItem(), row->item());

    fleet.summary.setMeteringShown(second, false);
    dropDeleted();
    QVERIFY(!row->meter());
    QVERIFY(!tile->miniMeter()->isVisibleTo(tile));
    fleet.summary.setMeteringShown(second, true);
    QVERIFY(row->meter());

    fleet.summary.showStatsOverview();
    QCOMPARE(fleet.summary.currentPage(), 1);
    fleet.summary.showGeneralOverview();
    QCOMPARE(fleet.summary.currentPage(), 0);
}

void UiFleet::statsFormats_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("an hour and a bit") << StatsRows::durationText(3725) << "01:02:05";
    QTest::newRow("under a minute") << StatsRows::durationText(59) << "00:00:59";
    QTest::newRow("nothing yet") << StatsRows::durationText(0) << "00:00:00";
    QTest::newRow("past a day: total hours") << StatsRows::durationText(86400 + 3600 + 60 + 1) << "25:01:01";
    QTest::newRow("weeks") << StatsRows::durationText(500 * 3600) << "500:00:00";
    QTest::newRow("delay") << StatsRows::tenthsText(1234, "ms") << "123ms";
    QTest::newRow("loss") << StatsRows::tenthsText(57, "%") << "5%";
    QTest::newRow("rate") << StatsRows::kbpsText(64500) << "64kbps";
    QTest::newRow("no rate") << StatsRows::kbpsText(999) << "0kbps";
}

void UiFleet::statsFormats()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void UiFleet::statsTableRows()
{
    PeerStats stats;
    stats.callTime = 3725;
    stats.delayIn = 455;
    stats.delayOut = 301;
    stats.frameLossRateAvg = 57;
    stats.remoteLossAvg = 12;
    ChannelStats channel;
    channel.rxAvgPayload = 64500;
    channel.rxAvgOverhead = 12000;
    channel.txAvgPayload = 128999;
    channel.txAvgOverhead = 999;

    auto onChannel = [](const char *id, const char *name, const char *chan) {
        auto p = livePeer(name, "h", true, true);
        p->id = QString::fromLatin1(id);
        p->channel->channel = QString::fromLatin1(chan);
        return p;
    };
    const QList<PeerMetaPtr> active = {onChannel("3", "Alpha", "2"), onChannel("4", "No stats", "2"),
                                       onChannel("5", "No channel stats", "9"), onChannel("6", "No channel", "")};
    const QMap<int, PeerStats> peerStats = {{3, stats}, {5, stats}, {6, stats}};
    const QMap<int, ChannelStats> channelStats = {{2, channel}};
    const QList<StatsRows::Row> rows = StatsRows::tableRows(active, peerStats, channelStats);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().peerId, 3);
    QCOMPARE(rows.first().channel, 2);
    QCOMPARE(rows.first().texts, (QStringList{"Alpha", "01:02:05", "64kbps", "12kbps", "45ms", "128kbps", "0kbps",
                                              "30ms", "5%", "1%"}));
    QCOMPARE(StatsRows::tableHeaders().size(), 10);
}

void UiFleet::summaryRowFindsStatsByChannel()
{
    ProbeSession s;
    TorvikStatRow row(&s, QUuid::createUuid());
    // Peer 3 talks over channel 2: its statistics are under two different keys.
    startCall(s);
    QCOMPARE(s.receivingPeerId(), QStringLiteral("3"));
    QCOMPARE(row.item()->text(TorvikStatRow::Status), QStringLiteral("1 connected"));
    QCOMPARE(row.item()->text(TorvikStatRow::Connections), QStringLiteral("Alpha"));
    QCOMPARE(row.item()->text(TorvikStatRow::FrameLoss), QStringLiteral("5%"));
    QCOMPARE(row.item()->text(TorvikStatRow::Latency), QStringLiteral("123ms"));
    QCOMPARE(row.item()->text(TorvikStatRow::Duration), QStringLiteral("01:02:05"));

    // Without the channel's statistics the columns empty rather than go stale.
    ProbeSession other;
    TorvikStatRow otherRow(&other, QUuid::createUuid());
    otherRow.item()->setText(TorvikStatRow::Duration, QStringLiteral("stale"));
    QTest::ignoreMessage(QtDebugMsg, "XXX peerinfo/channelinfo missing");
    startCall(other, false);
    QCOMPARE(otherRow.item()->text(TorvikStatRow::FrameLoss), QString());
    QCOMPARE(otherRow.item()->text(TorvikStatRow::Duration), QString());
}

void UiFleet::statsTabRowChoosesGraphPeer()
{
    CountedSession s;
    s.setState(IQEndpointClient::READY);
    StatsTab tab;
    tab.setSession(&s);
    QTableWidget *table = child<QTableWidget>(&tab, "statsTable");
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(!tab.selectedPeerId());

    startCall(s);
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Alpha"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("01:02:05"));
    QCOMPARE(table->item(0, 0)->data(ItemRoles::ChannelIndex).toInt(), 2);
    QCOMPARE(table->item(0, 0)->data(ItemRoles::StatsPeerId).toInt(), 3);
    // The first row became current and the graphs draw its peer.
    QCOMPARE(table->currentRow(), 0);
    QCOMPARE(tab.selectedPeerId(), std::optional<int>(3));
    QCOMPARE(s.delayGraphData().currentKey(), 3);
    QCOMPARE(s.lossGraphData().currentKey(), 3);
    QVERIFY(s.delayGraphData().hasSeries(3));

    // A refresh keeps the current row; binding the same session again adds no connection.
    tab.setSession(&s);
    emit s.recvChannelStats(s.uuid());
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->currentRow(), 0);
    QCOMPARE(s.receivers(SIGNAL(recvChannelStats(QUuid))), 1);

    tab.setSession(nullptr);
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(s.receivers(SIGNAL(recvChannelStats(QUuid))), 0);
}

QTEST_MAIN(UiFleet)
#include "tst_ui_fleet.moc"
