// What qvctl prints: the text a person reads and the JSON lines a script
// parses, and the limit on level lines.

#include "ctlformat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cfloat>

using namespace qvctl;

namespace {

QJsonObject object(const QString &line)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning("not a JSON object: %s", qPrintable(line));
        return QJsonObject();
    }
    return doc.object();
}

StatusInfo sampleStatus()
{
    StatusInfo s;
    s.host = QStringLiteral("10.0.0.5");
    s.port = 8080;
    s.unitName = QStringLiteral("Studio \"A\" — Nord");
    s.firmware = QStringLiteral("8.4.2");
    s.protocolVersion = 1;
    s.state = QStringLiteral("READY");
    s.peers = 12;
    s.profiles = 6;
    s.connections = {{QStringLiteral("3"), QStringLiteral("Stadium West")}, {QStringLiteral("1001"), QStringLiteral("Bluefin FM")}};
    return s;
}

} // namespace

class TestQvctlFormat : public QObject
{
    Q_OBJECT

private slots:
    void statusAsText()
    {
        const QStringList lines = Formatter(false).status(sampleStatus());
        QCOMPARE(lines.value(0), QStringLiteral("codec: 10.0.0.5:8080"));
        QVERIFY(lines.contains(QStringLiteral("unit: Studio \"A\" — Nord")));
        QVERIFY(lines.contains(QStringLiteral("firmware: 8.4.2")));
        QVERIFY(lines.contains(QStringLiteral("protocol: 1 (versioned)")));
        QVERIFY(lines.contains(QStringLiteral("state: READY")));
        QVERIFY(lines.contains(QStringLiteral("peers: 12")));
        QVERIFY(lines.contains(QStringLiteral("profiles: 6")));
        const int at = lines.indexOf(QStringLiteral("connections: 2"));
        QVERIFY(at > 0);
        // ids in one column, names in the next
        QCOMPARE(lines.value(at + 1), QStringLiteral("  3     Stadium West"));
        QCOMPARE(lines.value(at + 2), QStringLiteral("  1001  Bluefin FM"));
        QCOMPARE(lines.size(), at + 3);

        StatusInfo old = sampleStatus();
        old.protocolVersion = 0;
        old.connections.clear();
        old.unitName.clear();
        const QStringList oldLines = Formatter(false).status(old);
        QVERIFY(oldLines.contains(QStringLiteral("protocol: 0 (unversioned)")));
        QVERIFY(oldLines.contains(QStringLiteral("unit: -")));
        QCOMPARE(oldLines.last(), QStringLiteral("connections: 0"));
    }

    void statusAsJson()
    {
        const QStringList lines = Formatter(true).status(sampleStatus());
        QCOMPARE(lines.size(), 1);
        QVERIFY(!lines.first().contains(QLatin1Char('\n')));
        const QJsonObject o = object(lines.first());
        QCOMPARE(o.value("codec").toString(), QStringLiteral("10.0.0.5:8080"));
        QCOMPARE(o.value("unit").toString(), QStringLiteral("Studio \"A\" — Nord"));
        QCOMPARE(o.value("firmware").toString(), QStringLiteral("8.4.2"));
        QCOMPARE(o.value("protocol").toInt(), 1);
        QCOMPARE(o.value("versioned").toBool(), true);
        QCOMPARE(o.value("state").toString(), QStringLiteral("READY"));
        QCOMPARE(o.value("peers").toInt(), 12);
        QCOMPARE(o.value("profiles").toInt(), 6);
        const QJsonArray c = o.value("connections").toArray();
        QCOMPARE(c.size(), 2);
        QCOMPARE(c.at(1).toObject().value("id").toString(), QStringLiteral("1001"));
        QCOMPARE(c.at(1).toObject().value("name").toString(), QStringLiteral("Bluefin FM"));
    }

