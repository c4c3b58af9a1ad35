// The configuration file as a unit: the tree both ways, hand-edited files,
// the owner-only mode, failed writes, and files that are not configurations.

#include "configfile.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(ConfigSettings)

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

int modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

ConfigSettings fullSettings()
{
    ConfigSettings s;
    s.window = ConfigWindow{QPoint(-5, 20), QSize(1024, 700), true, false};
    ConfigRemote r;
    r.address = "192.0.2.7";
    r.port = 8080;
    r.password = "p\"w<&>é";
    r.metering = false;
    r.alertSounds = {{0, "/snd/start.wav"}, {3, "mute"}};
    r.emailAddresses = QStringList{"ops@example.org", "night@example.org"};
    s.remote = r;
    s.mail.host = "smtp.example.org";
    s.mail.port = 587;
    s.mail.security = MailServerSettings::StartTls;
    s.mail.user = "alerts";
    s.mail.password = "secret";
    s.mail.sender = "quorvane@example.org";
    return s;
}

const QByteArray Head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<config company=\"Velmora Corporation\" product=\"Quorvane\" version=\"1.0\">\n";

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    QStringList filesBeside() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::System, QDir::Name); }

private slots:
    void init()
    {
        QVERIFY(QDir(m_dir.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_dir.path()));
        m_path = m_dir.filePath("pn-config.xml");
    }

    void writesTheTreeForm()
    {
        ConfigSettings s;
        s.window = ConfigWindow{QPoint(10, 20), QSize(800, 600), true, false};
        s.remote = ConfigRemote{"10.0.0.5", 80, "tarlin", true, {}, {}};
        QCOMPARE(ConfigFile::save(m_path, s), QString());
        QCOMPARE(readAll(m_path),
                 Head
                     + "    <application audio=\"true\" default-sounds=\"false\" height=\"600\" width=\"800\" x=\"10\" y=\"20\"/>\n"
                       "    <remotes>\n"
                       "        <remote address=\"10.0.0.5\" metering=\"true\" password=\"tarlin\" port=\"80\"/>\n"
                       "    </remotes>\n"
                       "</config>\n");
    }

    void roundTrip_data()
    {
        QTest::addColumn<ConfigSettings>("settings");
        QTest::addColumn<QByteArray>("remotesText");
        ConfigSettings noDevice;
        noDevice.window = ConfigWindow{QPoint(0, 0), QSize(640, 480), false, true};
        QTest::newRow("no devices: empty remotes") << noDevice << QByteArray("<remotes/>");
        QTest::newRow("sounds, e-mails and mail server") << fullSettings() << QByteArray("<email address=\"ops@example.org\"/>");
        ConfigSettings noSize = fullSettings();
        noSize.window->size.reset();
        QTest::newRow("window without a size") << noSize << QByteArray("<sound event=\"3\" path=\"mute\"/>");
    }

    void roundTrip()
    {
        QFETCH(ConfigSettings, settings);
        QFETCH(QByteArray, remotesText);
        QCOMPARE(ConfigFile::save(m_path, settings), QString());
        QVERIFY2(readAll(m_path).contains(remotesText), readAll(m_path).constData());
        const ConfigFile::LoadResult back = ConfigFile::load(m_path);
        QCOMPARE(int(back.status), int(ConfigFile::LoadStatus::Loaded));
        QVERIFY(back.settings == settings);
    }

    void extrasStayOutOfTheFourValues()
    {
        // A reader that knows only address, port, password and metering finds
        // exactly those on the remote, and the first remote is still the device.
        QCOMPARE(ConfigFile::save(m_path, fullSettings()), QString());
        Message config;
        config.read_from_file(m_path.toStdString());
        const Message &remote = config.get_child("remotes").get_child("remote");
        QStringList keys;
        for (const auto &entry : remote.attributes())
            keys << QString::fromStdString(entry.first);
        QCOMPARE(keys, QStringList({"address", "metering", "password", "port"}));
        QCOMPARE(remote.get_int("port"), 8080);
        QCOMPARE(config.get_child("remotes").child_count("remote"), 1);
        QCOMPARE(config.get_child("application").get_int("width"), 1024);
    }

    void handEditedFiles_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<ConfigSettings>("expected");
        const ConfigRemote plain{"10.0.0.5", 8080, "pw", true, {}, {}};
        auto with = [](std::optional<ConfigWindow> w, std::optional<ConfigRemote> r) {
            ConfigSettings s;
            s.window = w;
            s.remote = r;
            return s;
        };
        QTest::newRow("missing metering: on, missing password: empty")
            << QByteArray("<remotes><remote address='10.0.0.5' port='8080'/></remotes>")
            << with(std::nullopt, ConfigRemote{"10.0.0.5", 8080, "", true, {}, {}});
        QTest::newRow("two remotes: the first only")
            << QByteArray("<remotes><remote address='10.0.0.5' port='8080' password='pw'/>"
                          "<remote address='10.0.0.6' port='80'/></remotes>")
            << with(std::nullopt, plain);
        QTest::newRow("no application: no geometry")
            << QByteArray("<remotes/>") << with(std::nullopt, std::nullopt);
        QTest::newRow("no remotes: nothing more")
            << QByteArray("<application x='3' y='4' width='500' height='400' audio='true'/>")
            << with(ConfigWindow{QPoint(3, 4), QSize(500, 400), true, false}, std::nullopt);
        QTest::newRow("port outside 1..65535 is not cut to 16 bits")
            << QByteArray("<remotes><remote address='10.0.0.5' port='73616' password='pw'/></remotes>")
            << with(std::nullopt, ConfigRemote{"10.0.0.5", 0, "pw", true, {}, {}});
        QTest::newRow("port that is no number")
            << QByteArray("<remotes><remote address='10.0.0.5' port='80x' password='pw'/></remotes>")
            << with(std::nullopt, ConfigRemote{"10.0.0.5", 0, "pw", true, {}, {}});
        QTest::newRow("missing height: no size, position kept")
            << QByteArray("<application x='7' y='8' width='500'/>")
            << with(ConfigWindow{QPoint(7, 8), std::nullopt, false, false}, std::nullopt);
        QTest::newRow("zero width: no size")
            << QByteArray("<application width='0' height='400'/>")
            << with(ConfigWindow{QPoint(0, 0), std::nullopt, false, false}, std::nullopt);
        QTest::newRow("broken extras are skipped")
            << QByteArray("<remotes><remote address='10.0.0.5' port='8080' password='pw' metering='true'>"
                          "<sound event='x' path='/a.wav'/><sound event='1'/><sound event='1' path='/b.wav'/>"
                          "<email/><email address='a@b.cd'/><other/></remote></remotes>")
            << with(std::nullopt, ConfigRemote{"10.0.0.5", 8080, "pw", true, {{1, "/b.wav"}}, {"a@b.cd"}});
    }

    void handEditedFiles()
    {
        QFETCH(QByteArray, body);
        QFETCH(ConfigSettings, expected);
        writeAll(m_path, "<config version='1.0'>" + body + "</config>");
        const ConfigFile::LoadResult r = ConfigFile::load(m_path);
        QCOMPARE(int(r.status), int(ConfigFile::LoadStatus::Loaded));
        QCOMPARE(r.error, QString());
        QVERIFY(r.settings == expected);
    }

    void missingFileIsNoError()
    {
        const ConfigFile::LoadResult r = ConfigFile::load(m_path);
        QCOMPARE(int(r.status), int(ConfigFile::LoadStatus::Missing));
        QCOMPARE(r.error, QString());
        QVERIFY(r.settings == ConfigSettings());
    }

    void ownerOnlyMode_data()
    {
        QTest::addColumn<int>("existingMode");
        QTest::newRow("new file") << -1;
        QTest::newRow("existing 0644 file is tightened") << 0644;
        QTest::newRow("existing 0666 file is tightened") << 0666;
    }

    void ownerOnlyMode()
    {
        QFETCH(int, existingMode);
        if (existingMode >= 0) {
            writeAll(m_path, "<config/>");
            QCOMPARE(::chmod(QFile::encodeName(m_path).constData(), mode_t(existingMode)), 0);
        }
        QCOMPARE(ConfigFile::save(m_path, fullSettings()), QString());
        QCOMPARE(modeOf(m_path), 0600);
        QCOMPARE(filesBeside(), QStringList{"pn-config.xml"});
    }

    void failedWriteKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("read-only folder") << "readonly";
        QTest::newRow("file size limit") << "fsize";
    }

    void failedWriteKeepsTheOldFile()
    {
        QFETCH(QString, how);
        const QByteArray old = "<config><remotes><remote address='old' port='80'/></remotes></config>";
        writeAll(m_path, old);
        const QByteArray folder = QFile::encodeName(m_dir.path());
        QString error;
        if (how == "readonly") {
            QCOMPARE(::chmod(folder.constData(), 0500), 0);
            if (::geteuid() != 0) {
                error = ConfigFile::save(m_path, fullSettings());
            } else {
                // Root writes into any folder: save as an ordinary user instead.
                QCOMPARE(::chown(folder.constData(), 65534, 65534), 0);
                const pid_t child = ::fork();
                if (child == 0) {
                    const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
                    const QString e = dropped ? ConfigFile::save(m_path, fullSettings()) : QString();
                    ::_exit(!dropped ? 3 : e.startsWith(m_path + ": Permission denied") ? 0 : 1);
                }
                int status = -1;
                QCOMPARE(::waitpid(child, &status, 0), child);
                QCOMPARE(status, 0);
                error = m_path + ": (in the child)";
            }
            ::chmod(folder.constData(), 0700);
        } else {
            // Writes past the limit fail with EFBIG, for every user.
            struct rlimit saved;
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
            struct rlimit tight = saved;
            tight.rlim_cur = 64;
            auto previous = std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
            error = ConfigFile::save(m_path, fullSettings());
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
        }
        QVERIFY(error.startsWith(m_path + ": "));
        QCOMPARE(readAll(m_path), old);
        QCOMPARE(filesBeside(), QStringList{"pn-config.xml"});
    }

    void corruptFilesAreKeptAside()
    {
        const QByteArray first = "<config><remotes><remote address='10.0.0.5'";
        writeAll(m_path, first);
        ConfigFile::LoadResult r = ConfigFile::load(m_path);
        QCOMPARE(int(r.status), int(ConfigFile::LoadStatus::Failed));
        QVERIFY(r.settings == ConfigSettings());
        QCOMPARE(r.keptAs, m_path + ".bad");
        QVERIFY2(r.error.startsWith(m_path + ": line 1"), qPrintable(r.error));
        QVERIFY(r.error.endsWith("(kept as " + m_path + ".bad)"));
        QVERIFY(!QFile::exists(m_path));
        QCOMPARE(readAll(m_path + ".bad"), first);
        QCOMPARE(modeOf(m_path + ".bad"), 0600);

        // A save never touches it; a second corrupt file goes beside it.
        QCOMPARE(ConfigFile::save(m_path, fullSettings()), QString());
        QCOMPARE(readAll(m_path + ".bad"), first);
        writeAll(m_path, "<other/>");
        r = ConfigFile::load(m_path);
        QCOMPARE(r.keptAs, m_path + ".bad.2");
        QVERIFY(r.error.contains("not \"config\""));
        QCOMPARE(readAll(m_path + ".bad"), first);

        // With every name taken the newest replaces the last one only.
        for (int n = 3; n <= ConfigFile::MaxKeptBadFiles + 1; ++n) {
            writeAll(m_path, QByteArray::number(n));
            r = ConfigFile::load(m_path);
            QCOMPARE(r.keptAs, m_path + ".bad." + QString::number(qMin(n, ConfigFile::MaxKeptBadFiles)));
        }
        QCOMPARE(readAll(m_path + ".bad"), first);
        QCOMPARE(readAll(m_path + ".bad.2"), QByteArray("<other/>"));
        QCOMPARE(readAll(m_path + ".bad.10"), QByteArray("11"));
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("errorEnd");
        QTest::addColumn<bool>("keptAside");
        QTest::newRow("link to /dev/zero") << "zero" << " is not a regular file" << false;
        QTest::newRow("named pipe") << "fifo" << " is not a regular file" << false;
        QTest::newRow("larger than 1 MiB") << "large" << " is larger than 1048576 bytes (kept as %1.bad)" << true;
    }

    void refusedFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, errorEnd);
        QFETCH(bool, keptAside);
        const QByteArray path = QFile::encodeName(m_path);
        if (kind == "zero")
            QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        else
            writeAll(m_path, "<config>" + QByteArray(ConfigFile::MaxFileSize, ' ') + "</config>");
        const ConfigFile::LoadResult r = ConfigFile::load(m_path);
        QCOMPARE(int(r.status), int(ConfigFile::LoadStatus::Failed));
        QCOMPARE(r.error, m_path + QString(errorEnd).replace("%1", m_path));
        QCOMPARE(QFile::exists(m_path + ".bad"), keptAside);
        if (kind == "zero") {
            // A save replaces the link, never writes through it.
            QCOMPARE(ConfigFile::save(m_path, fullSettings()), QString());
            QVERIFY(!QFileInfo(m_path).isSymLink());
            QVERIFY(ConfigFile::load(m_path).settings == fullSettings());
        }
    }
};

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
