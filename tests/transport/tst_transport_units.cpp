// Pure rules of the transport (addresses, time-outs, login digest) and the
// manager driven turn by turn on the test thread with a fake clock.

#include "ipcaddress.h"
#include "ipcconn.h"
#include "ipcendpoint.h"
#include "ipcmanager.h"
#include "ipcprotocolxmlsclient.h"
#include "logger.h"
#include "platform/net.h"

#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <thread>

using IpcPlatform::SocketAddress;

namespace {

std::atomic<uint64_t> g_fakeNow{1000000000000ull};
uint64_t fakeClock()
{
    return g_fakeNow.load();
}

// A loopback port with nothing listening on it.
uint16_t closedPort()
{
    SocketAddress a;
    IpcPlatform::parseNumericHost("127.0.0.1", IpcPlatform::FamilyIPv4, a);
    int error = 0;
    IpcPlatform::SocketHandle s = IpcPlatform::listenTcp(a, 1, error);
    SocketAddress bound;
    IpcPlatform::localAddress(s, bound);
    IpcPlatform::closeSocket(s);
    return bound.port;
}

} // namespace

class TestTransportUnits : public QObject
{
    Q_OBJECT

private slots:
    void parseAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("printed");
        QTest::newRow("v4 with port") << "10.0.0.5:8080" << true << 4 << 8080 << "10.0.0.5:8080";
        QTest::newRow("v4 without port") << "10.0.0.5" << true << 4 << 0 << "10.0.0.5:0";
        QTest::newRow("v6 bracketed with port") << "[::1]:8080" << true << 6 << 8080 << "[::1]:8080";
        QTest::newRow("v6 bare") << "::1" << true << 6 << 0 << "[::1]:0";
        QTest::newRow("v6 bracketed no port") << "[fe80::2]" << true << 6 << 0 << "[fe80::2]:0";
        QTest::newRow("host name") << "codec.example:8080" << false << 0 << 8080 << "(unknown)";
        QTest::newRow("bad port") << "10.0.0.5:80x" << false << 0 << 0 << "(unknown)";
        QTest::newRow("port too big") << "10.0.0.5:65536" << false << 0 << 0 << "(unknown)";
        QTest::newRow("empty") << "" << false << 0 << 0 << "(unknown)";
    }

    void parseAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QFETCH(int, family);
        QFETCH(int, port);
        QFETCH(QString, printed);
        SocketAddress a;
        std::string host;
        QCOMPARE(IPCAddress::parse(text.toStdString(), a, &host), numeric);
        QCOMPARE(int(a.family), family);
        QCOMPARE(int(a.port), port);
        QCOMPARE(QString::fromStdString(IPCAddress::to_string(a)), printed);
    }

    void hostNameIsHandedBackForResolution()
    {
        SocketAddress a;
        std::string host;
        QVERIFY(!IPCAddress::parse("codec.example:8080", a, &host));
        QCOMPARE(host, std::string("codec.example"));
        QCOMPARE(int(a.port), 8080);
    }

    void receiveTimeoutCountsWholeSeconds()
    {
        const uint64_t t0 = 5000000;
        QVERIFY(!IPCEndpoint::receive_timed_out(t0, t0 + 7000000, 7));
        QVERIFY(!IPCEndpoint::receive_timed_out(t0, t0 + 7999999, 7));
        QVERIFY(IPCEndpoint::receive_timed_out(t0, t0 + 8000000, 7));
        QVERIFY(!IPCEndpoint::receive_timed_out(t0, t0 + 100000000, 0)); // off
        QVERIFY(!IPCEndpoint::receive_timed_out(t0, t0 - 1, 7));         // clock behind: never
    }

    void waitTimeoutRule()
    {
        const uint64_t now = 100000000;
        // nothing pending: the periodic tick decides; off means no limit
        QCOMPARE(IPCManager::wait_timeout_ms(4000, now, now, {}), 4000);
        QCOMPARE(IPCManager::wait_timeout_ms(4000, now - 1500000, now, {}), 2500);
        QCOMPARE(IPCManager::wait_timeout_ms(4000, now - 9000000, now, {}), 0);
        QCOMPARE(IPCManager::wait_timeout_ms(0, now, now, {}), -1);
        // interval 10, closed 3 s ago: at most 7000 ms
        QCOMPARE(IPCManager::wait_timeout_ms(0, now, now, {{now - 3000000, 10}}), 7000);
        QVERIFY(IPCManager::wait_timeout_ms(4000, now, now, {{now - 3000000, 10}}) <= 7000);
        QCOMPARE(IPCManager::wait_timeout_ms(60000, now, now, {{now - 3000000, 10}}), 7000);
        // the earliest of several; a due one means no wait
        QCOMPARE(IPCManager::wait_timeout_ms(60000, now, now, {{now - 3000000, 10}, {now - 2500000, 4}}), 1500);
        QCOMPARE(IPCManager::wait_timeout_ms(60000, now, now, {{now - 4000000, 4}}), 0);
        QVERIFY(IPCManager::reconnect_due(now - 4000000, 4, now));
        QVERIFY(!IPCManager::reconnect_due(now - 3999999, 4, now));
    }

    void md5Digest()
    {
        QCOMPARE(IPCProtocolXMLSClient::digest("abc", ""), std::string("900150983cd24fb0d6963f7d28e17f72"));
        // challenge and password run together, no separator
        QCOMPARE(IPCProtocolXMLSClient::digest("ab", "c"), IPCProtocolXMLSClient::digest("abc", ""));
        QCOMPARE(IPCProtocolXMLSClient::digest("", ""), std::string("d41d8cd98f00b204e9800998ecf8427e"));
    }

    void loginResultRule()
    {
        Message m("resp");
        m.set_string("seq", "login");
        QVERIFY(IPCProtocolXMLSClient::login_succeeded(m)); // success missing counts as true
        m.set_bool("success", true);
        QVERIFY(IPCProtocolXMLSClient::login_succeeded(m));
        m.set_bool("fail", true);
        QVERIFY(!IPCProtocolXMLSClient::login_succeeded(m)); // success and fail: a failure
        Message no("resp");
        no.set_string("success", "false");
        QVERIFY(!IPCProtocolXMLSClient::login_succeeded(no));
    }

    void transportAndProtocolByName()
    {
        IPCManager manager;
        QVERIFY(IPCConn::create("stream", &manager) != nullptr);
        QVERIFY(IPCConn::create("udp", &manager) == nullptr);
        QVERIFY(IPCConn::create("", &manager) == nullptr);
        auto conn = IPCConn::create("stream", &manager);
        conn->select_protocol("xmls");
        QVERIFY(dynamic_cast<IPCProtocolXMLSClient *>(conn->protocol()));
        for (const char *other : {"compact", "xhr", "esl", "web", "bogus"}) {
            conn->select_protocol(other);
            QVERIFY2(conn->protocol() == nullptr, other);
        }
    }

    void nonStreamTransportChangesNothing()
    {
        IPCManager manager;
        SocketAddress a;
        IPCAddress::parse("127.0.0.1:9", a);
        QVERIFY(!manager.connect("xmls", "datagram", a, "dev"));
        QVERIFY(!manager.connect_text("xmls", "", "127.0.0.1:9", "dev"));
        QCOMPARE(manager.endpoint_count(), size_t(0));
        QCOMPARE(manager.registered_sockets(), size_t(0));
    }

    // A refused connect is closed on the next turn; three fake seconds later
    // the loop waits at most the seven left of the interval.
    void nextWaitAfterCloseThreeSecondsAgo()
    {
        IPCManager manager;
        manager.set_clock(&fakeClock);
        manager.set_periodic_interval(0);
        auto *client = new IPCEndpointClient("dev");
        QVERIFY(manager.register_endpoint("dev", client));
        SocketAddress a;
        IPCAddress::parse("127.0.0.1:" + std::to_string(closedPort()), a);
        QVERIFY(manager.connect("xmls", "stream", a, "dev"));
        QCOMPARE(client->connection()->state(), int(IPCConn::Connecting));
        for (int i = 0; i < 200 && !(client->connection()->state() == 0 && !client->connection()->has_socket()); ++i)
            manager.run_turn(20);
        QCOMPARE(client->connection()->state(), int(IPCConn::Closed));
        QCOMPARE(client->connection()->failure(), std::string("Connection refused"));

        g_fakeNow += 3000000;
        QCOMPARE(manager.next_wait_ms(fakeClock()), 7000);
        manager.set_periodic_interval(4000);
        QVERIFY(manager.next_wait_ms(fakeClock()) <= 7000);

        // the reconnect happens once the ten seconds are over
        g_fakeNow += 7000000;
        manager.run_turn(0);
        QVERIFY(client->connection()->has_socket());
        manager.remove_endpoint("dev");
        delete client;
    }

    // An endpoint that gives up (reconnect interval 0) loses its connection;
    // one the manager created is dropped from the table too.
    void givingUpAnEndpoint()
    {
        struct Quitter : IPCEndpointClient {
            using IPCEndpointClient::IPCEndpointClient;
            unsigned reconnect_interval() override { return 0; }
        };
        IPCManager manager;
        manager.set_periodic_interval(0);
        Quitter registered("mine");
        manager.register_endpoint("mine", &registered);
        manager.connect_text("xmls", "stream", "127.0.0.1:" + std::to_string(closedPort()), "mine");
        for (int i = 0; i < 200 && registered.connection(); ++i)
            manager.run_turn(20);
        QVERIFY(registered.connection() == nullptr);
        QCOMPARE(manager.endpoint_count(), size_t(1)); // registered ones stay until removed
        QCOMPARE(manager.registered_sockets(), size_t(0));
        manager.remove_endpoint("mine");
        QCOMPARE(manager.endpoint_count(), size_t(0));
    }

    void uncaughtExceptionIsLoggedAndTheLoopGoesOn()
    {
        struct Throwing : IPCManager {
            std::atomic<int> periodic{0};
            void on_periodic() override
            {
                if (++periodic == 1)
                    throw std::runtime_error("boom");
            }
        };
        std::vector<std::string> lines;
        std::mutex linesMutex;
        Logger::instance().setSink([&](int, int level, const char *text) {
            std::lock_guard<std::mutex> guard(linesMutex);
            if (level == LOG_ERROR)
                lines.push_back(text);
        });
        Throwing manager;
        manager.set_periodic_interval(10);
        std::thread loop([&] { manager.event_loop(); });
        QTRY_VERIFY(manager.periodic.load() >= 3);
        manager.stop();
        loop.join();
        Logger::instance().setSink({});
        std::lock_guard<std::mutex> guard(linesMutex);
        QVERIFY(!lines.empty());
        QCOMPARE(lines.front(), std::string("IPCManager::event_loop uncaught exception: boom"));
    }

    // The safety net: an endpoint deleted while still registered takes itself
    // out of the table and its connection with it.
    void deletingARegisteredEndpointUnregistersIt()
    {
        IPCManager manager;
        manager.set_periodic_interval(0);
        auto *client = new IPCEndpointClient("dev");
        manager.register_endpoint("dev", client);
        manager.connect_text("xmls", "stream", "127.0.0.1:" + std::to_string(closedPort()), "dev");
        manager.run_turn(20);
        QCOMPARE(manager.registered_sockets(), size_t(1));
        delete client;
        QCOMPARE(manager.endpoint_count(), size_t(0));
        QCOMPARE(manager.registered_sockets(), size_t(0));
        for (int i = 0; i < 5; ++i)
            manager.run_turn(10);
    }

    void sendQueueKeepsTheNewestTen()
    {
        IPCEndpointClient client("dev");
        for (int i = 1; i <= 11; ++i)
            client.send(Message("req" + std::to_string(i)));
        QCOMPARE(client.queued(), size_t(10));
    }
};

QTEST_GUILESS_MAIN(TestTransportUnits)
#include "tst_transport_units.moc"
