// The address book's and the profile editor's pure rules, row by row: peer
// rows, the list filter, the profile tree and its selection.

#include "connections/listfilter.h"
#include "connections/peerrows.h"
#include "connections/profilerows.h"
#include "qtmessage.h"

#include <QtTest>

Q_DECLARE_METATYPE(PeerRow::Mark)

namespace {

Message xml(const QString &text)
{
    const std::string s = text.toStdString();
    Message m;
    m.parse(s.data(), s.size());
    return m;
}

// Two channels, the second without remote settings; profile options of
// every kind on channel 1, one advanced, plus options that never show.
ProfileTreeInput input(const QString &profile, bool advanced)
{
    ProfileTreeInput in;
    in.profile = xml(profile);
    in.channelList = xml("<channelList><channel id=\"1\" descr=\"Primary\"/>"
                         "<channel id=\"2\" descr=\"Mobile\" remote_opts=\"false\"/></channelList>");
    in.codecList = xml("<codecList><codec id=\"3\" code=\"AAC\" mode=\"Stereo\" name=\"128k\"/></codecList>");
    in.channelOpts = xml(
        "<channelOpts>"
        "<option name=\"encoder\" display_name=\"Encoder\" type=\"codec\" default=\"3\" channel=\"1\" profile_opt=\"true\"/>"
        "<option name=\"buffer\" display_name=\"Buffer\" type=\"int\" default=\"250\" channel=\"1\" profile_opt=\"true\"/>"
        "<option name=\"frame\" display_name=\"Frame\" type=\"int\" default=\"20\" channel=\"1\" profile_opt=\"true\" "
        "advanced=\"true\"/>"
        "<option name=\"auto\" display_name=\"Mode\" type=\"bool\" default=\"true\" label_true=\"Automatic\" "
        "label_false=\"Fixed\" channel=\"1\" profile_opt=\"true\"/>"
        "<option name=\"mono\" display_name=\"Mono\" type=\"bool\" default=\"false\" channel=\"1\" profile_opt=\"true\"/>"
        "<option name=\"fec\" display_name=\"FEC\" type=\"select\" default=\"low\" channel=\"1\" profile_opt=\"true\">"
        "<select name=\"Low\" value=\"low\"/><select name=\"High\" value=\"high\"/></option>"
        "<option name=\"mtu\" display_name=\"MTU\" type=\"int\" default=\"1500\" channel=\"1\" channel_opt=\"true\"/>"
        "<option name=\"buffer\" display_name=\"Buffer\" type=\"int\" default=\"400\" channel=\"2\" profile_opt=\"true\"/>"
        "</channelOpts>");
    in.advanced = advanced;
    return in;
}

const char *const OnChannel1 = "<profile id=\"4\"><settings name=\"Show\" channel=\"1\"/>"
                               "<local encoder=\"3\" fec=\"high\" auto=\"false\"/></profile>";

QStringList labels(const ProfileGroup &g)
{
    QStringList out;
    for (const ProfileRow &r : g.rows)
        out << r.label + "=" + r.value;
    return out;
}

} // namespace

class UiConnectionsRules : public QObject
{
    Q_OBJECT

private slots:
    void peerRow_data();
    void peerRow();
    void filter_data();
    void filter();
    void profileTree();
    void remoteRows();
    void advancedToggleKeepsSelection_data();
    void advancedToggleKeepsSelection();
};

void UiConnectionsRules::peerRow_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<PeerRow::Mark>("mark");

    QTest::newRow("address-book entry")
        << "<peer id=\"1\" name=\"Studio A\" addr=\"10.0.0.9:9000\" profile=\"4\"/>"
        << QStringList{"Studio A", "10.0.0.9", "", "", "No"} << PeerRow::Mark::Idle;
    QTest::newRow("in a call, through the tunnel")
        << "<peer id=\"2\" name=\"Van\" addr=\"10.0.0.2\" active=\"true\" chan_state=\"Connected\" weftline=\"true\" "
           "rx_codec=\"AAC: Stereo 128k\"/>"
        << QStringList{"Van", "10.0.0.2", "Connected", "AAC: Stereo 128k", "Yes"} << PeerRow::Mark::Active;
    QTest::newRow("incoming call") << "<peer id=\"-7\" name=\"Caller\" addr=\"192.0.2.1\" active=\"true\"/>"
                                   << QStringList{"Caller", "(incoming)", "", "", "No"} << PeerRow::Mark::Active;
    QTest::newRow("directory, online")
        << "<peer id=\"1001\" name=\"Remote\"><directory state=\"Available\" online=\"true\"/></peer>"
        << QStringList{"Remote", "", "Available", "", "No"} << PeerRow::Mark::DirectoryOnline;
    QTest::newRow("directory, offline")
        << "<peer id=\"1002\" name=\"Gone\"><directory state=\"Offline\" online=\"false\"/></peer>"
        << QStringList{"Gone", "", "Offline", "", "No"} << PeerRow::Mark::DirectoryOffline;
}

