// The application shell: exceptions escaping handlers, the folder warning, the
// whole start-up sequence in-process, and the program as a separate process.

#include "appfolder.h"
#include "appicon.h"
#include "devicelog.h"
#include "mainwindow/mainwindow.h"
#include "myqapplication.h"
#include "qtmessage.h"
#include "qvevent.h"
#include "common/sharedicons.h"
#include "startup.h"

#include <QtTest>

#include <QAbstractButton>
#include <QAction>
#include <QException>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

class Thrower : public QObject
{
    Q_OBJECT

public:
    std::function<void()> action;
    int calls = 0;

public slots:
    void run()
    {
        ++calls;
        if (action)
            action();
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("thrown from an event handler");
        return QObject::event(e);
    }
};

// Receives a Message by value through a slot invoked by name, as the device
// sessions' callbacks are.
class MessageReceiver : public QObject
{
    Q_OBJECT

public:
    Message last;
    int count = 0;

public slots:
    void take(Message m)
    {
        last = m;
        ++count;
    }
};

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QStringList buttons;
    bool hasParent;
};

/**
 * Plays the operator during a start-up that runs the event loop: answers
 * every modal message box with its OK button, and once a visible main window
 * is up, notes what it sees and triggers File > Exit.
 */
class StartupDriver : public QObject
{
    Q_OBJECT

public:
    StartupDriver()
    {
        connect(&m_timer, &QTimer::timeout, this, &StartupDriver::tick);
        m_timer.start(10);
    }

    QList<SeenBox> boxes;
    QString windowTitle;
    bool windowHadParent = true;
    bool windowSeen = false;
    QString styleSheetSeen;

private slots:
    void tick()
    {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (box->isVisible() && !m_answered.contains(box)) {
                m_answered << box;
                SeenBox seen{box->windowTitle(), box->text(), box->icon(), {}, box->parentWidget() != nullptr};
                for (QAbstractButton *b : box->buttons())
                    seen.buttons << b->text();
                boxes << seen;
                box->button(QMessageBox::Ok)->click();
            }
            return;
        }
        if (windowSeen)
            return;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<MainWindow *>(w);
            if (!window || !window->isVisible())
                continue;
            windowSeen = true;
            windowTitle = window->windowTitle();
            windowHadParent = window->parentWidget() != nullptr;
            styleSheetSeen = qApp->styleSheet();
            auto *exitAction = window->findChild<QAction *>("actionExit");
            QVERIFY(exitAction);
            // From the event loop, as a click would come: a box the window
            // shows while closing is answered by the next tick.
            QTimer::singleShot(0, exitAction, &QAction::trigger);
            return;
        }
    }

private:
    QTimer m_timer;
    QList<QPointer<QMessageBox>> m_answered;
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void notifyLogsStdExceptionAndGoesOn();
    void notifyLogsQException();
    void notifyLogsUnknownException();
    void notifyReturnsFalseForAThrowingHandler();

    void folderFailureShowsTheBoxOnce();
    void existingFolderShowsNoBox();
    void guardedStepsReturnOneOnException();
    void applicationIconSizes_data();
    void applicationIconSizes();

    void startupRunsToTheEventLoopAndExits();
    void startupGoesOnAfterTheFolderBox();

    void programShowsItsWindowAndExitsCleanly();

private:
    QTemporaryDir m_dir;
};

void TestStartup::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(dynamic_cast<MyQApplication *>(qApp));
}

void TestStartup::cleanup()
{
    AppFolder::setBaseOverride(std::nullopt);
}

void TestStartup::notifyLogsStdExceptionAndGoesOn()
{
    Thrower thrower;
    thrower.action = [] { throw std::runtime_error("boom from a slot"); };
    QTest::ignoreMessage(QtCriticalMsg, "boom from a slot");
    QMetaObject::invokeMethod(&thrower, "run", Qt::QueuedConnection);
    QTRY_COMPARE(thrower.calls, 1);

    // the event loop still delivers what comes next
    thrower.action = nullptr;
    QMetaObject::invokeMethod(&thrower, "run", Qt::QueuedConnection);
    QTRY_COMPARE(thrower.calls, 2);
}

