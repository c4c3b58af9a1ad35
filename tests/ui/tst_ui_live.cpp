// The main window against simulated codecs over 127.0.0.1: a codec loaded
// through the dialog reaches READY and fills the header and status labels, a
// refused password is asked for and corrected, the log follows calls, and a
// loaded codec replaces the one before it on the wire too.

#include "codecsim.h"
#include "configfile.h"
#include "fleet/adddevice.h"
#include "fleet/instancewidget.h"
#include "fleet/torvikstatrow.h"
#include "fleet/torviksummary.h"
#include "fleet/unitpassword.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "mainwindow/detailspane.h"
#include "mainwindow/mainwindow.h"
#include "meters/meterwidget.h"
#include "meters/monitoringmeter.h"
#include "sessiontable.h"
#include "uitest.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using State = IQEndpointClient::DEVICE_STATE;
using uitest::child;
using uitest::whenModal;

namespace {

const int Long = 20000; // generous: the machine may be busy

class Sim
{
public:
    explicit Sim(const std::string &password = "tarlin", int activePeers = 0)
    {
        codecsim::Options options;
        options.port = 0;
        options.password = password;
        options.activePeers = activePeers;
        m_sim = std::make_unique<codecsim::Simulator>(options);
        std::string error;
        m_ok = m_sim->start(error);
        if (!m_ok)
            qWarning("simulator did not start: %s", error.c_str());
    }
    bool ok() const { return m_ok; }
    quint16 port() const { return m_sim->ports().at(0); }
    int clients() const { return m_sim->clientCount(); }
    /** Closes the codec's clients as a restart of the codec would. */
    void dropClients() { m_sim->dropClients(0); }

private:
    std::unique_ptr<codecsim::Simulator> m_sim;
    bool m_ok = false;
};

QString header(MainWindow &window)
{
    return child<QLabel>(&window, "headerLabel")->text();
}

QString label(MainWindow &window, const char *name)
{
    return child<QLabel>(&window, name)->text();
}

QString logText(MainWindow &window)
{
    return child<QPlainTextEdit>(&window, "logView")->toPlainText();
}

/** Loads 127.0.0.1:@p port through the window's button and dialog, typing like an operator. */
IPCObject *loadThroughDialog(MainWindow &window, quint16 port)
{
    auto ran = whenModal<AddDevice>([port](AddDevice *d) {
        QTest::keyClicks(child<QLineEdit>(d, "addressEdit"), QStringLiteral("127.0.0.1"));
        QLineEdit *portEdit = child<QLineEdit>(d, "portEdit");
        portEdit->selectAll();
        QTest::keyClicks(portEdit, QString::number(port));
        child<QPushButton>(d, "okButton")->click();
    });
    child<QPushButton>(&window, "loadCodecButton")->click();
    if (!*ran)
        return nullptr;
    return window.selectedDevice();
}

/**
 * With QV_SCREENSHOTS naming a folder, saves the window's six tabs there as
 * tab0.png ... tab5.png, to look at or to compare with another build.
 */
void saveTabScreenshots(MainWindow &window)
{
    const QString folder = qEnvironmentVariable("QV_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    window.resize(1100, 720);
    auto *tabs = child<QTabWidget>(&window, "statusTabWidget");
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QVERIFY(window.grab().save(folder + QStringLiteral("/tab%1.png").arg(i)));
    }
    tabs->setCurrentIndex(0);
}

/** With QV_SCREENSHOTS naming a folder, saves @p widget there as @p name. */
void saveShot(QWidget *widget, const char *name)
{
    const QString folder = qEnvironmentVariable("QV_SCREENSHOTS");
    if (!folder.isEmpty())
        QVERIFY(widget->grab().save(folder + QLatin1Char('/') + QLatin1String(name)));
}

/**
 * The tile of @p window's device, drawn at a tile's usual size when it
 * changes state (the single-device presentation keeps tiles out of sight).
 */
class TileShots : public QObject
{
public:
    explicit TileShots(MainWindow &window)
        : m_window(window)
    {
    }
    /** Draws the tile the first time @p s enters each of @p states. */
    void follow(IPCObject *s, const QList<State> &states)
    {
        // Connected after the tile's own slot: the tile shows the state already.
        connect(s, &IPCObject::changedState, this, [this, states](QUuid, State state) {
            if (!states.contains(state) || m_shot.contains(state))
                return;
            m_shot.append(state);
            shoot(state == IQEndpointClient::CONNECTING    ? "tile-connecting.png"
                  : state == IQEndpointClient::AUTH_FAILED ? "tile-wrong-password.png"
                                                           : "tile-disconnected.png");
        });
    }
    void shoot(const char *name)
    {
        InstanceWidget *tile = m_window.summary().tiles().value(0);
        if (!tile)
            return;
        tile->resize(330, 66);
        saveShot(tile, name);
    }

private:
    MainWindow &m_window;
    QList<State> m_shot;
};

/** The header texts the window shows at each state change of @p s. */
class HeaderLog : public QObject
{
public:
    HeaderLog(MainWindow &window, IPCObject *s)
    {
        // Connected after the window's own slot, so the header is already updated.
        connect(s, &IPCObject::changedState, this, [this, &window] { texts << header(window); });
    }
    bool any(const QString &suffix) const
    {
        for (const QString &t : texts) {
            if (t.endsWith(suffix))
                return true;
        }
        return false;
    }
    QStringList texts;
};

} // namespace

class UiLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerDeviceMetaTypes();
        IQCommonApp::instance()->start_manager();
    }
    void cleanupTestCase() { IQCommonApp::instance()->stop_manager(); }

    void readyThroughTheDialog();
    void wrongPasswordIsAskedFor();
    void logFollowsCalls();
    void loadingAnotherCodecClosesTheFirst();
    void statisticsDuringACall();
    void restartFromTheConfiguration();

private:
    // Windows read and write a configuration file of this test's own.
    uitest::ConfigSandbox m_config;
};

void UiLive::readyThroughTheDialog()
{
    Sim sim;
    QVERIFY(sim.ok());
    MainWindow window;
    window.show();
    IPCObject *s = loadThroughDialog(window, sim.port());
    QVERIFY(s);
    HeaderLog headers(window, s);
    QSignalSpy refreshed(window.findChild<DetailsPane *>(), &DetailsPane::refreshed);
    QSignalSpy states(s, &IPCObject::changedState);
    QCOMPARE(s->port(), sim.port());
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("tarlin"));

    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::READY, Long);
    QTRY_VERIFY_WITH_TIMEOUT(header(window).endsWith(QStringLiteral(" - Ready")), Long);
    QVERIFY2(headers.any(QStringLiteral(" - Connecting")), qPrintable(headers.texts.join(" | ")));
    const QString unit = s->unitName();
    QVERIFY(!unit.isEmpty());
    QCOMPARE(header(window),
             unit + QStringLiteral(" (127.0.0.1:") + QString::number(sim.port()) + QStringLiteral(") - Ready"));

    QTRY_VERIFY_WITH_TIMEOUT(!label(window, "firmwareVersionLabel").isEmpty(), Long);
    QVERIFY(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(label(window, "firmwareVersionLabel")).hasMatch());
    QTRY_VERIFY_WITH_TIMEOUT(label(window, "sipLabel").startsWith(QStringLiteral("Connected (")) ||
                                 label(window, "sipLabel") == QStringLiteral("Not Connected") ||
                                 label(window, "sipLabel") == QStringLiteral("Disabled"),
                             Long);
    QCOMPARE(label(window, "currentEncoderLabel"), QStringLiteral("None")); // no call yet
    // The details redraw once each time the codec becomes ready.
    int readies = 0;
    for (const QList<QVariant> &change : qAsConst(states))
        readies += change.at(1).value<State>() == IQEndpointClient::READY ? 1 : 0;
    QVERIFY(readies >= 1);
    QCOMPARE(refreshed.count(), readies);
    QVERIFY(child<QWidget>(&window, "logButtonBox")->isEnabled());
    QVERIFY(!child<QAction>(&window, "actionInputPassword")->isEnabled());
    saveTabScreenshots(window);
}

