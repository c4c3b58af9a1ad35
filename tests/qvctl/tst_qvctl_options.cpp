// The command line of qvctl: what it accepts, what it refuses, and the
// defaults a script relies on.

#include "ctloptions.h"
#include "ctlpassword.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace qvctl;

Q_DECLARE_METATYPE(qvctl::Command)

class TestQvctlOptions : public QObject
{
    Q_OBJECT

private:
    static Options parsed(const QStringList &args)
    {
        Options o;
        QString error;
        const bool ok = parseArguments(args, o, error);
        if (!ok)
            qWarning("refused: %s", qPrintable(error));
        return ok ? o : Options{};
    }

    static QString refusal(const QStringList &args)
    {
        Options o;
        QString error;
        if (parseArguments(args, o, error))
            return QString();
        return error.isEmpty() ? QStringLiteral("(refused without a reason)") : error;
    }

private slots:
    void defaultsAreTheProgramOnes()
    {
        const Options o = parsed({"10.0.0.5", "status"});
        QCOMPARE(o.host, QStringLiteral("10.0.0.5"));
        QCOMPARE(o.port, quint16(80));
        QCOMPARE(o.password, QStringLiteral("tarlin"));
        QCOMPARE(o.timeoutSeconds, 15.0);
        QVERIFY(!o.json);
        QVERIFY(!o.trace);
        QVERIFY(!o.help);
        QCOMPARE(o.command, Command::Status);
        QVERIFY(!o.watchSeconds.has_value());
    }

    void globalOptions()
    {
        const Options o = parsed({"--password", "s3cret word", "--timeout", "2.5", "--json", "--trace", "codec:8080", "peers"});
        QCOMPARE(o.password, QStringLiteral("s3cret word"));
        QCOMPARE(o.timeoutSeconds, 2.5);
        QVERIFY(o.json);
        QVERIFY(o.trace);
        QCOMPARE(o.host, QStringLiteral("codec"));
        QCOMPARE(o.port, quint16(8080));
        QCOMPARE(o.command, Command::Peers);

        // "--name=value", options after the command, and an empty password
        const Options p = parsed({"codec", "profiles", "--timeout=4", "--password=", "--json"});
        QCOMPARE(p.timeoutSeconds, 4.0);
        QCOMPARE(p.password, QString());
        QVERIFY(p.json);
        QCOMPARE(p.command, Command::Profiles);
    }

