// The application data folder: paths from the base, on-demand computation,
// and creating the folder.

#include "appfolder.h"

#include <QtTest>

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

class TestAppFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void pathsFromTheSystemBase();
    void emptyBaseGivesBareConfigPath();
    void pathsAreComputedOnEveryCall();
    void ensureCreatesAllMissingLevels();
    void ensureOnExistingFolderSucceeds();
    void ensureFailsUnderARegularFile();
};

void TestAppFolder::initTestCase()
{
    // never touch the real configuration folder
    QStandardPaths::setTestModeEnabled(true);
}

void TestAppFolder::cleanup()
{
    AppFolder::setBaseOverride(std::nullopt);
}

void TestAppFolder::pathsFromTheSystemBase()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QVERIFY(!base.isEmpty());
    QCOMPARE(AppFolder::basePath(), base);
    QCOMPARE(AppFolder::folderPath(), base + "/Velmora");
    QCOMPARE(AppFolder::configFilePath(), base + "/Velmora/pn-config.xml");
}

void TestAppFolder::emptyBaseGivesBareConfigPath()
{
    QCOMPARE(AppFolder::folderPathFor(QString()), QString());
    QCOMPARE(AppFolder::configFilePathFor(QString()), QString("/pn-config.xml"));

    QTemporaryDir cwd;
    QVERIFY(cwd.isValid());
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(cwd.path()));
    AppFolder::setBaseOverride(QString());
    QCOMPARE(AppFolder::folderPath(), QString());
    QCOMPARE(AppFolder::configFilePath(), QString("/pn-config.xml"));
    // nothing to create: an empty folder path is not a failure
    QVERIFY(AppFolder::ensureFolder());
    const bool nothingCreated = QDir(cwd.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
    QVERIFY(QDir::setCurrent(saved));
    QVERIFY(nothingCreated);
}

void TestAppFolder::pathsAreComputedOnEveryCall()
{
    AppFolder::setBaseOverride(QString("/first"));
    QCOMPARE(AppFolder::configFilePath(), QString("/first/Velmora/pn-config.xml"));
    AppFolder::setBaseOverride(QString("/second/base"));
    QCOMPARE(AppFolder::folderPath(), QString("/second/base/Velmora"));
    QCOMPARE(AppFolder::configFilePath(), QString("/second/base/Velmora/pn-config.xml"));
}

void TestAppFolder::ensureCreatesAllMissingLevels()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString base = dir.path() + "/one/two";
    AppFolder::setBaseOverride(base);
    QVERIFY(!QDir(base + "/Velmora").exists());
    QVERIFY(AppFolder::ensureFolder());
    QVERIFY(QDir(base + "/Velmora").exists());
}

void TestAppFolder::ensureOnExistingFolderSucceeds()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath("Velmora"));
    QFile marker(dir.path() + "/Velmora/pn-config.xml");
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.write("<config/>");
    marker.close();
    AppFolder::setBaseOverride(dir.path());
    QVERIFY(AppFolder::ensureFolder());
    QVERIFY(AppFolder::ensureFolder());
    QVERIFY(QFile::exists(AppFolder::configFilePath())); // left alone
}

void TestAppFolder::ensureFailsUnderARegularFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.path() + "/plainfile");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    AppFolder::setBaseOverride(file.fileName() + "/base");
    QVERIFY(!AppFolder::ensureFolder());
    QVERIFY(!QDir(AppFolder::folderPath()).exists());
}

QTEST_GUILESS_MAIN(TestAppFolder)
#include "tst_appfolder.moc"
