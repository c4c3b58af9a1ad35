// The window's pure rules, row by row: the enabling table and the device menu.

#include "common/deviceactions.h"
#include "mainwindow/enablerules.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

using State = IQEndpointClient::DEVICE_STATE;

namespace {

// Facts from their letters: "D R M T C P Pdef S E K A Z page1" (S a peer selected, A the password
// refused, Z a statistics row current, page1 the summary showing its statistics tree).
EnableFacts facts(const QString &letters)
{
    const QStringList on = letters.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    EnableFacts f;
    f.device = on.contains("D");
    f.ready = on.contains("R");
    f.metering = on.contains("M");
    f.versioned = on.contains("T");
    f.connections = on.contains("C");
    f.profile = on.contains("P");
    f.profileNotEditable = on.contains("Pdef");
    f.peer = on.contains("S");
    f.peerEditable = on.contains("E");
    f.peerConnected = on.contains("K");
    f.passwordRefused = on.contains("A");
    f.statsRow = on.contains("Z");
    f.summaryPage = on.contains("page1") ? 1 : 0;
    return f;
}

// Every flag by name, in the order of the struct.
QList<QPair<QString, bool>> flags(const Enables &e)
{
    return {{"lists", e.lists},
            {"removeDevice", e.removeDevice},
            {"ready", e.ready},
            {"peerEntry", e.peerEntry},
            {"profile", e.profile},
            {"connections", e.connections},
            {"editableProfile", e.editableProfile},
            {"assignProfile", e.assignProfile},
            {"assignDefault", e.assignDefault},
            {"connectButton", e.connectButton},
            {"disconnectButton", e.disconnectButton},
            {"meterTab", e.meterTab},
            {"meterTabVisible", e.meterTabVisible},
            {"weftlineTab", e.weftlineTab},
            {"enableMeteringVisible", e.enableMeteringVisible},
            {"disableMeteringVisible", e.disableMeteringVisible},
            {"tiledVisible", e.tiledVisible},
            {"statsTableVisible", e.statsTableVisible},
            {"inputPassword", e.inputPassword},
            {"reconnect", e.reconnect},
            {"disconnectStatsPeer", e.disconnectStatsPeer}};
}

QStringList namesOn(const Enables &e)
{
    QStringList out;
    for (const auto &flag : flags(e)) {
        if (flag.second)
            out << flag.first;
    }
    return out;
}

} // namespace

class UiRules : public QObject
{
    Q_OBJECT

private slots:
    void enables_data();
    void enables();
    void noDeviceTurnsEverythingOff();
    void deviceMenu_data();
    void deviceMenu();
};

void UiRules::enables_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("facts");
    QTest::addColumn<bool>("on");

    // Each rule of the table: a case where it holds and the cases that break it.
    QTest::newRow("lists: ready") << "lists" << "D R" << true;
    QTest::newRow("lists: not ready") << "lists" << "D" << false;
    QTest::newRow("remove: a device") << "removeDevice" << "D" << true;
    QTest::newRow("remove: none") << "removeDevice" << "" << false;
    QTest::newRow("ready actions: ready") << "ready" << "D R" << true;
    QTest::newRow("ready actions: connecting") << "ready" << "D C P S" << false;
    QTest::newRow("peer entry: an entry") << "peerEntry" << "D S E" << true;
    QTest::newRow("peer entry: directory or incoming") << "peerEntry" << "D R S" << false;
    QTest::newRow("peer entry: none selected") << "peerEntry" << "D R E" << false;
    QTest::newRow("profile: selected") << "profile" << "D P" << true;
    QTest::newRow("profile: none") << "profile" << "D R S" << false;
    QTest::newRow("connections: ready with a call") << "connections" << "D R C" << true;
    QTest::newRow("connections: a call, not ready") << "connections" << "D C" << false;
    QTest::newRow("connections: ready, no call") << "connections" << "D R" << false;
    QTest::newRow("editable profile: own") << "editableProfile" << "D P" << true;
    QTest::newRow("editable profile: built in") << "editableProfile" << "D R P Pdef" << false;
    QTest::newRow("editable profile: none") << "editableProfile" << "D R" << false;
    QTest::newRow("assign profile: both") << "assignProfile" << "D P S" << true;
    QTest::newRow("assign profile: no peer") << "assignProfile" << "D R P" << false;
    QTest::newRow("assign profile: no profile") << "assignProfile" << "D R S E" << false;
    QTest::newRow("assign default: a peer") << "assignDefault" << "D S" << true;
    QTest::newRow("assign default: no peer") << "assignDefault" << "D R P" << false;
    QTest::newRow("connect button: idle peer and profile") << "connectButton" << "D P S" << true;
    QTest::newRow("connect button: peer connected") << "connectButton" << "D R P S K" << false;
    QTest::newRow("connect button: no profile") << "connectButton" << "D R S" << false;
    QTest::newRow("connect button: no peer") << "connectButton" << "D R P K" << false;
    QTest::newRow("disconnect button: connected peer") << "disconnectButton" << "D S K" << true;
    QTest::newRow("disconnect button: idle peer") << "disconnectButton" << "D R C S" << false;
    QTest::newRow("disconnect button: no peer") << "disconnectButton" << "D R C K" << false;
    QTest::newRow("meter tab: ready, metering") << "meterTab" << "D R M" << true;
    QTest::newRow("meter tab: metering, not ready") << "meterTab" << "D M" << false;
    QTest::newRow("meter tab: ready, no metering") << "meterTab" << "D R" << false;
    QTest::newRow("meter tab shown: metering") << "meterTabVisible" << "D M" << true;
    QTest::newRow("meter tab shown: metering off") << "meterTabVisible" << "D R" << false;
    QTest::newRow("weftline tab: versioned") << "weftlineTab" << "D T" << true;
    QTest::newRow("weftline tab: old firmware") << "weftlineTab" << "D R" << false;
    QTest::newRow("enable metering shown: ready, off") << "enableMeteringVisible" << "D R" << true;
    QTest::newRow("enable metering shown: on") << "enableMeteringVisible" << "D R M" << false;
    QTest::newRow("enable metering shown: not ready") << "enableMeteringVisible" << "D" << false;
    QTest::newRow("disable metering shown: ready, on") << "disableMeteringVisible" << "D R M" << true;
    QTest::newRow("disable metering shown: off") << "disableMeteringVisible" << "D R" << false;
    QTest::newRow("disable metering shown: not ready") << "disableMeteringVisible" << "D M" << false;
    QTest::newRow("tiled shown: on the tree") << "tiledVisible" << "page1" << true;
    QTest::newRow("tiled shown: on the tiles") << "tiledVisible" << "D R" << false;
    QTest::newRow("stats table shown: on the tiles") << "statsTableVisible" << "" << true;
    QTest::newRow("stats table shown: on the tree") << "statsTableVisible" << "D R page1" << false;
    QTest::newRow("input password: refused") << "inputPassword" << "D A" << true;
    QTest::newRow("input password: ready") << "inputPassword" << "D R" << false;
    QTest::newRow("reconnect: a device") << "reconnect" << "D" << true;
    QTest::newRow("reconnect: none") << "reconnect" << "R" << false;
    QTest::newRow("disconnect this peer: a row of a call") << "disconnectStatsPeer" << "D R C Z" << true;
    QTest::newRow("disconnect this peer: no row") << "disconnectStatsPeer" << "D R C" << false;
    QTest::newRow("disconnect this peer: not ready") << "disconnectStatsPeer" << "D C Z" << false;
}