    void peersTableColumnsLineUp()
    {
        PeerRow a{QStringLiteral("1"), QStringLiteral("Outside Broadcast 1"), QStringLiteral("10.1.2.3:5004"),
                  QStringLiteral("Connected"), true, 5};
        PeerRow b{QStringLiteral("1001"), QStringLiteral("FM"), QString(), QStringLiteral("Offline"), false, 0};
        const QStringList lines = Formatter(false).peers({a, b});
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).startsWith(QLatin1String("ID")));
        const int nameColumn = lines.at(0).indexOf(QLatin1String("NAME"));
        const int profileColumn = lines.at(0).indexOf(QLatin1String("PROFILE"));
        QCOMPARE(lines.at(1).indexOf(QLatin1String("Outside")), nameColumn);
        QCOMPARE(lines.at(2).indexOf(QLatin1String("FM")), nameColumn);
        QCOMPARE(lines.at(1).mid(profileColumn), QStringLiteral("5"));
        QCOMPARE(lines.at(2).mid(profileColumn), QStringLiteral("0"));
        QVERIFY(lines.at(1).contains(QLatin1String(" yes ")));
        QVERIFY(lines.at(2).contains(QLatin1String(" no ")));
        // an empty address is shown as a dash, never as a gap that shifts the columns
        QCOMPARE(lines.at(2).indexOf(QLatin1String("-")), lines.at(0).indexOf(QLatin1String("ADDRESS")));
    }

    void peersAsJson()
    {
        PeerRow a{QStringLiteral("4"), QStringLiteral("Sports Van"), QStringLiteral("codec.example:8080"),
                  QStringLiteral("Connected"), true, 5};
        PeerRow b;
        const QStringList lines = Formatter(true).peers({a, b});
        QCOMPARE(lines.size(), 2); // one object per peer
        const QJsonObject o = object(lines.at(0));
        QCOMPARE(o.value("id").toString(), QStringLiteral("4"));
        QCOMPARE(o.value("name").toString(), QStringLiteral("Sports Van"));
        QCOMPARE(o.value("address").toString(), QStringLiteral("codec.example:8080"));
        QCOMPARE(o.value("state").toString(), QStringLiteral("Connected"));
        QCOMPARE(o.value("active").toBool(), true);
        QCOMPARE(o.value("profile").toInt(), 5);
        const QJsonObject empty = object(lines.at(1));
        QCOMPARE(empty.value("state").toString(), QString());
        QCOMPARE(empty.value("active").toBool(true), false);
        QVERIFY(Formatter(true).peers({}).isEmpty());
    }

    void profiles()
    {
        const QList<ProfileRow> rows{{QStringLiteral("1"), QStringLiteral("Voice"), true, false},
                                     {QStringLiteral("4"), QStringLiteral("Morning Show"), false, true}};
        const QStringList text = Formatter(false).profiles(rows);
        QCOMPARE(text.size(), 3);
        QCOMPARE(text.at(0), QStringLiteral("ID  NAME          FACTORY  DEFAULT"));
        QCOMPARE(text.at(1), QStringLiteral("1   Voice         yes      no"));
        QCOMPARE(text.at(2), QStringLiteral("4   Morning Show  no       yes"));

        const QStringList json = Formatter(true).profiles(rows);
        QCOMPARE(json.size(), 2);
        const QJsonObject o = object(json.at(1));
        QCOMPARE(o.value("id").toString(), QStringLiteral("4"));
        QCOMPARE(o.value("name").toString(), QStringLiteral("Morning Show"));
        QCOMPARE(o.value("factory").toBool(true), false);
        QCOMPARE(o.value("default").toBool(), true);
    }

    void records()
    {
        const QString xml = QStringLiteral("<sysOptions unit_name=\"A &amp; B\">\n    <audio gain=\"-4\"/>\n</sysOptions>\n");
        const QStringList text = Formatter(false).record(QStringLiteral("sysOptions"), xml);
        QCOMPARE(text, (QStringList{QStringLiteral("<sysOptions unit_name=\"A &amp; B\">"),
                                    QStringLiteral("    <audio gain=\"-4\"/>"), QStringLiteral("</sysOptions>")}));
        const QStringList json = Formatter(true).record(QStringLiteral("sysOptions"), xml);
        QCOMPARE(json.size(), 1);
        const QJsonObject o = object(json.first());
        QCOMPARE(o.value("key").toString(), QStringLiteral("sysOptions"));
        QCOMPARE(o.value("xml").toString(), xml.trimmed());
    }

    void connectionsAfterACommand()
    {
        const QList<Connection> active{{QStringLiteral("2"), QStringLiteral("Racecourse")}};
        QCOMPARE(Formatter(false).connections(QStringLiteral("connect"), active),
                 (QStringList{QStringLiteral("connections: 1"), QStringLiteral("  2  Racecourse")}));
        QCOMPARE(Formatter(false).connections(QStringLiteral("disconnect"), {}),
                 QStringList{QStringLiteral("connections: 0")});
        const QJsonObject o = object(Formatter(true).connections(QStringLiteral("connect"), active).value(0));
        QCOMPARE(o.value("command").toString(), QStringLiteral("connect"));
        QCOMPARE(o.value("connections").toArray().size(), 1);
        QCOMPARE(object(Formatter(true).connections(QStringLiteral("disconnect"), {}).value(0))
                     .value("connections")
                     .toArray()
                     .size(),
                 0);
    }

    void watchLines()
    {
        const QString t = QStringLiteral("12:00:01.250");
        QCOMPARE(Formatter(false).stateLine(t, QStringLiteral("DISCONNECTED")), QStringLiteral("12:00:01.250 state DISCONNECTED"));
        QCOMPARE(Formatter(false).audioLine(t, true, QStringLiteral("12:00:01 Audio connection started. Active peers: X")),
                 QStringLiteral("12:00:01.250 audio started: 12:00:01 Audio connection started. Active peers: X"));
        QCOMPARE(Formatter(false).peerListLine(t, 12, {{"3", "Stadium West"}, {"5", "Travel Desk"}}),
                 QStringLiteral("12:00:01.250 peers 12, active 2: 3 Stadium West, 5 Travel Desk"));
        QCOMPARE(Formatter(false).peerListLine(t, 0, {}), QStringLiteral("12:00:01.250 peers 0, active 0"));

        QJsonObject o = object(Formatter(true).stateLine(t, QStringLiteral("READY")));
        QCOMPARE(o.value("event").toString(), QStringLiteral("state"));
        QCOMPARE(o.value("state").toString(), QStringLiteral("READY"));
        QCOMPARE(o.value("time").toString(), t);
        o = object(Formatter(true).audioLine(t, false, QStringLiteral("text")));
        QCOMPARE(o.value("event").toString(), QStringLiteral("audio"));
        QCOMPARE(o.value("kind").toString(), QStringLiteral("ended"));
        QCOMPARE(o.value("log").toString(), QStringLiteral("text"));
        o = object(Formatter(true).peerListLine(t, 8, {{"1", "Town Hall"}}));
        QCOMPARE(o.value("event").toString(), QStringLiteral("peers"));
        QCOMPARE(o.value("entries").toInt(), 8);
        QCOMPARE(o.value("connections").toArray().at(0).toObject().value("name").toString(), QStringLiteral("Town Hall"));
    }

    void levels()
    {
        const Levels l{-12.04f, -11.96f, -0.5f, -96.0f, FLT_MIN, -20.0f, -30.0f, -40.0f};
        const QString text = Formatter(false).levelsLine(QStringLiteral("t"), l);
        QCOMPARE(text, QStringLiteral("t levels rmlf -12.0 rmrf -12.0 tmlf -0.5 tmrf -96.0 rmls - rmrs -20.0 tmls -30.0 tmrs -40.0"));
        // a value the codec left out is no value, not 0 dBFS
        const QJsonObject o = object(Formatter(true).levelsLine(QStringLiteral("t"), l));
        QCOMPARE(o.value("event").toString(), QStringLiteral("levels"));
        QCOMPARE(o.value("rmlf").toDouble(), -12.0);
        QCOMPARE(o.value("tmrf").toDouble(), -96.0);
        QVERIFY(o.value("rmls").isNull());
        QCOMPARE(o.value("tmrs").toDouble(), -40.0);
        QCOMPARE(o.size(), 10);
    }

    void errors()
    {
        const QJsonObject o = object(Formatter(true).errorLine(QStringLiteral("not ready"), 3, QStringLiteral("CONNECTED")));
        QCOMPARE(o.value("error").toString(), QStringLiteral("not ready"));
        QCOMPARE(o.value("status").toInt(), 3);
        QCOMPARE(o.value("state").toString(), QStringLiteral("CONNECTED"));
        QVERIFY(!object(Formatter(true).errorLine(QStringLiteral("x"), 1, QString())).contains("state"));
    }

    void rateLimiterAllowsTenASecond()
    {
        RateLimiter r(10);
        QCOMPARE(r.intervalMs(), qint64(100));
        QVERIFY(r.tryTake(0)); // the first line goes at once, even at time 0
        QVERIFY(!r.tryTake(1));
        QVERIFY(!r.tryTake(99));
        QCOMPARE(r.nextAllowedMs(), qint64(100));
        QVERIFY(r.tryTake(100));
        QVERIFY(!r.tryTake(150));
        QVERIFY(r.tryTake(450)); // a gap does not bank lines for later
        QVERIFY(!r.tryTake(500));

        // updates every 70 ms for ten seconds: never more than ten in any second
        RateLimiter s(10);
        QList<qint64> taken;
        for (qint64 t = 0; t < 10000; t += 70) {
            if (s.tryTake(t))
                taken.append(t);
        }
        for (int i = 0; i < taken.size(); ++i) {
            int inWindow = 0;
            for (qint64 u : taken)
                inWindow += (u >= taken[i] && u < taken[i] + 1000) ? 1 : 0;
            QVERIFY2(inWindow <= 10, qPrintable(QString::number(taken[i])));
        }
        QVERIFY(taken.size() >= 70); // and not throttled below what the limit allows
    }
};

QTEST_APPLESS_MAIN(TestQvctlFormat)
#include "tst_qvctl_format.moc"
