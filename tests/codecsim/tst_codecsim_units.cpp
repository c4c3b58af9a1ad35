// The simulator's parts that need no socket: its XML writer, its timers, and
// the generated data set (deterministic, complete, self-consistent).

#include "simdata.h"
#include "simrecords.h"
#include "simtimers.h"
#include "simxml.h"

#include <QtTest>

#include <set>

using namespace codecsim;

namespace {

Message parseWire(const std::string &wire)
{
    Message m;
    m.parse(wire.data(), wire.size() - 1); // without the 0x00
    return m;
}

bool hasAll(const Message &m, std::initializer_list<const char *> keys, QByteArray &missing)
{
    for (const char *k : keys) {
        if (!m.has_attribute(k)) {
            missing = QByteArray(m.name().c_str()) + " lacks " + k;
            return false;
        }
    }
    return true;
}

} // namespace

class TestCodecsimUnits : public QObject
{
    Q_OBJECT

private slots:
    // ---- wire writer ----

    void wireRoundTrip()
    {
        Message m("peerList");
        Message &p = m.add_child("peer");
        p.set_string("name", "Quote \" amp & lt < gt > tab\tline\ncr\r");
        p.set_int("id", -3);
        p.set_bool("active", true);
        p.set_float("level", -12.5f);
        m.add_child("empty");
        std::string wire;
        appendWire(m, wire);
        QCOMPARE(wire.back(), '\0');
        QCOMPARE(wire.find('\0'), wire.size() - 1);
        QVERIFY(wire.rfind("<?", 0) == std::string::npos);
        const Message back = parseWire(wire);
        QCOMPARE(back.get_child("peer").get_string("name"), p.get_string("name"));
        QCOMPARE(back.get_child("peer").get_int("id"), -3);
        QCOMPARE(back.get_child("peer").get_string("level"), std::string("-12.500000"));
        QVERIFY(back.has_child("empty"));
        QVERIFY(wire.find("<empty/>") != std::string::npos);
    }

    void wireWritesValuesAsText()
    {
        Message m("version");
        records::setBoth(m, "version", std::string("8.4.2 <beta> & co"));
        records::setBothFlag(m, "online", true);
        std::string wire;
        appendWire(m, wire);
        const Message back = parseWire(wire);
        QCOMPARE(back.get_string("version"), std::string("8.4.2 <beta> & co"));
        QCOMPARE(back.get_child("version").value(), std::string("8.4.2 <beta> & co"));
        QCOMPARE(back.get_child("online").value(), std::string("true"));
        QVERIFY(back.get_bool("online"));
    }

    void wireDropsUnwritableControlCharacters()
    {
        Message m("resp");
        m.set_string("error_text", std::string("bad\x01name\x1f"));
        std::string wire;
        appendWire(m, wire);
        QCOMPARE(parseWire(wire).get_string("error_text"), std::string("bad?name?"));
    }

    // ---- timers ----

    void timersFireInOrder()
    {
        TimerQueue q;
        std::vector<int> order;
        q.addOnce(3000, [&] { order.push_back(3); });
        q.addOnce(1000, [&] { order.push_back(1); });
        q.addOnce(2000, [&] { order.push_back(2); });
        QCOMPARE(q.msUntilNext(0), 1);
        q.runDue(2500);
        QCOMPARE(order, (std::vector<int>{1, 2}));
        QCOMPARE(q.msUntilNext(2500), 1);
        q.runDue(10000);
        QCOMPARE(order, (std::vector<int>{1, 2, 3}));
        QCOMPARE(q.msUntilNext(10000), -1);
    }

    void cancelledTimersNeverFire()
    {
        TimerQueue q;
        int fired = 0;
        TimerQueue::Id a = q.addOnce(1000, [&] { ++fired; });
        q.addOnce(2000, [&] { ++fired; });
        q.cancel(a);
        q.cancel(0);
        QCOMPARE(q.msUntilNext(0), 2);
        q.runDue(5000);
        QCOMPARE(fired, 1);
    }