void UiLive::wrongPasswordIsAskedFor()
{
    Sim sim("secret");
    QVERIFY(sim.ok());
    MainWindow window;
    window.show();

    QString title, prompt, headerThen;
    bool inputPasswordOffered = false;
    auto answered = whenModal<UnitPassword>([&](UnitPassword *d) {
        title = d->windowTitle();
        prompt = child<QLabel>(d, "promptLabel")->text();
        headerThen = header(window);
        inputPasswordOffered = child<QAction>(&window, "actionInputPassword")->isEnabled();
        QTest::keyClicks(child<QLineEdit>(d, "passwordEdit"), QStringLiteral("secret"));
        child<QPushButton>(d, "okButton")->click();
    });
    IPCObject *s = loadThroughDialog(window, sim.port());
    QVERIFY(s);
    TileShots tiles(window);
    tiles.follow(s, {IQEndpointClient::AUTH_FAILED});
    QTRY_VERIFY_WITH_TIMEOUT(*answered, Long);
    QCOMPARE(title, QStringLiteral("Device Login Failed (127.0.0.1)"));
    QCOMPARE(prompt, QStringLiteral("Enter connection password:"));
    QVERIFY2(headerThen.endsWith(QStringLiteral(" - Wrong Password")), qPrintable(headerThen));
    QVERIFY(inputPasswordOffered);

    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::READY, Long);
    QCOMPARE(QString::fromStdString(s->password()), QStringLiteral("secret"));
    QTRY_VERIFY_WITH_TIMEOUT(header(window).endsWith(QStringLiteral(" - Ready")), Long);
}

void UiLive::logFollowsCalls()
{
    Sim sim;
    QVERIFY(sim.ok());
    MainWindow window;
    window.show();
    IPCObject *s = loadThroughDialog(window, sim.port());
    QVERIFY(s);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::READY, Long);
    QTRY_VERIFY_WITH_TIMEOUT(!s->addressPeers().isEmpty() && !s->defaultProfileId().isEmpty(), Long);
    QVERIFY(logText(window).isEmpty());

    const PeerMetaPtr peer = s->addressPeers().first();
    QVERIFY(s->connectPeer(peer->id, s->defaultProfileId()));
    const QString started = QStringLiteral("Audio connection started. Active peers: ") + peer->name;
    QTRY_VERIFY_WITH_TIMEOUT(logText(window).contains(started), Long);
    QTRY_VERIFY_WITH_TIMEOUT(header(window).endsWith(QStringLiteral(" - 1 connected")), Long);
    QTRY_VERIFY_WITH_TIMEOUT(label(window, "currentEncoderLabel") != QStringLiteral("None"), Long);

    s->disconnectAll();
    QTRY_VERIFY_WITH_TIMEOUT(logText(window).contains(QStringLiteral("Audio connection ended. Disconnected peers: ")
                                                      + peer->name),
                             Long);
    QTRY_VERIFY_WITH_TIMEOUT(header(window).endsWith(QStringLiteral(" - Ready")), Long);
    const QStringList lines = logText(window).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).endsWith(started)); // oldest first
}

