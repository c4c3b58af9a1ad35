// The session's rules without sockets: messages are fed straight into its
// dispatch hooks, whose slots then run on this thread at once.

#include "devicetest.h"
#include "ipcmanager.h"
#include "iqcommonapp.h"
#include "sessiontable.h"

#include <QSignalSpy>
#include <QtTest>

#include <cfloat>
#include <stdexcept>

class DeviceUnits : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void construction();
    void nullUuidThrows();
    void connectTarget();
    void answerAndPushReachTheSameSlot();
    void answerKeyedByFirstChild();
    void seqLessEmptyAnswerIsDropped();
    void answerWithoutSlotStaysCached();
    void refusedAnswerKeepsTheRecord();
    void noticeKeysReplaceDotsAndColons();
    void noticeWithoutSlotWarns();
    void pushWithoutSlotWarns();
    void requiredListCompletesOnce();
    void unversionedIgnoresAnswers();
    void unversionedKeysByElementName();
    void cachedMessageWrapperWarns();
    void lookups();
    void profileTable();
    void peerTables();
    void firstPeerListRaisesNothing();
    void startedWinsOverEnded();
    void endedOnly();
    void vanishedPeerRaisesNothing();
    void chanStateLastNonEmptyWins();
    void levels();
    void levelsOfOldFirmware();
    void channelStatsKeepRecords();
    void peerStatsReplacedHistoriesKept();
    void historiesBoundedNewestFirst();
    void noActivePeerClearsHistories();
    void disconnectAllEmptiesPeerStats();
    void commands();
    void connectPeerRules();
    void copyPeerKeys_data();
    void copyPeerKeys();
    void profileCopyWrittenOnce();
    void profileCopyRefused();
    void versionNoticeFetchesTheRecord();
    void bareVersionIsTheRecord();
    void reconnectAfterDestroyDoesNothing();
    void alertsAndAddresses();
    void sessionTable();
    void sarvelConfigAsText();
};

void DeviceUnits::construction()
{
    const QUuid uuid = QUuid::createUuid();
    ProbeSession s(uuid);
    QCOMPARE(s.uuid(), uuid);
    QCOMPARE(s.endpointName(), uuid.toString());
    QVERIFY(s.endpointName().startsWith('{'));
    QCOMPARE(s.receive_timeout(), 7u);
    QCOMPARE(s.password(), std::string("tarlin"));
    QCOMPARE(s.user_name(), std::string());
    QCOMPARE(s.address(), QString("0.0.0.0"));
    QCOMPARE(s.port(), quint16(80));
    QVERIFY(s.meteringEnabled());
    QVERIFY(s.tunnelInfo());
    QCOMPARE(s.tunnelInfo()->device(), &s);
    QCOMPARE(s.activePeerCount(), -1);
    QCOMPARE(s.state(), IQEndpointClient::DISCONNECTED);
}

void DeviceUnits::nullUuidThrows()
{
    try {
        IPCObject s{QUuid()};
        QFAIL("a null uuid was accepted");
    } catch (const std::logic_error &e) {
        QCOMPARE(QString(e.what()), QString("IPC ZERO UUID NOT ALOWED"));
    }
}

void DeviceUnits::connectTarget()
{
    QCOMPARE(IPCObject::connectTarget("10.0.0.5", 8080), QString("10.0.0.5:8080"));
    ProbeSession s;
    s.setAddress("192.0.2.1", 8081);
    QCOMPARE(s.address(), QString("192.0.2.1"));
    QCOMPARE(s.port(), quint16(8081));
}

void DeviceUnits::answerAndPushReachTheSameSlot()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvPeerList);
    s.handleResponse(peerListAnswer({peer(1, "A", false)}));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QUuid>(), s.uuid());
    QCOMPARE(s.allPeers().size(), 1);

    Message push("unso");
    push.set_string("id", "unso");
    Message &list = push.add_child("peerList");
    list.append_copy(peer(1, "A", false));
    list.append_copy(peer(2, "B", false));
    s.handleUnsolicited(push);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(s.allPeers().size(), 2);
    Message cached;
    QVERIFY(s.cachedMessage("peerList", cached));
    QCOMPARE(cached.name(), std::string("peerList"));
    QCOMPARE(cached.child_count(), 2);
}

void DeviceUnits::answerKeyedByFirstChild()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvCodecList);
    s.handleResponse(xml("<resp><codecList><codec id=\"1\"/></codecList></resp>"));
    QCOMPARE(spy.count(), 1);
    Message cached;
    QVERIFY(s.cachedMessage("codecList", cached));
    QCOMPARE(cached.name(), std::string("resp"));
}

void DeviceUnits::seqLessEmptyAnswerIsDropped()
{
    ProbeSession s;
    QSignalSpy failed(&s, &IPCObject::requestFailed);
    QTest::ignoreMessage(QtWarningMsg, "not storing seq-less response which has 3 params...");
    s.handleResponse(xml("<resp fail=\"true\" error_code=\"404\" error_text=\"unknown id\"/>"));
    Message cached;
    QVERIFY(!s.cachedMessage("", cached));
    // The refusal of a command without seq (connect, disconnect) still reaches the views.
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(1).toString(), QString());
    QCOMPARE(failed.at(0).at(2).toString(), QString("404"));
    QCOMPARE(failed.at(0).at(3).toString(), QString("unknown id"));
}

