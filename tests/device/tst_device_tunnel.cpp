// The tunnel model's update rules, fed from the owning session's cache.

#include "devicetest.h"
#include "logger.h"
#include "tunnelinfo.h"

#include <QSignalSpy>
#include <QtTest>

#include <mutex>
#include <string>
#include <vector>

namespace {

struct RecordingGrapher : TunnelGrapher {
    QList<QList<int>> samples;
    void addSample(int loss, int late, int recovery) override { samples << QList<int>{loss, late, recovery}; }
};

struct RecordingUtilization : TunnelUtilizationGrapher {
    QList<QList<int>> rates;
    void addRates(const QList<int> &r) override { rates << r; }
};

struct RecordingContainer : TunnelInterfaceContainer {
    QStringList shown;
    QList<QByteArray> retained;
    void ensureConnection(int index, const TunnelConnection &c) override
    {
        shown << QString("%1 %2 %3>%4").arg(index).arg(QString(c.uid), QString(c.ldesc), QString(c.rdesc));
    }
    void retainConnections(const QList<QByteArray> &uids) override { retained = uids; }
};

/** Collects the tunnel category's log lines. */
struct TunnelLog {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;
    int oldThreshold;
    TunnelLog()
    {
        oldThreshold = Logger::instance().threshold(LOGC_TUNNEL);
        Logger::instance().setThreshold(LOGC_TUNNEL, LOG_DEBUG);
        Logger::instance().setSink([this](int category, int level, const char *text) {
            if (category != LOGC_TUNNEL)
                return;
            std::lock_guard<std::mutex> g(mutex);
            lines.emplace_back(level, text);
        });
    }
    ~TunnelLog()
    {
        Logger::instance().setSink(nullptr);
        Logger::instance().setThreshold(LOGC_TUNNEL, oldThreshold);
    }
    bool has(int level, const std::string &text)
    {
        std::lock_guard<std::mutex> g(mutex);
        for (const auto &l : lines) {
            if (l.first == level && l.second == text)
                return true;
        }
        return false;
    }
};

} // namespace

class DeviceTunnel : public QObject
{
    Q_OBJECT

private:
    /** Stores @p record as the session's "tun_stats" and runs the handler. */
    void stats(ProbeSession &s, const std::string &inner)
    {
        s.storeInCache(xml(("<unso id=\"tun_stats\"><stats>" + inner + "</stats></unso>").c_str()), "tun_stats");
        s.tunnelInfo()->handleUnsoTunStats(s.uuid());
    }

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void createReplaceDestroy();
    void statusColours_data();
    void statusColours();
    void codecBitrates();
    void delaysAndRates();
    void connections();
    void connectionThrottleKeptWithoutTotal();
    void statusCreatesSession();
    void statusFailure();
    void tunConnsCountsSessions();
    void malformedStatsChangeNothing();
    void fedThroughSessionSignals();
};

void DeviceTunnel::createReplaceDestroy()
{
    ProbeSession s;
    TunnelInfo *info = s.tunnelInfo();
    QStringList order;
    connect(info, &TunnelInfo::sessionCreate, this, [&](int sid) { order << QString("create %1").arg(sid); });
    connect(info, &TunnelInfo::sessionDestroy, this, [&](int sid) { order << QString("destroy %1").arg(sid); });
    connect(info, &TunnelInfo::sessionDelayUpdate, this, [&](int sid) { order << QString("delay %1").arg(sid); });
    connect(info, &TunnelInfo::sessionStatsUpdate, this, [&](int sid) { order << QString("stats %1").arg(sid); });
    connect(info, &TunnelInfo::weftlineStatus, this, [&](const QString &c) { order << c; });
    TunnelLog log;

    stats(s, "<sess sid=\"7\" addr=\"10.0.0.7\" d=\"40\" dm=\"300\" pl=\"5\"><conn li=\"1\" ri=\"1\" td=\"64000\"/></sess>");
    QCOMPARE(order, (QStringList{"create 7", "delay 7", "stats 7", "green"}));
    QVERIFY(info->session());
    QCOMPARE(info->session()->id, 7);
    QCOMPARE(info->session()->addr, QByteArray("10.0.0.7"));
    QVERIFY(log.has(LOG_DEBUG, "TunnelInfo creating session id=7"));
    QVERIFY(log.has(LOG_DEBUG, "weftline status: green - OK"));

    order.clear();
    stats(s, "<sess sid=\"8\" addr=\"10.0.0.8\"/>");
    QCOMPARE(order.mid(0, 2), (QStringList{"destroy 7", "create 8"}));
    QCOMPARE(info->session()->id, 8);
    QVERIFY(log.has(LOG_DEBUG, "TunnelInfo destroying session id=7"));

    order.clear();
    stats(s, "");
    QCOMPARE(order, (QStringList{"destroy 8", "gray"}));
    QVERIFY(!info->session());
    QVERIFY(log.has(LOG_DEBUG, "weftline status: gray - no session"));
    QCOMPARE(info->status(), QString("gray"));
}

