// The window and its configuration file: what is loaded at start, each save
// point, the save once at close, and the two warning boxes. Every test works
// in a configuration folder of its own.

#include "configfile.h"
#include "fleet/adddevice.h"
#include "fleet/instancewidget.h"
#include "fleet/torviksummary.h"
#include "fleet/unitpassword.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "mainwindow/configurationstore.h"
#include "mainwindow/mainwindow.h"
#include "meters/minimeter.h"
#include "uitest.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using uitest::child;
using uitest::ConfigSandbox;
using uitest::whenModal;

namespace {

IPCObject *addQuietDevice(MainWindow &window)
{
    AddDevice dialog;
    child<QLineEdit>(&dialog, "addressEdit")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>(&dialog, "portEdit")->setText(QStringLiteral("9"));
    return window.addDeviceFrom(dialog);
}

ConfigSettings stored()
{
    return ConfigFile::load(ConfigSandbox::configPath()).settings;
}

struct SeenBox
{
    QString title;
    QString text;
    QWidget *parent = nullptr;
};

// Answers the next message box with OK, noting what it said.
std::shared_ptr<bool> answerBox(SeenBox &seen)
{
    return whenModal<QMessageBox>([&seen](QMessageBox *box) {
        seen = {box->windowTitle(), box->text(), box->parentWidget()};
        box->button(QMessageBox::Ok)->click();
    });
}

ConfigSettings sampleSettings()
{
    ConfigSettings s;
    ConfigWindow w;
    w.position = QPoint(40, 50);
    w.size = QSize(900, 650);
    w.connectionAlerts = true;
    w.defaultSounds = true;
    s.window = w;
    ConfigRemote r;
    r.address = QStringLiteral("127.0.0.1");
    r.port = 9;
    r.password = QStringLiteral("stored-pw");
    r.metering = false;
    r.alertSounds = {{0, QStringLiteral("/sounds/start.wav")}, {3, QStringLiteral("mute")}};
    r.emailAddresses = QStringList{QStringLiteral("desk@example.org"), QStringLiteral("night@example.org")};
    s.remote = r;
    s.mail.host = QStringLiteral("smtp.example.org");
    s.mail.sender = QStringLiteral("quorvane@example.org");
    return s;
}

} // namespace

class UiConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { IQCommonApp::instance()->start_manager(); }
    void cleanupTestCase() { IQCommonApp::instance()->stop_manager(); }

    void missingFileLoadsNothing();
    void loadAppliesTheStoredDevice();
    void fileWithoutApplicationKeepsTheWindow();
    void corruptFileStartsEmptyWithTheBox();
    void savedWhenADeviceIsAdded();
    void savedOnceOnCloseWithTheDevice();
    void passwordChangeIsSaved();
    void failedSaveShowsTheBox();
};

void UiConfig::missingFileLoadsNothing()
{
    ConfigSandbox sandbox;
    MainWindow window;
    const QSize designed = window.size();
    QVERIFY(!window.loadConfiguration());
    QCOMPARE(window.summary().deviceCount(), 0);
    QVERIFY(!window.selectedDevice());
    QCOMPARE(window.size(), designed);
}

void UiConfig::loadAppliesTheStoredDevice()
{
    ConfigSandbox sandbox;
    const ConfigSettings settings = sampleSettings();
    QVERIFY(ConfigFile::save(ConfigSandbox::configPath(), settings).isEmpty());

    MainWindow window;
    bool dialogSeen = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] { dialogSeen |= QApplication::activeModalWidget() != nullptr; });
    watch.start(5);
    QVERIFY(window.loadConfiguration());
    QCoreApplication::processEvents();
    QVERIFY(!dialogSeen);

    QCOMPARE(window.size(), QSize(900, 650));
    QCOMPARE(window.pos(), QPoint(40, 50));
    QVERIFY(window.alertSwitches().connectionAlerts);
    QVERIFY(window.alertSwitches().defaultSounds);
    QVERIFY(child<QAction>(&window, "actionSound")->isChecked());
    QVERIFY(child<QAction>(&window, "actionAllowDefaultAlerts")->isChecked());
    QCOMPARE(window.configuration().mailServer(), settings.mail);

    QCOMPARE(window.summary().deviceCount(), 1);
    IPCObject *s = window.selectedDevice();
    QVERIFY(s);
    QCOMPARE(window.summary().firstSession(), s);
    QCOMPARE(s->address(), QStringLiteral("127.0.0.1"));
    QCOMPARE(s->port(), quint16(9));
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("stored-pw"));
    QVERIFY(!s->meteringEnabled());
    QCOMPARE(s->alertSound(QV_EVENT_AUDIO_CONNECTION_STARTED), QStringLiteral("/sounds/start.wav"));
    QCOMPARE(s->alertSound(QV_EVENT_DEVICE_OFFLINE), QStringLiteral("mute"));
    QCOMPARE(s->emailAddresses(), settings.remote->emailAddresses);
    InstanceWidget *tile = window.summary().tiles().first();
    QVERIFY(tile->isSelected());
    QVERIFY(!tile->miniMeter()->isVisibleTo(tile));

    // Written back as it came, apart from where the window is now.
    ConfigSettings now = window.configuration().current();
    now.window->position = settings.window->position;
    now.window->size = settings.window->size;
    QVERIFY(now == settings);
}