void DeviceUnits::answerWithoutSlotStaysCached()
{
    ProbeSession s;
    s.handleResponse(xml("<resp seq=\"setPeerSettings\"/>"));
    Message cached;
    QVERIFY(s.cachedMessage("setPeerSettings", cached));
}

void DeviceUnits::refusedAnswerKeepsTheRecord()
{
    ProbeSession s;
    s.handleResponse(peerListAnswer({peer(3, "Three", true)}));
    s.handleResponse(peerListAnswer({peer(3, "Three", true), peer(4, "Four", false)}));
    QSignalSpy failed(&s, &IPCObject::requestFailed);
    QSignalSpy lists(&s, &IPCObject::recvPeerList);
    QSignalSpy events(&s, &IPCObject::deviceEvent);
    s.handleResponse(xml("<resp seq=\"peerList\" fail=\"true\" error_code=\"503\" error_text=\"busy\"/>"));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).value<QUuid>(), s.uuid());
    QCOMPARE(failed.at(0).at(1).toString(), QString("peerList"));
    QCOMPARE(failed.at(0).at(2).toString(), QString("503"));
    QCOMPARE(failed.at(0).at(3).toString(), QString("busy"));
    Message cached;
    QVERIFY(s.cachedMessage("peerList", cached));
    QCOMPARE(cached.child_count(), 2);
    QCOMPARE(s.allPeers().size(), 2);
    QCOMPARE(lists.count(), 0);
    // The next good list is compared with the last good one: no false "started".
    s.handleResponse(peerListAnswer({peer(3, "Three", true), peer(4, "Four", false)}));
    QCOMPARE(lists.count(), 1);
    QCOMPARE(events.count(), 0);
    QCOMPARE(s.eventLog().count(), 0);

    // The tunnel model reads the failure of its status: that one is stored.
    s.handleResponse(xml("<resp seq=\"tunnelStatus\" fail=\"true\" error_code=\"500\"/>"));
    QVERIFY(s.cachedMessage("tunnelStatus", cached));
    QVERIFY(cached.get_bool("fail"));
    QCOMPARE(failed.count(), 2);
}

void DeviceUnits::noticeKeysReplaceDotsAndColons()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvTunnelStatus);
    s.handleUnsolicited(xml("<unso id=\"cfgStatus:netmgr.tunnel\"><node path=\"netmgr.tunnel\"/></unso>"));
    QCOMPARE(spy.count(), 1);
    Message cached;
    QVERIFY(s.cachedMessage("cfgStatus_netmgr_tunnel", cached));
    QVERIFY(s.cachedMessage("tunnelStatus", cached));
    QVERIFY(cached.has_child("node"));
}

void DeviceUnits::noticeWithoutSlotWarns()
{
    ProbeSession s;
    QTest::ignoreMessage(QtWarningMsg, "missing callback cb_unso_power");
    s.handleUnsolicited(xml("<unso id=\"power\"><power v=\"1\"/></unso>"));
    Message cached;
    QVERIFY(s.cachedMessage("power", cached));
}

void DeviceUnits::pushWithoutSlotWarns()
{
    ProbeSession s;
    QTest::ignoreMessage(QtWarningMsg, "missing function cb_resp_gadget");
    s.handleUnsolicited(xml("<unso id=\"unso\"><gadget a=\"1\"/></unso>"));
    Message cached;
    QVERIFY(s.cachedMessage("gadget", cached));
    QCOMPARE(cached.name(), std::string("gadget"));
}

void DeviceUnits::requiredListCompletesOnce()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IQEndpointClient::finalRequiredMessageReceived);
    s.setRequiredMessages({"peerList", "codecList"});
    s.handleResponse(peerListAnswer({}));
    s.handleResponse(peerListAnswer({}));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(s.requiredMessages(), QStringList{"codecList"});
    s.handleResponse(xml("<resp seq=\"codecList\"/>"));
    QCOMPARE(spy.count(), 1);
    s.handleResponse(xml("<resp seq=\"codecList\"/>"));
    QCOMPARE(spy.count(), 1);
}

void DeviceUnits::unversionedIgnoresAnswers()
{
    ProbeSession s;
    s.set_protocol_version(0);
    QVERIFY(!s.isVersioned());
    QSignalSpy spy(&s, &IPCObject::recvPeerList);
    s.setRequiredMessages({"peerList"});
    // The transport's local answer to a request, and a real-looking one.
    s.handleResponse(xml("<resp seq=\"peerList\"/>"));
    s.handleResponse(peerListAnswer({peer(1, "A", true)}));
    QCOMPARE(spy.count(), 0);
    Message cached;
    QVERIFY(!s.cachedMessage("peerList", cached));
    QCOMPARE(s.requiredMessages(), QStringList{"peerList"});
}

void DeviceUnits::unversionedKeysByElementName()
{
    ProbeSession s;
    s.set_protocol_version(0);
    QSignalSpy final(&s, &IQEndpointClient::finalRequiredMessageReceived);
    QSignalSpy peers(&s, &IPCObject::recvPeerList);
    s.setRequiredMessages({"peerList"});
    Message list("peerList");
    list.append_copy(peer(4, "D", false));
    s.handleUnsolicited(list);
    QCOMPARE(peers.count(), 1);
    QCOMPARE(final.count(), 1);
    QCOMPARE(s.allPeers().size(), 1);

    // Names are used as they are: nothing is replaced.
    QTest::ignoreMessage(QtWarningMsg, "missing callback cb_unso_cfg.status");
    s.handleUnsolicited(xml("<cfg.status a=\"1\"/>"));
    Message cached;
    QVERIFY(s.cachedMessage("cfg.status", cached));
    QVERIFY(!s.cachedMessage("cfg_status", cached));
}

