// The feeds a codec sends on its own: levels, call and channel statistics,
// tunnel notices and the firmware-change notice, in both protocol generations.

#include "simfixture.h"

#include "platform/clock.h"
#include "simdata.h"

using codecsim::Options;

namespace {

Message subscription(std::initializer_list<std::pair<const char *, unsigned>> subs)
{
    Message s("subscribe");
    s.set_string("seq", "internal");
    for (const auto &p : subs) {
        Message &sub = s.add_child("sub");
        sub.set_string("id", p.first);
        if (p.second)
            sub.set_uint("interval", p.second);
    }
    return s;
}

int countUnso(SimTestClient &c, const std::string &id, int forMs)
{
    int n = 0;
    const uint64_t end = IpcPlatform::monotonicMicros() + static_cast<uint64_t>(forMs) * 1000;
    Message m;
    for (;;) {
        const uint64_t now = IpcPlatform::monotonicMicros();
        if (now >= end)
            return n;
        if (c.waitUnso(id, m, static_cast<int>((end - now) / 1000) + 1))
            ++n;
    }
}

int firstTunnelPeer(SimTestClient &c)
{
    c.send(SimTestClient::request("getPeerList", "peerList"));
    Message list;
    if (!c.waitResp("peerList", list))
        return 0;
    for (int i = 0; i < list.child_count(); ++i) {
        const Message &p = list.get_child(i);
        if (p.get_bool("weftline") && !p.has_child("directory"))
            return p.get_int("id");
    }
    return 0;
}

} // namespace

