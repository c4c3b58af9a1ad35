// Misbehaviour on purpose (the fault options) and clients that misbehave:
// the codec logs, drops what it must, and serves every other client on.

#include "simfixture.h"

#include "platform/clock.h"

using codecsim::Options;

namespace {

bool loginAndPing(SimFixture &f, int codec = 0)
{
    SimTestClient c;
    if (!c.connectTo(f.port(codec)) || !c.loginVersioned())
        return false;
    c.send(SimTestClient::request("ping", "still-there"));
    Message m;
    return c.waitFor([](const Message &x) { return x.name() == "pong"; }, m);
}

} // namespace

class TestCodecsimFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietSimulatorLog(); }
    void cleanup() { quietSimulatorLog(); }

    // ---- fault options ----

    void stallFromTheStart()
    {
        Options o;
        o.stallAfter = 0;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        Message hello("hello");
        hello.set_string("seq", "hello");
        c.send(hello);
        c.send(SimTestClient::request("ping", "ping"));
        Message m;
        QVERIFY(!c.next(m, 1000));
        QVERIFY(!c.closed()); // silent, but the socket stays open
    }

    void stallMidSession()
    {
        Options o;
        o.stallAfter = 0.5;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        Message sub("subscribe");
        sub.set_string("seq", "internal");
        sub.add_child("sub").set_string("id", "metering");
        c.send(sub);
        // levels flow, then stop: wait for a quiet half second
        Message m;
        const uint64_t deadline = IpcPlatform::monotonicMicros() + 20000000;
        bool quiet = false;
        while (!quiet && IpcPlatform::monotonicMicros() < deadline)
            quiet = !c.waitUnso("metering", m, 500);
        QVERIFY(quiet);
        QVERIFY(!c.closed());
        c.send(SimTestClient::request("getVersion", "version"));
        QVERIFY(!c.waitResp("version", m, 800));
    }

    void closeAfter()
    {
        Options o;
        o.closeAfter = 0.3;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        QVERIFY(c.waitClosed(10000));
        QTRY_COMPARE(f.sim().clientCount(), 0);
        // every new connection gets the same treatment
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        QVERIFY(c.waitClosed(10000));
    }

    void garbageFrame()
    {
        Options o;
        o.garbageAfter = 0.2;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        Message m;
        // the frame parses to nothing: no name, no attributes
        QVERIFY(c.waitFor([](const Message &x) { return x.name().empty() && x.attributes().empty(); }, m, 5000));
        QVERIFY(!c.closed());
        c.send(SimTestClient::request("ping", "after"));
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
    }

    void oversizeFrame()
    {
        Options o;
        o.oversizeAfter = 0.2;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        QVERIFY(c.waitClosed(10000));
        QCOMPARE(c.failure(), std::string("IPCProtocolXMLS::receive_data buffer overflow"));
    }

    void noSystemOpts()
    {
        Options o;
        o.noSystemOpts = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        // everything else of a login still comes; systemOpts never does
        bool sawSystemOpts = false;
        Message m;
        QVERIFY(c.waitFor(
            [&](const Message &x) {
                sawSystemOpts |= x.has_child("systemOpts");
                return x.name() == "unso" && x.get_string("id") == "currentEncoder";
            },
            m));
        c.send(SimTestClient::request("getSysOptions", "sysOptions"));
        QVERIFY(c.waitFor(
            [&](const Message &x) {
                sawSystemOpts |= x.has_child("systemOpts");
                return x.name() == "resp" && x.get_string("seq") == "sysOptions";
            },
            m));
        QVERIFY(!sawSystemOpts);
    }

    void shortPeerKeys()
    {
        Options o;
        o.shortPeerKeys = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(SimTestClient::request("getPeerList", "peerList"));
        Message m;
        QVERIFY(c.waitResp("peerList", m));
        QVERIFY(m.child_count() > 0);
        // only the names the firmware uses: "pw" on address-book entries, "weftline" on all
        for (int i = 0; i < m.child_count(); ++i) {
            const Message &p = m.get_child(i);
            QVERIFY(p.has_attribute("weftline") && !p.has_attribute("use_weftline"));
            QVERIFY(!p.has_attribute("password"));
            QCOMPARE(p.has_attribute("pw"), !p.has_child("directory"));
        }
    }

    // ---- clients that misbehave ----

    void garbageFromAClient()
    {
        Logger::instance().setThreshold(LOGC_SIMULATOR, LOG_WARNING);
        LogCapture log;
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.sendRaw(std::string("\x01\x02\xff not xml at all", 18) + '\0');
        c.sendRaw(std::string("\0", 1));
        c.sendRaw(std::string("<unclosed seq=\"x\" attr=\0", 25));
        c.sendRaw(std::string("<<<>>>&&&\0", 10));
        c.send(SimTestClient::request("ping", "after-garbage"));
        Message m;
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
        QCOMPARE(m.get_string("seq"), std::string("after-garbage"));
        QVERIFY(log.contains("not a message"));
    }

    void oversizedFrameFromAClient()
    {
        Logger::instance().setThreshold(LOGC_SIMULATOR, LOG_WARNING);
        LogCapture log;
        SimFixture f;
        SimTestClient healthy;
        QVERIFY(healthy.connectTo(f.port()));
        QVERIFY(healthy.loginVersioned());
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        c.sendRaw(std::string(2097152 + 4096, 'x'));
        QVERIFY(c.waitClosed(10000));
        QTRY_VERIFY(log.contains("IPCProtocolXMLS::receive_data buffer overflow"));
        healthy.send(SimTestClient::request("ping", "fine"));
        Message m;
        QVERIFY(healthy.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
        QTRY_COMPARE(f.sim().clientCount(), 1);
    }

    void abruptCloseMidFrame()
    {
        SimFixture f;
        {
            SimTestClient c;
            QVERIFY(c.connectTo(f.port()));
            QVERIFY(c.loginVersioned());
            c.sendRaw("<getPeerList seq=\"peer");
        }
        QTRY_COMPARE(f.sim().clientCount(), 0);
        QVERIFY(loginAndPing(f));
    }

    void clientThatDoesNotReadIsDropped()
    {
        Logger::instance().setThreshold(LOGC_SIMULATOR, LOG_WARNING);
        LogCapture log;
        SimFixture f;
        SimTestClient healthy;
        QVERIFY(healthy.connectTo(f.port()));
        QVERIFY(healthy.loginVersioned());
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        // thousands of large answers the client never reads
        std::string requests;
        for (int i = 0; i < 3000; ++i)
            IPCProtocolXMLS::encode_wire(SimTestClient::request("getChannelOpts", "channelOpts"), requests);
        c.sendRaw(requests, false);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("does not read"), 20000);
        QTRY_COMPARE(f.sim().clientCount(), 1);
        healthy.send(SimTestClient::request("ping", "fine"));
        Message m;
        QVERIFY(healthy.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
    }

    void slowClientDroppedDuringAPushMissesNobody()
    {
        Logger::instance().setThreshold(LOGC_SIMULATOR, LOG_WARNING);
        LogCapture log;
        SimFixture f;
        SimTestClient slow; // logs in first, so a push reaches it first, then never reads
        QVERIFY(slow.connectTo(f.port()));
        QVERIFY(slow.loginVersioned());
        SimTestClient busy, third;
        QVERIFY(busy.connectTo(f.port()));
        QVERIFY(busy.loginVersioned());
        QVERIFY(third.connectTo(f.port()));
        QVERIFY(third.loginVersioned());
        // every command pushes the peer list to both; the slow one overflows on one of
        // them (one at a time, so that the busy client is never the one that lags)
        int sent = 0, received = 0, after = 0;
        Message m;
        while (sent < 20000 && after < 10) {
            Message command(sent % 2 ? "disconnect" : "connect");
            command.set_string("id", "1");
            busy.send(command);
            ++sent;
            if (!busy.waitPushed("peerList", m, 10000) || !third.waitPushed("peerList", m, 10000))
                break;
            ++received;
            if (f.sim().clientCount() == 2)
                ++after; // the slow one is gone: a few more, then stop
        }
        QCOMPARE(received, sent);
        QCOMPARE(after, 10);
        QVERIFY(log.contains("does not read"));
        QTRY_COMPARE(f.sim().clientCount(), 2);
    }

    void dropClientsActsAsARestart()
    {
        Options o;
        o.count = 2;
        SimFixture f(o);
        SimTestClient a, b;
        QVERIFY(a.connectTo(f.port(0)));
        QVERIFY(a.loginVersioned());
        QVERIFY(b.connectTo(f.port(1)));
        QVERIFY(b.loginVersioned());
        Message connect("connect");
        connect.set_string("id", "1");
        a.send(connect);
        Message m;
        QVERIFY(a.waitPushed("peerList", m));
        f.sim().dropClients(0);
        QVERIFY(a.waitClosed());
        // the other codec is untouched and the first keeps its calls
        b.send(SimTestClient::request("ping", "b"));
        QVERIFY(b.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
        QVERIFY(a.connectTo(f.port(0)));
        QVERIFY(a.loginVersioned());
        a.send(SimTestClient::request("getPeerList", "peerList"));
        QVERIFY(a.waitResp("peerList", m));
        QVERIFY(m.get_child("peer").get_bool("active"));
    }
};

QTEST_APPLESS_MAIN(TestCodecsimFaults)
#include "tst_codecsim_faults.moc"
