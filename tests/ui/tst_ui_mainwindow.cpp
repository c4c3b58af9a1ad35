// The main window without a codec on the other end: its single-device
// presentation, the add-device flow, the password prompt, the header's state
// texts and the log tab.

#include "fleet/adddevice.h"
#include "fleet/devicestatetext.h"
#include "fleet/torviksummary.h"
#include "fleet/unitpassword.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "log/logtab.h"
#include "mainwindow/detailspane.h"
#include "mainwindow/mainwindow.h"
#include "sessiontable.h"
#include "uitest.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using State = IQEndpointClient::DEVICE_STATE;
using uitest::child;
using uitest::whenModal;

namespace {

// Nothing is expected to listen here: sessions keep trying in the background.
const char *const kQuietAddress = "127.0.0.1";
const char *const kQuietPort = "9";

IPCObject *addQuietDevice(MainWindow &window, const QString &address = kQuietAddress)
{
    AddDevice dialog;
    child<QLineEdit>(&dialog, "addressEdit")->setText(address);
    child<QLineEdit>(&dialog, "portEdit")->setText(kQuietPort);
    return window.addDeviceFrom(dialog);
}

QString header(MainWindow &window)
{
    return child<QLabel>(&window, "headerLabel")->text();
}

QStringList viewLines(MainWindow &window)
{
    const QString text = child<QPlainTextEdit>(&window, "logView")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// The log text without its time stamp ("hh:mm:ss ").
QStringList withoutTimes(const QStringList &lines)
{
    QStringList out;
    for (const QString &l : lines)
        out << l.mid(9);
    return out;
}

} // namespace

class UiMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { IQCommonApp::instance()->start_manager(); }
    void cleanupTestCase() { IQCommonApp::instance()->stop_manager(); }

    void singleDevicePresentation();
    void nothingSelectedDisablesDeviceActions();
    void acceptingInitialValues();
    void cancellingAddsNothing();
    void buttonAndActionRunTheFlow();
    void addingReplacesTheManagedDevice();
    void removingTheDeviceEmptiesTheDetails();
    void soundFieldsOnlyTakeExistingFiles();
    void passwordPromptStoresAndReconnects();
    void rejectedPasswordPromptChangesNothing();
    void passwordPromptOutlivesItsDevice();
    void headerShowsStateTexts();
    void readyRedrawsTheDetailsOnce();
    void stateTexts();
    void logFollowsTheSelectedDevice();
    void logReset();
    void logSaveThroughDialog();
    void logFileWriting();
    void closingTheWindowEndsSessions();

private:
    // Windows read and write a configuration file of this test's own.
    uitest::ConfigSandbox m_config;
};

