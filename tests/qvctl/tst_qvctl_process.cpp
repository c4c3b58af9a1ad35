// qvctl as scripts run it: a process against simulated codecs over
// 127.0.0.1, checked by its output and exit status.

#include "qvctlfixture.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <csignal>

namespace {

// Exit statuses a script relies on.
constexpr int Ok = 0;
constexpr int Error = 1;
constexpr int AuthFailed = 2;
constexpr int NotReady = 3;
constexpr int UnknownId = 4;

QStringList withCodec(const SimProcess &sim, const QStringList &command, const QStringList &options = {})
{
    return options + QStringList{sim.address()} + command;
}

/** Whether @p xml is one well-formed element (with its children). */
bool wellFormed(const QString &xml, QString *rootName = nullptr)
{
    QXmlStreamReader r(xml);
    bool root = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && !root) {
            root = true;
            if (rootName)
                *rootName = r.name().toString();
        }
    }
    return root && !r.hasError();
}

struct PeerChoice {
    QString peer;
    QString profile;
};

} // namespace

class TestQvctlProcess : public QObject
{
    Q_OBJECT

private:
    /** An address-book peer that is idle, and a profile it does not use yet (so connect assigns it first). */
    static bool choosePeerAndProfile(const SimProcess &sim, PeerChoice &out)
    {
        const RunResult peers = runQvctl(withCodec(sim, {"peers"}, {"--json"}));
        const RunResult profiles = runQvctl(withCodec(sim, {"profiles"}, {"--json"}));
        if (peers.status != Ok || profiles.status != Ok)
            return false;
        for (const QJsonObject &p : peers.objects()) {
            if (p.value("address").toString().isEmpty() || p.value("active").toBool())
                continue;
            for (const QJsonObject &f : profiles.objects()) {
                if (f.value("default").toBool() || f.value("id").toString().toInt() == p.value("profile").toInt())
                    continue;
                out = {p.value("id").toString(), f.value("id").toString()};
                return true;
            }
        }
        return false;
    }

