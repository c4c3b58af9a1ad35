// The settings editor's model without widgets: where an edit is written,
// which complete requests a save gives, and how working copies follow the
// device (refreshes, discards, tunnel confirmations). The records are in the
// versioned codec's answer form: elements named "resp" with their seq.

#include "qtmessage.h"
#include "settings/settingsmodel.h"

#include <QtTest>

namespace {

Message &option(Message &parent, const char *name, const char *display, const char *type, const char *def)
{
    Message &o = parent.add_child("option");
    o.set_string("name", name);
    o.set_string("display_name", display);
    o.set_string("type", type);
    o.set_string("default", def);
    o.set_string("descr", "");
    return o;
}

Message &systemOption(Message &opts, const char *name, const char *display, const char *type, const char *group,
                      const char *title, const char *subgroup)
{
    Message &o = option(opts, name, display, type, "");
    o.set_string("group", group);
    o.set_string("group_name", title);
    o.set_string("subgroup", subgroup);
    return o;
}

Message answer(const char *seq)
{
    Message m("resp");
    m.set_string("seq", seq);
    return m;
}

SettingsSources sources()
{
    SettingsSources s;
    Message sysDesc("systemOpts");
    systemOption(sysDesc, "unit_name", "Unit Name", "string", "general", "General", "");
    systemOption(sysDesc, "backup_peer", "Backup Peer", "peer", "general", "General", "");
    systemOption(sysDesc, "input_gain", "Input Gain", "int", "audio", "Audio", "audio");
    systemOption(sysDesc, "test_tone", "Test Tone", "bool", "audio", "Audio", "audio").set_bool("advanced", true);
    systemOption(sysDesc, "server", "Server Address", "string", "directoryServer", "Pallister Server", "");
    s.records.insert("systemOpts", sysDesc);

    Message sys = answer("sysOptions");
    sys.set_string("unit_name", "Desk");
    sys.set_string("backup_peer", "2");
    sys.add_child("audio").set_string("input_gain", "0");
    s.records.insert("sysOptions", sys);

    Message ds = answer("directoryServer");
    ds.set_string("server", "dir1");
    s.records.insert("directoryServer", ds);

    Message chanDesc = answer("channelOpts");
    for (const char *id : {"1", "2"}) {
        Message &mtu = option(chanDesc, "mtu", "MTU", "int", "1500");
        mtu.set_string("channel", id);
        mtu.set_bool("channel_opt", true);
    }
    Message &profileOnly = option(chanDesc, "encoder", "Encoder", "codec", "4");
    profileOnly.set_string("channel", "1");
    profileOnly.set_bool("profile_opt", true);
    s.records.insert("channelOpts", chanDesc);

    Message channels = answer("channelList");
    Message &c1 = channels.add_child("channel");
    c1.set_string("id", "1");
    c1.set_string("descr", "Ethernet 1");
    c1.set_string("mtu", "1400");
    Message &c2 = channels.add_child("channel");
    c2.set_string("id", "2");
    c2.set_string("descr", "Cellular"); // no "mtu": its default holds
    s.records.insert("channelList", channels);

    Message weft = answer("weftlineSettings");
    Message &group = weft.add_child("node").add_child("group");
    group.set_string("name", "tunnel");
    Message &mode = group.add_child("option");
    mode.set_string("name", "mode");
    mode.set_string("display_name", "Bonding Mode");
    mode.set_string("type", "select");
    mode.set_string("default_value", "bonded");
    mode.set_string("value", "bonded");
    for (const char *v : {"bonded", "redundant", "failover"}) {
        Message &c = mode.add_child("select");
        c.set_string("name", v);
        c.set_string("value", v);
    }
    s.records.insert("weftlineSettings", weft);

    s.peers = {PeerChoice{"2", "Alpha", "10.0.0.2"}, PeerChoice{"3", "Beta", ""}};
    return s;
}

SettingsModel loaded(const SettingsSources &s = sources())
{
    SettingsModel m;
    m.load(s);
    return m;
}

QString weftlineValue(const Message &m, const char *name)
{
    const Message *node = m.find_child("node");
    const Message *group = node ? node->find_child("group") : &m;
    for (int i = 0; group && i < group->child_count("option"); ++i) {
        const Message &o = group->get_child("option", i);
        if (o.get_string("name") == name)
            return get_qstring(o, "value");
    }
    return QStringLiteral("<none>");
}

/** "a/b" is attribute b of child a; "option:x" the value of tunnel option x. */
QString at(const Message &m, const QString &path)
{
    if (path.startsWith("option:"))
        return weftlineValue(m, path.mid(7).toLatin1().constData());
    const QStringList parts = path.split('/');
    const Message *node = &m;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        node = node->find_child(parts.at(i).toStdString());
        if (!node)
            return QStringLiteral("<none>");
    }
    return node->has_attribute(parts.last().toStdString()) ? get_qstring(*node, parts.last().toStdString())
                                                           : QStringLiteral("<none>");
}