void UiMainWindow::singleDevicePresentation()
{
    MainWindow window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the dropped menus
    QCOMPARE(window.windowTitle(), QStringLiteral("Pennoral"));

    QStringList menus;
    for (QAction *a : window.menuBar()->actions())
        menus << a->text();
    // The fleet's menus go; the alert switches stay reachable.
    QCOMPARE(menus, (QStringList{"File", "Codec", "Alerts", "Help"}));

    auto *button = child<QPushButton>(&window, "loadCodecButton");
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Load Codec Instance..."));
    QCOMPARE(button->minimumWidth(), 150);
    QVERIFY(!button->icon().isNull());

    auto *add = child<QAction>(&window, "actionAddDevice");
    QCOMPARE(add->text(), QStringLiteral("Load Codec Instance..."));
    QCOMPARE(add->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    auto *codec = child<QMenu>(&window, "menuCodec");
    QVERIFY(codec->actions().contains(add));
    QCOMPARE(child<QAction>(&window, "actionRemoveDevice")->text(), QStringLiteral("Disconnect from Codec Instance"));
    auto *exit = child<QAction>(&window, "actionExit");
    QCOMPARE(exit->shortcut(), QKeySequence(QStringLiteral("Ctrl+W")));
    QVERIFY(child<QMenu>(&window, "menuFile")->actions().contains(exit));
    QVERIFY(!child<QMenu>(&window, "menuHelp")->actions().contains(child<QAction>(&window, "actionNick")));

    // The details stack fills the window; the fleet boxes are out of sight.
    window.show();
    QVERIFY(child<QWidget>(&window, "detailsStack")->isVisible());
    QVERIFY(!child<QWidget>(&window, "summaryGroupBox")->isVisible());
    QVERIFY(!child<QWidget>(&window, "detailsGroupBox")->isVisible());
    QCOMPARE(child<QStackedWidget>(&window, "detailsStack")->currentIndex(), 1);

    auto *stats = child<QTableWidget>(&window, "statsTable");
    QCOMPARE(stats->columnCount(), 10);
    QCOMPARE(stats->horizontalHeaderItem(0)->text(), QStringLiteral("Remote Unit"));
    QCOMPARE(stats->horizontalHeaderItem(9)->text(), QStringLiteral("Remote Loss"));
    // The designed widths, or the header's own where this platform's font needs more.
    const int widths[] = {85, 55, 88, 58, 58, 80, 55, 70, 70};
    for (int column = 1; column <= 9; ++column) {
        const int header = stats->horizontalHeader()->sectionSizeHint(column);
        QCOMPARE(stats->columnWidth(column), qMax(widths[column - 1], header));
    }
}

void UiMainWindow::nothingSelectedDisablesDeviceActions()
{
    MainWindow window;
    window.handleAllEnables();
    QVERIFY(!window.selectedDevice());
    QVERIFY(!child<QAction>(&window, "actionRemoveDevice")->isEnabled());
    QVERIFY(!child<QAction>(&window, "actionInputPassword")->isEnabled());
    QVERIFY(!child<QWidget>(&window, "logButtonBox")->isEnabled());
    QVERIFY(child<QAction>(&window, "actionAddDevice")->isEnabled());
    QVERIFY(child<QAction>(&window, "actionExit")->isEnabled());
    window.showPasswordDialog(); // nothing selected: nothing happens
    window.resetLog();
}

void UiMainWindow::acceptingInitialValues()
{
    MainWindow window;
    QString title;
    auto ran = whenModal<AddDevice>([&title](AddDevice *d) {
        title = d->windowTitle();
        child<QPushButton>(d, "okButton")->click();
    });
    window.addDeviceTriggered();
    QVERIFY(*ran);
    QCOMPARE(title, QStringLiteral("Connect to Codec"));

    IPCObject *s = window.selectedDevice();
    QVERIFY(s);
    QCOMPARE(window.sessions().count(), 1);
    QCOMPARE(window.sessions().session(s->uuid()), s);
    QCOMPARE(s->address(), QString());
    QCOMPARE(s->port(), quint16(80));
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("tarlin"));
    QCOMPARE(s->endpointName(), s->uuid().toString());
    QVERIFY(header(window).startsWith(QStringLiteral("(:80)")));
}

void UiMainWindow::cancellingAddsNothing()
{
    MainWindow window;
    IPCObject *before = addQuietDevice(window);
    auto ran = whenModal<AddDevice>([](AddDevice *d) { child<QPushButton>(d, "cancelButton")->click(); });
    window.addDeviceTriggered();
    QVERIFY(*ran);
    QCOMPARE(window.sessions().count(), 1);
    QCOMPARE(window.selectedDevice(), before);
}

void UiMainWindow::buttonAndActionRunTheFlow()
{
    MainWindow window;
    window.show();
    int opened = 0;
    auto cancel = [&opened](AddDevice *d) {
        ++opened;
        QCOMPARE(d->windowTitle(), QStringLiteral("Connect to Codec"));
        d->reject();
    };
    whenModal<AddDevice>(cancel);
    child<QPushButton>(&window, "loadCodecButton")->click();
    whenModal<AddDevice>(cancel);
    child<QAction>(&window, "actionAddDevice")->trigger();
    QCOMPARE(opened, 2);
}

void UiMainWindow::addingReplacesTheManagedDevice()
{
    MainWindow window;
    QPointer<IPCObject> old = addQuietDevice(window, "127.0.0.2");
    QVERIFY(old);
    QSignalSpy removed(&window.sessions(), &SessionTable::sessionRemoved);

    // When the new session comes into being the old one is already gone.
    bool oldGoneFirst = false;
    connect(&window.sessions(), &SessionTable::sessionAdded, this, [&] { oldGoneFirst = old.isNull(); });
    IPCObject *fresh = addQuietDevice(window, "127.0.0.3");
    QVERIFY(fresh);
    QVERIFY(oldGoneFirst);
    QVERIFY(old.isNull());
    QCOMPARE(removed.count(), 1);
    QCOMPARE(window.sessions().count(), 1);
    QCOMPARE(window.selectedDevice(), fresh);
    QCOMPARE(fresh->address(), QStringLiteral("127.0.0.3"));
    QVERIFY(header(window).contains(QStringLiteral("127.0.0.3:9")));
}

