// The codecsim program as scripts and other tools run it.

#include "simtestclient.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>

namespace {

/** Starts codecsim with @p args and collects the ports it prints. */
bool startSim(QProcess &p, const QStringList &args, int expected, QVector<quint16> &ports)
{
    p.setProgram(QStringLiteral(CODECSIM_PATH));
    p.setArguments(args);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start();
    if (!p.waitForStarted(10000))
        return false;
    const QRegularExpression line(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
    QByteArray pending;
    QElapsedTimer timer;
    timer.start();
    while (ports.size() < expected && timer.elapsed() < 20000) {
        if (!p.canReadLine() && !p.waitForReadyRead(1000)) {
            if (p.state() != QProcess::Running)
                return false;
            continue;
        }
        while (p.canReadLine()) {
            const QString text = QString::fromUtf8(p.readLine()).trimmed();
            const auto match = line.match(text);
            if (match.hasMatch())
                ports.push_back(static_cast<quint16>(match.captured(1).toUInt()));
        }
    }
    return ports.size() == expected;
}

void stopSim(QProcess &p)
{
    if (p.state() == QProcess::Running) {
        p.terminate();
        if (!p.waitForFinished(10000))
            p.kill();
    }
}

} // namespace

class TestCodecsimProcess : public QObject
{
    Q_OBJECT

private slots:
    void printsItsPortsAndServes()
    {
        QProcess p;
        QVector<quint16> ports;
        QVERIFY(startSim(p, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--count"),
                             QStringLiteral("3")},
                         3, ports));
        QCOMPARE(QSet<quint16>(ports.begin(), ports.end()).size(), 3);
        for (quint16 port : ports) {
            SimTestClient c;
            QVERIFY(c.connectTo(port));
            QVERIFY(c.loginVersioned());
            c.send(SimTestClient::request("getVersion", "version"));
            Message m;
            QVERIFY(c.waitResp("version", m));
        }
        // SIGTERM ends it cleanly
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void fixedPortsAreConsecutive()
    {
        // a port range that happens to be taken is tried again elsewhere
        for (int attempt = 0; attempt < 10; ++attempt) {
            const quint16 first = static_cast<quint16>(20000 + QRandomGenerator::global()->bounded(40000));
            QProcess p;
            QVector<quint16> ports;
            if (!startSim(p,
                          {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(first),
                           QStringLiteral("--count"), QStringLiteral("3")},
                          3, ports)) {
                stopSim(p);
                continue;
            }
            QCOMPARE(ports, (QVector<quint16>{first, quint16(first + 1), quint16(first + 2)}));
            SimTestClient c;
            QVERIFY(c.connectTo(static_cast<uint16_t>(first + 2)));
            QVERIFY(c.loginVersioned());
            stopSim(p);
            return;
        }
        QSKIP("no free range of three ports found");
    }

    void sigintEndsItCleanly()
    {
        QProcess p;
        QVector<quint16> ports;
        QVERIFY(startSim(p, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")}, 1, ports));
        SimTestClient c;
        QVERIFY(c.connectTo(ports[0]));
        QVERIFY(c.loginVersioned());
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(c.waitClosed());
    }

    void optionsReachTheCodecs()
    {
        QProcess p;
        QVector<quint16> ports;
        QVERIFY(startSim(p, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--unversioned"),
                             QStringLiteral("--password"), QStringLiteral("other"), QStringLiteral("--seed"),
                             QStringLiteral("99"), QStringLiteral("--trace")},
                         1, ports));
        SimTestClient c;
        QVERIFY(c.connectTo(ports[0]));
        QVERIFY(!c.loginUnversioned("tarlin"));
        QVERIFY(c.connectTo(ports[0]));
        QVERIFY(c.loginUnversioned("other"));
        c.send(SimTestClient::request("getVersion", "version"));
        Message m;
        QVERIFY(c.waitFor([](const Message &x) { return x.name() == "version"; }, m));
        stopSim(p);
        // --trace shows the messages both ways
        const QByteArray err = p.readAllStandardError();
        QVERIFY(err.contains("rx: <getVersion"));
        QVERIFY(err.contains("tx: <version"));
    }

    void helpDocumentsEveryFlag()
    {
        QProcess p;
        p.start(QStringLiteral(CODECSIM_PATH), {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray help = p.readAllStandardOutput();
        for (const char *flag : {"--listen", "--count", "--password", "--unversioned", "--open", "--metering-ms",
                                 "--seed", "--trace", "--active-peers", "--stamp-levels", "--stall-after",
                                 "--close-after", "--garbage-after", "--oversize-after", "--old-pong",
                                 "--no-system-opts", "--firmware-change-after", "--latin1-unit-name",
                                 "--levels-ms", "--stats-ms", "--peer-list-ms"})
            QVERIFY2(help.contains(flag), flag);
    }

    void badArgumentsAreRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no port") << QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1")};
        QTest::newRow("bad count") << QStringList{QStringLiteral("--count"), QStringLiteral("zero")};
        QTest::newRow("negative time") << QStringList{QStringLiteral("--close-after"), QStringLiteral("-1")};
        QTest::newRow("statistics too often") << QStringList{QStringLiteral("--stats-ms"), QStringLiteral("1")};
        QTest::newRow("not numeric host") << QStringList{QStringLiteral("--listen"), QStringLiteral("localhost:0")};
    }

    void badArgumentsAreRefused()
    {
        QFETCH(QStringList, args);
        QProcess p;
        p.start(QStringLiteral(CODECSIM_PATH), args);
        QVERIFY(p.waitForFinished(10000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(!p.readAllStandardError().isEmpty());
    }

    void portInUseIsReported()
    {
        QProcess first;
        QVector<quint16> ports;
        QVERIFY(startSim(first, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")}, 1, ports));
        QProcess second;
        second.start(QStringLiteral(CODECSIM_PATH),
                     {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(ports[0])});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("cannot listen"));
        stopSim(first);
    }
};

QTEST_GUILESS_MAIN(TestCodecsimProcess)
#include "tst_codecsim_process.moc"