void DeviceUnits::cachedMessageWrapperWarns()
{
    ProbeSession s;
    QTest::ignoreMessage(QtWarningMsg, "Missing expected message: sysOptions");
    QVERIFY(s.cachedMessage("sysOptions").isEmpty());
    s.handleResponse(xml("<resp seq=\"sysOptions\" unit_name=\"Studio\"/>"));
    QCOMPARE(s.cachedMessage("sysOptions").get_string("unit_name"), std::string("Studio"));
}

void DeviceUnits::lookups()
{
    ProbeSession s;
    Message out;
    QCOMPARE(s.unitName(), QString());
    QVERIFY(!s.findProfile("1", out));
    QVERIFY(!s.findPeer("1", out));
    s.handleResponse(xml("<resp seq=\"sysOptions\"/>"));
    QCOMPARE(s.unitName(), QString("unknown"));
    s.handleResponse(xml("<resp seq=\"sysOptions\" unit_name=\"Desk 4\"/>"));
    QCOMPARE(s.unitName(), QString("Desk 4"));

    s.handleResponse(xml("<resp seq=\"profileList\"><profile id=\"1\"><settings name=\"One\"/></profile>"
                         "<profile id=\"2\"><settings name=\"Two\"/></profile>"
                         "<profile id=\"2\"><settings name=\"Later\"/></profile></resp>"));
    QVERIFY(s.findProfile("2", out));
    QCOMPARE(out.get_child("settings").get_string("name"), std::string("Two"));
    QVERIFY(!s.findProfile("3", out));
    s.handleResponse(peerListAnswer({peer(7, "Seven", false)}));
    QVERIFY(s.findPeer("7", out));
    QCOMPARE(out.get_string("name"), std::string("Seven"));
}