void UiMainWindow::removingTheDeviceEmptiesTheDetails()
{
    MainWindow window;
    QPointer<IPCObject> s = addQuietDevice(window);
    auto *remove = child<QAction>(&window, "actionRemoveDevice");
    QVERIFY(remove->isEnabled());
    QCOMPARE(window.summary().deviceCount(), 1);

    remove->trigger();
    QVERIFY(!window.selectedDevice());
    QCOMPARE(window.summary().deviceCount(), 0);
    QCOMPARE(window.sessions().count(), 0);
    QCOMPARE(child<QStackedWidget>(&window, "detailsStack")->currentIndex(), 0);
    QVERIFY(header(window).isEmpty());
    QVERIFY(!remove->isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(s.isNull());
}

void UiMainWindow::soundFieldsOnlyTakeExistingFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString start = dir.filePath("start.wav");
    QFile file(start);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("RIFF");
    file.close();

    MainWindow window;
    AddDevice dialog;
    child<QLineEdit>(&dialog, "addressEdit")->setText(kQuietAddress);
    child<QLineEdit>(&dialog, "portEdit")->setText(kQuietPort);
    dialog.setSoundPath(QV_EVENT_AUDIO_CONNECTION_STARTED, start);
    dialog.setSoundPath(QV_EVENT_AUDIO_CONNECTION_ENDED, dir.filePath("missing.wav"));
    dialog.setSoundPath(QV_EVENT_DEVICE_OFFLINE, dir.path()); // a folder is no sound file
    IPCObject *s = window.addDeviceFrom(dialog);
    QVERIFY(s);
    QCOMPARE(s->alertSound(QV_EVENT_AUDIO_CONNECTION_STARTED), start);
    QVERIFY(s->alertSound(QV_EVENT_AUDIO_CONNECTION_ENDED).isEmpty());
    QVERIFY(s->alertSound(QV_EVENT_DEVICE_ONLINE).isEmpty());
    QVERIFY(s->alertSound(QV_EVENT_DEVICE_OFFLINE).isEmpty());
    QCOMPARE(s->alertSounds().size(), 1);
}

void UiMainWindow::passwordPromptStoresAndReconnects()
{
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    QSignalSpy reconnects(s, SIGNAL(reconnect(QUuid)));
    QString title, prompt;
    auto ran = whenModal<UnitPassword>([&](UnitPassword *d) {
        title = d->windowTitle();
        prompt = child<QLabel>(d, "promptLabel")->text();
        child<QLineEdit>(d, "passwordEdit")->setText(QStringLiteral("n3w-pässword"));
        child<QPushButton>(d, "okButton")->click();
    });
    window.showPasswordDialog();
    QVERIFY(*ran);
    QCOMPARE(title, QStringLiteral("Device Login Failed (127.0.0.1)"));
    QCOMPARE(prompt, QStringLiteral("Enter connection password:")); // no unit name known yet
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("n3w-pässword"));
    QCOMPARE(reconnects.count(), 1);
    QCOMPARE(reconnects.at(0).at(0).toUuid(), s->uuid());
}

void UiMainWindow::rejectedPasswordPromptChangesNothing()
{
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    QSignalSpy reconnects(s, SIGNAL(reconnect(QUuid)));
    auto ran = whenModal<UnitPassword>([](UnitPassword *d) {
        child<QLineEdit>(d, "passwordEdit")->setText(QStringLiteral("typed"));
        d->reject();
    });
    window.askForPassword(s->uuid(), &window);
    QVERIFY(*ran);
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("tarlin"));
    QCOMPARE(reconnects.count(), 0);
}

