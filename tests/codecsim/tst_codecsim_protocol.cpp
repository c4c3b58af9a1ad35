// The handshake in both protocol generations, the answer to every request,
// and what a codec pushes by itself after a login.

#include "simfixture.h"

#include <set>

using codecsim::Options;

class TestCodecsimProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietSimulatorLog(); }

    void challengeLoginAndPing()
    {
        SimFixture f;
        QVERIFY(f.ok());
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        Message hello("hello");
        hello.set_string("seq", "hello");
        hello.set_uint("version", 1);
        c.send(hello);
        c.send(SimTestClient::request("ping", "ping"));

        Message m;
        QVERIFY(c.waitResp("hello", m));
        QVERIFY(m.get_bool("fail"));
        QCOMPARE(m.get_int("error_code"), 401);
        const std::string challenge = m.get_string("challenge");
        QVERIFY(challenge.size() >= 16);
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
        QCOMPARE(m.get_string("seq"), std::string("ping"));

        Message login("login");
        login.set_string("seq", "login");
        login.set_string("username", "");
        login.set_string("response", SimTestClient::md5Hex(challenge + "tarlin"));
        c.send(login);
        QVERIFY(c.waitResp("login", m));
        QVERIFY(m.get_bool("success"));
        QVERIFY(!m.has_attribute("fail"));

        // later pings echo their own seq
        c.send(SimTestClient::request("ping", "keepalive-7"));
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
        QCOMPARE(m.get_string("seq"), std::string("keepalive-7"));
    }

    void challengesDifferPerConnection()
    {
        SimFixture f;
        SimTestClient a, b;
        QVERIFY(a.connectTo(f.port()));
        QVERIFY(b.connectTo(f.port()));
        Message hello("hello");
        hello.set_string("seq", "hello");
        a.send(hello);
        b.send(hello);
        Message ma, mb;
        QVERIFY(a.waitResp("hello", ma));
        QVERIFY(b.waitResp("hello", mb));
        QVERIFY(ma.get_string("challenge") != mb.get_string("challenge"));
    }

    void openLetsInOnHello()
    {
        Options o;
        o.open = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        Message hello("hello");
        hello.set_string("seq", "hello");
        hello.set_uint("version", 1);
        c.send(hello);
        Message m;
        QVERIFY(c.waitResp("hello", m));
        QVERIFY(!m.has_attribute("fail"));
        // logged in: the pushed records follow and requests are answered
        QVERIFY(c.waitPushed("systemOpts", m));
        c.send(SimTestClient::request("getVersion", "version"));
        QVERIFY(c.waitResp("version", m));
    }

    void wrongPasswordIsRefusedWithoutAskingAgain()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(!c.loginVersioned("not-the-password"));
        // the refusal is not a 401 (that would ask for another challenge)
        Message hello("hello");
        hello.set_string("seq", "hello");
        c.send(hello);
        Message m;
        QVERIFY(c.waitResp("hello", m));
        Message login("login");
        login.set_string("seq", "login");
        login.set_string("response", "0123456789abcdef0123456789abcdef");
        c.send(login);
        QVERIFY(c.waitResp("login", m));
        QVERIFY(!m.get_bool("success", true));
        QVERIFY(m.get_bool("fail"));
        QVERIFY(m.get_int("error_code") != 401);
        QVERIFY(!m.get_string("error_text").empty());
        // nothing is answered to a client that did not log in
        c.send(SimTestClient::request("getPeerList", "peerList"));
        QVERIFY(c.waitResp("peerList", m));
        QCOMPARE(m.get_int("error_code"), 401);
        QVERIFY(!m.has_child("peer"));
    }

    void customPassword()
    {
        Options o;
        o.password = "s3cret";
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(!c.loginVersioned("tarlin"));
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned("s3cret"));
    }

    void requestBeforeLoginAsksForLogin()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        c.send(SimTestClient::request("getChannelList", "channelList"));
        Message m;
        QVERIFY(c.waitResp("channelList", m));
        QVERIFY(m.get_bool("fail"));
        QCOMPARE(m.get_int("error_code"), 401);
        // answering that challenge logs in
        Message login("login");
        login.set_string("seq", "login");
        login.set_string("response", SimTestClient::md5Hex(m.get_string("challenge") + "tarlin"));
        c.send(login);
        QVERIFY(c.waitResp("login", m));
        QVERIFY(m.get_bool("success"));
    }

    void everyRequestAnsweredUnderItsSeq_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("seq");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("child");
        QTest::newRow("channelList") << "getChannelList" << "channelList" << "" << "channel";
        QTest::newRow("channelOpts") << "getChannelOpts" << "channelOpts" << "" << "option";
        QTest::newRow("profileList") << "getProfileList" << "profileList" << "" << "profile";
        QTest::newRow("codecList") << "getCodecList" << "codecList" << "" << "codec";
        QTest::newRow("peerList") << "getPeerList" << "peerList" << "" << "peer";
        QTest::newRow("directoryServer") << "getDirectoryServer" << "directoryServer" << "" << "nat_type";
        QTest::newRow("sysOptions") << "getSysOptions" << "sysOptions" << "" << "audio";
        QTest::newRow("weftlineSettings") << "cfgDescribe" << "weftlineSettings" << "netmgr.tunnel" << "node";
        QTest::newRow("tunnelStatus") << "cfgGetStatus" << "tunnelStatus" << "netmgr.tunnel" << "node";
        QTest::newRow("version") << "getVersion" << "version" << "" << "node_id";
    }

    void everyRequestAnsweredUnderItsSeq()
    {
        QFETCH(QString, command);
        QFETCH(QString, seq);
        QFETCH(QString, path);
        QFETCH(QString, child);
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        Message r = SimTestClient::request(command.toStdString(), seq.toStdString());
        if (!path.isEmpty())
            r.set_string("path", path.toStdString());
        c.send(r);
        Message m;
        QVERIFY(c.waitResp(seq.toStdString(), m));
        QVERIFY(!m.has_attribute("fail"));
        QVERIFY2(m.has_child(child.toStdString()), child.toUtf8().constData());
    }

    void answerWithoutSeqIsKeyedByItsChild()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(Message("getPeerList"));
        Message m;
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "resp" && !x.has_attribute("seq"); }, m));
        QCOMPARE(m.get_child(0).name(), std::string("peerList"));
    }

    void pushesAfterLogin()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        Message m;
        QVERIFY(c.waitPushed("systemOpts", m));
        QVERIFY(m.child_count("option") > 10);
        QVERIFY(c.waitUnso("sipProxy", m));
        // readable as attributes and as child elements with text
        QVERIFY(m.has_attribute("enabled"));
        QCOMPARE(m.get_child("enabled").value(), m.get_string("enabled"));
        QCOMPARE(m.get_child("online").value(), m.get_string("online"));
        QVERIFY(m.has_child("status"));
        QVERIFY(c.waitUnso("currentEncoder", m));
        QVERIFY(!m.get_child("descr").value().empty());
        QCOMPARE(m.get_child("descr").value(), m.get_string("descr"));
    }

    void subscribeAnsweredInternal()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        Message s("subscribe");
        s.set_string("seq", "internal");
        s.add_child("sub").set_string("id", "peer_stats");
        c.send(s);
        Message m;
        QVERIFY(c.waitResp("internal", m));
    }

    void unknownCommandFails()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(SimTestClient::request("makeCoffee", "coffee"));
        Message m;
        QVERIFY(c.waitResp("coffee", m));
        QVERIFY(m.get_bool("fail"));
        QVERIFY(m.has_attribute("error_code"));
        QVERIFY(m.get_string("error_text").find("makeCoffee") != std::string::npos);
    }

    void unversionedLoginAndBareRecords()
    {
        Options o;
        o.unversioned = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        // the handshake a client starts with: the pong's seq tells it to fall back
        Message hello("hello");
        hello.set_string("seq", "hello");
        c.send(hello);
        c.send(SimTestClient::request("ping", "ping"));
        Message m;
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
        QVERIFY(m.get_string("seq") != "ping");
        QVERIFY(c.loginUnversioned());
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "systemOpts"; }, m));
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "sipProxy"; }, m));
        QVERIFY(m.has_child("enabled"));

        const char *requests[][2] = {{"getChannelList", "channelList"},   {"getChannelOpts", "channelOpts"},
                                     {"getProfileList", "profileList"},   {"getCodecList", "codecList"},
                                     {"getPeerList", "peerList"},         {"getDirectoryServer", "directoryServer"},
                                     {"getSysOptions", "sysOptions"},     {"getVersion", "version"}};
        for (auto &r : requests) {
            c.send(SimTestClient::request(r[0], r[1]));
            const std::string name = r[1];
            QVERIFY2(c.waitFor([&](const Message &x) { return x.name() == name; }, m), r[1]);
            QVERIFY(!m.has_attribute("seq"));
        }
        QVERIFY(m.get_string("version").rfind("4.", 0) == 0);
    }

    void unversionedWrongPassword()
    {
        Options o;
        o.unversioned = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        c.send(Message("login"));
        Message m;
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "login"; }, m));
        Message login("login");
        login.set_string("seq", "login");
        login.set_string("response", SimTestClient::md5Hex(m.get_string("challenge") + "nope"));
        c.send(login);
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "login"; }, m));
        QVERIFY(!m.get_bool("success", true));
        QVERIFY(m.get_bool("fail"));
    }

    void unversionedOpen()
    {
        Options o;
        o.unversioned = true;
        o.open = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginUnversioned("anything"));
    }

    void oldPongMakesClientFallBack()
    {
        Options o;
        o.oldPong = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        Message hello("hello");
        hello.set_string("seq", "hello");
        std::string wire;
        IPCProtocolXMLS::encode_wire(hello, wire);
        IPCProtocolXMLS::encode_wire(SimTestClient::request("ping", "ping"), wire);
        c.sendRaw(wire);
        Message m;
        QVERIFY(c.next(m));
        // the pong comes first and no hello answer follows it
        QCOMPARE(m.name(), std::string("pong"));
        QVERIFY(m.get_string("seq") != "ping");
        QVERIFY(c.loginUnversioned());
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "systemOpts"; }, m));
        c.send(SimTestClient::request("getPeerList", "peerList"));
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "peerList"; }, m));
    }

    void oldPongStillAnswersHelloAlone()
    {
        Options o;
        o.oldPong = true;
        SimFixture f(o);
        SimTestClient c;
        // a client that never pings still gets its challenge
        QVERIFY(c.connectTo(f.port()));
        Message hello("hello");
        hello.set_string("seq", "hello");
        c.send(hello);
        Message m;
        QVERIFY(c.waitResp("hello", m));
        QCOMPARE(m.get_int("error_code"), 401);
    }

    void severalClientsOnOneCodec()
    {
        SimFixture f;
        SimTestClient a, b;
        QVERIFY(a.connectTo(f.port()));
        QVERIFY(a.loginVersioned());
        QVERIFY(b.connectTo(f.port()));
        QVERIFY(b.loginVersioned());
        QTRY_COMPARE(f.sim().clientCount(), 2);
        Message m;
        a.send(SimTestClient::request("getVersion", "version"));
        b.send(SimTestClient::request("getVersion", "version"));
        QVERIFY(a.waitResp("version", m));
        const std::string node = m.get_string("node_id");
        QVERIFY(b.waitResp("version", m));
        QCOMPARE(m.get_string("node_id"), node);
    }

    void fleetCodecsAreDistinct()
    {
        Options o;
        o.count = 3;
        SimFixture f(o);
        QCOMPARE(f.sim().ports().size(), size_t(3));
        std::set<std::string> units, macs;
        for (int i = 0; i < 3; ++i) {
            SimTestClient c;
            QVERIFY(c.connectTo(f.port(i)));
            QVERIFY(c.loginVersioned());
            c.send(SimTestClient::request("getVersion", "version"));
            Message m;
            QVERIFY(c.waitResp("version", m));
            macs.insert(m.get_child("node_id").value());
            c.send(SimTestClient::request("getSysOptions", "sysOptions"));
            QVERIFY(c.waitResp("sysOptions", m));
            units.insert(m.get_string("unit_name"));
        }
        QCOMPARE(units.size(), size_t(3));
        QCOMPARE(macs.size(), size_t(3));
    }

    void observerSeesRequestsInOrder()
    {
        Options o;
        auto sim = std::make_unique<codecsim::Simulator>(o);
        std::mutex mutex;
        std::vector<std::string> seen;
        sim->setObserver([&](int, const Message &m) {
            std::lock_guard<std::mutex> guard(mutex);
            seen.push_back(m.name());
        });
        std::string error;
        QVERIFY(sim->start(error));
        SimTestClient c;
        QVERIFY(c.connectTo(sim->ports()[0]));
        QVERIFY(c.loginVersioned());
        c.send(SimTestClient::request("getChannelList", "channelList"));
        c.send(SimTestClient::request("getVersion", "version"));
        Message m;
        QVERIFY(c.waitResp("version", m));
        sim->stop();
        const std::vector<std::string> expected = {"hello", "ping", "login", "getChannelList", "getVersion"};
        QCOMPARE(seen, expected);
    }
};

QTEST_APPLESS_MAIN(TestCodecsimProtocol)
#include "tst_codecsim_protocol.moc"