void TestStartup::notifyLogsQException()
{
    Thrower thrower;
    thrower.action = [] { throw QException(); };
    // QException keeps the standard what() text
    QTest::ignoreMessage(QtCriticalMsg, QException().what());
    QTimer::singleShot(0, &thrower, &Thrower::run);
    QTRY_COMPARE(thrower.calls, 1);
}

void TestStartup::notifyLogsUnknownException()
{
    Thrower thrower;
    thrower.action = [] { throw 42; };
    QTest::ignoreMessage(QtCriticalMsg, "An exception was raised.");
    QMetaObject::invokeMethod(&thrower, "run", Qt::QueuedConnection);
    QTRY_COMPARE(thrower.calls, 1);
}

void TestStartup::notifyReturnsFalseForAThrowingHandler()
{
    Thrower thrower;
    QEvent throwing(QEvent::User);
    QTest::ignoreMessage(QtCriticalMsg, "thrown from an event handler");
    QCOMPARE(qApp->notify(&thrower, &throwing), false);

    // without an exception the handler's own answer comes through
    QTimerEvent handled(12345);
    QCOMPARE(qApp->notify(&thrower, &handled), true);
}

void TestStartup::folderFailureShowsTheBoxOnce()
{
    QFile file(m_dir.path() + "/not-a-folder");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    AppFolder::setBaseOverride(file.fileName() + "/config");

    StartupDriver driver;
    QVERIFY(!ensureAppFolderOrReport());
    QCOMPARE(driver.boxes.size(), 1);
    const SeenBox &box = driver.boxes.first();
    QCOMPARE(box.title, QString("Can't create file directory"));
    QCOMPARE(box.text, "Quorvane is unable to create the folder " + file.fileName()
                           + "/config/Velmora . Try running the program as an administrator, or adjusting "
                             "security settings on this computer.");
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QStringList({"OK"}));
    QVERIFY(!box.hasParent);
}

void TestStartup::existingFolderShowsNoBox()
{
    const QString base = m_dir.path() + "/existing";
    QVERIFY(QDir().mkpath(base + "/Velmora"));
    AppFolder::setBaseOverride(base);
    StartupDriver driver;
    QVERIFY(ensureAppFolderOrReport());
    QVERIFY(driver.boxes.isEmpty());
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<QMessageBox *>(w) || !w->isVisible());
}

void TestStartup::guardedStepsReturnOneOnException()
{
    QCOMPARE(runGuarded([] { return 7; }), 7);

    QPointer<QObject> created;
    QTest::ignoreMessage(QtCriticalMsg, "main window failed");
    const int result = runGuarded([&created]() -> int {
        QObject local;
        created = &local;
        throw std::runtime_error("main window failed");
    });
    QCOMPARE(result, 1);
    QVERIFY(created.isNull()); // cleaned up as on a normal exit

    QTest::ignoreMessage(QtCriticalMsg, "An exception was raised.");
    QCOMPARE(runGuarded([]() -> int { throw 1; }), 1);
}

void TestStartup::applicationIconSizes_data()
{
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("fromFile"); // the drawn size that serves it
    QTest::newRow("drawn size") << 48 << 48;
    QTest::newRow("between sizes: the larger file") << 20 << 24;
    QTest::newRow("smallest") << 8 << 16;
    QTest::newRow("beyond the largest") << 512 << 256;
}

void TestStartup::applicationIconSizes()
{
    QFETCH(int, asked);
    QFETCH(int, fromFile);
    const QIcon icon = applicationIcon();
    QCOMPARE(icon.availableSizes().size(), 7);
    const QImage image = icon.pixmap(QSize(asked, asked)).toImage();
    QCOMPARE(image.size(), QSize(asked, asked));
    const QImage drawn(QStringLiteral(":/appicon/quorvane-%1.png").arg(fromFile));
    QVERIFY(!drawn.isNull());
    // the centre pixel of the file that served it, scaled or not
    const QColor want = drawn.pixelColor(drawn.width() / 2, drawn.height() / 2);
    const QColor got = image.pixelColor(asked / 2, asked / 2);
    QVERIFY2(qAbs(want.red() - got.red()) + qAbs(want.green() - got.green()) + qAbs(want.blue() - got.blue()) < 40,
             qPrintable(QStringLiteral("%1 vs %2").arg(want.name(), got.name())));
}