void UiMainWindow::passwordPromptOutlivesItsDevice()
{
    MainWindow window;
    QPointer<IPCObject> s = addQuietDevice(window);
    auto ran = whenModal<UnitPassword>([&window](UnitPassword *d) {
        // The operator loads another codec while the prompt is still open.
        addQuietDevice(window, "127.0.0.4");
        child<QLineEdit>(d, "passwordEdit")->setText(QStringLiteral("late"));
        d->accept();
    });
    window.askForPassword(s->uuid(), &window);
    QVERIFY(*ran);
    QVERIFY(s.isNull());
    QVERIFY(window.selectedDevice());
    QCOMPARE(QString::fromStdString(window.selectedDevice()->password()), QStringLiteral("tarlin"));
}

void UiMainWindow::headerShowsStateTexts()
{
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    const QUuid id = s->uuid();
    const QString where = QStringLiteral("(127.0.0.1:9)");
    const QList<QPair<State, QString>> steps = {
        {IQEndpointClient::CONNECTING, "Connecting"},
        {IQEndpointClient::CONNECTED, "Logging in..."},
        {IQEndpointClient::AUTHENTICATED, "Logging in..."}, // no words of its own
        {IQEndpointClient::READY, "Ready"},
        {IQEndpointClient::DISCONNECTED, "Not connected"},
        {IQEndpointClient::TIMED_OUT, "Timed Out"},
        {IQEndpointClient::AUTH_FAILED, "Wrong Password"},
        {IQEndpointClient::CODE_UPLOAD, "Device is about to update"},
        {IQEndpointClient::CODE_UPDATE, "Device is updating firmware"},
    };
    for (const auto &step : steps) {
        window.selectedWidgetChangedState(id, step.first);
        QCOMPARE(header(window), where + QStringLiteral(" - ") + step.second);
    }
}

void UiMainWindow::readyRedrawsTheDetailsOnce()
{
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    auto *details = window.findChild<DetailsPane *>();
    QVERIFY(details);
    QSignalSpy refreshed(details, &DetailsPane::refreshed);

    emit s->changedState(s->uuid(), IQEndpointClient::READY);
    QCOMPARE(refreshed.count(), 1);
    QVERIFY(header(window).endsWith(QStringLiteral(" - Ready")));
    for (State other : {IQEndpointClient::CONNECTING, IQEndpointClient::CONNECTED, IQEndpointClient::DISCONNECTED})
        emit s->changedState(s->uuid(), other);
    QCOMPARE(refreshed.count(), 1);

    // Still bound once: a new log line shows once.
    s->eventLog().add0(QStringLiteral("after ready"));
    QCOMPARE(withoutTimes(viewLines(window)), QStringList{"after ready"});
}

void UiMainWindow::stateTexts()
{
    QCOMPARE(connectionCountText(-1), QStringLiteral("Ready"));
    QCOMPARE(connectionCountText(0), QStringLiteral("Ready"));
    QCOMPARE(connectionCountText(1), QStringLiteral("1 connected"));
    QCOMPARE(connectionCountText(12), QStringLiteral("12 connected"));
    QCOMPARE(deviceStateText(IQEndpointClient::READY, 2, "x"), QStringLiteral("2 connected"));
    QCOMPARE(deviceStateText(IQEndpointClient::AUTHENTICATED, 0, "before"), QStringLiteral("before"));
    QCOMPARE(deviceStateText(IQEndpointClient::DEVICE_STATE(42), 0, "before"), QStringLiteral("before"));
}

void UiMainWindow::logFollowsTheSelectedDevice()
{
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    s->eventLog().add0(QStringLiteral("first"));
    s->eventLog().add0(QStringLiteral("second"));
    QCOMPARE(withoutTimes(viewLines(window)), (QStringList{"first", "second"}));

    // Selected again: the view is rebuilt, oldest first, without doubles.
    window.activeInstanceSelected(nullptr);
    QVERIFY(viewLines(window).isEmpty());
    QCOMPARE(child<QStackedWidget>(&window, "detailsStack")->currentIndex(), 0);
    window.activeInstanceSelected(s);
    window.activeInstanceSelected(s);
    QCOMPARE(withoutTimes(viewLines(window)), (QStringList{"first", "second"}));
    s->eventLog().add0(QStringLiteral("third"));
    QCOMPARE(withoutTimes(viewLines(window)), (QStringList{"first", "second", "third"}));
    QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d third$").match(viewLines(window).last()).hasMatch());

    // A full log replaces its oldest line; the view goes on appending.
    for (int i = 0; i < DeviceLog::MaxLines; ++i)
        s->eventLog().add0(QStringLiteral("line %1").arg(i));
    QCOMPARE(s->eventLog().count(), DeviceLog::MaxLines);
    QCOMPARE(viewLines(window).size(), DeviceLog::MaxLines + 3);
    QVERIFY(viewLines(window).last().endsWith(QStringLiteral("line 999")));
}