void UiLive::loadingAnotherCodecClosesTheFirst()
{
    Sim first;
    Sim second;
    QVERIFY(first.ok() && second.ok());
    MainWindow window;
    window.show();
    QPointer<IPCObject> a = loadThroughDialog(window, first.port());
    QVERIFY(a);
    QTRY_COMPARE_WITH_TIMEOUT(a->state(), IQEndpointClient::READY, Long);
    QTRY_COMPARE_WITH_TIMEOUT(first.clients(), 1, Long);
    QPointer<InstanceWidget> firstTile = window.summary().tiles().value(0);
    QVERIFY(firstTile);

    // The first session is gone before the second one exists.
    bool firstGone = false;
    connect(&window.sessions(), &SessionTable::sessionAdded, this, [&] { firstGone = a.isNull(); });
    IPCObject *b = loadThroughDialog(window, second.port());
    QVERIFY(b);
    QVERIFY(firstGone);
    QVERIFY(a.isNull());
    QCOMPARE(window.sessions().count(), 1);
    QCOMPARE(window.summary().deviceCount(), 1);
    QCOMPARE(window.summary().tiles().first()->session(), b);
    QVERIFY(window.summary().tiles().first()->isSelected());
    QTRY_VERIFY(firstTile.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(first.clients(), 0, Long);
    QTRY_COMPARE_WITH_TIMEOUT(b->state(), IQEndpointClient::READY, Long);
    QCOMPARE(second.clients(), 1);
    QVERIFY(header(window).contains(QStringLiteral(":") + QString::number(second.port()) + QStringLiteral(")")));
}

void UiLive::statisticsDuringACall()
{
    Sim sim;
    QVERIFY(sim.ok());
    MainWindow window;
    window.resize(1100, 720);
    window.show();
    IPCObject *s = loadThroughDialog(window, sim.port());
    QVERIFY(s);
    // States arrive through the event loop: none has been shown yet.
    TileShots tiles(window);
    tiles.follow(s, {IQEndpointClient::CONNECTING, IQEndpointClient::DISCONNECTED});
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::READY, Long);
    QTRY_VERIFY_WITH_TIMEOUT(!s->addressPeers().isEmpty() && !s->defaultProfileId().isEmpty(), Long);
    const PeerMetaPtr peer = s->addressPeers().first();
    QVERIFY(s->connectPeer(peer->id, s->defaultProfileId()));

    auto *table = child<QTableWidget>(&window, "statsTable");
    QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() == 1, Long);
    QCOMPARE(table->item(0, 0)->text(), peer->name);
    QVERIFY(table->item(0, 2)->text().endsWith(QStringLiteral("kbps")));
    // The selected row's peer is the one the graphs draw.
    QCOMPARE(s->delayGraphData().currentKey(), peer->numericId());
    QTRY_VERIFY_WITH_TIMEOUT(s->lossGraphData().series().value(peer->numericId()).frameLoss.size() >= 3, Long);

    // The summary row finds the receiving connection's statistics by its channel.
    InstanceWidget *tile = window.summary().tiles().first();
    TorvikStatRow *row = window.summary().row(tile->tileUuid());
    QTRY_VERIFY_WITH_TIMEOUT(!row->item()->text(TorvikStatRow::Duration).isEmpty(), Long);
    QVERIFY(row->item()->text(TorvikStatRow::Latency).endsWith(QStringLiteral("ms")));
    QCOMPARE(child<QLabel>(tile, "connectionLabel")->text(), peer->name);
    QCOMPARE(child<QLabel>(tile, "stateLabel")->text(), QStringLiteral("1 connected"));

    // The meters move with the codec's levels.
    auto *tabs = child<QTabWidget>(&window, "statusTabWidget");
    auto *meter = child<MonitoringMeter>(&window, "meter");
    QTRY_VERIFY_WITH_TIMEOUT(meter->bar(0)->level() > 0 && meter->bar(2)->level() > 0, Long);

    if (!qEnvironmentVariableIsEmpty("QV_SCREENSHOTS")) {
        tiles.shoot("tile-ready.png");
        tabs->setCurrentWidget(child<QWidget>(&window, "statsTab"));
        QTRY_VERIFY_WITH_TIMEOUT(s->delayGraphData().series().value(peer->numericId()).samples.size() >= 12, 60000);
        QCoreApplication::processEvents();
        saveShot(&window, "stats-tab-call.png");
        tabs->setCurrentWidget(child<QWidget>(&window, "meterTab"));
        QSignalSpy levels(s, &IPCObject::recvAllLevels);
        QVERIFY(levels.wait(Long));
        QCoreApplication::processEvents();
        saveShot(&window, "meters-tab-levels.png");
        QSignalSpy states(s, &IPCObject::changedState);
        sim.dropClients();
        QVERIFY(states.wait(Long));
    }
}

void UiLive::restartFromTheConfiguration()
{
    Sim sim;
    QVERIFY(sim.ok());
    ConfigSettings settings;
    settings.window = ConfigWindow{QPoint(20, 30), QSize(1000, 700), true, false};
    settings.remote = ConfigRemote{QStringLiteral("127.0.0.1"), sim.port(), QStringLiteral("tarlin"), true, {},
                                   QStringList{QStringLiteral("desk@example.org")}};
    const QString path = uitest::ConfigSandbox::configPath();
    QVERIFY(ConfigFile::save(path, settings).isEmpty());
    auto readFile = [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    const QString before = readFile();

    // As the program starts: load, show, and no dialog on the way to READY.
    auto *window = new MainWindow;
    bool dialogSeen = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] { dialogSeen |= QApplication::activeModalWidget() != nullptr; });
    watch.start(5);
    QVERIFY(window->loadConfiguration());
    window->handleAllEnables();
    window->show();
    IPCObject *s = window->selectedDevice();
    QVERIFY(s);
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), IQEndpointClient::READY, Long);
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(window->summary().tiles().first(), "stateLabel")->text(),
                              QStringLiteral("Ready"), Long);
    window->resize(1040, 720);
    window->close();
    delete window;
    watch.stop();
    QVERIFY(!dialogSeen);

    // Unchanged but for where the window was.
    const QRegularExpression geometryValues(QStringLiteral(" (x|y|width|height)=\"-?\\d+\""));
    const QString after = readFile();
    QVERIFY(after.contains(QStringLiteral("width=\"1040\"")));
    QCOMPARE(QString(after).remove(geometryValues), QString(before).remove(geometryValues));
}

QTEST_MAIN(UiLive)
#include "tst_ui_live.moc"