void UiConnectionsRules::peerRow()
{
    QFETCH(QString, peer);
    QFETCH(QStringList, texts);
    QFETCH(PeerRow::Mark, mark);
    const PeerMeta meta(xml(peer));
    const PeerRow row = PeerRows::row(meta);
    QCOMPARE(row.texts, texts);
    QCOMPARE(row.mark, mark);
    QCOMPARE(row.id, meta.id);
    QCOMPARE(row.active, meta.active);
    QCOMPARE(row.directory, meta.directory.has_value());
    QCOMPARE(row.profile, QString::number(meta.profile));
}

void UiConnectionsRules::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<bool>>("visible");
    QTest::addColumn<QString>("style");

    // Rows as the peer tree searches them: name and address.
    QTest::newRow("empty shows all") << "" << QVector<bool>{true, true, true} << "background-color: #FFF;";
    QTest::newRow("name, any case") << "studio" << QVector<bool>{true, false, false} << "background-color: #FF6;";
    QTest::newRow("address only") << "10.0.0" << QVector<bool>{true, true, false} << "background-color: #FF6;";
    QTest::newRow("incoming rows by their address text") << "incoming" << QVector<bool>{false, false, true}
                                                         << "background-color: #FF6;";
    QTest::newRow("nothing matches") << "zzz" << QVector<bool>{false, false, false} << "background-color: #F64;";
}

void UiConnectionsRules::filter()
{
    QFETCH(QString, text);
    QFETCH(QVector<bool>, visible);
    QFETCH(QString, style);
    const QVector<QStringList> rows = {{"Studio A", "10.0.0.9"}, {"Van", "10.0.0.2"}, {"Caller", "(incoming)"}};
    const ListFilter::Result r = ListFilter::apply(text, rows);
    QCOMPARE(r.visible, visible);
    QCOMPARE(r.styleSheet, style);
}

void UiConnectionsRules::profileTree()
{
    const QVector<ProfileGroup> g = ProfileRows::build(input(OnChannel1, false));
    QCOMPARE(g.size(), 3);
    QCOMPARE(g[0].label, QString("Global Settings"));
    QCOMPARE(labels(g[0]), (QStringList{"Profile Name=Show", "Channel=Primary"}));
    QCOMPARE(g[0].rows[1].group, QString("settings"));
    // Channel 1's profile options in their order: no channel option, no advanced one, nothing of channel 2.
    QCOMPARE(labels(g[1]), (QStringList{"Encoder=AAC: Stereo 128k", "Buffer=250", "Mode=Fixed", "Mono=Not Enabled",
                                        "FEC=High"}));
    QCOMPARE(g[1].rows[3].key(), QString("localmono"));
    QCOMPARE(g[1].rows[0].type, QString("codec"));
}

void UiConnectionsRules::remoteRows()
{
    // No "remote" record: the remote rows show the defaults...
    const ProfileTreeInput in = input(OnChannel1, false);
    const QVector<ProfileGroup> g = ProfileRows::build(in);
    QCOMPARE(g[2].label, QString("Remote Settings"));
    QCOMPARE(labels(g[2]), (QStringList{"Encoder=AAC: Stereo 128k", "Buffer=250", "Mode=Automatic", "Mono=Not Enabled",
                                        "FEC=Low"}));
    QCOMPARE(g[2].rows[0].group, QString("remote"));

    // ...and the first edit creates it, leaving the local side alone.
    const Message edited = ProfileRows::withValue(in.profile, "remote", "encoder", "!follow");
    QVERIFY(!in.profile.has_child("remote"));
    QCOMPARE(edited.get_child("remote").get_string("encoder"), std::string("!follow"));
    QCOMPARE(edited.get_child("local").get_string("encoder"), std::string("3"));
    ProfileTreeInput next = in;
    next.profile = edited;
    QCOMPARE(ProfileRows::build(next)[2].rows[0].value, QString("Follow local encoder"));

    // A channel with "remote_opts" false: no remote group at all, the channel's own options only.
    const QVector<ProfileGroup> mobile = ProfileRows::build(
        input("<profile id=\"5\"><settings name=\"Mobile\" channel=\"2\"/><remote buffer=\"90\"/></profile>", true));
    QCOMPARE(mobile.size(), 2);
    QCOMPARE(labels(mobile[1]), QStringList{"Buffer=400"});
}

void UiConnectionsRules::advancedToggleKeepsSelection_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("advanced");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("row");

    QTest::newRow("a plain setting, advanced shown") << "remotefec" << true << 2 << 5;
    QTest::newRow("the same, advanced hidden") << "remotefec" << false << 2 << 4;
    QTest::newRow("an advanced setting while shown") << "localframe" << true << 1 << 2;
    QTest::newRow("once hidden: the first row") << "localframe" << false << 0 << 0;
    QTest::newRow("nothing selected yet") << "" << false << 0 << 0;
}

void UiConnectionsRules::advancedToggleKeepsSelection()
{
    QFETCH(QString, key);
    QFETCH(bool, advanced);
    QFETCH(int, group);
    QFETCH(int, row);
    const QVector<ProfileGroup> g = ProfileRows::build(input(OnChannel1, advanced));
    const ProfileRowPath path = ProfileRows::rowToSelect(g, key);
    QCOMPARE(path.group, group);
    QCOMPARE(path.row, row);
    if (!key.isEmpty() && group > 0)
        QCOMPARE(g[group].rows[row].key(), key);
}

QTEST_GUILESS_MAIN(UiConnectionsRules)
#include "tst_ui_connections_rules.moc"