void DeviceUnits::profileTable()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvProfileList);
    s.cb_resp_profileList(); // nothing cached: nothing happens
    QCOMPARE(spy.count(), 0);
    s.handleResponse(xml("<resp seq=\"profileList\">"
                         "<profile id=\"1\"><settings name=\"Factory\" factory=\"true\"/></profile>"
                         "<profile id=\"2\"/>"
                         "<profile id=\"3\" default=\"true\"><settings name=\"Mine\"/></profile>"
                         "</resp>"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(s.profiles().size(), 2);
    QCOMPARE(s.profiles().at(0).id, QString("1"));
    QVERIFY(s.profiles().at(0).factory);
    QVERIFY(!s.profiles().at(0).isDefault);
    QCOMPARE(s.profiles().at(1).name, QString("Mine"));
    QVERIFY(s.profiles().at(1).isDefault);
    QCOMPARE(s.defaultProfileId(), QString("3"));

    s.handleResponse(xml("<resp seq=\"profileList\"><profile id=\"1\"><settings name=\"A\"/></profile></resp>"));
    QCOMPARE(s.defaultProfileId(), QString());
}

void DeviceUnits::peerTables()
{
    ProbeSession s;
    Message dir = peer(1001, "Dir", false, "addr=\"198.51.100.4\" pw=\"secret\"");
    dir.add_child("directory").set_string("product", "Box");
    dir.get_child("directory").set_string("state", "Busy");
    dir.get_child("directory").set_bool("online", true);
    s.handleResponse(peerListAnswer({
        peer(1, "Host", false, "addr=\"10.0.0.9:9001\" pw=\"pw1\" profile=\"4\" stored=\"true\" unit=\"02:00\""),
        peer(2, "Live", true, "addr=\"10.0.0.10\" channel=\"2\" state=\"Connected\" receiving=\"true\" "
                              "transmitting=\"true\" channels=\"2\" rx_codec=\"X\""),
        dir,
        peer(0, "Odd", false, ""),
    }));
    QCOMPARE(s.allPeers().size(), 4);
    QCOMPARE(s.addressPeers().size(), 3);
    QCOMPARE(s.directoryPeers().size(), 1);
    QCOMPARE(s.activePeers().size(), 1);
    QCOMPARE(s.activePeerIds(), QList<int>{2});
    QCOMPARE(s.receivingPeerId(), QString("2"));

    const PeerMetaPtr host = s.peersById().value(1);
    QVERIFY(host);
    QCOMPARE(host->host, QString("10.0.0.9"));
    QCOMPARE(host->addr, QString("10.0.0.9:9001"));
    QCOMPARE(host->password, QString("pw1"));
    QCOMPARE(host->profile, 4);
    QVERIFY(host->stored);
    QVERIFY(!host->channel);
    QVERIFY(!host->directory);

    const PeerMetaPtr live = s.peersById().value(2);
    QCOMPARE(live->host, QString("10.0.0.10"));
    QVERIFY(live->channel);
    QCOMPARE(live->channel->channel, QString("2"));
    QVERIFY(live->channel->receiving);
    QCOMPARE(live->channel->channels, 2);
    QCOMPARE(live->channel->rxCodec, QString("X"));

    const PeerMetaPtr d = s.peersById().value(1001);
    QVERIFY(d->directory);
    QCOMPARE(d->directory->product, QString("Box"));
    QCOMPARE(d->directory->state, QString("Busy"));
    QVERIFY(d->directory->online);
    QVERIFY(d->host.isEmpty());
    QVERIFY(d->password.isEmpty());

    PeerMeta plain;
    plain.setDirectory("P", "Available", false);
    QVERIFY(plain.directory);
    QCOMPARE(plain.directory->state, QString("Available"));

    PeerMeta notNumeric;
    notNumeric.id = "x12";
    QCOMPARE(notNumeric.numericId(), 0);

    // A view may keep a record past the next list.
    const PeerMetaPtr kept = s.allPeers().first();
    s.handleResponse(peerListAnswer({}));
    QVERIFY(s.allPeers().isEmpty());
    QCOMPARE(kept->name, QString("Host"));
}

void DeviceUnits::firstPeerListRaisesNothing()
{
    ProbeSession s;
    QSignalSpy events(&s, &IPCObject::deviceEvent);
    s.handleResponse(peerListAnswer({peer(3, "Three", true)}));
    QCOMPARE(events.count(), 0);
    QCOMPARE(s.eventLog().count(), 0);
    QCOMPARE(s.activePeerCount(), 1);
}

void DeviceUnits::startedWinsOverEnded()
{
    ProbeSession s;
    s.handleResponse(peerListAnswer({peer(3, "Three", false), peer(5, "Five", true)}));
    QSignalSpy events(&s, &IPCObject::deviceEvent);
    s.handleResponse(peerListAnswer({peer(3, "Three", true), peer(5, "Five", false)}));
    QCOMPARE(events.count(), 1);
    QCOMPARE(events.at(0).at(0).value<IPCObject *>(), static_cast<IPCObject *>(&s));
    QCOMPARE(events.at(0).at(1).value<QV_EVENT>(), QV_EVENT_AUDIO_CONNECTION_STARTED);
    // Both are logged; the newest line names the event.
    QCOMPARE(s.eventLog().count(), 2);
    QVERIFY(s.eventLog().lines().at(0).text().endsWith("Audio connection started. Active peers: Three"));
    QVERIFY(s.eventLog().lines().at(1).text().endsWith("Audio connection ended. Disconnected peers: Five"));
    QCOMPARE(s.activePeerIds(), QList<int>{3});

    // Peer 5 is no longer counted as active: its return is a start.
    s.handleResponse(peerListAnswer({peer(3, "Three", true), peer(5, "Five", true)}));
    QCOMPARE(events.count(), 2);
    QVERIFY(s.eventLog().lines().first().text().endsWith("Audio connection started. Active peers: Five"));
}

void DeviceUnits::endedOnly()
{
    ProbeSession s;
    s.handleResponse(peerListAnswer({peer(5, "Five", true), peer(6, "Six", true)}));
    QSignalSpy events(&s, &IPCObject::deviceEvent);
    s.handleResponse(peerListAnswer({peer(5, "Five", false), peer(6, "Six", false)}));
    QCOMPARE(events.count(), 1);
    QCOMPARE(events.at(0).at(1).value<QV_EVENT>(), QV_EVENT_AUDIO_CONNECTION_ENDED);
    QVERIFY(s.eventLog().lines().first().text().endsWith("Audio connection ended. Disconnected peers: Five Six"));
    QCOMPARE(s.eventLog().lines().first().level(), 0);
}

void DeviceUnits::vanishedPeerRaisesNothing()
{
    ProbeSession s;
    s.handleResponse(peerListAnswer({peer(5, "Five", true)}));
    QSignalSpy events(&s, &IPCObject::deviceEvent);
    s.handleResponse(peerListAnswer({peer(6, "Six", false)}));
    QCOMPARE(events.count(), 0);
    QVERIFY(s.activePeerIds().isEmpty());
    s.handleResponse(peerListAnswer({peer(5, "Five", true)}));
    QCOMPARE(events.count(), 1); // a new start, not a continuation
}

void DeviceUnits::chanStateLastNonEmptyWins()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::newChanState);
    s.handleResponse(peerListAnswer({peer(1, "A", true, "chan_state=\"Dialing\""),
                                     peer(2, "B", true, "chan_state=\"Connected\""), peer(3, "C", false)}));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toString(), QString("Connected"));
    QCOMPARE(s.chanState(), QString("Connected"));
    s.handleResponse(peerListAnswer({peer(1, "A", true, "chan_state=\"Connected\"")}));
    QCOMPARE(spy.count(), 1); // unchanged: no signal
    s.handleResponse(peerListAnswer({peer(1, "A", false)}));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(s.chanState(), QString());
}

