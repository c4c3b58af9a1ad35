// A client session against a scripted codec over 127.0.0.1: login, queueing,
// subscriptions, dispatch to slots, the unversioned fallback, keep-alive,
// time-out and endpoint lifetime.

#include "ipcprotocolxmlsclient.h"
#include "rig.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

std::atomic<uint64_t> g_fakeNow{5000000000000ull};
uint64_t fakeClock()
{
    return g_fakeNow.load();
}

int indexOf(const std::vector<std::string> &names, const std::string &name)
{
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

} // namespace

class TestTransportSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { iqRegisterMetaTypes(); }

    void requestsSentBeforeLoginGoOutAfterItInOrder()
    {
        Rig rig;
        ClientPtr client(rig.client("dev"));
        client->send(request("getAlpha", "alpha"));
        client->send(request("getBeta", "beta"));
        QCOMPARE(client->queued(), size_t(2));
        rig.connect(client.get());
        QTRY_COMPARE(client->responses.size(), 2);
        QCOMPARE(client->order, QStringList({"cb_resp_alpha", "cb_resp_beta"}));
        QCOMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        const auto names = rig.peer.names();
        QCOMPARE(names.at(0), std::string("hello"));
        QCOMPARE(names.at(1), std::string("ping"));
        QVERIFY(indexOf(names, "login") < indexOf(names, "getAlpha"));
        QCOMPARE(indexOf(names, "getBeta"), indexOf(names, "getAlpha") + 1);
        const Message hello = rig.peer.messages().at(0);
        QCOMPARE(hello.get_string("seq"), std::string("hello"));
        QCOMPARE(hello.get_string("version"), std::string("1"));
        // an empty user name by default, and the digest of challenge + password
        const Message login = rig.peer.messages().at(indexOf(names, "login"));
        QCOMPARE(login.get_string("username"), std::string());
        QCOMPARE(login.get_string("response"), md5Hex("abcsecret"));
        // the responses are cached under their seq
        Message cached;
        QVERIFY(client->cachedMessage("alpha", cached));
        QCOMPARE(cached.get_string("request"), std::string("getAlpha"));
    }

    void eleventhQueuedRequestDropsTheOldest()
    {
        Rig rig;
        ClientPtr client(rig.client("dev"));
        for (int i = 1; i <= 11; ++i)
            client->send(request("req" + std::to_string(i), "alpha"));
        // the loop takes them over from this thread, then ten wait
        QTRY_COMPARE(client->queued(), size_t(10));
        rig.connect(client.get());
        QTRY_COMPARE(client->responses.size(), 10);
        QCOMPARE(rig.peer.count("req1"), 0);
        for (int i = 2; i <= 11; ++i)
            QCOMPARE(rig.peer.count("req" + std::to_string(i)), 1);
        QCOMPARE(client->responses.first().get_string("request"), std::string("req2"));
        QCOMPARE(client->queued(), size_t(0));
    }

    void internalResponsesNeverReachTheApplication()
    {
        LogCapture log;
        Rig rig;
        ClientPtr client(rig.client("dev"));
        client->onInitialise = [](TestClient *c) { c->subscribe("status", 70); };
        rig.connect(client.get());
        QTRY_COMPARE(rig.peer.count("subscribe"), 1);
        const Message sub = rig.peer.messages().back();
        QCOMPARE(sub.get_string("seq"), std::string("internal"));
        QCOMPARE(sub.child_count("sub"), 1);
        QCOMPARE(sub.get_child("sub").get_string("id"), std::string("status"));
        QCOMPARE(sub.get_child("sub").get_string("interval"), std::string("70"));
        // the codec's answer (seq "internal") stops in the transport; a real
        // response sent after it arrives, proving it was read
        Message internal("resp");
        internal.set_string("seq", "internal");
        rig.peer.send(rig.peer.lastConn(), internal);
        client->send(request("getAlpha", "alpha"));
        QTRY_COMPARE(client->responses.size(), 1);
        QCOMPARE(client->order, QStringList({"cb_resp_alpha"}));
        QVERIFY(!log.hasWarning("missing response"));
        Message cached;
        QVERIFY(!client->cachedMessage("internal", cached));
    }

    void noticesGoToTheirSlotAndMissingOnesWarnButAreCached()
    {
        LogCapture log;
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        rig.connect(client.get());
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        Message known("unso");
        known.set_string("id", "status");
        known.add_child("status").set_int("level", 3);
        rig.peer.send(rig.peer.lastConn(), known);
        Message unknown("unso");
        unknown.set_string("id", "cfgStatus:netmgr.tunnel");
        unknown.add_child("tunnel");
        rig.peer.send(rig.peer.lastConn(), unknown);
        QTRY_COMPARE(client->notices.size(), 1);
        QCOMPARE(client->notices.first().get_child(0).get_int("level"), 3);
        Message cached;
        QTRY_VERIFY(client->cachedMessage("cfgStatus_netmgr_tunnel", cached));
        QCOMPARE(cached.get_string("id"), std::string("cfgStatus:netmgr.tunnel"));
        QTRY_VERIFY(log.hasWarning("missing callback cb_unso_cfgStatus_netmgr_tunnel"));
        QVERIFY(client->cachedMessage("status", cached));
    }

    void requiredMessagesEmitOnceWhenTheLastArrives()
    {
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        client->onInitialise = [](TestClient *c) {
            c->setRequiredMessages({"alpha", "beta"});
            c->send(request("getAlpha", "alpha"));
            c->send(request("getAlpha", "alpha"));
            c->send(request("getBeta", "beta"));
        };
        SignalCounter final(client.get(), &IQEndpointClient::finalRequiredMessageReceived);
        rig.connect(client.get());
        QTRY_COMPARE(client->responses.size(), 3);
        QTRY_COMPARE(final.count(), 1);
        QVERIFY(client->requiredMessages().isEmpty());
    }

    void traceLogsWhatIsSentAndReceived()
    {
        LogCapture log;
        Logger::instance().setThreshold(LOGC_ENDPOINT, LOG_INFO);
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        client->set_trace(true);
        rig.connect(client.get());
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        client->send(request("getAlpha", "alpha"));
        QTRY_COMPARE(client->responses.size(), 1);
        const std::string peer = rig.peer.address();
        QVERIFY(log.hasLine(LOG_INFO, "tx to " + peer + ": <getAlpha seq=\"alpha\"/>"));
        QVERIFY(log.hasLine(LOG_INFO, "rx from " + peer + ": <resp request=\"getAlpha\" seq=\"alpha\"/>"));
    }

    void letInOnHelloWithoutLogin()
    {
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        SignalCounter connected(client.get(), &IQEndpointClient::connected);
        rig.connect(client.get());
        QTRY_COMPARE(client->initialised.load(), 1);
        QCOMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        QCOMPARE(rig.peer.count("login"), 0);
        QTRY_COMPARE(connected.count(), 1);
        // the handshake's own pong is delivered like any message
        QTRY_COMPARE(client->pongs.load(), 1);
    }

    void unversionedFallbackPersistsAcrossReconnects()
    {
        LogCapture log;
        CodecScript script;
        script.versioned = false;
        Rig rig(script);
        ClientPtr client(rig.client("old"));
        rig.connect(client.get());
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        QCOMPARE(client->protocol_version(), 0u);
        QCOMPARE(rig.peer.names(1), std::vector<std::string>({"hello", "ping", "login", "login"}));
        QCOMPARE(client->pongs.load(), 0); // the pong that gave it away stops in the transport

        // requests get a local response with their seq; the device's bare answer is a notice
        client->send(request("getAlpha", "alpha"));
        QTRY_COMPARE(client->responses.size(), 1);
        QCOMPARE(client->responses.first().name(), std::string("resp"));
        QCOMPARE(client->responses.first().get_string("seq"), std::string("alpha"));
        Message cached;
        QTRY_VERIFY(client->cachedMessage("", cached)); // bare element: no id

        // the next connection starts unversioned at once
        SignalCounter connecting(client.get(), &IQEndpointClient::connecting);
        rig.peer.closeConn(1);
        QTRY_COMPARE(rig.connState(client.get()), int(IPCConn::Closed));
        rig.skipAhead(IQEndpointClient::ReconnectSeconds);
        QTRY_COMPARE_WITH_TIMEOUT(rig.peer.accepted(), 2, 15000);
        QTRY_COMPARE(client->initialised.load(), 2);
        const auto second = rig.peer.names(2);
        QVERIFY(!second.empty());
        QCOMPARE(second.front(), std::string("login"));
        QCOMPARE(rig.peer.count("hello", 2), 0);
        QCOMPARE(rig.peer.messages(2).front().attributes().size(), size_t(0));
        QCOMPARE(client->protocol_version(), 0u);
        QTRY_VERIFY(connecting.count() >= 1);
    }

    void reconnectResubscribesAndClearsTheCache()
    {
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        client->subscribe("power", 0);
        client->subscribe("status", 70);
        rig.connect(client.get());
        QTRY_COMPARE(rig.peer.count("subscribe", 1), 1);
        Message sub = rig.peer.messages(1).back();
        QCOMPARE(sub.get_string("seq"), std::string("internal"));
        QCOMPARE(sub.child_count("sub"), 2);
        QCOMPARE(sub.get_child("sub", 0).get_string("id"), std::string("power"));
        QVERIFY(!sub.get_child("sub", 0).has_attribute("interval"));
        QCOMPARE(sub.get_child("sub", 1).get_string("interval"), std::string("70"));
        client->send(request("getAlpha", "alpha"));
        Message cached;
        QTRY_VERIFY(client->cachedMessage("alpha", cached));

        SignalCounter disconnected(client.get(), &IQEndpointClient::disconnected);
        rig.peer.closeConn(1);
        QTRY_COMPARE(disconnected.count(), 1);
        rig.skipAhead(IQEndpointClient::ReconnectSeconds);
        QTRY_COMPARE_WITH_TIMEOUT(rig.peer.count("subscribe", 2), 1, 15000);
        QCOMPARE(rig.peer.messages(2).back().child_count("sub"), 2);
        QVERIFY(!client->cachedMessage("alpha", cached));
    }

    void keepAliveHoldsAnIdleLinkWithoutReachingTheApplication()
    {
        LogCapture log;
        Rig rig(CodecScript{true, true}, [](IPCManager &m) { m.set_periodic_interval(100); });
        ClientPtr client(rig.client("dev"));
        client->set_receive_timeout(3);
        client->set_keepalive_idle_ms(300);
        rig.connect(client.get());
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        QTRY_VERIFY_WITH_TIMEOUT(rig.peer.count("ping") >= 4, 20000);
        for (const Message &m : rig.peer.messages()) {
            if (m.name() == "ping")
                QCOMPARE(m.get_string("seq"), std::string("ping"));
        }
        QCOMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        QCOMPARE(client->pongs.load(), 1); // only the handshake's
        QCOMPARE(log.countWarnings("missing callback"), 1);
        QCOMPARE(rig.peer.accepted(), 1);
    }

    void unversionedKeepAlivePongIsConsumed()
    {
        LogCapture log;
        CodecScript script;
        script.versioned = false;
        Rig rig(script, [](IPCManager &m) { m.set_periodic_interval(100); });
        ClientPtr client(rig.client("old"));
        client->set_receive_timeout(3);
        client->set_keepalive_idle_ms(300);
        rig.connect(client.get());
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        QTRY_VERIFY_WITH_TIMEOUT(rig.peer.count("ping") >= 4, 20000);
        QCOMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        QCOMPARE(client->pongs.load(), 0);
        QCOMPARE(log.countWarnings("missing"), 0);
        // no local response for the probe either
        QCOMPARE(client->responses.size(), 0);
    }

    // Seven silent seconds keep the link, eight end it; driven by a fake clock.
    void receiveTimeoutBoundary()
    {
        LogCapture log;
        Rig rig(CodecScript{true, true}, [](IPCManager &m) {
            m.set_clock(&fakeClock);
            m.set_periodic_interval(1000);
        });
        ClientPtr client(rig.client("dev"));
        client->set_receive_timeout(7);
        client->set_keepalive_idle_ms(0);
        SignalCounter timedOut(client.get(), &IQEndpointClient::cnxn_timed_out);
        rig.connect(client.get());
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        const uint64_t t0 = client->last_activity();

        int ticks = client->ticks;
        g_fakeNow = t0 + 7900000;
        rig.manager()->manager().wake();
        QTRY_VERIFY(client->ticks > ticks);
        QCOMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        QCOMPARE(timedOut.count(), 0);

        g_fakeNow = t0 + 8900000;
        rig.manager()->manager().wake();
        QTRY_COMPARE(timedOut.count(), 1);
        QTRY_COMPARE(client->state(), IQEndpointClient::DISCONNECTED);
        QVERIFY(log.hasLine(LOG_DEBUG, "failed: timed out"));
    }

    void connectClientReusesTheEndpoint()
    {
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        rig.connect(client.get());
        QTRY_COMPARE(client->initialised.load(), 1);
        rig.connect(client.get());
        QTRY_COMPARE(client->initialised.load(), 2);
        QCOMPARE(rig.manager()->manager().endpoint_count(), size_t(1));
        QTRY_COMPARE(rig.peer.openConnections(), 1); // the first was closed
        QCOMPARE(rig.peer.accepted(), 2);

        // a name nobody registered gets an endpoint of the manager's own
        QMetaObject::invokeMethod(rig.manager(), "connect_client", Qt::QueuedConnection, Q_ARG(QString, "xmls"),
                                  Q_ARG(QString, "stream"), Q_ARG(QString, QString::fromStdString(rig.peer.address())),
                                  Q_ARG(QString, "anon"));
        QTRY_COMPARE(rig.manager()->manager().endpoint_count(), size_t(2));
        QTRY_COMPARE(rig.peer.accepted(), 3);
        // and a transport other than "stream" changes nothing
        QMetaObject::invokeMethod(rig.manager(), "connect_client", Qt::QueuedConnection, Q_ARG(QString, "xmls"),
                                  Q_ARG(QString, "udp"), Q_ARG(QString, QString::fromStdString(rig.peer.address())),
                                  Q_ARG(QString, "dev"));
        QMetaObject::invokeMethod(rig.manager(), "disconnect_endpoint", Qt::QueuedConnection, Q_ARG(QString, "anon"));
        QTRY_COMPARE(rig.manager()->manager().endpoint_count(), size_t(1));
        QCOMPARE(rig.peer.accepted(), 3);
        QCOMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
    }

    void hostNamesResolveOnTheManagerThread()
    {
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        rig.connect(client.get(), QString("localhost:%1").arg(rig.peer.port()));
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
    }

    void ipv6Loopback()
    {
        LogCapture log;
        Rig rig(CodecScript{true, true});
        ScriptPeer peer6;
        peer6.setHandler(codecHandler(CodecScript{true, true}));
        if (!peer6.start(true))
            QSKIP("no IPv6 loopback here");
        ClientPtr client(rig.client("dev"));
        rig.connect(client.get(), QString::fromStdString(peer6.address()));
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        peer6.closeConn(1);
        QTRY_VERIFY(log.hasLine(LOG_DEBUG, "socket [::1]:" + std::to_string(peer6.port()) + " failed: remote disconnect"));
    }

    void removedEndpointIsNeverTouchedAgain()
    {
        Rig rig(CodecScript{true, true});
        ClientPtr healthy(rig.client("healthy"));
        TestClient *doomed = rig.client("doomed");
        rig.connect(healthy.get());
        rig.connect(doomed);
        QTRY_COMPARE(doomed->state(), IQEndpointClient::AUTHENTICATED);
        QTRY_COMPARE(healthy->state(), IQEndpointClient::AUTHENTICATED);
        // flood the doomed one, then drop and delete it in the middle of it
        const int conn = rig.peer.lastConn();
        for (int i = 0; i < 300; ++i) {
            Message n("unso");
            n.set_string("id", "status");
            n.add_child("status").set_int("n", i);
            rig.peer.send(conn, n);
        }
        QTRY_VERIFY(doomed->notices.size() > 0);
        rig.manager()->remove_endpoint("doomed");
        doomed->deleteLater();
        QTRY_COMPARE(rig.peer.openConnections(), 1);
        healthy->send(request("getAlpha", "alpha"));
        QTRY_COMPARE(healthy->responses.size(), 1);
        QCOMPARE(rig.manager()->manager().endpoint_count(), size_t(1));
    }

    void sendDoesNotWaitForTheLoop()
    {
        // The loop holds its state lock through a whole dispatch; a send from
        // this thread hands the message over and returns, and the loop writes
        // it once it is free again.
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("dev"));
        rig.connect(client.get());
        QTRY_COMPARE(client->state(), IQEndpointClient::AUTHENTICATED);
        std::atomic<bool> sent{false};
        std::atomic<bool> held{false};
        bool waitedOut = false;
        std::thread busyLoop([&] {
            IQMutex &lock = rig.manager()->mutex();
            lock.lock();
            held = true;
            QElapsedTimer t;
            t.start();
            while (!sent && t.elapsed() < 10000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            waitedOut = !sent;
            lock.unlock();
        });
        QTRY_VERIFY(held);
        client->send(request("getAlpha", "alpha"));
        client->subscribe("status", 0);
        sent = true;
        busyLoop.join();
        QVERIFY2(!waitedOut, "send() waited for the state lock");
        QTRY_COMPARE(client->responses.size(), 1);
        QTRY_COMPARE(rig.peer.count("subscribe"), 1);
        QCOMPARE(client->queued(), size_t(0));
    }

    void callbackThatRemovesItsOwnEndpoint()
    {
        Rig rig(CodecScript{true, true});
        ClientPtr client(rig.client("self"));
        IQManager *manager = rig.manager();
        client->onInitialise = [manager](TestClient *c) {
            c->send(request("getAlpha", "alpha"));
            manager->remove_endpoint("self"); // on the loop thread, inside the dispatch
        };
        rig.connect(client.get());
        QTRY_COMPARE(client->initialised.load(), 1);
        QTRY_COMPARE(rig.manager()->manager().endpoint_count(), size_t(0));
        QTRY_COMPARE(rig.peer.openConnections(), 0);
        QCOMPARE(client->connection(), nullptr);
        QCOMPARE(client->manager(), nullptr);
    }
};

QTEST_GUILESS_MAIN(TestTransportSession)
#include "tst_transport_session.moc"
