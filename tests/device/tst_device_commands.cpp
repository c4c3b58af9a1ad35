// Operator commands, audio connection events, feeds and the tunnel model
// against simulated codecs over 127.0.0.1.

#include "simrig.h"
#include "tunnelinfo.h"

#include <QSignalSpy>
#include <QtTest>

using State = IQEndpointClient::DEVICE_STATE;

namespace {

const int Long = 20000;

/** The requests after the first @p from, limited to connect and profile assignment. */
std::vector<std::string> callRequests(const SimRig &rig, size_t from, int codec = 0)
{
    std::vector<std::string> out;
    const auto all = rig.requestTexts(codec);
    for (size_t i = from; i < all.size(); ++i) {
        if (all[i] == "connect" || all[i] == "setPeerSettings/setPeerSettings")
            out.push_back(all[i]);
    }
    return out;
}

int peerProfile(IPCObject *s, int id)
{
    const PeerMetaPtr p = s->peersById().value(id);
    return p ? p->profile : -1;
}

bool peerActive(IPCObject *s, int id)
{
    const PeerMetaPtr p = s->peersById().value(id);
    return p && p->active;
}

} // namespace

class DeviceCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void connectPeerOnTheWire();
    void profileCopiedBetweenCodecs();
    void feeds();
    void tunnelFollowsTheCall();
};

void DeviceCommands::connectPeerOnTheWire()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    AudioEvents events(s);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    const QString def = s->defaultProfileId();
    QString other;
    for (const ProfileSummary &p : s->profiles()) {
        if (p.id != def && p.id != "2") {
            other = p.id;
            break;
        }
    }
    QVERIFY(!def.isEmpty() && !other.isEmpty());

    // Peers 1, 2 and 4 are plain address-book entries.
    s->setPeerSettings(1, 2);
    s->setPeerSettings(2, 0);
    s->setPeerSettings(4, 2);
    QTRY_VERIFY_WITH_TIMEOUT(peerProfile(s, 1) == 2 && peerProfile(s, 2) == 0 && peerProfile(s, 4) == 2, Long);

    size_t mark = rig.requestTexts().size();
    QVERIFY(s->connectPeer("1", "2")); // already on it
    QTRY_VERIFY_WITH_TIMEOUT(peerActive(s, 1), Long);
    QCOMPARE(callRequests(rig, mark), std::vector<std::string>{"connect"});
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, Long);
    QCOMPARE(events.at(0), QV_EVENT_AUDIO_CONNECTION_STARTED);
    const QString name1 = s->peersById().value(1)->name;
    QVERIFY(s->eventLog().lines().first().text().endsWith("Audio connection started. Active peers: " + name1));
    QCOMPARE(s->chanState(), QString("Connected"));

    mark = rig.requestTexts().size();
    QVERIFY(s->connectPeer("2", def)); // profile 0 follows the default
    QTRY_VERIFY_WITH_TIMEOUT(peerActive(s, 2), Long);
    QCOMPARE(callRequests(rig, mark), std::vector<std::string>{"connect"});

    mark = rig.requestTexts().size();
    QVERIFY(s->connectPeer("4", other));
    QTRY_VERIFY_WITH_TIMEOUT(peerActive(s, 4), Long);
    QCOMPARE(callRequests(rig, mark), (std::vector<std::string>{"setPeerSettings/setPeerSettings", "connect"}));
    QCOMPARE(peerProfile(s, 4), other.toInt());
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 3, Long);

    QVERIFY(!s->connectPeer("77", def));

    // Ending one call, then all of them.
    s->disconnectPeer(1);
    QTRY_VERIFY_WITH_TIMEOUT(!peerActive(s, 1), Long);
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 4, Long);
    QCOMPARE(events.at(3), QV_EVENT_AUDIO_CONNECTION_ENDED);
    QVERIFY(s->eventLog().lines().first().text().endsWith("Audio connection ended. Disconnected peers: " + name1));
    s->disconnectAll();
    QTRY_VERIFY_WITH_TIMEOUT(s->activePeers().isEmpty(), Long);
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 5, Long);
    QVERIFY(s->chanState().isEmpty());
    bool sawBareDisconnect = false;
    for (const Request &r : rig.requests())
        sawBareDisconnect |= r.text == "disconnect" && !r.message.has_attribute("id");
    QVERIFY(sawBareDisconnect);
}