    void periodicTimerRepeatsAndCanCancelItself()
    {
        TimerQueue q;
        int fired = 0;
        TimerQueue::Id id = 0;
        id = q.addPeriodic(1000, 1000, [&] {
            if (++fired == 3)
                q.cancel(id);
        });
        for (uint64_t t = 1000; t <= 10000; t += 1000)
            q.runDue(t);
        QCOMPARE(fired, 3);
        QVERIFY(!q.active(id));
        QCOMPARE(q.size(), size_t(0));
    }

    void periodicTimerDoesNotBurstAfterAStall()
    {
        TimerQueue q;
        int fired = 0;
        q.addPeriodic(1000, 1000, [&] { ++fired; });
        q.runDue(1000000); // the loop was away for a second
        QCOMPARE(fired, 1);
        QVERIFY(q.msUntilNext(1000000) >= 1);
    }

    void timerAddedFromCallbackRunsLater()
    {
        TimerQueue q;
        std::vector<int> order;
        q.addOnce(1000, [&] {
            order.push_back(1);
            q.addOnce(1500, [&] { order.push_back(2); });
        });
        q.runDue(1000);
        QCOMPARE(order, std::vector<int>{1});
        q.runDue(2000);
        QCOMPARE(order, (std::vector<int>{1, 2}));
    }

    // ---- data set ----

    void sameSeedSameCodec()
    {
        const Descriptions d = Descriptions::build();
        const CodecState a = CodecState::generate(d, 42, 7, false);
        const CodecState b = CodecState::generate(d, 42, 7, false);
        QVERIFY(records::peerList(a, d, 0) == records::peerList(b, d, 0));
        QVERIFY(records::profileList(a) == records::profileList(b));
        QVERIFY(records::sysOptions(a) == records::sysOptions(b));
        QVERIFY(records::version(a) == records::version(b));
        const CodecState c = CodecState::generate(d, 43, 7, false);
        QVERIFY(!(records::peerList(a, d, 0) == records::peerList(c, d, 0)));
    }

    void everyCodecOfAFleetIsItsOwn()
    {
        const Descriptions d = Descriptions::build();
        std::set<std::string> names, macs;
        for (int i = 0; i < 300; ++i) {
            const CodecState s = CodecState::generate(d, 1, i, false);
            names.insert(s.sys.at("unit_name"));
            macs.insert(s.nodeId);
            QVERIFY(isMacAddress(s.nodeId));
        }
        QCOMPARE(names.size(), size_t(300));
        QCOMPARE(macs.size(), size_t(300));
    }

    void peerRecordsCarryEveryField()
    {
        const Descriptions d = Descriptions::build();
        CodecState s = CodecState::generate(d, 5, 0, false);
        s.peers[0].active = true;
        s.peers[0].channel = "1";
        s.peers[0].txEncoder = s.peers[0].rxEncoder = "4";
        const Message list = records::peerList(s, d, 0);
        QVERIFY(list.child_count("peer") >= 12);
        int directory = 0, tunnel = 0, withPassword = 0, withUnit = 0;
        QByteArray missing;
        for (int i = 0; i < list.child_count(); ++i) {
            const Message &p = list.get_child(i);
            QVERIFY2(hasAll(p, {"stored", "active", "chan_state", "can_connect", "id", "profile", "addr", "name",
                                "backup_id", "unit", "retry_primary", "weftline", "use_weftline"},
                            missing),
                     missing.constData());
            if (p.get_bool("active"))
                QVERIFY2(hasAll(p, {"channel", "state", "transmitting", "receiving", "channels", "rx_codec"}, missing),
                         missing.constData());
            if (const Message *dir = p.find_child("directory")) {
                ++directory;
                QVERIFY2(hasAll(*dir, {"product", "state", "online"}, missing), missing.constData());
            } else {
                QVERIFY2(hasAll(p, {"pw", "password"}, missing), missing.constData());
                withPassword += p.get_string("pw").empty() ? 0 : 1;
            }
            tunnel += p.get_bool("weftline") ? 1 : 0;
            withUnit += isMacAddress(p.get_string("unit")) ? 1 : 0;
        }
        QVERIFY(directory >= 3);
        QVERIFY(tunnel >= 2);
        QVERIFY(withPassword >= 1);
        QVERIFY(withUnit >= tunnel);
        QCOMPARE(list.get_child(0).get_string("chan_state"), std::string("Connected"));
    }

