// Every command a client sends: its answer, its effect in the next pushed
// record, and the error answers for unknown ids and bad values.

#include "simfixture.h"

using codecsim::Options;

namespace {

const Message *peerById(const Message &list, int id)
{
    for (int i = 0; i < list.child_count(); ++i) {
        if (list.get_child(i).get_int("id") == id)
            return &list.get_child(i);
    }
    return nullptr;
}

const Message *profileById(const Message &list, int id)
{
    return peerById(list, id);
}

} // namespace

class TestCodecsimCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimFixture> m_sim;
    std::unique_ptr<SimTestClient> m_c;

    Message fetch(const char *command, const char *seq)
    {
        m_c->send(SimTestClient::request(command, seq));
        Message m;
        if (!m_c->waitResp(seq, m))
            qWarning("no answer to %s", command);
        return m;
    }

    /** Sends a command and returns the error answer it must get. */
    Message expectError(const Message &command, const std::string &seq)
    {
        m_c->send(command);
        Message m;
        if (seq.empty())
            m_c->waitFor([](const Message &x) { return x.name() == "resp" && x.has_attribute("fail"); }, m);
        else
            m_c->waitResp(seq, m);
        return m;
    }

private slots:
    void initTestCase() { quietSimulatorLog(); }

    void init()
    {
        Options o;
        o.seed = 11;
        m_sim = std::make_unique<SimFixture>(o);
        QVERIFY(m_sim->ok());
        m_c = std::make_unique<SimTestClient>();
        QVERIFY(m_c->connectTo(m_sim->port()));
        QVERIFY(m_c->loginVersioned());
    }

    void cleanup()
    {
        m_c.reset();
        m_sim.reset();
    }

    void connectAndDisconnect()
    {
        Message m;
        Message connect("connect");
        connect.set_string("id", "2");
        m_c->send(connect);
        QVERIFY(m_c->waitPushed("peerList", m));
        const Message *p = peerById(m, 2);
        QVERIFY(p);
        QVERIFY(p->get_bool("active"));
        QVERIFY(p->get_bool("transmitting"));
        QVERIFY(p->get_bool("receiving"));
        QVERIFY(!p->get_string("channel").empty());
        QVERIFY(!p->get_string("rx_codec").empty());
        QCOMPARE(p->get_string("chan_state"), std::string("Connected"));
        QVERIFY(m_c->waitUnso("currentEncoder", m));
        QVERIFY(m.get_bool("active"));

        Message disconnect("disconnect");
        disconnect.set_int("id", 2);
        m_c->send(disconnect);
        QVERIFY(m_c->waitPushed("peerList", m));
        QVERIFY(!peerById(m, 2)->get_bool("active"));
        QVERIFY(!peerById(m, 2)->has_attribute("channel"));
    }

    void disconnectAll()
    {
        Message m;
        for (const char *id : {"1", "3"}) {
            Message connect("connect");
            connect.set_string("id", id);
            m_c->send(connect);
            QVERIFY(m_c->waitPushed("peerList", m));
        }
        QVERIFY(peerById(m, 1)->get_bool("active") && peerById(m, 3)->get_bool("active"));
        m_c->send(Message("disconnect"));
        QVERIFY(m_c->waitPushed("peerList", m));
        for (int i = 0; i < m.child_count(); ++i)
            QVERIFY(!m.get_child(i).get_bool("active"));
    }

    void callErrors()
    {
        Message connect("connect");
        connect.set_string("id", "999");
        Message m = expectError(connect, "");
        QCOMPARE(m.get_int("error_code"), 404);
        QVERIFY(!m.get_string("error_text").empty());

        Message disconnect("disconnect");
        disconnect.set_int("id", 1);
        m = expectError(disconnect, "");
        QVERIFY(m.get_bool("fail"));

        connect.set_string("id", "two");
        m = expectError(connect, "");
        QCOMPARE(m.get_int("error_code"), 400);
    }

    void addPeerBothForms()
    {
        Message add("addPeer");
        add.set_string("seq", "addPeer");
        add.set_string("name", "New Desk");
        add.set_string("addr", "10.9.8.7:9001");
        add.set_string("password", "pw");
        m_c->send(add);
        Message m;
        QVERIFY(m_c->waitResp("addPeer", m));
        const int id = m.get_int("id");
        QVERIFY(id > 0);
        QVERIFY(m_c->waitPushed("peerList", m));
        const Message *p = peerById(m, id);
        QVERIFY(p);
        QCOMPARE(p->get_string("name"), std::string("New Desk"));
        QCOMPARE(p->get_string("addr"), std::string("10.9.8.7:9001"));
        QCOMPARE(p->get_string("pw"), std::string("pw"));
        QVERIFY(p->get_bool("stored"));
        QVERIFY(!p->get_bool("weftline"));
        QVERIFY(!p->has_child("directory"));

        Message tunnel("addPeer");
        tunnel.set_string("seq", "addPeer");
        tunnel.set_string("name", "Tunnel Desk");
        tunnel.set_string("addr", "10.9.8.6");
        tunnel.set_string("password", "");
        tunnel.set_bool("use_weftline", true);
        tunnel.set_string("unit", "02:11:22:33:44:55");
        m_c->send(tunnel);
        QVERIFY(m_c->waitResp("addPeer", m));
        const int id2 = m.get_int("id");
        QVERIFY(id2 != id);
        QVERIFY(m_c->waitPushed("peerList", m));
        QVERIFY(peerById(m, id2)->get_bool("weftline"));
        QCOMPARE(peerById(m, id2)->get_string("unit"), std::string("02:11:22:33:44:55"));

        // the copy form: no seq, no answer, just the pushed list
        Message copy("addPeer");
        copy.set_string("addr", "10.1.1.1");
        copy.set_string("password", "");
        copy.set_string("name", "Copied");
        copy.set_string("unit", "");
        copy.set_bool("use_weftline", false);
        m_c->send(copy);
        QVERIFY(m_c->waitPushed("peerList", m));
        bool found = false;
        for (int i = 0; i < m.child_count(); ++i)
            found |= m.get_child(i).get_string("name") == "Copied";
        QVERIFY(found);
    }

    void addPeerErrors()
    {
        Message add("addPeer");
        add.set_string("seq", "addPeer");
        add.set_string("name", "No Address");
        add.set_string("addr", "");
        Message m = expectError(add, "addPeer");
        QCOMPARE(m.get_int("error_code"), 400);

        add.set_string("addr", "10.0.0.1");
        add.set_bool("use_weftline", true);
        add.set_string("unit", "not-a-mac");
        m = expectError(add, "addPeer");
        QCOMPARE(m.get_int("error_code"), 400);
        QVERIFY(m.get_string("error_text").find("unit") != std::string::npos);
    }

    void setPeerSettingsEditsAndAssigns()
    {
        Message edit("setPeerSettings");
        edit.set_int("id", 4);
        edit.set_string("addr", "10.4.4.4");
        edit.set_string("name", "Renamed");
        edit.set_string("password", "secret");
        edit.set_string("unit", "02:AA:BB:CC:DD:EE");
        edit.set_bool("weftline", true);
        m_c->send(edit);
        Message m;
        QVERIFY(m_c->waitPushed("peerList", m));
        const Message *p = peerById(m, 4);
        QCOMPARE(p->get_string("name"), std::string("Renamed"));
        QCOMPARE(p->get_string("addr"), std::string("10.4.4.4"));
        QCOMPARE(p->get_string("pw"), std::string("secret"));
        QVERIFY(p->get_bool("weftline"));

        Message assign("setPeerSettings");
        assign.set_string("seq", "setPeerSettings");
        assign.set_int("id", 4);
        assign.set_int("profile", 5);
        m_c->send(assign);
        QVERIFY(m_c->waitResp("setPeerSettings", m));
        QVERIFY(!m.has_attribute("fail"));
        QVERIFY(m_c->waitPushed("peerList", m));
        QCOMPARE(peerById(m, 4)->get_int("profile"), 5);

        assign.set_int("profile", 77);
        m = expectError(assign, "setPeerSettings");
        QCOMPARE(m.get_int("error_code"), 404);
        assign.set_int("id", 555);
        assign.set_int("profile", 0);
        m = expectError(assign, "setPeerSettings");
        QCOMPARE(m.get_int("error_code"), 404);
    }

    void removePeer()
    {
        Message connect("connect");
        connect.set_string("id", "6");
        m_c->send(connect);
        Message m;
        QVERIFY(m_c->waitPushed("peerList", m));
        Message remove("removePeer");
        remove.set_int("id", 6);
        m_c->send(remove);
        QVERIFY(m_c->waitPushed("peerList", m));
        QVERIFY(!peerById(m, 6));

        // directory peers are the directory's, not ours to remove
        int directoryId = 0;
        for (int i = 0; i < m.child_count(); ++i) {
            if (m.get_child(i).has_child("directory"))
                directoryId = m.get_child(i).get_int("id");
        }
        if (directoryId) {
            remove.set_int("id", directoryId);
            m = expectError(remove, "");
            QCOMPARE(m.get_int("error_code"), 403);
        }
    }

    void setProfileEditsAndValidates()
    {
        Message list = fetch("getProfileList", "profileList");
        // a profile of the operator's (not factory)
        Message profile;
        for (int i = 0; i < list.child_count(); ++i) {
            if (!list.get_child(i).get_child("settings").get_bool("factory")) {
                profile = list.get_child(i);
                break;
            }
        }
        const int id = profile.get_int("id");
        profile.setName("setProfile");
        profile.set_string("seq", "setProfile");
        profile.get_child("settings").set_string("name", "Evening Show");
        profile.get_child("local").set_string("buffer_delay", "400");
        m_c->send(profile);
        Message m;
        QVERIFY(m_c->waitResp("setProfile", m));
        QVERIFY(!m.has_attribute("fail"));
        QVERIFY(m_c->waitPushed("profileList", m));
        const Message *p = profileById(m, id);
        QCOMPARE(p->get_child("settings").get_string("name"), std::string("Evening Show"));
        QCOMPARE(p->get_child("local").get_string("buffer_delay"), std::string("400"));

        profile.get_child("local").set_string("buffer_delay", "5"); // below the minimum
        m = expectError(profile, "setProfile");
        QCOMPARE(m.get_int("error_code"), 400);
        QVERIFY(m.get_string("error_text").find("buffer_delay") != std::string::npos);
        profile.get_child("local").set_string("buffer_delay", "400");
        profile.get_child("local").set_string("encoder", "9999");
        m = expectError(profile, "setProfile");
        QCOMPARE(m.get_int("error_code"), 400);
        profile.get_child("local").set_string("encoder", "3");
        profile.get_child("local").set_string("fec", "extreme");
        m = expectError(profile, "setProfile");
        QCOMPARE(m.get_int("error_code"), 400);

        // only the remote side may follow the local encoder
        profile.get_child("local").set_string("fec", "low");
        Message *remote = profile.find_child("remote");
        if (!remote)
            remote = &profile.add_child("remote");
        remote->set_string("encoder", "!follow");
        m_c->send(profile);
        QVERIFY(m_c->waitResp("setProfile", m));
        QVERIFY(!m.has_attribute("fail"));
    }

    void defaultProfileAndFactoryProfiles()
    {
        Message list = fetch("getProfileList", "profileList");
        Message factory;
        for (int i = 0; i < list.child_count(); ++i) {
            if (list.get_child(i).get_child("settings").get_bool("factory")) {
                factory = list.get_child(i);
                break;
            }
        }
        const int id = factory.get_int("id");
        // making a factory profile the default is allowed ...
        factory.setName("setProfile");
        factory.set_string("seq", "setProfile");
        factory.set_bool("default", true);
        m_c->send(factory);
        Message m;
        QVERIFY(m_c->waitResp("setProfile", m));
        QVERIFY(!m.has_attribute("fail"));
        QVERIFY(m_c->waitPushed("profileList", m));
        int defaults = 0;
        for (int i = 0; i < m.child_count(); ++i)
            defaults += m.get_child(i).get_bool("default") ? 1 : 0;
        QCOMPARE(defaults, 1);
        QVERIFY(profileById(m, id)->get_bool("default"));
        // ... changing its settings is not, nor removing it
        factory.get_child("settings").set_string("name", "Mine Now");
        m = expectError(factory, "setProfile");
        QCOMPARE(m.get_int("error_code"), 403);
        Message del("deleteProfile");
        del.set_int("id", id);
        m = expectError(del, "");
        QCOMPARE(m.get_int("error_code"), 403);
    }

    void addProfileReturnsItsId()
    {
        Message add("addProfile");
        add.set_string("seq", "addProfile");
        m_c->send(add);
        Message m;
        QVERIFY(m_c->waitResp("addProfile", m));
        const int id = m.get_int("id");
        QVERIFY(id > 6);
        QVERIFY(m_c->waitPushed("profileList", m));
        QVERIFY(profileById(m, id));

        // the new-profile form: no seq, named by its settings child
        Message named("addProfile");
        named.add_child("settings").set_string("name", "New Profile...");
        m_c->send(named);
        QVERIFY(m_c->waitPushed("profileList", m));
        const Message &last = m.get_child(m.child_count() - 1);
        QCOMPARE(last.get_child("settings").get_string("name"), std::string("New Profile..."));
        QVERIFY(last.get_int("id") > id);

        // a copy written into the new id, as copying to another codec does
        Message write("setProfile");
        write.set_string("seq", "setProfile");
        write.set_int("id", id);
        Message &settings = write.add_child("settings");
        settings.set_string("name", "Copied Over");
        settings.set_string("channel", "1");
        write.add_child("local").set_string("encoder", "8");
        m_c->send(write);
        QVERIFY(m_c->waitResp("setProfile", m));
        QVERIFY(!m.has_attribute("fail"));
        QVERIFY(m_c->waitPushed("profileList", m));
        QCOMPARE(profileById(m, id)->get_child("settings").get_string("name"), std::string("Copied Over"));
    }

    void copyAndDeleteProfile()
    {
        Message copy("copyProfile");
        copy.set_int("id", 4);
        copy.set_string("name", "Morning Show (Copy)");
        m_c->send(copy);
        Message m;
        QVERIFY(m_c->waitPushed("profileList", m));
        const Message &added = m.get_child(m.child_count() - 1);
        QCOMPARE(added.get_child("settings").get_string("name"), std::string("Morning Show (Copy)"));
        QVERIFY(!added.get_child("settings").get_bool("factory"));
        QVERIFY(!added.get_bool("default"));
        const int id = added.get_int("id");

        Message assign("setPeerSettings");
        assign.set_int("id", 1);
        assign.set_int("profile", id);
        m_c->send(assign);
        QVERIFY(m_c->waitPushed("peerList", m));

        Message del("deleteProfile");
        del.set_int("id", id);
        m_c->send(del);
        QVERIFY(m_c->waitPushed("profileList", m));
        QVERIFY(!profileById(m, id));
        // the peer that used it follows the default profile again
        QVERIFY(m_c->waitPushed("peerList", m));
        QCOMPARE(peerById(m, 1)->get_int("profile"), 0);

        copy.set_int("id", 4242);
        m = expectError(copy, "");
        QCOMPARE(m.get_int("error_code"), 404);
    }

    void setSysOptionsTopLevelAndSubgroup()
    {
        Message opts = fetch("getSysOptions", "sysOptions");
        opts.setName("setSysOptions");
        opts.set_string("seq", "setSysOptions");
        opts.set_string("unit_name", "Renamed Unit");
        opts.get_child("audio").set_string("input_gain", "-3");
        opts.get_child("sip").set_string("sip_enabled", "true");
        opts.get_child("sip").set_string("sip_proxy", "sip.example");
        opts.get_child("sip").set_string("sip_user", "desk");
        m_c->send(opts);
        Message m;
        QVERIFY(m_c->waitResp("setSysOptions", m));
        QVERIFY(!m.has_attribute("fail"));
        QVERIFY(m_c->waitPushed("sysOptions", m));
        QCOMPARE(m.get_string("unit_name"), std::string("Renamed Unit"));
        QCOMPARE(m.get_child("audio").get_string("input_gain"), std::string("-3"));
        QVERIFY(!m.has_attribute("input_gain"));
        QVERIFY(m_c->waitUnso("sipProxy", m));
        QCOMPARE(m.get_child("online").value(), std::string("true"));

        opts.get_child("audio").set_string("input_gain", "99");
        m = expectError(opts, "setSysOptions");
        QCOMPARE(m.get_int("error_code"), 400);
        opts.get_child("audio").set_string("input_gain", "0");
        opts.set_string("backup_peer", "31337");
        m = expectError(opts, "setSysOptions");
        QCOMPARE(m.get_int("error_code"), 400);
        opts.set_string("backup_peer", "3");
        m_c->send(opts);
        QVERIFY(m_c->waitPushed("sysOptions", m));
        QCOMPARE(m.get_string("backup_peer"), std::string("3"));
    }

    void setDirectoryServer()
    {
        Message ds = fetch("getDirectoryServer", "directoryServer");
        ds.setName("setDirectoryServer");
        ds.set_string("seq", "setDirectoryServer");
        Message m;
        if (!ds.get_bool("enabled")) {
            ds.set_string("enabled", "true");
            m_c->send(ds);
            QVERIFY(m_c->waitPushed("directoryServer", m));
        }
        ds.set_string("enabled", "false");
        ds.set_string("server", "dir2.example");
        m_c->send(ds);
        QVERIFY(m_c->waitResp("setDirectoryServer", m));
        QVERIFY(m_c->waitPushed("directoryServer", m));
        QCOMPARE(m.get_string("server"), std::string("dir2.example"));
        QCOMPARE(m.get_child("enabled").value(), std::string("false"));
        QCOMPARE(m.get_child("connected").value(), std::string("false"));
        // without the directory there are no directory peers
        QVERIFY(m_c->waitPushed("peerList", m));
        for (int i = 0; i < m.child_count(); ++i)
            QVERIFY(!m.get_child(i).has_child("directory"));

        ds.set_string("port", "0");
        m = expectError(ds, "setDirectoryServer");
        QCOMPARE(m.get_int("error_code"), 400);
    }

    void setChannelSettings()
    {
        Message list = fetch("getChannelList", "channelList");
        Message channel = list.get_child("channel", 1);
        channel.set_string("udp_port", "9500");
        channel.set_bool("dirty", true);
        Message set("setChannelSettings");
        set.set_string("seq", "setChannelSettings");
        set.set_string("id", channel.get_string("id"));
        set.append_copy(channel);
        m_c->send(set);
        Message m;
        QVERIFY(m_c->waitResp("setChannelSettings", m));
        QVERIFY(!m.has_attribute("fail"));
        QVERIFY(m_c->waitPushed("channelList", m));
        QCOMPARE(m.get_child("channel", 1).get_string("udp_port"), std::string("9500"));
        QVERIFY(!m.get_child("channel", 1).has_attribute("dirty"));

        set.get_child("channel").set_string("ifname", "eth7");
        m = expectError(set, "setChannelSettings");
        QCOMPARE(m.get_int("error_code"), 400);
        set.set_string("id", "12");
        m = expectError(set, "setChannelSettings");
        QCOMPARE(m.get_int("error_code"), 404);
    }

    void tunnelOptions()
    {
        Message w;
        Message describe("cfgDescribe");
        describe.set_string("seq", "weftlineSettings");
        describe.set_string("path", "netmgr.tunnel");
        m_c->send(describe);
        QVERIFY(m_c->waitResp("weftlineSettings", w));
        Message set = w.get_child("node").get_child("group");
        set.setName("cfgSetOption");
        set.set_string("seq", "setWeftlineOptions");
        set.set_string("path", "netmgr.tunnel");
        set.get_child_by_attribute("option", "name", "max_delay").set_string("value", "450");
        m_c->send(set);
        Message m;
        QVERIFY(m_c->waitResp("setWeftlineOptions", m));
        QVERIFY(!m.has_attribute("fail"));
        QCOMPARE(m.get_child_by_attribute("option", "name", "max_delay").get_string("value"), std::string("450"));
        QVERIFY(m_c->waitPushed("weftlineSettings", m));
        const Message &opt = m.get_child("node").get_child("group").get_child_by_attribute("option", "name", "max_delay");
        QCOMPARE(opt.get_string("value"), std::string("450"));

        set.get_child_by_attribute("option", "name", "max_delay").set_string("value", "1");
        m = expectError(set, "setWeftlineOptions");
        QCOMPARE(m.get_int("error_code"), 400);
        set.set_string("path", "netmgr.other");
        m = expectError(set, "setWeftlineOptions");
        QCOMPARE(m.get_int("error_code"), 404);
    }

    void changesReachEveryClient()
    {
        SimTestClient other;
        QVERIFY(other.connectTo(m_sim->port()));
        QVERIFY(other.loginVersioned());
        Message connect("connect");
        connect.set_string("id", "1");
        m_c->send(connect);
        Message m;
        QVERIFY(other.waitPushed("peerList", m));
        QVERIFY(peerById(m, 1)->get_bool("active"));
    }
};

QTEST_APPLESS_MAIN(TestCodecsimCommands)
#include "tst_codecsim_commands.moc"
