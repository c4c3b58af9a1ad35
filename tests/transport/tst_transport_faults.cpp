// Hostile and broken peers. Each case runs beside a healthy connection in the
// same manager, which must go on being served; each ends in the right state
// and log line, with the right reconnect behaviour.

#include "ipcprotocol.h"
#include "rig.h"

#include <QtTest>

#include <memory>
#include <string>

namespace {

// Reconnects come 4 s after a close; the tests move the manager's clock on
// instead of waiting, and leave room for a slow machine.
constexpr int ReconnectWaitMs = 20000;

struct FaultRig {
    LogCapture log;
    Rig rig;
    ScriptPeer good;
    ClientPtr healthy;
    ClientPtr victim;

    explicit FaultRig(CodecScript bad, std::function<void(IPCManager &)> setup = {})
        : rig(bad, std::move(setup))
    {
        good.setHandler(codecHandler(CodecScript()));
        good.start();
        healthy.reset(rig.client("healthy"));
        victim.reset(rig.client("victim"));
        rig.connect(healthy.get(), QString::fromStdString(good.address()));
    }

    std::string badAddress() const { return rig.peer.address(); }

    /** Lets the reconnect interval pass once the victim's connection has closed. */
    void reconnectVictim()
    {
        QTRY_VERIFY(rig.connState(victim.get()) == IPCConn::Closed);
        rig.skipAhead(IQEndpointClient::ReconnectSeconds + 1);
    }

    /** The healthy connection still answers. */
    bool healthyServes()
    {
        const int before = healthy->responses.size();
        healthy->send(request("getAlpha", "alpha"));
        return QTest::qWaitFor([&] { return healthy->responses.size() > before; }, 10000);
    }
};

} // namespace

class TestTransportFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { iqRegisterMetaTypes(); }

    void peerClosesMidFrame()
    {
        FaultRig f(CodecScript{true, true});
        f.rig.connect(f.victim.get());
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
        SignalCounter disconnected(f.victim.get(), &IQEndpointClient::disconnected);
        EventRecorder events(f.victim.get());
        f.rig.peer.sendRaw(1, std::string("<unso id=\"status\"><status level=\"3\"/></unso>\0<unso id=\"sta", 53));
        f.rig.peer.closeConn(1);
        QTRY_COMPARE(disconnected.count(), 1);
        QTRY_VERIFY(f.log.hasLine(LOG_DEBUG, "socket " + f.badAddress() + " failed: remote disconnect"));
        // the reason, before the state it led to
        QCOMPARE(events.events, QStringList({"failed: remote disconnect", "disconnected"}));
        // the complete message before the cut got through, the half one did not
        QTRY_COMPARE(f.victim->notices.size(), 1);
        QVERIFY(f.healthyServes());
        f.reconnectVictim();
        QTRY_COMPARE_WITH_TIMEOUT(f.rig.peer.accepted(), 2, ReconnectWaitMs);
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
        QCOMPARE(f.victim->notices.size(), 1);
    }

    void peerSendsGarbage()
    {
        FaultRig f(CodecScript{true, true});
        f.rig.connect(f.victim.get());
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
        static const char junk[] = "\x01\x02\xff\xfe junk <<<>>> &&;\0\0<resp seq=\"alpha\" <<\0\xc3\x28\0<unso id=>\0";
        const std::string garbage(junk, sizeof junk - 1);
        EventRecorder events(f.victim.get());
        f.rig.peer.sendRaw(1, garbage);
        // still up and still speaking: a real request after the junk is answered
        const int before = f.victim->responses.size();
        f.victim->send(request("getBeta", "beta"));
        QTRY_VERIFY(f.victim->order.contains("cb_resp_beta"));
        QVERIFY(f.victim->responses.size() > before);
        QCOMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
        QCOMPARE(f.rig.peer.accepted(), 1);
        QVERIFY(f.healthyServes());
        // each unreadable frame reported, with its element and a sample; the empty one is no fault
        QTRY_COMPARE(events.events.size(), 4);
        QVERIFY2(events.events[0].startsWith("rejected: unreadable frame (20 bytes, element none, "), qPrintable(events.events[0]));
        QVERIFY2(events.events[0].endsWith(": \"???? junk <<<>>> &&;\""), qPrintable(events.events[0]));
        QVERIFY2(events.events[1].contains("element <resp>"), qPrintable(events.events[1]));
        QVERIFY2(events.events[3].contains("element <unso>"), qPrintable(events.events[3]));
    }

    void peerSendsThreeMebibytesWithoutAFrameEnd()
    {
        FaultRig f(CodecScript{true, true});
        f.rig.connect(f.victim.get());
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
        f.rig.peer.sendRaw(1, "<unso id=\"x\">" + std::string(3 * 1024 * 1024, 'a'));
        QTRY_VERIFY(f.log.hasLine(LOG_DEBUG, "failed: IPCProtocolXMLS::receive_data buffer overflow"));
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::DISCONNECTED);
        QVERIFY(f.healthyServes());
        f.reconnectVictim();
        QTRY_COMPARE_WITH_TIMEOUT(f.rig.peer.accepted(), 2, ReconnectWaitMs);
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
    }

    void peerNeverAnswers()
    {
        CodecScript silent;
        silent.answerPing = false;
        FaultRig f(silent, [](IPCManager &m) { m.set_periodic_interval(200); });
        f.rig.peer.setHandler({});
        f.victim->set_receive_timeout(1);
        SignalCounter timedOut(f.victim.get(), &IQEndpointClient::cnxn_timed_out);
        EventRecorder events(f.victim.get());
        f.victim->send(request("getAlpha", "alpha"));
        f.rig.connect(f.victim.get());
        QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, 10000);
        QVERIFY(f.log.hasLine(LOG_DEBUG, "socket " + f.badAddress() + " failed: timed out"));
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::DISCONNECTED);
        QTRY_COMPARE(events.events, QStringList({"connecting", "connected", "failed: timed out", "timed_out", "disconnected"}));
        QCOMPARE(f.rig.peer.count("getAlpha"), 0); // never let in, never sent
        QVERIFY(f.healthyServes());
        f.reconnectVictim();
        QTRY_COMPARE_WITH_TIMEOUT(f.rig.peer.accepted(), 2, ReconnectWaitMs);
        // the request waited through it all and is still queued
        QCOMPARE(f.victim->queued(), size_t(1));
    }

    void peerAcceptsButNeverReads()
    {
        FaultRig f(CodecScript{}, [](IPCManager &m) { m.set_periodic_interval(200); });
        f.rig.peer.setReading(false);
        f.victim->set_receive_timeout(1);
        SignalCounter timedOut(f.victim.get(), &IQEndpointClient::cnxn_timed_out);
        f.rig.connect(f.victim.get());
        QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, 10000);
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::DISCONNECTED);
        QVERIFY(f.healthyServes());
        f.reconnectVictim();
        QTRY_COMPARE_WITH_TIMEOUT(f.rig.peer.accepted(), 2, ReconnectWaitMs);
    }

    void peerStopsReadingAfterLogin()
    {
        FaultRig f(CodecScript{true, true});
        f.rig.connect(f.victim.get());
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
        f.rig.peer.pauseReading(1);
        Message big("setBlob");
        big.set_string("seq", "alpha");
        big.set_string("data", std::string(512 * 1024, 'b'));
        for (int i = 0; i < 200 && !f.log.hasLine(LOG_DEBUG, "IPCConn::send_data buffer overflow"); ++i)
            f.victim->send(big);
        QTRY_VERIFY(f.log.hasLine(LOG_DEBUG, "socket " + f.badAddress() + " failed: IPCConn::send_data buffer overflow"));
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::DISCONNECTED);
        QVERIFY(f.healthyServes());
    }

    void peerRefusesThePassword()
    {
        FaultRig f(CodecScript{});
        f.victim->setPassword("wrong");
        SignalCounter wrong(f.victim.get(), &IQEndpointClient::wrong_password);
        SignalCounter disconnected(f.victim.get(), &IQEndpointClient::disconnected);
        EventRecorder events(f.victim.get());
        f.rig.connect(f.victim.get());
        QTRY_COMPARE(wrong.count(), 1);
        QCOMPARE(f.victim->state(), IQEndpointClient::AUTH_FAILED);
        QTRY_VERIFY(f.log.hasLine(LOG_DEBUG, "socket " + f.badAddress() + " failed: authentication failure"));
        QCOMPARE(events.events, QStringList({"connecting", "connected", "failed: authentication failure", "wrong_password"}));
        // given up: no connection and no reconnect, and the state stays
        QTRY_COMPARE(f.rig.connState(f.victim.get()), -1);
        QCOMPARE(f.victim->reconnect_interval(), 0u);
        QTRY_COMPARE(f.rig.peer.openConnections(), 0);
        // well past the reconnect interval, on the manager's clock
        f.rig.skipAhead(3 * IQEndpointClient::ReconnectSeconds);
        QVERIFY(f.rig.loopTurns(3));
        QCOMPARE(f.rig.peer.accepted(), 1);
        QCOMPARE(f.victim->state(), IQEndpointClient::AUTH_FAILED);
        QCOMPARE(disconnected.count(), 0);
        QCOMPARE(wrong.count(), 1);
        QCOMPARE(f.rig.manager()->manager().endpoint_count(), size_t(2));
        QVERIFY(f.healthyServes());

        // an explicit connect with the right password starts again
        f.victim->setPassword("secret");
        f.rig.connect(f.victim.get());
        QTRY_COMPARE(f.victim->state(), IQEndpointClient::AUTHENTICATED);
    }

    void loginResultWithSuccessAndFailIsRefused()
    {
        CodecScript liar;
        liar.lieSuccessWithFail = true;
        FaultRig f(liar);
        SignalCounter wrong(f.victim.get(), &IQEndpointClient::wrong_password);
        f.rig.connect(f.victim.get());
        QTRY_COMPARE(wrong.count(), 1);
        QCOMPARE(f.victim->state(), IQEndpointClient::AUTH_FAILED);
        QCOMPARE(f.victim->initialised.load(), 0);
        QVERIFY(f.healthyServes());
    }

    void connectionRefusedIsRetriedEveryFourSeconds()
    {
        FaultRig f(CodecScript{});
        const std::string address = f.rig.peer.address();
        f.rig.peer.stop(); // nothing listens there any more
        EventRecorder events(f.victim.get());
        f.rig.connect(f.victim.get(), QString::fromStdString(address));
        QTRY_VERIFY(f.log.hasLine(LOG_DEBUG, "socket " + address + " failed: Connection refused"));
        QTRY_COMPARE(events.events, QStringList({"connecting", "failed: Connection refused", "disconnected"}));
        f.reconnectVictim();
        QTRY_VERIFY_WITH_TIMEOUT(f.log.countLines("failed: Connection refused") >= 2, ReconnectWaitMs);
        QTRY_COMPARE(events.events.mid(3), QStringList({"connecting", "failed: Connection refused", "disconnected"}));
        QCOMPARE(f.victim->state(), IQEndpointClient::DISCONNECTED);
        QVERIFY(f.victim->autoReconnect());
        QVERIFY(f.healthyServes());
    }

    void hostNameIsResolvedAgainOnEveryRetry()
    {
        FaultRig f(CodecScript{});
        const uint16_t port = f.rig.peer.port();
        f.rig.peer.stop();
        f.rig.connect(f.victim.get(), QString("localhost:%1").arg(port));
        QTRY_VERIFY(f.log.countLines("127.0.0.1:" + std::to_string(port) + " failed: Connection refused") >= 1);
        f.reconnectVictim();
        QTRY_VERIFY_WITH_TIMEOUT(f.log.countLines("127.0.0.1:" + std::to_string(port) + " failed: Connection refused") >= 2,
                                 ReconnectWaitMs);
        QVERIFY(f.healthyServes());
    }
};

QTEST_GUILESS_MAIN(TestTransportFaults)
#include "tst_transport_faults.moc"