    void profilesAreConsistent()
    {
        const Descriptions d = Descriptions::build();
        for (int i = 0; i < 20; ++i) {
            const CodecState s = CodecState::generate(d, 9, i, false);
            const Message list = records::profileList(s);
            int defaults = 0, factory = 0, noRemote = 0;
            for (int p = 0; p < list.child_count(); ++p) {
                const Message &pr = list.get_child(p);
                defaults += pr.get_bool("default") ? 1 : 0;
                const Message &settings = pr.get_child("settings");
                factory += settings.get_bool("factory") ? 1 : 0;
                QVERIFY(!settings.get_string("name").empty());
                QVERIFY(pr.has_child("local"));
                noRemote += pr.has_child("remote") ? 0 : 1;
                // every stored setting is described for the profile's channel and holds a valid value
                for (const char *side : {"local", "remote"}) {
                    const Message *values = pr.find_child(side);
                    if (!values)
                        continue;
                    for (const auto &kv : values->attributes()) {
                        const Message *o = d.channelOption(settings.get_string("channel"), kv.first, true);
                        QVERIFY2(o, kv.first.c_str());
                        if (o->get_string("type") == "codec" && kv.second.toString() != "!follow")
                            QVERIFY(d.encoder(kv.second.toString()));
                    }
                }
            }
            QCOMPARE(list.child_count(), 6);
            QCOMPARE(defaults, 1);
            QCOMPARE(factory, 3);
            QVERIFY(noRemote >= 1);
        }
    }

    void channelsCoverEveryKind()
    {
        const Descriptions d = Descriptions::build();
        const CodecState s = CodecState::generate(d, 1, 0, false);
        const Message list = records::channelList(s);
        QCOMPARE(list.child_count(), 3);
        int advanced = 0, local = 0;
        for (int i = 0; i < 3; ++i) {
            const Message &c = list.get_child(i);
            advanced += c.get_bool("advanced") ? 1 : 0;
            local += c.get_bool("remote_opts", true) ? 0 : 1;
            QVERIFY(!c.get_string("descr").empty());
            // its option values are the channel options described for it
            QVERIFY(d.channelOption(c.get_string("id"), "udp_port", false));
            QVERIFY(c.has_attribute("udp_port"));
        }
        QCOMPARE(advanced, 1);
        QCOMPARE(local, 1);
    }

    void optionDescriptionsCoverEveryEditor()
    {
        const Descriptions d = Descriptions::build();
        std::set<std::string> sysTypes, profileTypes;
        bool boolWithLabels = false, boolWithout = false, advanced = false, subgroup = false, directory = false;
        for (int i = 0; i < d.systemOpts.child_count(); ++i) {
            const Message &o = d.systemOpts.get_child(i);
            QByteArray missing;
            QVERIFY2(hasAll(o, {"name", "display_name", "type", "default", "descr", "advanced", "group", "group_name",
                                "subgroup"},
                            missing),
                     missing.constData());
            sysTypes.insert(o.get_string("type"));
            if (o.get_string("type") == "bool")
                (o.has_attribute("label_true") ? boolWithLabels : boolWithout) = true;
            if (o.get_string("type") == "int")
                QVERIFY(o.has_attribute("min") && o.has_attribute("max"));
            if (o.get_string("type") == "select")
                QVERIFY(o.child_count("select") >= 2);
            advanced |= o.get_bool("advanced");
            subgroup |= !o.get_string("subgroup").empty();
            directory |= o.get_string("group") == "directoryServer";
        }
        QVERIFY(sysTypes.count("int") && sysTypes.count("bool") && sysTypes.count("string") &&
                sysTypes.count("select") && sysTypes.count("peer"));
        QVERIFY(boolWithLabels && boolWithout && advanced && subgroup && directory);

        bool units = false, channelOpt = false;
        for (int i = 0; i < d.channelOpts.child_count(); ++i) {
            const Message &o = d.channelOpts.get_child(i);
            if (o.get_bool("profile_opt"))
                profileTypes.insert(o.get_string("type"));
            channelOpt |= o.get_bool("channel_opt");
            units |= o.get_string("type") == "int" && !o.get_string("units").empty();
            QVERIFY(o.has_attribute("channel"));
        }
        QVERIFY(profileTypes.count("codec") && profileTypes.count("int") && profileTypes.count("bool") &&
                profileTypes.count("select") && profileTypes.count("string"));
        QVERIFY(units && channelOpt);

        const Message *codec = d.codecList.find_child("codec");
        QVERIFY(codec);
        QByteArray missing;
        QVERIFY2(hasAll(*codec, {"id", "name", "mode", "code", "descr", "quality", "delay"}, missing),
                 missing.constData());
        QVERIFY(d.codecList.child_count() >= 20);
    }