void UiMainWindow::logReset()
{
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    s->eventLog().add0(QStringLiteral("one"));
    s->eventLog().add0(QStringLiteral("two"));
    QSignalSpy added(&s->eventLog(), &DeviceLog::lineAdded);
    QSignalSpy replaced(&s->eventLog(), &DeviceLog::lineReplaced);

    auto *box = child<QDialogButtonBox>(&window, "logButtonBox");
    QAbstractButton *reset = box->button(QDialogButtonBox::Reset);
    QVERIFY(reset);
    QCOMPARE(reset->text(), QStringLiteral("Reset"));
    QCOMPARE(box->button(QDialogButtonBox::Save)->text(), QStringLiteral("Save"));
    window.handleLogButtonPress(reset);
    QCOMPARE(s->eventLog().count(), 0);
    QVERIFY(viewLines(window).isEmpty());
    QCOMPARE(added.count(), 0);
    QCOMPARE(replaced.count(), 0);

    s->eventLog().add0(QStringLiteral("after"));
    QCOMPARE(s->eventLog().count(), 1);
    QCOMPARE(withoutTimes(viewLines(window)), QStringList{"after"});
}

void UiMainWindow::logSaveThroughDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    MainWindow window;
    IPCObject *s = addQuietDevice(window);
    s->eventLog().add0(QStringLiteral("Audio connection started. Active peers: Alpha"));
    s->eventLog().add0(QStringLiteral("Audio connection ended. Disconnected peers: Alpha"));

    // The chooser is told the name on every tick until it closes.
    QString title;
    QStringList filters;
    bool seen = false;
    QTimer chooser;
    chooser.setInterval(20);
    connect(&chooser, &QTimer::timeout, this, [&] {
        auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!d || !d->isVisible())
            return;
        seen = true;
        title = d->windowTitle();
        filters = d->nameFilters();
        // selectFile() leaves the name field alone while it has the focus.
        d->setDirectory(dir.path());
        if (auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(QStringLiteral("evening"));
        QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
    });
    chooser.start();
    auto *box = child<QDialogButtonBox>(&window, "logButtonBox");
    window.handleLogButtonPress(box->button(QDialogButtonBox::Save));
    chooser.stop();
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("Save Log as txt File"));
    QCOMPARE(filters, QStringList{"Text file (*.txt)"});

    QFile saved(dir.filePath("evening.txt"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 3); // two lines, each ended by CR LF
    QVERIFY(lines.at(0).endsWith("Active peers: Alpha\r"));
    QVERIFY(lines.at(1).endsWith("Disconnected peers: Alpha\r"));
    QVERIFY(lines.at(2).isEmpty());
}

void UiMainWindow::logFileWriting()
{
    QCOMPARE(LogTab::logFileName("log"), QStringLiteral("log.txt"));
    QCOMPARE(LogTab::logFileName("log.TXT"), QStringLiteral("log.TXT"));
    QCOMPARE(LogTab::logFileName("log.Txt"), QStringLiteral("log.Txt"));
    QCOMPARE(LogTab::logFileName("log.txt.bak"), QStringLiteral("log.txt.bak.txt"));

    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    QVERIFY(LogTab::writeLogFile(path, QString(5000, QLatin1Char('x'))));
    // A shorter log replaces the longer one completely.
    QVERIFY(LogTab::writeLogFile(path, QStringLiteral("a\nb")));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("a\r\nb\r\n"));
    QVERIFY(!LogTab::writeLogFile(dir.filePath("no/such/folder/log.txt"), QStringLiteral("a")));
}

void UiMainWindow::closingTheWindowEndsSessions()
{
    QPointer<IPCObject> s;
    {
        MainWindow window;
        s = addQuietDevice(window);
        QVERIFY(s);
        QCOMPARE(MainWindow::instance(), &window);
    }
    QVERIFY(s.isNull());
    QVERIFY(!MainWindow::instance());
}

QTEST_MAIN(UiMainWindow)
#include "tst_ui_mainwindow.moc"