void DeviceCommands::profileCopiedBetweenCodecs()
{
    codecsim::Options o;
    o.count = 2;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *from = rig.connect(0);
    IPCObject *to = rig.connect(1);
    QTRY_COMPARE_WITH_TIMEOUT(from->state(), State::READY, Long);
    QTRY_COMPARE_WITH_TIMEOUT(to->state(), State::READY, Long);

    QStringList userProfiles;
    for (const ProfileSummary &p : from->profiles()) {
        if (!p.factory)
            userProfiles << p.id;
    }
    QVERIFY(userProfiles.size() >= 2);
    Message first, second;
    QVERIFY(from->findProfile(userProfiles[0], first));
    QVERIFY(from->findProfile(userProfiles[1], second));
    // Names of their own, so that the copies can be found.
    first.get_child("settings").set_string("name", "Copy One");
    second.get_child("settings").set_string("name", "Copy Two");
    first.set_bool("default", false);
    second.set_bool("default", false);

    auto names = [to] {
        QStringList n;
        for (const ProfileSummary &p : to->profiles())
            n << p.name;
        return n;
    };
    const int before = to->profiles().size();
    to->addProfileFor(first);
    QTRY_VERIFY_WITH_TIMEOUT(names().contains("Copy One"), Long);
    QTRY_COMPARE_WITH_TIMEOUT(to->profiles().size(), before + 1, Long);
    QCOMPARE(rig.count("setProfile/setProfile", 1), 1);
    QCOMPARE(rig.count("addProfile/addProfile", 1), 1);

    // Two copies before either answer: each lands in its own new profile.
    to->addProfileFor(first);
    to->addProfileFor(second);
    QTRY_COMPARE_WITH_TIMEOUT(rig.count("setProfile/setProfile", 1), 3, Long);
    QTRY_VERIFY_WITH_TIMEOUT(names().count("Copy One") == 2 && names().contains("Copy Two"), Long);

    QCOMPARE(to->profiles().size(), before + 3);
    QCOMPARE(to->pendingProfileCount(), 0);
    QCOMPARE(rig.count("setProfile/setProfile", 0), 0);
}

void DeviceCommands::feeds()
{
    codecsim::Options o;
    o.activePeers = 1;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QSignalSpy levels(s, &IPCObject::recvLevels);
    QSignalSpy all(s, &IPCObject::recvAllLevels);
    QSignalSpy peerStats(s, &IPCObject::recvPeerStats);
    QSignalSpy channelStats(s, &IPCObject::recvChannelStats);
    QSignalSpy delayChanged(&s->delayGraphData(), &GraphData::dataChanged);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    QTRY_VERIFY_WITH_TIMEOUT(peerStats.count() >= 2, Long);
    QTRY_VERIFY_WITH_TIMEOUT(channelStats.count() >= 1, Long);
    QTRY_VERIFY_WITH_TIMEOUT(levels.count() >= 3, Long);
    QCOMPARE(all.count(), levels.count());
    for (int i = 0; i < 8; ++i) {
        const float v = all.last().at(i).toFloat();
        QVERIFY2(v < 0.0f && v >= -96.0f, qPrintable(QString::number(v)));
    }

    QCOMPARE(s->activePeerIds().size(), 1);
    const int id = s->activePeerIds().first();
    QVERIFY(s->peerStatsById().contains(id));
    QVERIFY(s->peerStatsById().value(id).bufferDelay > 0);
    QCOMPARE(s->channelStatsById().size(), 3);
    QVERIFY(delayChanged.count() >= 2);
    const DelayGraphData::Series *d = s->delayGraphData().seriesFor(id);
    QVERIFY(d);
    QVERIFY(d->samples.size() >= 2);
    QCOMPARE(d->samples.first().first, s->peerStatsById().value(id).bufferDelay);
    const LossGraphData::Series *l = s->lossGraphData().seriesFor(id);
    QVERIFY(l);
    const PeerStats &st = s->peerStatsById()[id];
    QCOMPARE(l->correction.first(), st.corrUpRate + st.corrDownRate);

    // Levels can be switched off and on again.
    s->meteringOff();
    QVERIFY(!s->meteringEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(rig.count("monitor"), 1, Long);
    s->meteringOn();
    QTRY_COMPARE_WITH_TIMEOUT(rig.count("monitor"), 2, Long);
    const int n = levels.count();
    QTRY_VERIFY_WITH_TIMEOUT(levels.count() > n + 2, Long);

    // With the call over, the histories go.
    s->disconnectAll();
    QVERIFY(s->peerStatsById().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(s->activePeers().isEmpty(), Long);
    QVERIFY(s->delayGraphData().keys().isEmpty());
    QVERIFY(s->lossGraphData().keys().isEmpty());
}

void DeviceCommands::tunnelFollowsTheCall()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    TunnelInfo *info = s->tunnelInfo();
    QSignalSpy created(info, &TunnelInfo::sessionCreate);
    QSignalSpy destroyed(info, &TunnelInfo::sessionDestroy);
    QSignalSpy colour(info, &TunnelInfo::weftlineStatus);
    QVERIFY(!info->session());

    // Peer 3 goes through the tunnel.
    const PeerMetaPtr p = s->peersById().value(3);
    QVERIFY(p && p->weftline);
    QVERIFY(s->connectPeer("3", QString::number(p->profile)));
    QTRY_VERIFY_WITH_TIMEOUT(created.count() >= 1, Long);
    QTRY_VERIFY_WITH_TIMEOUT(info->session() && !info->session()->connections.isEmpty(), Long);
    QTRY_VERIFY_WITH_TIMEOUT(colour.count() >= 1, Long);
    const QString c = colour.last().at(0).toString();
    QVERIFY2(c == "green" || c == "yellow" || c == "red", qPrintable(c));
    QVERIFY(info->session()->tx.maxAllowedDelay > 0);
    const int sid = info->session()->id;
    QCOMPARE(created.first().at(0).toInt(), sid);

    s->disconnectPeer(3);
    QTRY_VERIFY_WITH_TIMEOUT(destroyed.count() >= 1, Long);
    QCOMPARE(destroyed.last().at(0).toInt(), sid);
    QTRY_COMPARE_WITH_TIMEOUT(info->status(), QString("gray"), Long);
    QVERIFY(!info->session());
}

QTEST_GUILESS_MAIN(DeviceCommands)
#include "tst_device_commands.moc"