SettingRow rowFor(const SettingsModel &m, const QString &key)
{
    for (const SettingGroup &g : m.groups()) {
        for (const SettingRow &r : g.rows) {
            if (r.key == key)
                return r;
        }
    }
    return SettingRow();
}

QStringList names(const QList<Message> &requests)
{
    QStringList out;
    for (const Message &r : requests)
        out << QString::fromStdString(r.name());
    return out;
}

} // namespace

class SettingsModelTest : public QObject
{
    Q_OBJECT

private slots:
    void saveGivesCompleteRequestsOfTheEditedGroup_data();
    void saveGivesCompleteRequestsOfTheEditedGroup();
    void peerOptionListsPeersThenNoPeer();
    void channelOptionWithoutValueUsesItsDefault();
    void oldFirmwareHasNoTunnelSettings();
    void savedGroupsAreNotSentAgain();
    void tunnelConfirmationIsCopiedBack();
    void refreshKeepsUnsavedGroups();
    void discardReloadsEveryGroup();
    void treeGroupsSettingsByTitleAndName();
};

void SettingsModelTest::saveGivesCompleteRequestsOfTheEditedGroup_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("seq");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("notAt");

    QTest::newRow("system, top level") << "unit_name" << "Studio 2" << "setSysOptions" << "setSysOptions"
                                       << "unit_name" << "audio/unit_name";
    QTest::newRow("system, subgroup") << "input_gain" << "6" << "setSysOptions" << "setSysOptions"
                                      << "audio/input_gain" << "input_gain";
    QTest::newRow("directory server only") << "server" << "dir2" << "setDirectoryServer" << "setDirectoryServer"
                                           << "server" << "unit_name";
    QTest::newRow("channel") << "2:mtu" << "1200" << "setChannelSettings" << "setChannelSettings"
                             << "channel/mtu" << "channel/dirty";
    QTest::newRow("tunnel") << "weftline:mode" << "redundant" << "cfgSetOption" << "setWeftlineOptions"
                            << "option:mode" << "";
    QTest::newRow("nothing edited") << "" << "" << "" << "" << "" << "";
    QTest::newRow("unknown setting") << "nosuch" << "1" << "" << "" << "" << "";
}

void SettingsModelTest::saveGivesCompleteRequestsOfTheEditedGroup()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, request);
    QFETCH(QString, seq);
    QFETCH(QString, where);
    QFETCH(QString, notAt);

    SettingsModel m = loaded();
    if (!key.isEmpty())
        QCOMPARE(m.setValue(key, value), !request.isEmpty());
    const QList<Message> out = m.save();
    if (request.isEmpty()) {
        QVERIFY(out.isEmpty());
        return;
    }
    QCOMPARE(names(out), QStringList{request});
    const Message &r = out.first();
    QCOMPARE(get_qstring(r, "seq"), seq);
    QCOMPARE(at(r, where), value);
    if (!notAt.isEmpty())
        QCOMPARE(at(r, notAt), QStringLiteral("<none>"));
    if (request == "setChannelSettings")
        QCOMPARE(get_qstring(r, "id"), QStringLiteral("2"));
    if (request == "cfgSetOption")
        QCOMPARE(get_qstring(r, "path"), QStringLiteral("netmgr.tunnel"));
    QCOMPARE(m.value(key), value);
}

