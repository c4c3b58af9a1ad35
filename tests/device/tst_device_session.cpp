// Sessions against simulated codecs over 127.0.0.1: login, the start-up
// requests, readiness, wrong passwords, restarts and old firmware.

#include "simrig.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <mutex>

using State = IQEndpointClient::DEVICE_STATE;

namespace {

const int Long = 20000; // generous: the machine may be busy

const std::vector<std::string> kVersionedStart = {
    "getChannelList/channelList",
    "getChannelOpts/channelOpts",
    "getProfileList/profileList",
    "getCodecList/codecList",
    "getPeerList/peerList",
    "getDirectoryServer/directoryServer",
    "getSysOptions/sysOptions",
    "cfgDescribe/weftlineSettings",
    "cfgGetStatus/tunnelStatus",
    "subscribe:peer_stats",
    "subscribe:channel_stats",
    "subscribe:tun_conns",
    "subscribe:tun_stats",
    "subscribe:power",
    "subscribe:version",
    "subscribe:metering/70",
    "subscribe:cfgStatus:netmgr.tunnel",
    "subscribe:cfgData:netmgr.tunnel.*",
    "getVersion/version",
};

const QStringList kNine = {"systemOpts", "sysOptions", "directoryServer", "codecList", "channelList",
                           "channelOpts", "version",  "peerList",        "weftlineSettings"};

// Every warning written while it exists.
class WarningLog
{
public:
    WarningLog() { s_previous.store(qInstallMessageHandler(&WarningLog::take)); }
    ~WarningLog() { qInstallMessageHandler(s_previous.load()); }
    bool contains(const QString &text) const
    {
        std::lock_guard<std::mutex> guard(s_mutex);
        for (const QString &line : qAsConst(s_lines)) {
            if (line.contains(text))
                return true;
        }
        return false;
    }

private:
    static void take(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type == QtWarningMsg) {
            std::lock_guard<std::mutex> guard(s_mutex);
            s_lines.append(text);
        }
        // The loop thread may log before the constructor has stored this.
        if (QtMessageHandler previous = s_previous.load())
            previous(type, context, text);
    }
    static inline std::atomic<QtMessageHandler> s_previous{nullptr};
    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
};

std::vector<std::string> head(const std::vector<std::string> &v, size_t n)
{
    return std::vector<std::string>(v.begin(), v.begin() + std::min(n, v.size()));
}

} // namespace

class DeviceSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void versionedReady();
    void unversionedReady();
    void unversionedWithoutMetering();
    void neverReadyWithoutSystemOpts();
    void wrongPasswordThenReconnect();
    void restartComparesWithPeersBefore();
    void versionChangeFetchesOnce();
    void destroyedSessionHearsNothing();
    void removalOvertakesAQueuedConnect();
    void meteringOffHoldsAcrossLogins();
};

void DeviceSession::versionedReady()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.session();
    StateLog log(s);
    QSignalSpy ready(s, &IQEndpointClient::ready);
    s->setAddressAndConnect("127.0.0.1", rig.port(), "tarlin");
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    QCOMPARE(log.states, (QList<State>{State::CONNECTING, State::CONNECTED, State::READY}));
    QCOMPARE(ready.count(), 1);
    QVERIFY(s->isVersioned());
    for (const QString &key : kNine) {
        Message m;
        QVERIFY2(s->cachedMessage(key, m), qPrintable(key));
    }
    QCOMPARE(head(rig.requestTexts(), kVersionedStart.size()), kVersionedStart);
    // The login itself carries an empty user name.
    bool sawLogin = false;
    for (const Request &r : rig.requests()) {
        if (r.message.name() == "login") {
            sawLogin = true;
            QCOMPARE(r.message.get_string("username"), std::string());
        }
    }
    QVERIFY(sawLogin);
    QVERIFY(!s->unitName().isEmpty());
    QVERIFY(!s->allPeers().isEmpty());
    QVERIFY(!s->profiles().isEmpty());
    QVERIFY(!s->defaultProfileId().isEmpty());
}