void UiRules::enables()
{
    QFETCH(QString, flag);
    QFETCH(QString, facts);
    QFETCH(bool, on);
    const Enables e = computeEnables(::facts(facts));
    bool found = false;
    for (const auto &f : flags(e)) {
        if (f.first == flag) {
            found = true;
            QCOMPARE(f.second, on);
        }
    }
    QVERIFY2(found, qPrintable(flag));
}

void UiRules::noDeviceTurnsEverythingOff()
{
    // Without a device no other fact counts; only the summary's own page shows its View action.
    const QString all = "R M T C P Pdef S E K A Z";
    QCOMPARE(namesOn(computeEnables(facts(all))), QStringList{"statsTableVisible"});
    QCOMPARE(namesOn(computeEnables(facts(all + " page1"))), QStringList{"tiledVisible"});
    QVERIFY(computeEnables(facts(all)) == computeEnables(EnableFacts()));
}

void UiRules::deviceMenu_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("metering");
    QTest::addColumn<bool>("fullMenu");
    QTest::addColumn<QString>("menu");

    const int refused = IQEndpointClient::AUTH_FAILED;
    const int ready = IQEndpointClient::READY;
    const int connecting = IQEndpointClient::CONNECTING;
    QTest::newRow("connecting") << connecting << false << true << "connect disconnectAll sounds meterOn add remove";
    QTest::newRow("ready, metering") << ready << true << true << "connect disconnectAll mac sounds meterOff add remove";
    QTest::newRow("password refused") << refused << false << true
                                      << "connect disconnectAll password sounds meterOn add remove";
    QTest::newRow("ready, no metering, some actions unset") << ready << false << false << "add";
}

void UiRules::deviceMenu()
{
    QFETCH(int, state);
    QFETCH(bool, metering);
    QFETCH(bool, fullMenu);
    QFETCH(QString, menu);

    QObject owner;
    auto make = [&owner](const char *name) {
        auto *a = new QAction(QString::fromLatin1(name), &owner);
        return a;
    };
    DeviceActions actions;
    actions.inputPassword = make("password");
    actions.addDevice = make("add");
    if (fullMenu) {
        actions.connect = make("connect");
        actions.disconnectAll = make("disconnectAll");
        actions.copyNodeId = make("mac");
        actions.setSounds = make("sounds");
        actions.enableMetering = make("meterOn");
        actions.disableMetering = make("meterOff");
        actions.removeDevice = make("remove");
    }
    QStringList texts;
    for (QAction *a : actions.forDevice(State(state), metering))
        texts << a->text();
    QCOMPARE(texts.join(' '), menu);

    QMenu built;
    actions.addTo(&built, State(state), metering);
    QCOMPARE(built.actions(), actions.forDevice(State(state), metering));
}

QTEST_MAIN(UiRules)
#include "tst_ui_rules.moc"