void SettingsModelTest::peerOptionListsPeersThenNoPeer()
{
    SettingsModel m = loaded();
    const SettingRecord *r = m.record("backup_peer");
    QVERIFY(r);
    QCOMPARE(r->option.type, QStringLiteral("select"));
    QStringList texts, values;
    for (const OptionChoice &c : r->option.choices) {
        texts << c.name;
        values << c.value;
    }
    QCOMPARE(texts, (QStringList{"Alpha (10.0.0.2)", "Beta", "(No Peer)"}));
    QCOMPARE(values, (QStringList{"2", "3", "0"}));

    QVERIFY(m.setValue("backup_peer", "0"));
    QCOMPARE(at(m.save().first(), "backup_peer"), QStringLiteral("0"));

    m.setPeers({});
    QCOMPARE(m.record("backup_peer")->option.choices.size(), 1);
    QCOMPARE(rowFor(m, "backup_peer").valueText, QStringLiteral("(No Peer)"));
}

void SettingsModelTest::channelOptionWithoutValueUsesItsDefault()
{
    SettingsModel m = loaded();
    QCOMPARE(m.value("2:mtu"), QStringLiteral("1500"));
    QCOMPARE(rowFor(m, "2:mtu").valueText, QStringLiteral("1500"));
    QCOMPARE(m.value("1:mtu"), QStringLiteral("1400"));
    QVERIFY(!m.record("1:encoder")); // a profile setting, not a channel one
    QVERIFY(m.setValue("2:mtu", "1500"));
    const QList<Message> out = m.save();
    QCOMPARE(at(out.first(), "channel/mtu"), QStringLiteral("1500"));
}

void SettingsModelTest::oldFirmwareHasNoTunnelSettings()
{
    SettingsSources s = sources();
    s.versioned = false;
    SettingsModel m = loaded(s);
    for (const SettingGroup &g : m.groups())
        QVERIFY(g.title != QLatin1String("Weftline"));
    QVERIFY(!m.setValue("weftline:mode", "redundant"));
    QVERIFY(m.setValue("unit_name", "Old"));
    QCOMPARE(names(m.save()), QStringList{"setSysOptions"});
}

void SettingsModelTest::savedGroupsAreNotSentAgain()
{
    SettingsModel m = loaded();
    QVERIFY(m.setValue("unit_name", "A"));
    QVERIFY(m.setValue("1:mtu", "1300"));
    QVERIFY(m.setValue("weftline:mode", "failover"));
    QCOMPARE(names(m.save()), (QStringList{"setSysOptions", "cfgSetOption", "setChannelSettings"}));
    QVERIFY(!m.hasChanges());
    QVERIFY(!m.channels().value("1").has_attribute("dirty"));
    QVERIFY(m.save().isEmpty());

    Message confirmed = answer("setWeftlineOptions");
    Message &o = confirmed.add_child("option");
    o.set_string("name", "mode");
    o.set_string("value", "failover");
    m.confirmWeftline(confirmed, sources().records.value("weftlineSettings"));
    QVERIFY(m.save().isEmpty());
    for (const SettingGroup &g : m.groups()) {
        for (const SettingRow &r : g.rows)
            QVERIFY2(!r.edited, qPrintable(r.key));
    }
}

void SettingsModelTest::tunnelConfirmationIsCopiedBack()
{
    SettingsModel m = loaded();
    const Message described = sources().records.value("weftlineSettings");
    QVERIFY(m.setValue("weftline:mode", "redundant"));
    m.save();
    // The codec may settle on another value than the one asked for.
    Message confirmed = answer("setWeftlineOptions");
    Message &o = confirmed.add_child("option");
    o.set_string("name", "mode");
    o.set_string("value", "failover");
    m.confirmWeftline(confirmed, described);
    QCOMPARE(m.value("weftline:mode"), QStringLiteral("failover"));

    QVERIFY(m.setValue("weftline:mode", "redundant"));
    m.save();
    Message refused = answer("setWeftlineOptions");
    refused.set_bool("fail", true);
    refused.set_int("error_code", 400);
    m.confirmWeftline(refused, described);
    QCOMPARE(m.value("weftline:mode"), QStringLiteral("bonded"));
    QVERIFY(!m.hasChanges());
}

