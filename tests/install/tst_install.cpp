// The program as a desktop installs it: "cmake --install" of this build into
// a temporary DESTDIR, the files where a desktop looks for them, the desktop
// entry and the AppStream file validated by the freedesktop tools (skipped
// when they are not installed), and the installed programs started.

#include <QtTest>

#include <QLibrary>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const QString AppId = QStringLiteral("org.quorvane.Quorvane");

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment(),
        const QString &workingDir = QString())
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(30000) || !p.waitForFinished(120000)) {
        r.err = p.errorString();
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dest;
    QString m_prefix; // DESTDIR + the configured prefix

    QString installed(const QString &relative) const { return m_prefix + QLatin1Char('/') + relative; }

    void validate(const QString &tool, const QStringList &args)
    {
        const QString path = QStandardPaths::findExecutable(tool);
        if (path.isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed (scripts/install-deps.sh installs it)")));
        const Run r = run(path, args);
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dest.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_dest.path());
        const Run r = run(QStringLiteral(QV_CMAKE), {QStringLiteral("--install"), QStringLiteral(QV_BUILD_DIR)}, env);
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        m_prefix = m_dest.path() + QStringLiteral(QV_INSTALL_PREFIX);
    }

    void filesAreWhereADesktopLooks_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        for (const char *program : {"quorvane", "codecsim", "qvctl"})
            QTest::newRow(program) << QStringLiteral("bin/%1").arg(QLatin1String(program)) << true;
        const QStringList files = {
            QStringLiteral("share/applications/%1.desktop").arg(AppId),
            QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId),
            QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(AppId),
            QStringLiteral("share/icons/hicolor/16x16/apps/%1.png").arg(AppId),
            QStringLiteral("share/icons/hicolor/48x48/apps/%1.png").arg(AppId),
            QStringLiteral("share/icons/hicolor/256x256/apps/%1.png").arg(AppId),
            QStringLiteral("share/quorvane/wav/d_conn.wav"),
            QStringLiteral("share/quorvane/wav/d_disc.wav"),
            QStringLiteral("share/quorvane/wav/cnn_lost.wav"),
            QStringLiteral("share/quorvane/README.md"),
            QStringLiteral("share/man/man1/quorvane.1.gz"),
            QStringLiteral("share/man/man1/codecsim.1.gz"),
            QStringLiteral("share/man/man1/qvctl.1.gz"),
            QStringLiteral("share/doc/quorvane/copyright"),
            QStringLiteral("share/doc/quorvane/changelog.gz"),
        };
        for (const QString &f : files)
            QTest::newRow(qPrintable(f)) << f << false;
    }

    void filesAreWhereADesktopLooks()
    {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile(), qPrintable(info.filePath()));
        QVERIFY(info.size() > 0);
        QCOMPARE(info.isExecutable(), executable);
    }

    void readmeFindsWhatItLinksTo()
    {
        QFile readme(installed(QStringLiteral("share/quorvane/README.md")));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        // relative links to images and documents ("](docs/...png)", "](tools/.../README.md)")
        QRegularExpression link(QStringLiteral("\\]\\(((?:docs|tools)/[^)#]+)\\)"));
        int images = 0;
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            images += target.endsWith(QLatin1String(".png"));
            QVERIFY2(QFileInfo(installed(QStringLiteral("share/quorvane/") + target)).isFile(), qPrintable(target));
        }
        QVERIFY2(images >= 2, "the README opens with screenshots");
    }

    void desktopEntryIsValid()
    {
        const QString entry = installed(QStringLiteral("share/applications/%1.desktop").arg(AppId));
        QSettings desktop(entry, QSettings::IniFormat);
        desktop.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(desktop.value(QStringLiteral("Exec")).toString(), QStringLiteral("quorvane"));
        QCOMPARE(desktop.value(QStringLiteral("Icon")).toString(), AppId);
        validate(QStringLiteral("desktop-file-validate"), {entry});
    }

    void appStreamFileIsValid()
    {
        QFile meta(installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId)));
        QVERIFY(meta.open(QIODevice::ReadOnly));
        const QByteArray xml = meta.readAll();
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">" + AppId.toUtf8() + ".desktop</launchable>"));
        QVERIFY(!xml.contains('@')); // every placeholder was filled in
        validate(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), meta.fileName()});
    }

    void installedProgramStartsAndFindsItsSounds()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QStringLiteral("QUORVANE_CLOSE_AFTER_SHOW"), QStringLiteral("1"));
        // the working folder has no sounds: they must come from the installed data folder
        const Run r = run(installed(QStringLiteral("bin/quorvane")), {}, env, home.path());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("main window shown: Pennoral (visible, painted)")), qPrintable(r.err));
        for (const char *wav : {"d_conn", "d_disc", "cnn_lost"}) {
            const QString line = QStringLiteral("default alert sound wav/%1.wav: %2/share/quorvane/wav/%1.wav")
                                     .arg(QLatin1String(wav), QDir::cleanPath(m_prefix));
            QVERIFY2(r.err.contains(line), qPrintable(line + QStringLiteral("\n") + r.err));
        }
        // the modules loaded on first use come from the install, not the build tree
        const QRegularExpression modules(QStringLiteral("alert (sound|mail) module: (.*)\n"));
        int found = 0;
        for (auto it = modules.globalMatch(r.err); it.hasNext(); ++found) {
            const QString path = it.next().captured(2);
            QVERIFY2(path.startsWith(QDir::cleanPath(m_prefix) + QLatin1Char('/')), qPrintable(r.err));
            QVERIFY2(QLibrary(path).load(), qPrintable(path));
        }
        QCOMPARE(found, 2);
        QVERIFY(QFileInfo(home.path() + QStringLiteral("/Velmora/pn-config.xml")).isFile());
    }

    void installedToolsRun_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("expected");
        QTest::newRow("codecsim") << QStringLiteral("codecsim") << QStringLiteral("--listen");
        QTest::newRow("qvctl") << QStringLiteral("qvctl") << QStringLiteral("usage: qvctl");
    }

    void installedToolsRun()
    {
        QFETCH(QString, program);
        QFETCH(QString, expected);
        const Run r = run(installed(QStringLiteral("bin/") + program), {QStringLiteral("--help")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2((r.out + r.err).contains(expected), qPrintable(r.out + r.err));
    }
};

QTEST_GUILESS_MAIN(TestInstall)

#include "tst_install.moc"