void UiConfig::fileWithoutApplicationKeepsTheWindow()
{
    ConfigSandbox sandbox;
    QFile file(ConfigSandbox::configPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<config><version>1.0</version><remotes/></config>");
    file.close();

    MainWindow window;
    const QSize designed = window.size();
    QVERIFY(window.loadConfiguration());
    QCOMPARE(window.size(), designed);
    QCOMPARE(window.summary().deviceCount(), 0);
    QVERIFY(!window.alertSwitches().connectionAlerts);
}

void UiConfig::corruptFileStartsEmptyWithTheBox()
{
    ConfigSandbox sandbox;
    const QString path = ConfigSandbox::configPath();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<config><remotes><remote><address>127.0.0.1</address>");
    file.close();

    MainWindow window;
    SeenBox seen;
    auto answered = answerBox(seen);
    QVERIFY(window.loadConfiguration());
    QVERIFY(*answered);
    QCOMPARE(seen.title, QStringLiteral("Load Configuration"));
    QVERIFY2(seen.text.startsWith(QStringLiteral("Error loading configuration: ")), qPrintable(seen.text));
    QCOMPARE(seen.parent, static_cast<QWidget *>(&window.summary()));
    QCOMPARE(window.summary().deviceCount(), 0);
    QVERIFY(!window.selectedDevice());
    QVERIFY(QFileInfo::exists(path + QStringLiteral(".bad")));

    // The next save writes a good file and leaves the bad one alone.
    addQuietDevice(window);
    QVERIFY(stored().remote);
    QVERIFY(QFileInfo::exists(path + QStringLiteral(".bad")));
}

void UiConfig::savedWhenADeviceIsAdded()
{
    ConfigSandbox sandbox;
    MainWindow window;
    QSignalSpy saved(&window.configuration(), &ConfigurationStore::saved);
    addQuietDevice(window);
    QCOMPARE(saved.count(), 1);
    const ConfigSettings s = stored();
    QVERIFY(s.remote);
    QCOMPARE(s.remote->address, QStringLiteral("127.0.0.1"));
    QCOMPARE(s.remote->port, 9);
    QCOMPARE(s.remote->password, QStringLiteral("tarlin"));
    QVERIFY(s.remote->metering);
    QCOMPARE(QFileInfo(ConfigSandbox::configPath()).permissions(),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
}

void UiConfig::savedOnceOnCloseWithTheDevice()
{
    ConfigSandbox sandbox;
    auto *window = new MainWindow;
    addQuietDevice(*window);
    window->resize(1000, 700);
    QSignalSpy saved(&window->configuration(), &ConfigurationStore::saved);
    window->close();
    QCOMPARE(saved.count(), 1);
    delete window;
    QCOMPARE(saved.count(), 1);
    // Saved while the device was still there.
    const ConfigSettings s = stored();
    QVERIFY(s.remote);
    QCOMPARE(s.remote->address, QStringLiteral("127.0.0.1"));
    QCOMPARE(s.window->size, std::optional<QSize>(QSize(1000, 700)));

    // Destroyed without a close: saved once as well.
    auto *second = new MainWindow;
    QSignalSpy savedSecond(&second->configuration(), &ConfigurationStore::saved);
    delete second;
    QCOMPARE(savedSecond.count(), 1);
}

void UiConfig::passwordChangeIsSaved()
{
    ConfigSandbox sandbox;
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    auto answered = whenModal<UnitPassword>([](UnitPassword *d) {
        child<QLineEdit>(d, "passwordEdit")->setText(QStringLiteral("n3w"));
        child<QPushButton>(d, "okButton")->click();
    });
    window.askForPassword(s->uuid(), &window);
    QVERIFY(*answered);
    QCOMPARE(stored().remote->password, QStringLiteral("n3w"));
}

void UiConfig::failedSaveShowsTheBox()
{
    ConfigSandbox sandbox;
    MainWindow window;
    addQuietDevice(window);
    // The folder's place is taken by a file: nothing can be written there.
    const QString blocked = sandbox.base() + QStringLiteral("/blocked");
    QFile blocker(blocked);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocked));

    QSignalSpy saved(&window.configuration(), &ConfigurationStore::saved);
    SeenBox seen;
    auto answered = answerBox(seen);
    window.saveConfiguration();
    QVERIFY(*answered);
    QCOMPARE(seen.title, QStringLiteral("Save Configuration"));
    QVERIFY2(seen.text.startsWith(QStringLiteral("Error saving configuration: ")), qPrintable(seen.text));
    QCOMPARE(seen.parent, static_cast<QWidget *>(&window.summary()));
    QCOMPARE(saved.count(), 0);
    // The window's own save at its end fails the same way.
    auto atEnd = answerBox(seen);
    window.close();
    QVERIFY(*atEnd);
}

QTEST_MAIN(UiConfig)
#include "tst_ui_config.moc"