void DeviceUnits::levels()
{
    ProbeSession s;
    QStringList order;
    QList<QVariantList> four, eight;
    connect(&s, &IPCObject::recvLevels, this, [&](float a, float b, float c, float d) {
        order << "levels";
        four << QVariantList{a, b, c, d};
    });
    connect(&s, &IPCObject::recvAllLevels, this,
            [&](float a, float b, float c, float d, float e, float f, float g, float h) {
                order << "all";
                eight << QVariantList{a, b, c, d, e, f, g, h};
            });
    s.handleUnsolicited(xml("<unso id=\"metering\"><levels rmlf=\"-12.5\"/></unso>"));
    QCOMPARE(order, (QStringList{"levels", "all"}));
    QCOMPARE(four.at(0).at(0).toFloat(), -12.5f);
    for (int i = 1; i < 8; ++i)
        QCOMPARE(eight.at(0).at(i).toFloat(), FLT_MIN);
    QCOMPARE(FLT_MIN, 1.1754944e-38f);

    s.handleUnsolicited(xml("<unso id=\"metering\"><levels rmlf=\"-1\" rmrf=\"-2\" tmlf=\"-3\" tmrf=\"-4\" "
                            "rmls=\"-5\" rmrs=\"-6\" tmls=\"-7\" tmrs=\"-8\"/></unso>"));
    for (int i = 0; i < 8; ++i)
        QCOMPARE(eight.at(1).at(i).toFloat(), float(-1 - i));
    // An answer keyed "levels" reads the cached metering notice.
    s.handleResponse(xml("<resp seq=\"levels\"/>"));
    QCOMPARE(eight.size(), 3);
    QCOMPARE(eight.at(2).at(7).toFloat(), -8.0f);
}

void DeviceUnits::levelsOfOldFirmware()
{
    ProbeSession s;
    s.set_protocol_version(0);
    QSignalSpy spy(&s, &IPCObject::recvAllLevels);
    s.handleUnsolicited(xml("<levels rmlf=\"-20\" tmrs=\"-30\"/>"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toFloat(), -20.0f);
    QCOMPARE(spy.at(0).at(7).toFloat(), -30.0f);
}

void DeviceUnits::channelStatsKeepRecords()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvChannelStats);
    s.cb_resp_channelStats();
    QCOMPARE(spy.count(), 0);
    s.handleUnsolicited(xml("<unso id=\"channel_stats\"><channelStats>"
                            "<channel id=\"1\" name=\"one\" rxPayload=\"100\" txTotal=\"7\"/>"
                            "<channel id=\"2\" name=\"two\" rxPayload=\"200\"/></channelStats></unso>"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(s.channelStatsById().size(), 2);
    s.handleUnsolicited(xml("<unso id=\"channel_stats\"><channelStats>"
                            "<channel id=\"2\" name=\"two\" rxPayload=\"250\"/></channelStats></unso>"));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(s.channelStatsById().value(1).rxPayload, 100);
    QCOMPARE(s.channelStatsById().value(1).txTotal, 7);
    QCOMPARE(s.channelStatsById().value(1).name, QString("one"));
    QCOMPARE(s.channelStatsById().value(2).rxPayload, 250);
}

static Message peerStatsNotice(int id, int n)
{
    const std::string text = "<unso id=\"peer_stats\"><peerStats><peer id=\"" + std::to_string(id)
        + "\" name=\"P\" callTime=\"" + std::to_string(n) + "\" bufferDelay=\"" + std::to_string(n)
        + "\" packetJitter=\"" + std::to_string(100 + n) + "\" bufferDesiredDelay=\"" + std::to_string(200 + n)
        + "\" frameLossRate=\"" + std::to_string(300 + n) + "\" remoteLoss=\"" + std::to_string(400 + n)
        + "\" corrUpRate=\"3\" corrDownRate=\"" + std::to_string(n) + "\" newData=\"true\" delayOut=\"-5\"/>"
        + "</peerStats></unso>";
    return xml(text.c_str());
}

void DeviceUnits::peerStatsReplacedHistoriesKept()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvPeerStats);
    QSignalSpy delayChanged(&s.delayGraphData(), &GraphData::dataChanged);
    s.handleUnsolicited(peerStatsNotice(7, 1));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(delayChanged.count(), 1);
    const PeerStats st = s.peerStatsById().value(7);
    QCOMPARE(st.callTime, 1u);
    QVERIFY(st.newData);
    QCOMPARE(st.delayOut, -5);
    QCOMPARE(st.name, QString("P"));
    s.handleUnsolicited(peerStatsNotice(8, 2));
    QVERIFY(!s.peerStatsById().contains(7));
    QVERIFY(s.peerStatsById().contains(8));
    QVERIFY(s.delayGraphData().seriesFor(7));
    QVERIFY(s.lossGraphData().seriesFor(7));
    QCOMPARE(s.lossGraphData().seriesFor(8)->correction.first(), 3 + 2);
}

void DeviceUnits::historiesBoundedNewestFirst()
{
    ProbeSession s;
    for (int n = 1; n <= 31; ++n)
        s.handleUnsolicited(peerStatsNotice(7, n));
    const DelayGraphData::Series *d = s.delayGraphData().seriesFor(7);
    QCOMPARE(d->samples.size(), 30);
    QCOMPARE(d->desired.size(), 30);
    QCOMPARE(d->samples.first(), qMakePair(31, 131));
    QCOMPARE(d->samples.last(), qMakePair(2, 102));
    QCOMPARE(d->desired.first(), 231);
    const LossGraphData::Series *l = s.lossGraphData().seriesFor(7);
    QCOMPARE(l->frameLoss.size(), 30);
    QCOMPARE(l->frameLoss.first(), 331);
    QCOMPARE(l->remoteLoss.last(), 402);
    QCOMPARE(l->correction.first(), 34);
    QCOMPARE(s.lossGraphData().capacity(), 30);
}

