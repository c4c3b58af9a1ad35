// Device online and offline events: the flapping rule on its own, and a
// session against a simulated codec that stops, comes back and flaps.

#include "codecsim.h"
#include "presenceevents.h"
#include "simrig.h"

#include <QtTest>

#include <memory>

using State = IQEndpointClient::DEVICE_STATE;

namespace {
constexpr int Long = 20000;
}

class DevicePresence : public QObject
{
    Q_OBJECT

private slots:
    void rule_data();
    void rule();
    void raisedAgainstSimulator();
    void removedSessionRaisesNothing();
};

void DevicePresence::rule_data()
{
    // R: became READY; L: lost; +N: N seconds pass; !: the hold-off timer fires.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("raised");
    QTest::addColumn<bool>("holding");
    QTest::newRow("ready") << "R" << "2" << false;
    QTest::newRow("ready twice") << "R R" << "2" << false;
    QTest::newRow("lost, never ready") << "L" << "" << false;
    QTest::newRow("ready, lost") << "R L" << "2 3" << false;
    QTest::newRow("lost twice") << "R L L" << "2 3" << false;
    QTest::newRow("back within hold-off") << "R L R" << "2 3" << true;
    QTest::newRow("flaps, ends offline") << "R L R L" << "2 3" << false;
    QTest::newRow("flaps, ends online") << "R L R L R" << "2 3" << true;
    QTest::newRow("timer early") << "R L R +10 !" << "2 3" << true;
    QTest::newRow("held online released") << "R L R +30 !" << "2 3 2" << false;
    QTest::newRow("held, flapped back") << "R L R L +30 !" << "2 3" << false;
    QTest::newRow("after hold-off") << "R L +30 R L" << "2 3 2 3" << false;
    QTest::newRow("offline held") << "R +20 L +20 R L" << "2 3 2" << true;
    QTest::newRow("offline released") << "R +20 L +20 R L +10 !" << "2 3 2 3" << false;
}

void DevicePresence::rule()
{
    QFETCH(QString, steps);
    QFETCH(QString, raised);
    QFETCH(bool, holding);
    qint64 now = 1000;
    PresenceEvents rule;
    rule.setClock([&now] { return now; });
    QStringList seen;
    connect(&rule, &PresenceEvents::raised, this, [&seen](QV_EVENT e) { seen << QString::number(int(e)); });
    for (const QString &step : steps.split(' ')) {
        if (step == "R")
            rule.becameReady();
        else if (step == "L")
            rule.wasLost();
        else if (step == "!")
            rule.releaseHeld();
        else
            now += step.mid(1).toLongLong() * 1000;
    }
    QCOMPARE(seen.join(' '), raised);
    QCOMPARE(rule.isHolding(), holding);
}

void DevicePresence::raisedAgainstSimulator()
{
    SimRig rig;
    QVERIFY(rig.ok());
    auto startCodec = [](uint16_t port) {
        codecsim::Options o;
        o.port = port;
        auto sim = std::make_unique<codecsim::Simulator>(o);
        std::string error;
        if (!sim->start(error)) {
            qWarning("simulator did not start: %s", error.c_str());
            sim.reset();
        }
        return sim;
    };
    std::unique_ptr<codecsim::Simulator> codec = startCodec(0);
    QVERIFY(codec);
    const uint16_t port = codec->ports().at(0);

    IPCObject *s = rig.session();
    auto *presence = s->findChild<PresenceEvents *>();
    QVERIFY(presence);
    qint64 now = 0;
    presence->setClock([&now] { return now; });
    QList<QV_EVENT> events;
    connect(s, &IPCObject::deviceEvent, this, [&events, s](IPCObject *device, QV_EVENT e) {
        QCOMPARE(device, s);
        events << e;
    });
    StateLog log(s);

    s->setAddressAndConnect("127.0.0.1", port, "tarlin");
    QTRY_COMPARE_WITH_TIMEOUT(events, QList<QV_EVENT>{QV_EVENT_DEVICE_ONLINE}, Long);
    QCOMPARE(s->state(), State::READY);

    // The codec goes away.
    now = 20000;
    codec.reset();
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, Long);
    QCOMPARE(events.at(1), QV_EVENT_DEVICE_OFFLINE);

    // It comes back on the same port; the session reconnects on its own.
    now = 30000;
    codec = startCodec(port);
    QVERIFY(codec);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 3, Long);
    QCOMPARE(events.at(2), QV_EVENT_DEVICE_ONLINE);
    QCOMPARE(log.count(State::READY), 2);

    // A quick restart 15 s after the last loss: nothing is said, and once it
    // is back nothing is left waiting either.
    now = 35000;
    codec->dropClients(0);
    QTRY_COMPARE_WITH_TIMEOUT(log.count(State::DISCONNECTED), 2, Long);
    QTRY_VERIFY_WITH_TIMEOUT(presence->isHolding(), Long);
    QTRY_COMPARE_WITH_TIMEOUT(log.count(State::READY), 3, Long);
    QTRY_VERIFY_WITH_TIMEOUT(!presence->isHolding(), Long);
    QCOMPARE(events.size(), 3);
    QVERIFY(presence->isOnline());
}

void DevicePresence::removedSessionRaisesNothing()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QList<QV_EVENT> events;
    connect(s, &IPCObject::deviceEvent, this, [&events](IPCObject *, QV_EVENT e) { events << e; });
    QTRY_COMPARE_WITH_TIMEOUT(events, QList<QV_EVENT>{QV_EVENT_DEVICE_ONLINE}, Long);
    QPointer<IPCObject> guard(s);
    s->destroySession();
    QTRY_VERIFY_WITH_TIMEOUT(!guard, Long);
    QCOMPARE(events, QList<QV_EVENT>{QV_EVENT_DEVICE_ONLINE});
}

QTEST_GUILESS_MAIN(DevicePresence)
#include "tst_device_presence.moc"