void DeviceTunnel::statusColours_data()
{
    QTest::addColumn<QString>("sess");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("colour");
    const QString throttled = "<codec><enc nbr=\"64000\" tbr=\"48000\"/></codec>";
    QTest::newRow("clean") << "" << "" << "green";
    QTest::newRow("loss 100 is not red") << "pl=\"100\" rplt=\"100\"" << "" << "green";
    QTest::newRow("tx loss") << "pl=\"101\"" << "" << "red";
    QTest::newRow("tx late") << "plt=\"101\"" << "" << "red";
    QTest::newRow("rx loss") << "rpl=\"101\"" << "" << "red";
    QTest::newRow("rx late beats throttling") << "rplt=\"101\"" << throttled << "red";
    QTest::newRow("100 with throttling") << "rplt=\"100\"" << throttled << "yellow";
}

void DeviceTunnel::statusColours()
{
    QFETCH(QString, sess);
    QFETCH(QString, codec);
    QFETCH(QString, colour);
    ProbeSession s;
    QSignalSpy spy(s.tunnelInfo(), &TunnelInfo::weftlineStatus);
    TunnelLog log;
    const std::string body = "<sess sid=\"1\" " + sess.toStdString() + ">" + codec.toStdString() + "</sess>";
    stats(s, body);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), colour);
    const char *lines[] = {"weftline status: red - loss/late exceeds threshold", "weftline status: yellow - throttled",
                           "weftline status: green - OK"};
    const int which = colour == "red" ? 0 : colour == "yellow" ? 1 : 2;
    QVERIFY(log.has(LOG_DEBUG, lines[which]));
}

void DeviceTunnel::codecBitrates()
{
    TunnelCodecStats c;
    QVERIFY(c.read(xml("<enc nbr=\"64000\" tbr=\"48000\"/>")));
    QCOMPARE(c.nominalBitrate, 64);
    QCOMPARE(c.throttledBitrate, 48);
    QVERIFY(c.throttled);
    c.read(xml("<enc nbr=\"64000\" tbr=\"0\"/>"));
    QVERIFY(!c.throttled);
    c.read(xml("<enc nbr=\"64999\" tbr=\"64500\"/>"));
    QCOMPARE(c.nominalBitrate, 64);
    QCOMPARE(c.throttledBitrate, 64);
    QVERIFY(!c.throttled);

    // The transmit side comes from the stats element, the receive side from the session.
    ProbeSession s;
    stats(s, "<sess sid=\"1\"/>");
    stats(s, "<codec><enc nbr=\"128000\" tbr=\"96000\"/></codec>"
             "<sess sid=\"1\"><codec><enc nbr=\"64000\"/></codec></sess>");
    QCOMPARE(s.tunnelInfo()->session()->txCodec.nominalBitrate, 128);
    QVERIFY(s.tunnelInfo()->session()->txCodec.throttled);
    QCOMPARE(s.tunnelInfo()->session()->rxCodec.nominalBitrate, 64);
    QCOMPARE(s.tunnelInfo()->status(), QString("yellow"));
}

void DeviceTunnel::delaysAndRates()
{
    ProbeSession s;
    RecordingGrapher txg, rxg;
    QSignalSpy delay(s.tunnelInfo(), &TunnelInfo::sessionDelayUpdate);
    const std::string sess = "<sess sid=\"2\" d=\"45\" dm=\"300\" dma=\"true\" d1=\"10\" d2=\"20\" d3=\"30\" d4=\"40\" "
                             "d5=\"500\" pl=\"1\" plt=\"2\" pr=\"3\" rd=\"55\" rdm=\"250\" rd5=\"400\" rpl=\"4\" "
                             "rplt=\"5\" rpr=\"6\"/>";
    stats(s, sess);
    TunnelSession *t = s.tunnelInfo()->session();
    QCOMPARE(delay.count(), 1);
    QCOMPARE(t->maxAllowedDelayTx, 300);
    QCOMPARE(t->maxAllowedDelayRx, 250);
    QCOMPARE(t->tx.maxPacketDelay, 45);
    QVERIFY(t->tx.delayModeAuto);
    QVERIFY(!t->rx.delayModeAuto);
    QCOMPARE(t->tx.delayPoints[4], 500);
    QCOMPARE(t->rx.delayPoints[4], 400);
    QCOMPARE(t->rx.packetRecoveryRate, 6);

    t->tx.grapher = &txg;
    t->rx.grapher = &rxg;
    stats(s, sess);
    QCOMPARE(delay.count(), 1); // nothing changed
    QCOMPARE(txg.samples, (QList<QList<int>>{{1, 2, 3}}));
    QCOMPARE(rxg.samples, (QList<QList<int>>{{4, 5, 6}}));
}