void DeviceSession::unversionedReady()
{
    codecsim::Options o;
    o.unversioned = true;
    o.activePeers = 1;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *s = rig.session();
    QSignalSpy levels(s, &IPCObject::recvLevels);
    QSignalSpy peerStats(s, &IPCObject::recvPeerStats);
    QSignalSpy channelStats(s, &IPCObject::recvChannelStats);
    QSignalSpy version(s, &IPCObject::recvVersion);
    s->setAddressAndConnect("127.0.0.1", rig.port(), "tarlin");
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    QVERIFY(!s->isVersioned());
    Message m;
    QVERIFY(!s->cachedMessage("weftlineSettings", m));
    QVERIFY(s->cachedMessage("systemOpts", m));

    const std::vector<std::string> expected = {
        "getChannelList/channelList", "getChannelOpts/channelOpts",         "getProfileList/profileList",
        "getCodecList/codecList",     "getPeerList/peerList",               "getDirectoryServer/directoryServer",
        "getSysOptions/sysOptions",   "monitor",                            "getVersion/version",
    };
    QCOMPARE(head(rig.requestTexts(), expected.size()), expected);
    for (const Request &r : rig.requests()) {
        QVERIFY2(r.text.rfind("subscribe", 0) != 0 && r.text.rfind("cfg", 0) != 0, r.text.c_str());
        if (r.text == "monitor") {
            const Message &mon = r.message;
            QCOMPARE(mon.attributes().size(), size_t(5));
            QCOMPARE(mon.get_string("peerStats"), std::string("true"));
            QCOMPARE(mon.get_string("queue"), std::string("false"));
            QCOMPARE(mon.get_string("channelStats"), std::string("true"));
            QCOMPARE(mon.get_string("metering"), std::string("true"));
            QCOMPARE(mon.get_string("meterInterval"), std::string("70"));
        }
    }

    // The feeds of old firmware come as bare elements.
    QTRY_VERIFY_WITH_TIMEOUT(levels.count() > 2, Long);
    QTRY_VERIFY_WITH_TIMEOUT(peerStats.count() > 0, Long);
    QTRY_VERIFY_WITH_TIMEOUT(channelStats.count() > 0, Long);
    QVERIFY(!s->peerStatsById().isEmpty());
    QVERIFY(!s->channelStatsById().isEmpty());
    QVERIFY(levels.last().at(0).toFloat() < 0.0f);

    // The bare version record does not make the session ask for it again:
    // one request in all, however long the session runs.
    QTRY_VERIFY_WITH_TIMEOUT(levels.count() > 20, Long); // well over a second of traffic
    QCOMPARE(rig.count("getVersion/version"), 1);
    QCOMPARE(version.count(), 1);
}

void DeviceSession::unversionedWithoutMetering()
{
    codecsim::Options o;
    o.unversioned = true;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *s = rig.session();
    QSignalSpy levels(s, &IPCObject::recvLevels);
    s->meteringOff(); // queued until the login; clears the flag now
    s->setAddressAndConnect("127.0.0.1", rig.port(), "tarlin");
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    int monitors = 0;
    for (const Request &r : rig.requests()) {
        if (r.text != "monitor" || !r.message.has_attribute("peerStats"))
            continue;
        ++monitors;
        QCOMPARE(r.message.attributes().size(), size_t(3));
        QVERIFY(!r.message.has_attribute("metering"));
        QVERIFY(!r.message.has_attribute("meterInterval"));
    }
    QCOMPARE(monitors, 1);
    QCOMPARE(levels.count(), 0);
}

void DeviceSession::neverReadyWithoutSystemOpts()
{
    codecsim::Options o;
    o.noSystemOpts = true;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *s = rig.session();
    StateLog log(s);
    WarningLog warnings;
    s->setMissingRecordsDelay(200);
    s->setAddressAndConnect("127.0.0.1", rig.port(), "tarlin");
    QTRY_COMPARE_WITH_TIMEOUT(s->requiredMessages(), QStringList{"systemOpts"}, Long);
    QCOMPARE(s->state(), State::AUTHENTICATED);
    // Not silently: after the delay the session says what it still waits for.
    QTRY_VERIFY_WITH_TIMEOUT(warnings.contains("in AUTHENTICATED; still missing: systemOpts"), Long);
    QCOMPARE(s->state(), State::AUTHENTICATED);
    QCOMPARE(log.count(State::READY), 0);
}

void DeviceSession::wrongPasswordThenReconnect()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.session();
    StateLog log(s);
    QSignalSpy reconnecting(s, QOverload<QUuid>::of(&IPCObject::reconnect));
    s->setAddressAndConnect("127.0.0.1", rig.port(), "not the password");
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::AUTH_FAILED, Long);
    QTRY_COMPARE_WITH_TIMEOUT(log.count(State::AUTH_FAILED), 1, Long);
    QVERIFY(!s->autoReconnect());
    // No reconnect on its own: once the manager's clock is past the reconnect
    // interval, the codec has seen one login only, and the state still shows
    // the refusal (a reconnect would have entered CONNECTING in that turn).
    rig.advanceClock(IQEndpointClient::ReconnectSeconds + 1);
    QCOMPARE(s->state(), State::AUTH_FAILED);
    QCOMPARE(rig.count("login/login"), 1);
    QCOMPARE(s->state(), State::AUTH_FAILED);
    QCOMPARE(log.states.last(), State::AUTH_FAILED);

    s->setPassword("tarlin");
    s->reconnect();
    QCOMPARE(reconnecting.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    QCOMPARE(rig.count("login/login"), 2);
    QCOMPARE(s->address(), QString("127.0.0.1"));
}