    static QStringList activeIds(const SimProcess &sim)
    {
        const RunResult r = runQvctl(withCodec(sim, {"status"}, {"--json"}));
        QStringList ids;
        for (const QJsonValue &c : r.objects().value(0).value("connections").toArray())
            ids.append(c.toObject().value("id").toString());
        return ids;
    }

private slots:
    void statusOfAVersionedCodec()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        const RunResult r = runQvctl(withCodec(sim, {"status"}));
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));
        const QStringList lines = r.lines();
        QCOMPARE(lines.value(0), QStringLiteral("codec: ") + sim.address());
        QVERIFY(lines.contains(QStringLiteral("protocol: 1 (versioned)")));
        QVERIFY(lines.contains(QStringLiteral("state: READY")));
        QVERIFY(lines.contains(QStringLiteral("connections: 0")));
        QVERIFY2(r.err.isEmpty(), r.err.constData()); // quiet unless something is wrong

        // The same facts as JSON, and consistent with the other commands.
        const RunResult j = runQvctl(withCodec(sim, {"status"}, {"--json"}));
        QVERIFY2(j.status == Ok && j.allJson() && j.lines().size() == 1, qPrintable(j.describe()));
        const QJsonObject o = j.objects().first();
        QCOMPARE(o.value("state").toString(), QStringLiteral("READY"));
        QCOMPARE(o.value("versioned").toBool(), true);
        QCOMPARE(o.value("protocol").toInt(), 1);
        QVERIFY(o.value("firmware").toString().startsWith(QLatin1String("8.")));
        QVERIFY(lines.contains(QStringLiteral("unit: ") + o.value("unit").toString()));
        QVERIFY(!o.value("unit").toString().isEmpty());

        const RunResult peers = runQvctl(withCodec(sim, {"peers"}, {"--json"}));
        const RunResult profiles = runQvctl(withCodec(sim, {"profiles"}, {"--json"}));
        QCOMPARE(o.value("peers").toInt(), peers.lines().size());
        QCOMPARE(o.value("profiles").toInt(), profiles.lines().size());

        const RunResult options = runQvctl(withCodec(sim, {"get", "sysOptions"}));
        QVERIFY(options.out.contains("unit_name=\"" + o.value("unit").toString().toUtf8() + "\""));
    }

    void statusOfAnUnversionedCodec()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--unversioned"}));
        const RunResult r = runQvctl(withCodec(sim, {"status"}, {"--json"}));
        QVERIFY2(r.status == Ok && r.allJson(), qPrintable(r.describe()));
        const QJsonObject o = r.objects().first();
        QCOMPARE(o.value("versioned").toBool(true), false);
        QCOMPARE(o.value("protocol").toInt(-1), 0);
        QCOMPARE(o.value("state").toString(), QStringLiteral("READY"));
        QVERIFY2(o.value("firmware").toString().startsWith(QLatin1String("4.0.")), qPrintable(r.describe()));
        QVERIFY(o.value("peers").toInt() > 0);

        const RunResult text = runQvctl(withCodec(sim, {"status"}));
        QVERIFY(text.lines().contains(QStringLiteral("protocol: 0 (unversioned)")));
    }

    void unitNameInLatin1()
    {
        // Older firmware writes ISO-8859-1: the session still gets ready, with the name right.
        SimProcess plain;
        QVERIFY(plain.start());
        const QString name = runQvctl(withCodec(plain, {"status"}, {"--json"})).objects().value(0).value("unit").toString();
        SimProcess sim;
        QVERIFY(sim.start({"--latin1-unit-name"}));
        const RunResult r = runQvctl(withCodec(sim, {"status"}, {"--json"}));
        QVERIFY2(r.status == Ok && r.allJson(), qPrintable(r.describe()));
        QCOMPARE(r.objects().value(0).value("state").toString(), QStringLiteral("READY"));
        QCOMPARE(r.objects().value(0).value("unit").toString(), QStringLiteral("Caf\u00e9 ") + name);
    }

    void statusOverIpv6()
    {
        SimProcess sim;
        if (!sim.start({}, QStringLiteral("[::1]")))
            QSKIP("no IPv6 loopback here");
        const RunResult r = runQvctl(withCodec(sim, {"status"}, {"--json"}));
        QVERIFY2(r.status == Ok && r.allJson(), qPrintable(r.describe()));
        QCOMPARE(r.objects().value(0).value("codec").toString(), sim.address());
        QCOMPARE(r.objects().value(0).value("state").toString(), QStringLiteral("READY"));
    }

    void addressBookAndProfiles()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        const RunResult peers = runQvctl(withCodec(sim, {"peers"}));
        QVERIFY2(peers.status == Ok, qPrintable(peers.describe()));
        const QStringList header = peers.lines().value(0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(header, (QStringList{"ID", "NAME", "ADDRESS", "STATE", "ACTIVE", "PROFILE"}));

        const RunResult json = runQvctl(withCodec(sim, {"peers"}, {"--json"}));
        QVERIFY2(json.status == Ok && json.allJson(), qPrintable(json.describe()));
        QCOMPARE(json.lines().size(), peers.lines().size() - 1);
        QSet<QString> ids;
        bool directoryEntry = false;
        for (const QJsonObject &p : json.objects()) {
            for (const char *key : {"id", "name", "address", "state", "active", "profile"})
                QVERIFY2(p.contains(QLatin1String(key)), key);
            ids.insert(p.value("id").toString());
            // directory entries have no address but a state from the directory
            if (p.value("address").toString().isEmpty())
                directoryEntry = directoryEntry || !p.value("state").toString().isEmpty();
        }
        QCOMPARE(ids.size(), json.lines().size());
        QVERIFY(directoryEntry);

        const RunResult profiles = runQvctl(withCodec(sim, {"profiles"}, {"--json"}));
        QVERIFY2(profiles.status == Ok && profiles.allJson(), qPrintable(profiles.describe()));
        int defaults = 0;
        int factory = 0;
        for (const QJsonObject &f : profiles.objects()) {
            QVERIFY(!f.value("id").toString().isEmpty());
            QVERIFY(!f.value("name").toString().isEmpty());
            defaults += f.value("default").toBool() ? 1 : 0;
            factory += f.value("factory").toBool() ? 1 : 0;
        }
        QCOMPARE(defaults, 1);
        QVERIFY(factory > 0 && factory < profiles.lines().size());
        const RunResult text = runQvctl(withCodec(sim, {"profiles"}));
        QCOMPARE(text.lines().size(), profiles.lines().size() + 1);
    }

    void cachedRecords()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        const RunResult r = runQvctl(withCodec(sim, {"get", "sysOptions"}));
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));
        QVERIFY(!r.out.startsWith("<?xml")); // the record, not a document
        QVERIFY(r.lines().size() > 1);       // indented, one element a line
        QVERIFY(r.lines().value(1).startsWith(QLatin1String("    <")));
        QVERIFY(wellFormed(QString::fromUtf8(r.out)));

        const RunResult j = runQvctl(withCodec(sim, {"get", "peerList"}, {"--json"}));
        QVERIFY2(j.status == Ok && j.allJson() && j.lines().size() == 1, qPrintable(j.describe()));
        const QJsonObject o = j.objects().first();
        QCOMPARE(o.value("key").toString(), QStringLiteral("peerList"));
        QVERIFY(wellFormed(o.value("xml").toString()));
        QVERIFY(o.value("xml").toString().contains(QLatin1String("<peer ")));

        const RunResult missing = runQvctl(withCodec(sim, {"get", "noSuchRecord"}));
        QCOMPARE(missing.status, Error);
        QVERIFY(missing.out.isEmpty());
        QVERIFY(missing.err.contains("\"noSuchRecord\""));
        const RunResult missingJson = runQvctl(withCodec(sim, {"get", "noSuchRecord"}, {"--json"}));
        QCOMPARE(missingJson.status, Error);
        QVERIFY(missingJson.allJson());
        QCOMPARE(missingJson.objects().value(0).value("status").toInt(), Error);
    }

    void connectThenDisconnect()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        PeerChoice c;
        QVERIFY(choosePeerAndProfile(sim, c));
        QCOMPARE(activeIds(sim), QStringList{});

        const RunResult on = runQvctl(withCodec(sim, {"connect", c.peer, c.profile}));
        QVERIFY2(on.status == Ok, qPrintable(on.describe()));
        QCOMPARE(on.lines().value(0), QStringLiteral("connections: 1"));
        QVERIFY(on.lines().value(1).trimmed().startsWith(c.peer + QLatin1Char(' ')));
        QCOMPARE(activeIds(sim), QStringList{c.peer});
        // the profile was assigned before the call
        const RunResult peers = runQvctl(withCodec(sim, {"peers"}, {"--json"}));
        for (const QJsonObject &p : peers.objects()) {
            if (p.value("id").toString() == c.peer) {
                QCOMPARE(p.value("profile").toInt(), c.profile.toInt());
                QCOMPARE(p.value("active").toBool(), true);
            }
        }

        const RunResult off = runQvctl(withCodec(sim, {"disconnect", c.peer}, {"--json"}));
        QVERIFY2(off.status == Ok && off.allJson(), qPrintable(off.describe()));
        QCOMPARE(off.objects().value(0).value("command").toString(), QStringLiteral("disconnect"));
        QCOMPARE(off.objects().value(0).value("connections").toArray().size(), 0);
        QCOMPARE(activeIds(sim), QStringList{});
    }

    void disconnectEveryCall()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--active-peers", "2"}));
        QCOMPARE(activeIds(sim).size(), 2);
        const RunResult r = runQvctl(withCodec(sim, {"disconnect"}));
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));
        QCOMPARE(r.lines(), QStringList{QStringLiteral("connections: 0")});
        QCOMPARE(activeIds(sim), QStringList{});
    }

    void unknownIdsAreRefusedBeforeSending()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        PeerChoice c;
        QVERIFY(choosePeerAndProfile(sim, c));

        RunResult r = runQvctl(withCodec(sim, {"connect", "9999", c.profile}));
        QCOMPARE(r.status, UnknownId);
        QVERIFY(r.err.contains("unknown peer id \"9999\""));
        r = runQvctl(withCodec(sim, {"connect", c.peer, "9999"}));
        QCOMPARE(r.status, UnknownId);
        QVERIFY(r.err.contains("unknown profile id \"9999\""));
        r = runQvctl(withCodec(sim, {"disconnect", "9999"}, {"--json"}));
        QCOMPARE(r.status, UnknownId);
        QVERIFY(r.allJson());
        QCOMPARE(r.objects().value(0).value("status").toInt(), UnknownId);
        r = runQvctl(withCodec(sim, {"disconnect", "abc"}));
        QCOMPARE(r.status, UnknownId);
        // nothing was started by any of them
        QCOMPARE(activeIds(sim), QStringList{});
    }

    void theCodecsRefusalIsAFailure()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--active-peers", "1"}));
        const QStringList active = activeIds(sim);
        QCOMPARE(active.size(), 1);
        const RunResult profiles = runQvctl(withCodec(sim, {"profiles"}, {"--json"}));
        QString defaultProfile;
        for (const QJsonObject &f : profiles.objects()) {
            if (f.value("default").toBool())
                defaultProfile = f.value("id").toString();
        }
        // connecting a peer that is in a call already: the codec says no
        const RunResult r = runQvctl(withCodec(sim, {"connect", active.first(), defaultProfile}));
        QVERIFY2(r.status == Error, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("already connected"), r.err.constData());
        QVERIFY(r.out.isEmpty());
    }

    void connectOnOldFirmware()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--unversioned"}));
        PeerChoice c;
        QVERIFY(choosePeerAndProfile(sim, c));
        const RunResult on = runQvctl(withCodec(sim, {"connect", c.peer, c.profile}));
        QVERIFY2(on.status == Ok, qPrintable(on.describe()));
        QCOMPARE(activeIds(sim), QStringList{c.peer});
        const RunResult off = runQvctl(withCodec(sim, {"disconnect"}));
        QVERIFY2(off.status == Ok, qPrintable(off.describe()));
        QCOMPARE(activeIds(sim), QStringList{});
    }

    void wrongPassword()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--password", "right"}));
        const RunResult r = runQvctl(withCodec(sim, {"status"}, {"--password", "wrong"}));
        QVERIFY2(r.status == AuthFailed, qPrintable(r.describe()));
        QVERIFY(r.err.contains("refused the login"));
        QVERIFY(r.out.isEmpty());
        const RunResult j = runQvctl(withCodec(sim, {"status"}, {"--json", "--password", "wrong"}));
        QCOMPARE(j.status, AuthFailed);
        QCOMPARE(j.objects().value(0).value("state").toString(), QStringLiteral("AUTH_FAILED"));
        QCOMPARE(runQvctl(withCodec(sim, {"status"}, {"--password", "right"})).status, Ok);
    }

    void passwordsOutOfTheCommandLine()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--password", "right"}));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath("password");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("right\n");
        }
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        RunResult r = runQvctl(withCodec(sim, {"status"}, {"--password-file", file}));
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));
        r = runQvctl(withCodec(sim, {"status"}, {"--password", "-"}), 90000, "right\n");
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QVCTL_PASSWORD", "right");
        r = runQvctl(withCodec(sim, {"status"}), 90000, QByteArray(), env);
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));

        // A file others may read is refused before anything is sent.
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        r = runQvctl(withCodec(sim, {"status"}, {"--password-file", file}));
        QVERIFY2(r.status == Error, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("readable by other users"), r.err.constData());
    }

    void notReadyInTime()
    {
        // A codec that never sends one of the records the session needs.
        SimProcess incomplete;
        QVERIFY(incomplete.start({"--no-system-opts"}));
        RunResult r = runQvctl(withCodec(incomplete, {"status"}, {"--timeout", "4"}));
        QVERIFY2(r.status == NotReady && r.finished, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("state AUTHENTICATED"), r.err.constData());
        QVERIFY2(r.err.contains("still missing: systemOpts"), r.err.constData());
        r = runQvctl(withCodec(incomplete, {"status"}, {"--timeout", "4", "--json"}));
        QCOMPARE(r.status, NotReady);
        QCOMPARE(r.objects().value(0).value("state").toString(), QStringLiteral("AUTHENTICATED"));

        // A codec that accepts and then says nothing at all.
        SimProcess stalled;
        QVERIFY(stalled.start({"--stall-after", "0"}));
        // (well inside the session's own receive time-out of seven seconds)
        r = runQvctl(withCodec(stalled, {"status"}, {"--timeout", "3"}));
        QVERIFY2(r.status == NotReady && r.finished, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("state CONNECTED"), r.err.constData());
    }

    void aCodecThatStallsAfterTheLogin()
    {
        // The session's receive time-out notices the silence; qvctl ends with it.
        SimProcess sim;
        QVERIFY(sim.start({"--stall-after", "1"}));
        const RunResult r = runQvctl(withCodec(sim, {"watch", "--seconds", "60"}));
        QVERIFY2(r.finished && r.status == Error, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("timed out"), r.err.constData());
    }

    void aCodecThatCloses()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--close-after", "0.5"}));
        const RunResult r = runQvctl(withCodec(sim, {"watch", "--seconds", "60"}));
        QVERIFY2(r.finished && r.status == Error, qPrintable(r.describe()));
        // closed or reset, before or after the session was ready: lost either way
        QVERIFY2(r.err.contains("connection to " + sim.address().toUtf8() + " lost"), r.err.constData());
    }

    void aCodecThatSendsGarbage()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--garbage-after", "0.5"}));
        const RunResult r = runQvctl(withCodec(sim, {"watch", "--seconds", "60"}));
        QVERIFY2(r.finished && r.status == Error, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("not a message"), r.err.constData());
    }

    void aCodecThatFloods()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--oversize-after", "0.5"}));
        const RunResult r = runQvctl(withCodec(sim, {"watch", "--seconds", "60"}));
        QVERIFY2(r.finished && r.status == Error, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("buffer overflow"), r.err.constData());
    }

    void nothingListening()
    {
        quint16 port = 0;
        {
            SimProcess gone;
            QVERIFY(gone.start());
            port = gone.port();
        }
        const RunResult r = runQvctl({QStringLiteral("127.0.0.1:%1").arg(port), "status"});
        QVERIFY2(r.finished && r.status == Error, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("cannot connect"), r.err.constData());
    }

    void watchLimitsLevelLines()
    {
        // Levels arrive every 70 ms; at most ten lines a second are printed.
        SimProcess sim;
        QVERIFY(sim.start());
        const RunResult r = runQvctl(withCodec(sim, {"watch", "--seconds", "2"}));
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));
        const QStringList lines = r.lines();
        QVERIFY(lines.value(0).endsWith(QLatin1String(" state READY")));
        QVERIFY(lines.value(1).contains(QLatin1String(" peers ")));
        int levels = 0;
        for (const QString &line : lines) {
            if (line.contains(QLatin1String(" levels rmlf ")))
                ++levels;
        }
        QVERIFY2(levels >= 1, qPrintable(r.describe()));
        QVERIFY2(levels <= 21, qPrintable(r.describe())); // 2 s: the first line plus one per 100 ms

        const RunResult j = runQvctl(withCodec(sim, {"watch", "--seconds", "1"}, {"--json"}));
        QVERIFY2(j.status == Ok && j.allJson(), qPrintable(j.describe()));
        int jsonLevels = 0;
        for (const QJsonObject &o : j.objects()) {
            if (o.value("event").toString() == QLatin1String("levels")) {
                ++jsonLevels;
                QVERIFY(o.value("rmlf").isDouble());
                QVERIFY(o.value("tmrs").isDouble());
            }
        }
        QVERIFY(jsonLevels >= 1 && jsonLevels <= 11);
    }

    void watchShowsCallsAndEndsOnSigint()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        PeerChoice c;
        QVERIFY(choosePeerAndProfile(sim, c));

        QProcess watch;
        startQvctl(watch, withCodec(sim, {"watch"}));
        QVERIFY(watch.waitForStarted(10000));
        QByteArray seen;
        QVERIFY2(waitForOutput(watch, seen, " state READY"), seen.constData());

        QCOMPARE(runQvctl(withCodec(sim, {"connect", c.peer, c.profile})).status, Ok);
        QVERIFY2(waitForOutput(watch, seen, " audio started: "), seen.constData());
        QVERIFY(seen.contains("Audio connection started. Active peers:"));
        QVERIFY2(waitForOutput(watch, seen, ", active 1: " + c.peer.toUtf8() + ' '), seen.constData());

        QCOMPARE(runQvctl(withCodec(sim, {"disconnect", c.peer})).status, Ok);
        QVERIFY2(waitForOutput(watch, seen, " audio ended: "), seen.constData());
        QVERIFY(seen.contains("Audio connection ended. Disconnected peers:"));

        ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
        QVERIFY(watch.waitForFinished(30000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), Ok);
    }

    void sigintWhileWaitingIsAnError()
    {
        // Logged in, but never ready: the interruption ends a wait, not a watch.
        SimProcess sim;
        QVERIFY(sim.start({"--no-system-opts"}));
        QProcess p;
        startQvctl(p, withCodec(sim, {"status"}, {"--timeout", "60", "--trace"}));
        QVERIFY(p.waitForStarted(10000));
        QByteArray traced;
        QElapsedTimer t;
        t.start();
        while (!traced.contains("tx to ") && p.state() == QProcess::Running && t.elapsed() < 30000) {
            p.waitForReadyRead(200);
            traced += p.readAllStandardError();
        }
        QVERIFY2(traced.contains("tx to "), traced.constData());
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), Error);
        traced += p.readAllStandardError();
        QVERIFY2(traced.contains("qvctl: interrupted"), traced.constData());
    }

    void traceShowsEveryMessage()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        const RunResult plain = runQvctl(withCodec(sim, {"status"}));
        const RunResult r = runQvctl(withCodec(sim, {"status"}, {"--trace"}));
        QVERIFY2(r.status == Ok, qPrintable(r.describe()));
        const QByteArray to = "tx to " + sim.address().toUtf8() + ": ";
        const QByteArray from = "rx from " + sim.address().toUtf8() + ": ";
        QVERIFY2(r.err.contains(to + "<getPeerList seq=\"peerList\"/>"), r.err.constData());
        QVERIFY2(r.err.contains(from + "<resp seq=\"peerList\""), r.err.constData());
        // standard output is the same with and without it, but for the unit's data
        QCOMPARE(r.lines().size(), plain.lines().size());
        QVERIFY(plain.err.isEmpty());
    }

    void usageErrors()
    {
        RunResult r = runQvctl({});
        QCOMPARE(r.status, Error);
        QVERIFY(r.err.contains("usage: qvctl"));
        r = runQvctl({"127.0.0.1:1", "reboot"});
        QCOMPARE(r.status, Error);
        QVERIFY(r.err.contains("unknown command \"reboot\""));
        r = runQvctl({"127.0.0.1:99999", "status"});
        QCOMPARE(r.status, Error);
        QVERIFY(r.err.contains("99999"));
        r = runQvctl({"127.0.0.1:1", "connect", "3"});
        QCOMPARE(r.status, Error);
        r = runQvctl({"--help"});
        QCOMPARE(r.status, Ok);
        QVERIFY(r.out.contains("usage: qvctl"));
        QVERIFY(r.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestQvctlProcess)
#include "tst_qvctl_process.moc"