void DeviceTunnel::connections()
{
    ProbeSession s;
    TunnelLog log;
    stats(s, "<sess sid=\"3\"><conn li=\"1\" ri=\"2\" td=\"64000\" th=\"32000\" tp=\"48000\" tf=\"8000\" tr=\"8000\" "
             "d=\"20\" dm=\"90\" dq=\"3\" pl=\"7\" rtd=\"1999\" rd=\"21\"/><conn li=\"2\" ri=\"1\"/></sess>");
    TunnelSession *t = s.tunnelInfo()->session();
    QCOMPARE(t->connections.keys(), (QList<QByteArray>{"1:2", "2:1"}));
    const TunnelConnection *c = t->connections.value("1:2");
    QVERIFY(c->txStats.throttled);
    QCOMPARE(c->txStats.throttleRate, 32);
    QCOMPARE(c->txStats.rateTotal, 64);
    QCOMPARE(c->txStats.ratePayload, 48);
    QCOMPARE(c->txStats.maxDelay, 90);
    QCOMPARE(c->txStats.queue, 3);
    QCOMPARE(c->txStats.loss, 7);
    QVERIFY(!c->rxStats.throttled);
    QCOMPARE(c->rxStats.rateTotal, 1);
    QCOMPARE(c->rxStats.delay, 21);
    QVERIFY(log.has(LOG_DEBUG, "TunnelSession::updateConnections: m_ifc_widget is null"));

    // Descriptions come with the status feeds.
    s.storeInCache(xml("<unso id=\"tun_conns\"><conns><sess sid=\"3\" active=\"true\" encrypted=\"true\" state=\"up\">"
                       "<conn li=\"1\" ri=\"2\" ldesc=\"Ethernet\" rdesc=\"Fibre\" name=\"wired\"/></sess></conns></unso>"),
                   "tun_conns");
    s.tunnelInfo()->handleUnsoTunConns(s.uuid());
    QCOMPARE(c->ldesc, QByteArray("Ethernet"));
    QCOMPARE(c->name, QByteArray("wired"));
    QVERIFY(t->active);
    QVERIFY(t->encrypted);
    QVERIFY(!t->isProtected);
    QCOMPARE(t->state, QByteArray("up"));

    RecordingContainer box;
    RecordingUtilization txu, rxu;
    t->interfaceWidget = &box;
    t->txUtilization = &txu;
    t->rxUtilization = &rxu;
    stats(s, "<sess sid=\"3\"><conn li=\"2\" ri=\"1\" td=\"5000\"/><conn li=\"1\" ri=\"2\" td=\"9000\" rtd=\"4000\"/>"
             "<conn li=\"4\"/></sess>");
    QCOMPARE(box.shown, (QStringList{"0 2:1 >", "1 1:2 Ethernet>Fibre"}));
    QCOMPARE(box.retained, (QList<QByteArray>{"2:1", "1:2"}));
    QCOMPARE(txu.rates, (QList<QList<int>>{{5, 9}}));
    QCOMPARE(rxu.rates, (QList<QList<int>>{{0, 4}}));
    QCOMPARE(t->connections.size(), 2); // the one without "ri" makes none
    QVERIFY(log.has(LOG_ERROR, "error updating connections: sess dump below"));
}