void DeviceUnits::noActivePeerClearsHistories()
{
    ProbeSession s;
    s.handleResponse(peerListAnswer({peer(7, "P", true)}));
    s.handleUnsolicited(peerStatsNotice(7, 1));
    s.handleResponse(peerListAnswer({peer(7, "P", true)}));
    QVERIFY(s.delayGraphData().seriesFor(7));
    QSignalSpy changed(&s.lossGraphData(), &GraphData::dataChanged);
    s.handleResponse(peerListAnswer({peer(7, "P", false)}));
    QVERIFY(s.delayGraphData().keys().isEmpty());
    QVERIFY(s.lossGraphData().keys().isEmpty());
    QCOMPARE(changed.count(), 1);
}

void DeviceUnits::disconnectAllEmptiesPeerStats()
{
    ProbeSession s;
    s.handleUnsolicited(peerStatsNotice(7, 1));
    QSignalSpy spy(&s, &IPCObject::recvPeerStats);
    s.clearQueue();
    s.disconnectAll();
    QVERIFY(s.peerStatsById().isEmpty());
    QCOMPARE(spy.count(), 0);
    const auto sent = s.queuedMessages();
    QCOMPARE(sent.size(), size_t(1));
    QCOMPARE(sent[0].name(), std::string("disconnect"));
    QVERIFY(sent[0].attributes().empty());
}

void DeviceUnits::commands()
{
    ProbeSession s;
    s.disconnectPeer(4);
    s.setPeerSettings(4, 2);
    s.addPeer("N", "10.0.0.1", "pw");
    s.addPeer("N", "10.0.0.1", "pw", "02:5E:00:00:00:01");
    Message src = xml("<peer id=\"3\" name=\"Copy\" addr=\"10.1.1.1\" password=\"x\" use_weftline=\"true\"/>");
    s.copyPeer(src);
    s.removePeer(9);
    s.setProfile(xml("<profile id=\"5\"><settings name=\"S\"/></profile>"));
    s.addNewProfile();
    s.copyProfile("Dup", 5);
    s.deleteProfile(5);
    auto q = s.queuedMessages();
    QCOMPARE(q.size(), size_t(10));
    QCOMPARE(q[0].name(), std::string("disconnect"));
    QCOMPARE(q[0].attr("id")->kind(), AttrValue::Int);
    QCOMPARE(q[1].name(), std::string("setPeerSettings"));
    QCOMPARE(q[1].get_int("profile"), 2);
    QCOMPARE(q[1].attr("profile")->kind(), AttrValue::Int);
    QCOMPARE(q[1].get_string("seq"), std::string("setPeerSettings"));
    QCOMPARE(q[2].get_string("seq"), std::string("addPeer"));
    QVERIFY(!q[2].has_attribute("use_weftline"));
    QCOMPARE(q[3].attr("use_weftline")->kind(), AttrValue::Bool);
    QCOMPARE(q[3].get_string("unit"), std::string("02:5E:00:00:00:01"));
    QCOMPARE(q[4].name(), std::string("addPeer"));
    QVERIFY(!q[4].has_attribute("seq"));
    QCOMPARE(q[4].get_string("password"), std::string("x"));
    QCOMPARE(q[4].get_string("unit"), std::string()); // absent: empty text
    QCOMPARE(q[4].attr("unit")->kind(), AttrValue::String);
    QCOMPARE(q[4].attr("use_weftline")->kind(), AttrValue::Bool);
    QVERIFY(q[4].get_bool("use_weftline"));
    QCOMPARE(q[5].name(), std::string("removePeer"));
    QCOMPARE(q[6].name(), std::string("setProfile"));
    QCOMPARE(q[6].get_string("seq"), std::string("setProfile"));
    QVERIFY(q[6].has_child("settings"));
    QCOMPARE(q[7].name(), std::string("addProfile"));
    QVERIFY(!q[7].has_attribute("seq"));
    QCOMPARE(q[7].get_child("settings").get_string("name"), std::string("New Profile..."));
    QCOMPARE(q[8].name(), std::string("copyProfile"));
    QCOMPARE(q[8].attr("id")->kind(), AttrValue::Int);
    QCOMPARE(q[8].get_string("name"), std::string("Dup"));
    QCOMPARE(q[9].name(), std::string("deleteProfile"));

    s.clearQueue();
    s.setSysOptions(xml("<sysOptions unit_name=\"U\"/>"));
    s.meteringOff();
    QVERIFY(!s.meteringEnabled());
    s.meteringOn();
    QVERIFY(s.meteringEnabled());
    q = s.queuedMessages();
    QCOMPARE(q[0].name(), std::string("setSysOptions"));
    QCOMPARE(q[0].get_string("seq"), std::string("setSysOptions"));
    QCOMPARE(q[1].name(), std::string("monitor"));
    QCOMPARE(q[1].attributes().size(), size_t(1));
    QCOMPARE(q[1].attr("metering")->kind(), AttrValue::Bool);
    QVERIFY(!q[1].get_bool("metering"));
    QVERIFY(q[2].get_bool("metering"));
    QCOMPARE(q[2].attr("meterInterval")->kind(), AttrValue::Int);
    QCOMPARE(q[2].get_int("meterInterval"), 70);

    // Loading a configuration sets the flag alone; the next login applies it.
    s.clearQueue();
    s.setMeteringEnabled(false);
    QVERIFY(!s.meteringEnabled());
    QVERIFY(s.queuedMessages().empty());
}

