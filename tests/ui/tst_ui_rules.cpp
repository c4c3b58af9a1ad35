// The window's pure rules, row by row: the enabling table and the device menu.

#include "common/deviceactions.h"
#include "mainwindow/enablerules.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

using State = IQEndpointClient::DEVICE_STATE;

namespace {

// Facts from their letters: "D R M T C P Pdef S E K A" (S a peer selected, A password refused).
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
    return f;
}

QStringList names(const Enables &e)
{
    QStringList out;
    const QList<QPair<bool, const char *>> all = {
        {e.removeDevice, "remove"},
        {e.lists, "lists"},
        {e.logButtons, "logButtons"},
        {e.settingsEditor, "settings"},
        {e.statsTable, "statsTable"},
        {e.connectButton, "connect"},
        {e.disconnectButton, "disconnect"},
        {e.meterTab, "meterTab"},
        {e.weftlineTab, "weftlineTab"},
        {e.enableMeteringVisible, "enableMetering"},
        {e.disableMeteringVisible, "disableMetering"},
        {e.inputPassword, "inputPassword"},
    };
    for (const auto &flag : all) {
        if (flag.first)
            out << QString::fromLatin1(flag.second);
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
    void deviceMenu_data();
    void deviceMenu();
};

void UiRules::enables_data()
{
    QTest::addColumn<QString>("facts");
    QTest::addColumn<QString>("enabled");

    const QString ready = "remove lists logButtons settings";
    QTest::newRow("nothing selected") << "" << "";
    QTest::newRow("facts without a device count for nothing") << "R M T C P S K A" << "";
    QTest::newRow("connecting") << "D" << "remove";
    QTest::newRow("password refused") << "D A" << "remove inputPassword";
    QTest::newRow("ready") << "D R" << ready + " enableMetering";
    QTest::newRow("ready, metering") << "D R M" << ready + " meterTab disableMetering";
    QTest::newRow("metering before ready") << "D M" << "remove";
    QTest::newRow("ready with a call") << "D R C" << ready + " statsTable enableMetering";
    QTest::newRow("versioned, not ready") << "D T" << "remove weftlineTab";
    QTest::newRow("versioned and ready") << "D R T" << ready + " weftlineTab enableMetering";
    QTest::newRow("profile only") << "D R P" << ready + " enableMetering";
    QTest::newRow("peer only") << "D R S E" << ready + " enableMetering";
    QTest::newRow("profile and idle peer") << "D R P S E" << ready + " connect enableMetering";
    QTest::newRow("profile and connected peer") << "D R C P S K" << ready + " statsTable disconnect enableMetering";
    QTest::newRow("connected peer, no profile") << "D R C S K" << ready + " statsTable disconnect enableMetering";
    QTest::newRow("built-in profile and idle peer") << "D R P Pdef S" << ready + " connect enableMetering";
    QTest::newRow("connected without a peer selected") << "D R K" << ready + " enableMetering";
}

void UiRules::enables()
{
    QFETCH(QString, facts);
    QFETCH(QString, enabled);
    QCOMPARE(names(computeEnables(::facts(facts))).join(' '), enabled);
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
    // The header offers only what the window can do so far.
    QTest::newRow("header, refused") << refused << false << false << "password add";
    QTest::newRow("header, ready") << ready << true << false << "add";
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