void DeviceSession::restartComparesWithPeersBefore()
{
    codecsim::Options o;
    o.activePeers = 1;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    StateLog log(s);
    AudioEvents events(s);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    QCOMPARE(s->activePeerIds().size(), 1);
    const QString name = s->activePeers().first()->name;
    QCOMPARE(events.count(), 0); // the first list is exempt

    rig.sim().dropClients(0);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::DISCONNECTED, Long);
    // Ends the call as soon as the session is back, before it asks for the
    // peer list: the first list after the reconnection shows the peer gone.
    s->disconnectAll();
    rig.advanceClock(IQEndpointClient::ReconnectSeconds);
    QTRY_COMPARE_WITH_TIMEOUT(log.count(State::READY), 2, Long);
    QCOMPARE(s->state(), State::READY);
    QVERIFY(s->requiredMessages().isEmpty());
    QVERIFY(log.count(State::DISCONNECTED) >= 1);
    QVERIFY(log.count(State::CONNECTING) >= 2);
    Message m;
    QVERIFY(s->cachedMessage("weftlineSettings", m));

    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, Long);
    QCOMPARE(events.at(0), QV_EVENT_AUDIO_CONNECTION_ENDED);
    QVERIFY(s->eventLog().lines().first().text().endsWith("Audio connection ended. Disconnected peers: " + name));
    QVERIFY(s->activePeerIds().isEmpty());
    QCOMPARE(rig.count("getPeerList/peerList"), 2);
}

void DeviceSession::versionChangeFetchesOnce()
{
    codecsim::Options o;
    o.firmwareChangeAfter = 0.3;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QSignalSpy version(s, &IPCObject::recvVersion);
    QSignalSpy levels(s, &IPCObject::recvLevels);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    // The notice of the change brings one more request for the record.
    QTRY_COMPARE_WITH_TIMEOUT(rig.count("getVersion/version"), 2, Long);
    QTRY_VERIFY_WITH_TIMEOUT(version.count() >= 2, Long);
    const int seen = levels.count();
    QTRY_VERIFY_WITH_TIMEOUT(levels.count() > seen + 15, Long);
    QCOMPARE(rig.count("getVersion/version"), 2);
    Message record;
    QVERIFY(s->cachedMessage("version", record));
    QCOMPARE(record.name(), std::string("resp"));
}

void DeviceSession::destroyedSessionHearsNothing()
{
    codecsim::Options o;
    o.activePeers = 1;
    SimRig rig(o);
    QVERIFY(rig.ok());
    QPointer<IPCObject> s = rig.connect();
    QSignalSpy levels(s.data(), &IPCObject::recvLevels);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    QTRY_VERIFY_WITH_TIMEOUT(levels.count() > 3, Long);
    QSignalSpy reconnecting(s.data(), QOverload<QUuid>::of(&IPCObject::reconnect));
    s->destroySession();
    s->reconnect();
    QCOMPARE(reconnecting.count(), 0);
    const int heard = levels.count();
    QTRY_VERIFY_WITH_TIMEOUT(s.isNull(), Long);
    QCOMPARE(levels.count(), heard);
    // The codec sees the connection go, and nothing comes back.
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim().clientCount(), 0, Long);
    rig.syncManagerThread();
    QCOMPARE(rig.manager()->manager().endpoint_count(), size_t(0));
}

void DeviceSession::removalOvertakesAQueuedConnect()
{
    SimRig rig;
    QVERIFY(rig.ok());
    // The manager thread is busy (a slow host-name lookup, say) while a codec
    // is loaded and removed again: its connect is still queued.
    // Static, not captured: the thread sanitizer cannot see Qt's event queue
    // hand a functor's captures over to the other thread.
    static QSemaphore gate;
    QMetaObject::invokeMethod(rig.manager(), [] { gate.acquire(); }, Qt::QueuedConnection);
    QPointer<IPCObject> s = rig.connect();
    const std::string name = s->endpointName().toStdString();
    s->destroySession();
    gate.release();
    rig.syncManagerThread();
    // No endpoint of its own under the dead session's name, logging in with
    // an empty password and retrying for ever.
    QCOMPARE(rig.manager()->manager().find_endpoint(name), nullptr);
    QCOMPARE(rig.manager()->manager().endpoint_count(), size_t(0));
    QTRY_VERIFY_WITH_TIMEOUT(s.isNull(), Long);
}

void DeviceSession::meteringOffHoldsAcrossLogins()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    StateLog log(s);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    s->meteringOff();
    // The loop writes requests on its next turn: let it out before the codec drops us.
    QTRY_COMPARE_WITH_TIMEOUT(rig.count("monitor"), 1, Long);
    rig.sim().dropClients(0);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::DISCONNECTED, Long);
    rig.advanceClock(IQEndpointClient::ReconnectSeconds);
    QTRY_COMPARE_WITH_TIMEOUT(log.count(State::READY), 2, Long);
    QVERIFY(!s->meteringEnabled());
    // Every login subscribes to the levels again; with metering off a
    // "monitor" turning them off follows, so the last word is "off".
    int monitors = 0;
    bool levelsOn = false;
    for (const Request &r : rig.requests()) {
        if (r.text == "subscribe:metering/70") {
            levelsOn = true;
        } else if (r.text == "monitor") {
            QCOMPARE(r.message.get_string("metering"), std::string("false"));
            QCOMPARE(r.message.attributes().size(), size_t(1));
            levelsOn = false;
            ++monitors;
        }
    }
    QVERIFY(!levelsOn);
    QCOMPARE(monitors, 2); // the operator's, then the one after the second login
}

QTEST_GUILESS_MAIN(DeviceSession)
#include "tst_device_session.moc"