void DeviceUnits::connectPeerRules()
{
    ProbeSession s;
    s.handleResponse(xml("<resp seq=\"profileList\"><profile id=\"2\" default=\"true\"><settings name=\"D\"/></profile>"
                         "<profile id=\"4\"><settings name=\"O\"/></profile></resp>"));
    s.handleResponse(peerListAnswer({peer(1, "Same", false, "profile=\"4\""), peer(2, "Default", false, "profile=\"0\""),
                                     peer(3, "Other", false, "profile=\"2\"")}));
    s.clearQueue();
    QVERIFY(!s.connectPeer("99", "4"));
    // An empty or non-numeric profile id would read as 0: the entry's profile would change.
    QVERIFY(!s.connectPeer("3", ""));
    QVERIFY(!s.connectPeer("3", "x4"));
    QVERIFY(s.queuedMessages().empty());

    QVERIFY(s.connectPeer("1", "4"));
    QCOMPARE(s.queuedNames(), (std::vector<std::string>{"connect"}));
    const Message c = s.queuedMessages()[0];
    QCOMPARE(c.attr("id")->kind(), AttrValue::String);
    QCOMPARE(c.get_string("id"), std::string("1"));

    s.clearQueue();
    QVERIFY(s.connectPeer("2", "2"));
    QCOMPARE(s.queuedNames(), (std::vector<std::string>{"connect"}));

    s.clearQueue();
    QVERIFY(s.connectPeer("3", "4"));
    QCOMPARE(s.queuedNames(), (std::vector<std::string>{"setPeerSettings", "connect"}));
    QCOMPARE(s.queuedMessages()[0].get_int("id"), 3);
    QCOMPARE(s.queuedMessages()[0].get_int("profile"), 4);
}

void DeviceUnits::copyPeerKeys_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("weftline");

    QTest::newRow("the codec's own keys") << "pw=\"p1\" weftline=\"true\"" << "p1" << true;
    QTest::newRow("the longer keys only") << "password=\"p2\" use_weftline=\"true\"" << "p2" << true;
    QTest::newRow("both: the codec's own win") << "pw=\"p3\" password=\"old\" weftline=\"false\" use_weftline=\"true\""
                                               << "p3" << false;
    QTest::newRow("neither") << "" << "" << false;
}

void DeviceUnits::copyPeerKeys()
{
    QFETCH(QString, attributes);
    QFETCH(QString, password);
    QFETCH(bool, weftline);
    ProbeSession s;
    const std::string text = "<peer id=\"3\" name=\"N\" addr=\"10.1.1.1:9000\" unit=\"02:5E:00:00:00:07\" "
        + attributes.toStdString() + "/>";
    s.copyPeer(xml(text.c_str()));
    QCOMPARE(s.queuedMessages().size(), size_t(1));
    const Message m = s.queuedMessages()[0];
    QCOMPARE(QString::fromStdString(m.get_string("password")), password);
    QCOMPARE(m.get_bool("use_weftline"), weftline);
    QCOMPARE(m.get_string("addr"), std::string("10.1.1.1:9000"));
    QVERIFY(!m.has_attribute("pw") && !m.has_attribute("weftline"));
}

void DeviceUnits::profileCopyWrittenOnce()
{
    ProbeSession s;
    const Message first = xml("<profile id=\"3\"><settings name=\"First\"/></profile>");
    const Message second = xml("<profile id=\"4\"><settings name=\"Second\"/></profile>");
    s.addProfileFor(first);
    s.addProfileFor(second);
    QCOMPARE(s.pendingProfileCount(), 2);
    QCOMPARE(s.pendingProfile().get_child("settings").get_string("name"), std::string("First"));
    QCOMPARE(s.queuedNames(), (std::vector<std::string>{"addProfile", "addProfile"}));
    QCOMPARE(s.queuedMessages()[0].get_string("seq"), std::string("addProfile"));
    s.clearQueue();

    s.handleResponse(xml("<resp seq=\"addProfile\" id=\"11\"/>"));
    s.handleResponse(xml("<resp seq=\"addProfile\" id=\"12\"/>"));
    s.handleResponse(xml("<resp seq=\"addProfile\" id=\"13\"/>")); // nothing left to write
    const auto q = s.queuedMessages();
    QCOMPARE(q.size(), size_t(2));
    QCOMPARE(q[0].name(), std::string("setProfile"));
    QCOMPARE(q[0].get_string("seq"), std::string("setProfile"));
    QCOMPARE(q[0].get_int("id"), 11);
    QCOMPARE(q[0].get_child("settings").get_string("name"), std::string("First"));
    QCOMPARE(q[1].get_int("id"), 12);
    QCOMPARE(q[1].get_child("settings").get_string("name"), std::string("Second"));
    QCOMPARE(s.pendingProfileCount(), 0);
}

void DeviceUnits::profileCopyRefused()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvAddProfile);
    s.addProfileFor(xml("<profile id=\"3\"><settings name=\"First\"/></profile>"));
    s.clearQueue();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("profile copy dropped"));
    s.handleResponse(xml("<resp seq=\"addProfile\" fail=\"true\" error_code=\"400\"/>"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 0);
    QVERIFY(s.queuedMessages().empty());
    QCOMPARE(s.pendingProfileCount(), 0);
}