void TestStartup::startupRunsToTheEventLoopAndExits()
{
    const QString base = m_dir.path() + "/fresh";
    AppFolder::setBaseOverride(base);

    StartupDriver driver;
    const int code = runQuorvane(*qApp);
    QCOMPARE(code, 0);
    QVERIFY(driver.windowSeen);
    QCOMPARE(driver.windowTitle, QString("Pennoral"));
    QVERIFY(!driver.windowHadParent);
    QCOMPARE(driver.styleSheetSeen, QString("* {font-family: \"Arial\"}"));
    QVERIFY(driver.boxes.isEmpty());

    QVERIFY(QDir(base + "/Velmora").exists());
    QVERIFY(QMetaType::type("Message") != QMetaType::UnknownType);
    QCOMPARE(QMetaType::type("Message"), qMetaTypeId<Message>());
    QCOMPARE(QMetaType::type("LogLine"), qMetaTypeId<LogLine>());
    QCOMPARE(QMetaType::type("QV_EVENT"), qMetaTypeId<QV_EVENT>());
    QCOMPARE(QMetaType::sizeOf(qMetaTypeId<QV_EVENT>()), 4);
    QCOMPARE(QMetaType::sizeOf(qMetaTypeId<LogLine>()), int(2 * sizeof(void *)));
    // The summary's three icons went with it; the asterisks stay.
    for (int i = 0; i < SharedIcons::Count; ++i) {
        const auto id = SharedIcons::Id(i);
        const bool summaryIcon = id == SharedIcons::GreenCheck || id == SharedIcons::RedX || id == SharedIcons::Key;
        QCOMPARE(SharedIcons::isLoaded(id), !summaryIcon);
    }

    // the main window was destroyed when the event loop returned
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<MainWindow *>(w));

    // a Message really crosses a queued connection by value
    Message m("peerList");
    m.add_child("peer").set_int("id", 4);
    MessageReceiver receiver;
    QVERIFY(QMetaObject::invokeMethod(&receiver, "take", Qt::QueuedConnection, Q_ARG(Message, m)));
    m.get_child("peer").set_int("id", 5); // the queued copy is unaffected
    QTRY_COMPARE(receiver.count, 1);
    QCOMPARE(receiver.last.child_count("peer"), 1);
    QCOMPARE(receiver.last.get_child("peer").get_int("id"), 4);
}

void TestStartup::startupGoesOnAfterTheFolderBox()
{
    QFile file(m_dir.path() + "/blocker");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    AppFolder::setBaseOverride(file.fileName());

    StartupDriver driver;
    const int code = runQuorvane(*qApp);
    QCOMPARE(code, 0);
    // No file to load there; saving at exit cannot write it and says so.
    QCOMPARE(driver.boxes.size(), 2);
    QCOMPARE(driver.boxes.at(0).title, QString("Can't create file directory"));
    QCOMPARE(driver.boxes.at(1).title, QString("Save Configuration"));
    QVERIFY(driver.boxes.at(1).text.startsWith("Error saving configuration: "));
    QVERIFY(driver.windowSeen);
    QCOMPARE(driver.windowTitle, QString("Pennoral"));
}

void TestStartup::programShowsItsWindowAndExitsCleanly()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.path());
    env.insert("QUORVANE_CLOSE_AFTER_SHOW", "1");

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QUORVANE_PATH), QStringList());
    QVERIFY2(program.waitForStarted(30000), qPrintable(program.errorString()));
    QVERIFY2(program.waitForFinished(120000), "the program did not end after its window was closed");
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, qPrintable(err));
    QVERIFY2(err.contains("main window shown: Pennoral (visible, painted)"), qPrintable(err));
    // the build tree has the sounds beside the program
    QVERIFY2(err.contains(QRegularExpression("default alert sound wav/d_conn.wav: /.*/wav/d_conn.wav")),
             qPrintable(err));
    QVERIFY(QDir(home.path() + "/Velmora").exists());
}

int main(int argc, char **argv)
{
    MyQApplication app(argc, argv);
    TestStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