void SettingsModelTest::refreshKeepsUnsavedGroups()
{
    SettingsModel m = loaded();
    QVERIFY(m.setValue("unit_name", "Mine"));
    QVERIFY(m.setValue("2:mtu", "1280"));

    SettingsSources pushed = sources();
    pushed.records["sysOptions"].set_string("unit_name", "Theirs");
    pushed.records["directoryServer"].set_string("server", "dir9");
    pushed.records["channelList"].get_child("channel", 0).set_string("mtu", "1000");
    pushed.records["channelList"].get_child("channel", 1).set_string("mtu", "900");
    m.load(pushed);

    QCOMPARE(m.value("unit_name"), QStringLiteral("Mine"));
    QCOMPARE(m.value("2:mtu"), QStringLiteral("1280"));
    QCOMPARE(m.value("server"), QStringLiteral("dir9"));
    QCOMPARE(m.value("1:mtu"), QStringLiteral("1000"));
    QCOMPARE(names(m.save()), (QStringList{"setSysOptions", "setChannelSettings"}));

    // An error answer in the cache never replaces a copy.
    SettingsSources broken = pushed;
    broken.records["sysOptions"] = answer("sysOptions");
    broken.records["sysOptions"].set_bool("fail", true);
    QTest::ignoreMessage(QtWarningMsg, "bad sysOptions message");
    m.load(broken);
    QCOMPARE(m.value("unit_name"), QStringLiteral("Mine"));
}

void SettingsModelTest::discardReloadsEveryGroup()
{
    SettingsModel m = loaded();
    QVERIFY(m.setValue("unit_name", "x"));
    QVERIFY(m.setValue("server", "x"));
    QVERIFY(m.setValue("1:mtu", "600"));
    QVERIFY(m.setValue("weftline:mode", "failover"));
    m.discard(sources());
    QVERIFY(!m.hasChanges());
    QCOMPARE(m.value("unit_name"), QStringLiteral("Desk"));
    QCOMPARE(m.value("server"), QStringLiteral("dir1"));
    QCOMPARE(m.value("1:mtu"), QStringLiteral("1400"));
    QCOMPARE(m.value("weftline:mode"), QStringLiteral("bonded"));
    QVERIFY(m.save().isEmpty());
}

void SettingsModelTest::treeGroupsSettingsByTitleAndName()
{
    SettingsModel m = loaded();
    QStringList titles;
    for (const SettingGroup &g : m.groups())
        titles << g.title;
    QCOMPARE(titles, (QStringList{"Audio", "Cellular", "Ethernet 1", "General", "Pallister Server", "Weftline"}));
    const SettingGroup audio = m.groups().first();
    QCOMPARE(audio.rows.size(), 2);
    QCOMPARE(audio.rows.at(0).displayName, QStringLiteral("Input Gain"));
    QVERIFY(audio.rows.at(1).advanced);
    QVERIFY(m.setValue("input_gain", "3"));
    QVERIFY(rowFor(m, "input_gain").edited);

    SettingsSources none = sources();
    none.records.remove("systemOpts");
    none.records.remove("channelOpts");
    none.records.remove("weftlineSettings");
    QTest::ignoreMessage(QtWarningMsg, "missing systemOpts");
    QTest::ignoreMessage(QtWarningMsg, "missing channelOpts");
    QTest::ignoreMessage(QtWarningMsg, "missing weftlineSettings");
    SettingsModel empty = loaded(none);
    QVERIFY(empty.groups().isEmpty());
}

QTEST_APPLESS_MAIN(SettingsModelTest)
#include "tst_ui_settingsmodel.moc"