void DeviceUnits::versionNoticeFetchesTheRecord()
{
    ProbeSession s;
    QSignalSpy version(&s, &IPCObject::recvVersion);
    s.handleUnsolicited(xml("<unso id=\"version\"><version version=\"8.1\"/></unso>"));
    QVERIFY(s.queuedMessages().empty());
    QVERIFY(s.findChild<QTimer *>("versionTimer")->isActive());
    QTRY_COMPARE(s.queuedNames(), (std::vector<std::string>{"getVersion"}));
    QCOMPARE(s.queuedMessages()[0].get_string("seq"), std::string("version"));
    QCOMPARE(version.count(), 0);
    s.handleResponse(xml("<resp seq=\"version\" version=\"8.2\"/>"));
    QCOMPARE(version.count(), 1);
}

void DeviceUnits::bareVersionIsTheRecord()
{
    ProbeSession s;
    s.set_protocol_version(0);
    QSignalSpy version(&s, &IPCObject::recvVersion);
    s.handleUnsolicited(xml("<version version=\"4.0.3\"/>"));
    QCOMPARE(version.count(), 1);
    Message cached;
    QVERIFY(s.cachedMessage("version", cached));
    QCOMPARE(cached.get_string("version"), std::string("4.0.3"));
    // No request follows: the fetch is not even scheduled.
    QVERIFY(!s.findChild<QTimer *>("versionTimer")->isActive());
    QVERIFY(s.queuedMessages().empty());
}

void DeviceUnits::reconnectAfterDestroyDoesNothing()
{
    QPointer<ProbeSession> s = new ProbeSession;
    QSignalSpy spy(s.data(), QOverload<QUuid>::of(&IPCObject::reconnect));
    s->reconnect();
    QCOMPARE(spy.count(), 1);
    s->destroySession();
    QVERIFY(s->isClosing());
    s->reconnect();
    QCOMPARE(spy.count(), 1);
    QTRY_VERIFY(s.isNull());
}

void DeviceUnits::alertsAndAddresses()
{
    ProbeSession s;
    QCOMPARE(s.alertSound(QV_EVENT_AUDIO_CONNECTION_STARTED), QString());
    s.setAlertSound(QV_EVENT_AUDIO_CONNECTION_ENDED, "mute");
    s.setAlertSound(QV_EVENT_DEVICE_OFFLINE, "/tmp/x.wav");
    QCOMPARE(s.alertSound(QV_EVENT_AUDIO_CONNECTION_ENDED), QString("mute"));
    QCOMPARE(s.alertSounds().size(), 2);
    QVERIFY(s.emailAddresses().isEmpty());
    s.setEmailAddresses({"a@b.cd", "e@f.gh"});
    QCOMPARE(s.emailAddresses(), (QStringList{"a@b.cd", "e@f.gh"}));
}

void DeviceUnits::sessionTable()
{
    IQCommonApp common; // a manager of its own, never started
    IPCManager &manager = common.manager()->manager();
    SessionTable table(common.manager());
    QSignalSpy added(&table, &SessionTable::sessionAdded);
    QSignalSpy removed(&table, &SessionTable::sessionRemoved);

    const QUuid uuid = QUuid::createUuid();
    QPointer<IPCObject> a = table.create(uuid);
    QVERIFY(a);
    QCOMPARE(a->uuid(), uuid);
    QCOMPARE(table.session(uuid), a.data());
    QVERIFY(!table.create(uuid)); // one session per uuid
    QCOMPARE(manager.find_endpoint(uuid.toString().toStdString()), static_cast<IPCEndpoint *>(a.data()));
    QPointer<IPCObject> b = table.create();
    QVERIFY(b && !b->uuid().isNull());
    QCOMPARE(table.count(), 2);
    QCOMPARE(added.count(), 2);

    // The name is taken: a second session under it is refused.
    QVERIFY(!IPCObject::create(uuid, common.manager()));

    table.remove(uuid);
    QVERIFY(!table.contains(uuid));
    QCOMPARE(removed.count(), 1);
    QVERIFY(a->isClosing());
    QVERIFY(!manager.find_endpoint(uuid.toString().toStdString()));
    QTRY_VERIFY(a.isNull());

    // A session that ends itself leaves the table.
    b->destroySession();
    QTRY_VERIFY(b.isNull());
    QCOMPARE(table.count(), 0);
    QCOMPARE(removed.count(), 2);
    QCOMPARE(manager.endpoint_count(), size_t(0));
}

void DeviceUnits::sarvelConfigAsText()
{
    ProbeSession s;
    QSignalSpy spy(&s, &IPCObject::recvSarvelConfig);
    s.cb_resp_sarvelConfig();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toString(), QString());
    s.handleUnsolicited(xml("<unso id=\"unso\"><sarvelConfig a=\"1\"><item b=\"2\"/></sarvelConfig></unso>"));
    QCOMPARE(spy.count(), 2);
    const QString text = spy.at(1).at(1).toString();
    QVERIFY2(text.startsWith("<sarvelConfig"), qPrintable(text));
    QVERIFY(text.contains("\n"));
    QVERIFY(text.contains("<item b=\"2\"/>"));
    QVERIFY(!text.contains("<?xml"));
}

QTEST_GUILESS_MAIN(DeviceUnits)
#include "tst_device_units.moc"