    void tunnelSettingsCarryValues()
    {
        const Descriptions d = Descriptions::build();
        const CodecState s = CodecState::generate(d, 1, 0, false);
        const Message w = records::weftlineSettings(s, d);
        const Message &group = w.get_child("node").get_child("group");
        QVERIFY(group.child_count("option") >= 5);
        bool labels = false;
        for (int i = 0; i < group.child_count(); ++i) {
            const Message &o = group.get_child(i);
            QByteArray missing;
            QVERIFY2(hasAll(o, {"name", "display_name", "type", "descr", "advanced", "default_value", "value"}, missing),
                     missing.constData());
            labels |= o.has_attribute("label_true") && o.has_attribute("label_false");
        }
        QVERIFY(labels);
    }

    void settledFieldsInBothForms()
    {
        const Descriptions d = Descriptions::build();
        const CodecState s = CodecState::generate(d, 1, 0, false);
        const Message v = records::version(s);
        QCOMPARE(v.get_child("version").value(), v.get_string("version"));
        QCOMPARE(v.get_child("node_id").value(), s.nodeId);
        const Message ds = records::directoryServer(s);
        for (const char *k : {"enabled", "connected", "nat_addr", "nat_type"})
            QCOMPARE(ds.get_child(k).value(), ds.get_string(k));
        const Message notice = records::flatNotice("sipProxy", records::sipProxy(s));
        QCOMPARE(notice.get_string("id"), std::string("sipProxy"));
        QCOMPARE(notice.get_child(0).name(), std::string("sipProxy"));
        for (const char *k : {"enabled", "online", "status"})
            QCOMPARE(notice.get_child(k).value(), notice.get_string(k));
        // the status is words, not a flag
        CodecState sip = s;
        sip.sysSub["sip"]["sip_enabled"] = "true";
        sip.sysSub["sip"]["sip_proxy"] = "sip.example";
        sip.sysSub["sip"]["sip_user"] = "desk";
        QCOMPARE(records::sipProxy(sip).get_child("status").value(), std::string("Registered"));
        sip.sysSub["sip"]["sip_user"] = "";
        QCOMPARE(records::sipProxy(sip).get_string("status"), std::string("Registration failed"));
        sip.sysSub["sip"]["sip_enabled"] = "false";
        QCOMPARE(records::sipProxy(sip).get_string("status"), std::string());
        QCOMPARE(records::sipProxy(sip).get_child("enabled").value(), std::string("false"));
    }

    void parsingHelpers()
    {
        int v = 0;
        QVERIFY(parseInt("-42", v));
        QCOMPARE(v, -42);
        QVERIFY(!parseInt("", v));
        QVERIFY(!parseInt("12abc", v));
        QVERIFY(!parseInt(" 1", v));
        QVERIFY(!parseInt("99999999999", v));
        QVERIFY(isMacAddress("02:5e:00:AB:cd:09"));
        QVERIFY(!isMacAddress("02:5e:00:AB:cd"));
        QVERIFY(!isMacAddress("02-5e-00-AB-cd-09"));
    }
};

QTEST_APPLESS_MAIN(TestCodecsimUnits)
#include "tst_codecsim_units.moc"