    void hostAndPort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("ipv4") << "10.0.0.5" << "10.0.0.5" << 80;
        QTest::newRow("ipv4 with port") << "10.0.0.5:8080" << "10.0.0.5" << 8080;
        QTest::newRow("name") << "codec.studio" << "codec.studio" << 80;
        QTest::newRow("name with port") << "codec.studio:65535" << "codec.studio" << 65535;
        QTest::newRow("bracketed ipv6") << "[::1]" << "[::1]" << 80;
        QTest::newRow("bracketed ipv6 with port") << "[::1]:8080" << "[::1]" << 8080;
        QTest::newRow("bare ipv6") << "fe80::1" << "[fe80::1]" << 80;
    }

    void hostAndPort()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString h;
        quint16 p = 80;
        QString error;
        QVERIFY2(parseHostPort(text, h, p, error), qPrintable(error));
        QCOMPARE(h, host);
        QCOMPARE(int(p), port);
    }

    void badHostsAndPorts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("port only") << ":8080";
        QTest::newRow("port zero") << "codec:0";
        QTest::newRow("port too big") << "codec:65536";
        QTest::newRow("port not a number") << "codec:http";
        QTest::newRow("signed port") << "codec:+80";
        QTest::newRow("colon without port") << "codec:";
        QTest::newRow("unclosed bracket") << "[::1:8080";
        QTest::newRow("junk after bracket") << "[::1]8080";
        QTest::newRow("empty brackets") << "[]:80";
        QTest::newRow("space") << "two words";
    }

    void badHostsAndPorts()
    {
        QFETCH(QString, text);
        QString h;
        quint16 p = 80;
        QString error;
        QVERIFY(!parseHostPort(text, h, p, error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!refusal({text, "status"}).isEmpty());
    }

    void commandsAndTheirArguments()
    {
        Options o = parsed({"c", "get", "sysOptions"});
        QCOMPARE(o.command, Command::Get);
        QCOMPARE(o.key, QStringLiteral("sysOptions"));

        o = parsed({"c", "connect", "3", "5"});
        QCOMPARE(o.command, Command::Connect);
        QCOMPARE(o.peerId, QStringLiteral("3"));
        QCOMPARE(o.profileId, QStringLiteral("5"));

        o = parsed({"c", "disconnect"});
        QCOMPARE(o.command, Command::Disconnect);
        QVERIFY(o.peerId.isEmpty()); // every call

        o = parsed({"c", "disconnect", "7"});
        QCOMPARE(o.peerId, QStringLiteral("7"));

        o = parsed({"c", "watch"});
        QCOMPARE(o.command, Command::Watch);
        QVERIFY(!o.watchSeconds.has_value()); // until interrupted

        o = parsed({"c", "watch", "--seconds", "2.5"});
        QCOMPARE(o.watchSeconds.value_or(-1), 2.5);
        o = parsed({"c", "watch", "--seconds=0"});
        QCOMPARE(o.watchSeconds.value_or(-1), 0.0);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("no command") << QStringList{"codec"};
        QTest::newRow("unknown command") << QStringList{"codec", "reboot"};
        QTest::newRow("status with argument") << QStringList{"codec", "status", "now"};
        QTest::newRow("get without key") << QStringList{"codec", "get"};
        QTest::newRow("get with two keys") << QStringList{"codec", "get", "a", "b"};
        QTest::newRow("get empty key") << QStringList{"codec", "get", ""};
        QTest::newRow("connect without profile") << QStringList{"codec", "connect", "3"};
        QTest::newRow("connect with three") << QStringList{"codec", "connect", "3", "4", "5"};
        QTest::newRow("disconnect two peers") << QStringList{"codec", "disconnect", "1", "2"};
        QTest::newRow("watch with argument") << QStringList{"codec", "watch", "5"};
        QTest::newRow("seconds on status") << QStringList{"codec", "status", "--seconds", "2"};
        QTest::newRow("negative seconds") << QStringList{"codec", "watch", "--seconds", "-1"};
        QTest::newRow("seconds not a number") << QStringList{"codec", "watch", "--seconds", "soon"};
        QTest::newRow("seconds without value") << QStringList{"codec", "watch", "--seconds"};
        QTest::newRow("zero timeout") << QStringList{"--timeout", "0", "codec", "status"};
        QTest::newRow("negative timeout") << QStringList{"--timeout=-3", "codec", "status"};
        QTest::newRow("endless timeout") << QStringList{"--timeout", "inf", "codec", "status"};
        QTest::newRow("huge timeout") << QStringList{"--timeout", "1e12", "codec", "status"};
        QTest::newRow("timeout without value") << QStringList{"codec", "status", "--timeout"};
        QTest::newRow("password without value") << QStringList{"codec", "status", "--password"};
        QTest::newRow("password file without value") << QStringList{"codec", "status", "--password-file"};
        QTest::newRow("empty password file name") << QStringList{"--password-file=", "codec", "status"};
        QTest::newRow("password and password file")
            << QStringList{"--password", "x", "--password-file", "f", "codec", "status"};
        QTest::newRow("unknown option") << QStringList{"--verbose", "codec", "status"};
        QTest::newRow("flag with value") << QStringList{"--json=yes", "codec", "status"};
    }

    void refusals()
    {
        QFETCH(QStringList, args);
        QVERIFY2(!refusal(args).isEmpty(), qPrintable(args.join(' ')));
    }

    void doubleDashEndsOptions()
    {
        // a password or key that starts with a dash needs no quoting games
        const Options o = parsed({"--password", "--json", "codec", "--", "get", "--trace"});
        QCOMPARE(o.password, QStringLiteral("--json"));
        QVERIFY(!o.json);
        QCOMPARE(o.key, QStringLiteral("--trace"));
        QVERIFY(!o.trace);
    }

    void passwordSources()
    {
        qunsetenv(PasswordVariable);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString privateFile = dir.filePath("private");
        const QString sharedFile = dir.filePath("shared");
        for (const QString &path : {privateFile, sharedFile}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("from the file\r\nsecond line\n");
        }
        QVERIFY(QFile::setPermissions(privateFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(sharedFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                      | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QBuffer input;
        input.setData("from standard input\nnot this\n");
        QVERIFY(input.open(QIODevice::ReadOnly));

        auto resolved = [&input](const QStringList &args, QString &error) {
            Options o = parsed(args);
            return resolvePassword(o, input, error) ? o.password : QStringLiteral("(refused)");
        };
        QString error;
        QCOMPARE(resolved({"c", "status"}, error), QString("tarlin"));
        QCOMPARE(resolved({"--password-file", privateFile, "c", "status"}, error), QString("from the file"));
        QCOMPARE(resolved({"--password", "-", "c", "status"}, error), QString("from standard input"));
        // The file must be the owner's alone.
        QCOMPARE(resolved({"--password-file", sharedFile, "c", "status"}, error), QString("(refused)"));
        QVERIFY2(error.contains("readable by other users"), qPrintable(error));
        QCOMPARE(resolved({"--password-file", dir.filePath("none"), "c", "status"}, error), QString("(refused)"));
        QCOMPARE(resolved({"--password-file", dir.path(), "c", "status"}, error), QString("(refused)"));

        // The environment stands in for the default only.
        qputenv(PasswordVariable, "from the environment");
        QCOMPARE(resolved({"c", "status"}, error), QString("from the environment"));
        QCOMPARE(resolved({"--password", "given", "c", "status"}, error), QString("given"));
        QCOMPARE(resolved({"--password-file", privateFile, "c", "status"}, error), QString("from the file"));
        qunsetenv(PasswordVariable);

        // Standard input used up: nothing to read is an error, not an empty password.
        input.readAll();
        QCOMPARE(resolved({"--password=-", "c", "status"}, error), QString("(refused)"));
        QVERIFY2(error.contains("standard input"), qPrintable(error));
    }

    void helpNeedsNothingElse()
    {
        QVERIFY(parsed({"--help"}).help);
        QVERIFY(parsed({"-h", "whatever", "args"}).help);
        QVERIFY(usageText().contains(QLatin1String("HOST[:PORT] COMMAND")));
        for (Command c : {Command::Status, Command::Peers, Command::Profiles, Command::Get, Command::Connect,
                          Command::Disconnect, Command::Watch})
            QVERIFY2(usageText().contains(QLatin1String("  ") + commandName(c)), qPrintable(commandName(c)));
    }
};

QTEST_APPLESS_MAIN(TestQvctlOptions)
#include "tst_qvctl_options.moc"