void DeviceTunnel::connectionThrottleKeptWithoutTotal()
{
    TunnelConnection c(1, 1);
    QCOMPARE(c.uid, QByteArray("1:1"));
    c.updateStats(xml("<conn li=\"1\" ri=\"1\" td=\"8000\" th=\"4000\"/>"));
    QVERIFY(c.txStats.throttled);
    c.updateStats(xml("<conn li=\"1\" ri=\"1\" tp=\"2000\"/>"));
    QVERIFY(c.txStats.throttled);
    QCOMPARE(c.txStats.throttleRate, 4);
    QCOMPARE(c.txStats.rateTotal, 0);
    c.updateStats(xml("<conn li=\"1\" ri=\"1\" td=\"8000\"/>"));
    QVERIFY(!c.txStats.throttled);
    QCOMPARE(c.txStats.throttleRate, 0);
}

void DeviceTunnel::statusCreatesSession()
{
    {
        // The only "sess": created even without active connections.
        ProbeSession s;
        QSignalSpy spy(s.tunnelInfo(), &TunnelInfo::sessionCreate);
        s.handleResponse(xml("<resp seq=\"tunnelStatus\"><node path=\"netmgr.tunnel\">"
                             "<sess sid=\"5\" addr=\"a\" active_conns=\"0\" active=\"true\" state=\"up\"/></node></resp>"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(s.tunnelInfo()->session()->state, QByteArray("up"));
    }
    {
        // One of two: skipped; the other, with connections, is taken.
        ProbeSession s;
        QSignalSpy spy(s.tunnelInfo(), &TunnelInfo::sessionCreate);
        s.handleUnsolicited(xml("<unso id=\"cfgStatus:netmgr.tunnel\"><node path=\"netmgr.tunnel\">"
                                "<sess sid=\"5\" active_conns=\"0\" active=\"true\"/>"
                                "<sess sid=\"6\" active_conns=\"2\" active=\"true\"/></node></unso>"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 6);
    }
    {
        // Not active: nothing.
        ProbeSession s;
        s.handleResponse(xml("<resp seq=\"tunnelStatus\"><node><sess sid=\"5\" active_conns=\"2\"/></node></resp>"));
        QVERIFY(!s.tunnelInfo()->session());
    }
}

void DeviceTunnel::statusFailure()
{
    ProbeSession s;
    TunnelLog log;
    s.handleResponse(xml("<resp seq=\"tunnelStatus\" fail=\"true\" error_code=\"404\"/>"));
    QVERIFY(log.has(LOG_ERROR, "TunnelInfo::handleRecvTunnelStatus response failure"));
    QVERIFY(!s.tunnelInfo()->session());
}

void DeviceTunnel::tunConnsCountsSessions()
{
    ProbeSession s;
    QSignalSpy spy(s.tunnelInfo(), &TunnelInfo::connsChanged);
    s.handleUnsolicited(xml("<unso id=\"tun_conns\"><conns><sess sid=\"1\"/><sess sid=\"2\"/></conns></unso>"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(s.tunnelInfo()->connectionCount(), 2);
    QVERIFY(!s.tunnelInfo()->session()); // the connections feed creates none
    s.handleUnsolicited(xml("<unso id=\"tun_conns\"><conns><sess sid=\"1\"/><sess sid=\"2\"/></conns></unso>"));
    QCOMPARE(spy.count(), 1);
    s.handleUnsolicited(xml("<unso id=\"tun_conns\"><conns/></unso>"));
    QCOMPARE(spy.count(), 2);
}

void DeviceTunnel::malformedStatsChangeNothing()
{
    ProbeSession s;
    stats(s, "<sess sid=\"1\" pl=\"500\"/>");
    QSignalSpy colour(s.tunnelInfo(), &TunnelInfo::weftlineStatus);
    QSignalSpy destroyed(s.tunnelInfo(), &TunnelInfo::sessionDestroy);
    stats(s, "</stats><stats>"); // two "stats" children
    s.storeInCache(xml("<unso id=\"tun_stats\"/>"), "tun_stats");
    s.tunnelInfo()->handleUnsoTunStats(s.uuid());
    QCOMPARE(colour.count(), 0);
    QCOMPARE(destroyed.count(), 0);
    QVERIFY(s.tunnelInfo()->session());
}

void DeviceTunnel::fedThroughSessionSignals()
{
    ProbeSession s;
    QSignalSpy create(s.tunnelInfo(), &TunnelInfo::sessionCreate);
    s.handleUnsolicited(xml("<unso id=\"tun_stats\"><stats><sess sid=\"9\"/></stats></unso>"));
    QCOMPARE(create.count(), 1);
    QCOMPARE(s.tunnelInfo()->status(), QString("green"));
}

QTEST_GUILESS_MAIN(DeviceTunnel)
#include "tst_device_tunnel.moc"