class TestCodecsimFeeds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietSimulatorLog(); }

    void meteringAtTheAskedInterval()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"metering", 70}}));
        // at least 5 within 3 s at 70 ms (about 40 on an idle machine)
        QVERIFY(countUnso(c, "metering", 3000) >= 5);
        Message m;
        QVERIFY(c.waitUnso("metering", m));
        const Message &levels = m.get_child(0);
        QCOMPARE(levels.name(), std::string("levels"));
        for (const char *k : {"rmlf", "rmrf", "tmlf", "tmrf", "rmls", "rmrs", "tmls", "tmrs"}) {
            QVERIFY2(levels.has_attribute(k), k);
            const float v = levels.get_float(k);
            QVERIFY(v <= 0.0f && v >= -96.0f);
        }
        // the levels move
        Message later;
        QVERIFY(c.waitUnso("metering", later));
        QVERIFY(later.get_child(0).get_string("tmlf") != levels.get_string("tmlf"));
    }

    void meteringIntervalZeroUsesTheDefault()
    {
        Options o;
        o.meteringMs = 500;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"metering", 0}}));
        const int n = countUnso(c, "metering", 2500);
        QVERIFY2(n >= 2 && n <= 8, QByteArray::number(n).constData());
    }

    void monitorTurnsMeteringOffAndOn()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"metering", 70}}));
        Message m;
        QVERIFY(c.waitUnso("metering", m));
        Message off("monitor");
        off.set_bool("metering", false);
        c.send(off);
        c.send(SimTestClient::request("ping", "mark"));
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "pong"; }, m));
        QCOMPARE(countUnso(c, "metering", 700), 0);
        Message on("monitor");
        on.set_bool("metering", true);
        on.set_int("meterInterval", 70);
        c.send(on);
        QVERIFY(c.waitUnso("metering", m));
    }

    void levelsCarryTheirSendTimeWhenAsked()
    {
        Options o;
        o.stampLevels = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"metering", 70}}));
        Message m;
        QVERIFY(c.waitUnso("metering", m));
        const uint64_t sent = std::stoull(m.get_child(0).get_string("sent_us"));
        QVERIFY(sent > 0 && sent <= IpcPlatform::monotonicMicros());
    }

    void fasterFeedsWhenAsked()
    {
        // levels every 10 ms although the client asks for 70, statistics every
        // 100 ms, and the unchanged peer list every 200 ms: over 2 s that is
        // about 200, 20 and 10; the bounds leave room for a slow machine and
        // lie above what the default rhythm could give (29, 3 and 0)
        Options o;
        o.levelsMs = 10;
        o.statsMs = 100;
        o.peerListMs = 200;
        o.activePeers = 1;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"metering", 70}, {"peer_stats", 0}}));
        int levels = 0, stats = 0, peerLists = 0;
        const uint64_t end = IpcPlatform::monotonicMicros() + 2000000;
        Message m;
        for (uint64_t now = IpcPlatform::monotonicMicros(); now < end; now = IpcPlatform::monotonicMicros()) {
            if (!c.next(m, static_cast<int>((end - now) / 1000) + 1) || m.name() != "unso")
                continue;
            const std::string id = m.get_string("id");
            levels += id == "metering";
            stats += id == "peer_stats";
            peerLists += id == "unso" && m.has_child("peerList");
        }
        QVERIFY2(levels >= 40, QByteArray::number(levels).constData());
        QVERIFY2(stats >= 6, QByteArray::number(stats).constData());
        QVERIFY2(peerLists >= 4, QByteArray::number(peerLists).constData());
    }

    void callStatisticsOnceASecond()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"peer_stats", 0}, {"channel_stats", 0}}));
        Message connect("connect");
        connect.set_string("id", "1");
        c.send(connect);
        Message m;
        QVERIFY(c.waitUnso("peer_stats", m));
        const Message &stats = m.get_child("peerStats");
        const Message &peer = stats.get_child("peer");
        QCOMPARE(peer.get_int("id"), 1);
        for (const char *k :
             {"name", "callTime", "bufferDesiredDelay", "bufferMaxDelay", "bufferMinDelay", "bufferMaxDev", "newData",
              "remoteLoss", "rtt", "pktOutlierRate", "corrUpRate", "corrDownRate", "insertRate", "frameLossRate",
              "frameLateRate", "packetJitter", "bufferDelay", "remoteLossAvg", "rttAvg", "pktOutlierRateAvg",
              "corrUpRateAvg", "corrDownRateAvg", "insertRateAvg", "frameLossRateAvg", "frameLateRateAvg",
              "packetJitterAvg", "bufferDelayAvg", "delayIn", "delayOut"})
            QVERIFY2(peer.has_attribute(k), k);
        const unsigned first = peer.get_uint("callTime");

        QVERIFY(c.waitUnso("channel_stats", m));
        const Message &channels = m.get_child("channelStats");
        QCOMPARE(channels.child_count("channel"), 3);
        bool busy = false;
        for (int i = 0; i < channels.child_count(); ++i) {
            const Message &ch = channels.get_child(i);
            for (const char *k : {"name", "id", "rxPayload", "rxOverhead", "rxRTCP", "txPayload", "txOverhead",
                                  "txRTCP", "rxAvgPayload", "rxAvgOverhead", "rxAvgRTCP", "txAvgPayload",
                                  "txAvgOverhead", "txAvgRTCP", "rxTotal", "txTotal"})
                QVERIFY2(ch.has_attribute(k), k);
            busy |= ch.get_int("txAvgPayload") > 0;
        }
        QVERIFY(busy);

        // the call time grows
        QVERIFY(c.waitFor(
            [&](const Message &x) {
                return x.name() == "unso" && x.get_string("id") == "peer_stats" &&
                       x.get_child(0).get_child("peer").get_uint("callTime") > first;
            },
            m, 5000));

        // after the call one last update without it
        Message disconnect("disconnect");
        c.send(disconnect);
        QVERIFY(c.waitFor(
            [](const Message &x) {
                return x.name() == "unso" && x.get_string("id") == "peer_stats" && x.get_child(0).child_count() == 0;
            },
            m, 5000));
    }

    void noStatisticsWithoutSubscription()
    {
        Options o;
        o.activePeers = 2;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(SimTestClient::request("getPeerList", "peerList"));
        Message m;
        QVERIFY(c.waitResp("peerList", m));
        int active = 0;
        for (int i = 0; i < m.child_count(); ++i)
            active += m.get_child(i).get_bool("active") ? 1 : 0;
        QCOMPARE(active, 2);
        QCOMPARE(countUnso(c, "peer_stats", 1500), 0);
        c.send(subscription({{"peer_stats", 0}}));
        QVERIFY(c.waitUnso("peer_stats", m));
        QCOMPARE(m.get_child(0).child_count("peer"), 2);
    }

    void tunnelFeedsWhileATunnelCallIsUp()
    {
        SimFixture f;
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"tun_conns", 0}, {"tun_stats", 0}, {"cfgStatus:netmgr.tunnel", 0}}));
        const int peer = firstTunnelPeer(c);
        QVERIFY(peer > 0);
        Message connect("connect");
        connect.set_string("id", std::to_string(peer));
        c.send(connect);

        Message m;
        QVERIFY(c.waitUnso("tun_stats", m, 5000));
        const Message &stats = m.get_child("stats");
        QVERIFY(stats.get_child("codec").has_child("enc"));
        const Message &sess = stats.get_child("sess");
        const int sid = sess.get_int("sid");
        QVERIFY(sid > 0);
        for (const char *k : {"addr", "d", "dm", "dma", "d1", "d2", "d3", "d4", "d5", "pl", "plt", "pr", "rd", "rdm",
                              "rdma", "rd1", "rd5", "rpl", "rplt", "rpr"})
            QVERIFY2(sess.has_attribute(k), k);
        QVERIFY(sess.get_int("d5") >= sess.get_int("dm"));
        QVERIFY(sess.get_child("codec").get_child("enc").get_int("nbr") > 0);
        QVERIFY(sess.child_count("conn") >= 2);
        const Message &conn = sess.get_child("conn");
        for (const char *k : {"li", "ri", "td", "tp", "tf", "tr", "d", "dm", "dq", "pl", "rtd", "rtp", "rd", "rpl"})
            QVERIFY2(conn.has_attribute(k), k);

        QVERIFY(c.waitUnso("tun_conns", m));
        const Message &csess = m.get_child("conns").get_child("sess");
        QCOMPARE(csess.get_int("sid"), sid);
        QVERIFY(csess.get_bool("active"));
        QVERIFY(csess.has_attribute("encrypted") && csess.has_attribute("protected") && csess.has_attribute("state"));
        QVERIFY(!csess.get_child("conn").get_string("ldesc").empty());

        QVERIFY(c.waitUnso("cfgStatus:netmgr.tunnel", m));
        QCOMPARE(m.get_child("node").get_child("sess").get_int("sid"), sid);
        QVERIFY(m.get_child("node").get_child("sess").get_int("active_conns") >= 2);

        Message status = SimTestClient::request("cfgGetStatus", "tunnelStatus");
        status.set_string("path", "netmgr.tunnel");
        c.send(status);
        QVERIFY(c.waitResp("tunnelStatus", m));
        QCOMPARE(m.get_child("node").get_child("sess").get_int("sid"), sid);

        // the operator's delay shows in the next statistics
        Message delay("setMaxDelay");
        delay.set_bool("remote", false);
        delay.set_int("sid", sid);
        delay.set_int("delay", 150);
        delay.set_bool("auto", false);
        c.send(delay);
        QVERIFY(c.waitFor(
            [](const Message &x) {
                return x.name() == "unso" && x.get_string("id") == "tun_stats" &&
                       x.get_child(0).has_child("sess") && x.get_child(0).get_child("sess").get_int("dm") == 150;
            },
            m));
        QVERIFY(!m.get_child(0).get_child("sess").get_bool("dma"));

        Message bad("setMaxDelay");
        bad.set_int("sid", sid + 1000);
        bad.set_bool("auto", true);
        c.send(bad);
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "resp" && x.get_bool("fail"); }, m));
        QCOMPARE(m.get_int("error_code"), 404);

        // the call ends: one statistics update without a session
        c.send(Message("disconnect"));
        QVERIFY(c.waitFor(
            [](const Message &x) {
                return x.name() == "unso" && x.get_string("id") == "tun_stats" && !x.get_child(0).has_child("sess");
            },
            m, 5000));
    }

    void lossyPathCarriesTheLoss()
    {
        Options o;
        o.lossyPath = 2;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginVersioned());
        c.send(subscription({{"tun_stats", 0}}));
        const int peer = firstTunnelPeer(c);
        QVERIFY(peer > 0);
        Message connect("connect");
        connect.set_string("id", std::to_string(peer));
        c.send(connect);
        // the session's loss settles towards the lossy path's share within a few seconds
        Message m;
        for (int i = 0; i < 4; ++i)
            QVERIFY(c.waitUnso("tun_stats", m, 5000));
        const Message &sess = m.get_child("stats").get_child("sess");
        QVERIFY(sess.child_count("conn") >= 2);
        const Message &good = sess.get_child("conn", 0);
        const Message &bad = sess.get_child("conn", 1);
        QVERIFY2(bad.get_int("pl") > 4 * std::max(1, good.get_int("pl")),
                 qPrintable(QStringLiteral("%1 vs %2").arg(bad.get_int("pl")).arg(good.get_int("pl"))));
        QVERIFY(bad.get_int("rpl") > good.get_int("rpl"));
    }

    void unversionedFeedsAfterMonitor()
    {
        Options o;
        o.unversioned = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginUnversioned());
        Message monitor("monitor");
        monitor.set_bool("peerStats", true);
        monitor.set_bool("queue", false);
        monitor.set_bool("channelStats", true);
        monitor.set_bool("metering", true);
        monitor.set_int("meterInterval", 70);
        c.send(monitor);
        Message m;
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "levels"; }, m));
        QVERIFY(m.has_attribute("rmlf") && m.has_attribute("tmrs"));
        Message connect("connect");
        connect.set_string("id", "1");
        c.send(connect);
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "peerList"; }, m));
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "peerStats"; }, m, 5000));
        QCOMPARE(m.get_child("peer").get_int("id"), 1);
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "channelStats"; }, m, 5000));
        // no tunnel on old firmware
        Message describe = SimTestClient::request("cfgDescribe", "weftlineSettings");
        describe.set_string("path", "netmgr.tunnel");
        c.send(describe);
        c.send(SimTestClient::request("getVersion", "version"));
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "version" || x.name() == "weftlineSettings"; },
                          m));
        QCOMPARE(m.name(), std::string("version"));
    }

    void unversionedMonitorWithoutMetering()
    {
        Options o;
        o.unversioned = true;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        QVERIFY(c.loginUnversioned());
        Message monitor("monitor");
        monitor.set_bool("peerStats", true);
        monitor.set_bool("queue", false);
        monitor.set_bool("channelStats", true);
        c.send(monitor);
        Message connect("connect");
        connect.set_string("id", "1");
        c.send(connect);
        Message m;
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "peerStats"; }, m, 5000));
        QVERIFY(!c.waitFor([](const Message &x) { return x.name() == "levels"; }, m, 800));
    }

    void firmwareChange()
    {
        Options o;
        o.open = true;
        o.seed = 3;
        o.firmwareChangeAfter = 0.3;
        const codecsim::Descriptions d = codecsim::Descriptions::build();
        const std::string initial = codecsim::CodecState::generate(d, 3, 0, false).firmware;
        SimFixture f(o);
        SimTestClient c;
        QVERIFY(c.connectTo(f.port()));
        // hello and the subscription in one write: the change cannot come between them
        Message hello("hello");
        hello.set_string("seq", "hello");
        std::string wire;
        IPCProtocolXMLS::encode_wire(hello, wire);
        IPCProtocolXMLS::encode_wire(subscription({{"version", 0}}), wire);
        c.sendRaw(wire);
        Message m;
        QVERIFY(c.waitUnso("version", m, 5000));
        const std::string changed = m.get_child("version").get_string("version");
        QVERIFY(!changed.empty());
        QVERIFY(changed != initial);
        c.send(SimTestClient::request("getVersion", "version"));
        QVERIFY(c.waitResp("version", m));
        QCOMPARE(m.get_string("version"), changed);
        QCOMPARE(m.get_child("version").value(), changed);
    }
};

QTEST_APPLESS_MAIN(TestCodecsimFeeds)
#include "tst_codecsim_feeds.moc"
