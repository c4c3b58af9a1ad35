// The window and its configuration file: what is loaded at start, the save
// points, the one save at close, and the two warning boxes. Each test works
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

// Answers the next message box with OK; @p seen is "title|text start", with the box's parent.
std::shared_ptr<bool> answerBox(QString &seen, QWidget *&parent)
{
    return whenModal<QMessageBox>([&seen, &parent](QMessageBox *box) {
        seen = box->windowTitle() + QLatin1Char('|') + box->text().section(QLatin1Char(':'), 0, 0);
        parent = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    });
}

} // namespace

class UiConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { IQCommonApp::instance()->start_manager(); }
    void cleanupTestCase() { IQCommonApp::instance()->stop_manager(); }

    void loadAppliesTheStoredDevice();
    void corruptFileStartsEmptyWithTheBox();
    void savedOnAddAndOnceOnClose();
    void passwordChangeIsSaved();
    void failedSaveShowsTheBox();
};

void UiConfig::loadAppliesTheStoredDevice()
{
    ConfigSandbox sandbox;
    ConfigSettings settings;
    settings.window = ConfigWindow{QPoint(40, 50), QSize(900, 650), true, true};
    ConfigRemote r;
    r.address = QStringLiteral("127.0.0.1");
    r.port = 9;
    r.password = QStringLiteral("stored-pw");
    r.metering = false;
    r.alertSounds = {{0, QStringLiteral("/sounds/start.wav")}, {3, QStringLiteral("mute")}};
    r.emailAddresses = QStringList{QStringLiteral("desk@example.org")};
    settings.remote = r;
    settings.mail.host = QStringLiteral("smtp.example.org");
    QVERIFY(ConfigFile::save(ConfigSandbox::configPath(), settings).isEmpty());

    MainWindow window;
    QVERIFY(window.loadConfiguration());
    QCOMPARE(window.size(), QSize(900, 650));
    QCOMPARE(window.pos(), QPoint(40, 50));
    QVERIFY(window.alertSwitches().connectionAlerts && window.alertSwitches().defaultSounds);
    QVERIFY(child<QAction>(&window, "actionSound")->isChecked());

    IPCObject *s = window.selectedDevice();
    QVERIFY(s);
    QCOMPARE(window.summary().firstSession(), s);
    QCOMPARE(s->address(), QStringLiteral("127.0.0.1"));
    QCOMPARE(s->port(), quint16(9));
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("stored-pw"));
    QVERIFY(!s->meteringEnabled());
    QCOMPARE(s->alertSounds(), r.alertSounds);
    QCOMPARE(s->emailAddresses(), r.emailAddresses);
    InstanceWidget *tile = window.summary().tiles().first();
    QVERIFY(tile->isSelected());
    QVERIFY(!tile->miniMeter()->isVisibleTo(tile));

    // Written back as it came, the mail server included, but for where the window is.
    ConfigSettings now = window.configuration().current();
    now.window->position = settings.window->position;
    now.window->size = settings.window->size;
    QVERIFY(now == settings);
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
    QString seen;
    QWidget *parent = nullptr;
    auto answered = answerBox(seen, parent);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^configuration file: .*Premature end of document"));
    QVERIFY(window.loadConfiguration());
    QVERIFY(*answered);
    QCOMPARE(seen, QStringLiteral("Load Configuration|Error loading configuration"));
    QCOMPARE(parent, static_cast<QWidget *>(&window.summary()));
    QCOMPARE(window.summary().deviceCount(), 0);
    QVERIFY(QFileInfo::exists(path + QStringLiteral(".bad")));

    // The next save writes a good file and leaves the bad one alone.
    addQuietDevice(window);
    QVERIFY(stored().remote);
    QVERIFY(QFileInfo::exists(path + QStringLiteral(".bad")));
}

void UiConfig::savedOnAddAndOnceOnClose()
{
    ConfigSandbox sandbox;
    auto *window = new MainWindow;
    QSignalSpy saved(&window->configuration(), &ConfigurationStore::saved);
    addQuietDevice(*window);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(stored().remote->password, QStringLiteral("tarlin"));
    QCOMPARE(QFileInfo(ConfigSandbox::configPath()).permissions(),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);

    window->resize(1000, 700);
    window->close();
    delete window;
    QCOMPARE(saved.count(), 2);
    // Saved while the device was still there.
    const ConfigSettings s = stored();
    QCOMPARE(s.remote->address, QStringLiteral("127.0.0.1"));
    QCOMPARE(s.remote->port, 9);
    QCOMPARE(s.window->size, std::optional<QSize>(QSize(1000, 700)));
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
    // The folder's place is taken by a file: nothing can be written there.
    const QString blocked = sandbox.base() + QStringLiteral("/blocked");
    QFile blocker(blocked);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocked));

    QSignalSpy saved(&window.configuration(), &ConfigurationStore::saved);
    QString seen;
    QWidget *parent = nullptr;
    auto answered = answerBox(seen, parent);
    window.saveConfiguration();
    QVERIFY(*answered);
    QCOMPARE(seen, QStringLiteral("Save Configuration|Error saving configuration"));
    QCOMPARE(parent, static_cast<QWidget *>(&window.summary()));
    QCOMPARE(saved.count(), 0);
    auto atClose = answerBox(seen, parent);
    window.close();
    QVERIFY(*atClose);
}

QTEST_MAIN(UiConfig)
#include "tst_ui_config.moc"
