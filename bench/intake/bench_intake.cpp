// GUI intake benchmark: the program's real main window, built as the program
// builds it (configuration file in a private XDG folder, MainWindow, network
// manager), managing a simulated codec that sends levels every 10 ms,
// statistics every 100 ms and its peer list every second (one call up), with
// the Meters tab shown. Prints the GUI thread's CPU, the delay from the codec
// sending a level (codecsim --stamp-levels) to the meter bar painting it, and
// the resident size over the run.
//
//   bench_intake [--seconds 20] [--count N] [--fleet-rhythm normal|fast] [--minutes M]
//
// --count N: the summary holds N codecs (tiles created, the first selected);
// the other N-1 run at a codec's normal rhythm (levels 70 ms, statistics 1 s)
// unless --fleet-rhythm fast gives them the selected codec's.
// --minutes M: a long run instead of --seconds, printing the resident size
// every minute and comparing the last with the first minute's.

#include "appfolder.h"
#include "common/sharedicons.h"
#include "fleet/instancewidget.h"
#include "fleet/torviksummary.h"
#include "ipcobject.h"
#include "mainwindow/mainwindow.h"
#include "meters/meterpane.h"
#include "meters/meterwidget.h"
#include "meters/monitoringmeter.h"
#include "myqapplication.h"
#include "networkmanager.h"
#include "platform/clock.h"
#include "sessiontable.h"
#include "startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <cstdio>
#include <functional>
#include <ctime>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double residentMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? double(fields[1].toLongLong()) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

/** A codecsim process; its ports are read from its "listening on" lines. */
class Simulator
{
public:
    bool start(const QStringList &args, int count)
    {
        m_process.setProgram(QStringLiteral(CODECSIM_PATH));
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer t;
        t.start();
        while (int(ports.size()) < count && t.elapsed() < 60000) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(1000))
                continue;
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (line.startsWith("listening on "))
                    ports.push_back(line.mid(line.lastIndexOf(':') + 1).toUShort());
            }
        }
        return int(ports.size()) == count;
    }
    ~Simulator()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }
    std::vector<quint16> ports;

private:
    QProcess m_process;
};

using LevelKey = std::array<float, 8>;

struct LevelKeyHash {
    size_t operator()(const LevelKey &k) const
    {
        size_t h = 0;
        for (float f : k) {
            uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            h = h * 1000003u ^ bits;
        }
        return h;
    }
};

const char *const LevelKeys[8] = {"rmlf", "rmrf", "tmlf", "tmrf", "rmls", "rmrs", "tmls", "tmrs"};

/**
 * Notes the send stamp of every level notice the session stores, by its
 * eight levels: a thread that looks at the session's cache every 2 ms (the
 * cache is the one thing of the session another thread may read). A GUI
 * thread running behind the feed finds there the stamp of the levels it
 * shows, after newer notices have replaced them in the cache.
 */
class StampRecorder
{
public:
    explicit StampRecorder(IPCObject *session)
        : m_session(session)
        , m_thread([this] { run(); })
    {
    }
    ~StampRecorder() { stop(); }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    /** The send stamp of the notice with these levels; 0 when it was not seen. */
    uint64_t take(const LevelKey &key)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_stamps.find(key);
        return it == m_stamps.end() ? 0 : it->second;
    }

private:
    void run()
    {
        const Message *last = nullptr;
        std::deque<LevelKey> order;
        while (!m_stop) {
            const std::shared_ptr<const Message> cached = m_session->cachedShared(QStringLiteral("metering"));
            if (cached && cached.get() != last) {
                last = cached.get();
                const Message &levels = cached->child_count() > 0 ? cached->get_child(0) : *cached;
                LevelKey key{};
                bool complete = true;
                for (int i = 0; i < 8; ++i) {
                    const AttrValue *a = levels.attr(LevelKeys[i]);
                    complete = complete && a;
                    key[size_t(i)] = a ? a->toFloat() : 0.0f;
                }
                const AttrValue *sent = levels.attr("sent_us");
                if (complete && sent) {
                    std::lock_guard<std::mutex> guard(m_mutex);
                    m_stamps[key] = std::stoull(sent->toString());
                    order.push_back(key);
                    if (order.size() > 20000) {
                        m_stamps.erase(order.front());
                        order.pop_front();
                    }
                }
            }
            timespec pause{0, 2000000};
            nanosleep(&pause, nullptr);
        }
    }

    IPCObject *m_session;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::unordered_map<LevelKey, uint64_t, LevelKeyHash> m_stamps;
    std::thread m_thread;
};

/**
 * Measures from the send stamp of each level notice that changes the meter's
 * picture to the next paint of the meter's bars.
 */
class RepaintProbe : public QObject
{
public:
    RepaintProbe(IPCObject *session, MonitoringMeter *meter)
        : m_session(session)
        , m_meter(meter)
        , m_stamps(session)
    {
        for (int i = 0; i < 4; ++i) {
            meter->bar(i)->installEventFilter(this);
            m_picture[i] = picture(i);
        }
        // Connected after the meter pane's own connection: runs once the bars have their new levels.
        connect(session, &IPCObject::recvAllLevels, this,
                [this](float a, float b, float c, float d, float e, float f, float g, float h) {
                    levelsArrived({a, b, c, d, e, f, g, h});
                });
        connect(session, &IPCObject::recvPeerStats, this, [this] { ++statistics; });
        connect(session, &IPCObject::recvPeerList, this, [this] { ++peerLists; });
    }
    ~RepaintProbe() override { stop(); }
    /** Stops the recorder thread: before the session goes. */
    void stop() { m_stamps.stop(); }

    bool recording = false;
    std::vector<double> delaysMs;
    long notices = 0, unchanged = 0, unseen = 0, statistics = 0, peerLists = 0, paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_pending.empty()) {
            const uint64_t now = IpcPlatform::monotonicMicros();
            for (uint64_t stamp : m_pending)
                delaysMs.push_back(now > stamp ? double(now - stamp) / 1000.0 : 0.0);
            m_pending.clear();
            ++paints;
        }
        return false;
    }

private:
    // What a vertical bar shows: where its cover ends and where its peak sits, in pixels.
    std::pair<int, int> picture(int i) const
    {
        const MeterWidget *bar = m_meter->bar(i);
        return {qRound(bar->height() * (1.0f - bar->level())),
                bar->hasPeak() ? qRound(bar->height() * (1.0f - bar->peak())) : -1};
    }

    void levelsArrived(const LevelKey &values)
    {
        bool changed = false;
        for (int i = 0; i < 4; ++i) {
            const auto now = picture(i);
            changed |= now != m_picture[i];
            m_picture[i] = now;
        }
        if (!recording)
            return;
        ++notices;
        if (!changed) {
            ++unchanged;
            return;
        }
        // The notice just stored, or (the GUI thread behind the feed) one the recorder saw earlier.
        uint64_t stamp = stampInCache(values);
        if (!stamp)
            stamp = m_stamps.take(values);
        if (!stamp) {
            ++unseen;
            return;
        }
        m_pending.push_back(stamp);
    }

    uint64_t stampInCache(const LevelKey &values) const
    {
        const std::shared_ptr<const Message> cached = m_session->cachedShared(QStringLiteral("metering"));
        if (!cached)
            return 0;
        const Message &levels = cached->child_count() > 0 ? cached->get_child(0) : *cached;
        for (int i = 0; i < 8; ++i) {
            const AttrValue *a = levels.attr(LevelKeys[i]);
            if (!a || a->toFloat() != values[size_t(i)])
                return 0;
        }
        const AttrValue *sent = levels.attr("sent_us");
        return sent ? std::stoull(sent->toString()) : 0;
    }

    IPCObject *m_session;
    MonitoringMeter *m_meter;
    StampRecorder m_stamps;
    std::pair<int, int> m_picture[4];
    std::vector<uint64_t> m_pending;
};

bool waitFor(QApplication &app, const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        app.processEvents(QEventLoop::AllEvents, 50);
        usleep(2000);
    }
    return true;
}

void writeConfig(const QString &xdg, quint16 port)
{
    QDir().mkpath(xdg + QStringLiteral("/Velmora"));
    QFile f(xdg + QStringLiteral("/Velmora/pn-config.xml"));
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<config company=\"Velmora Corporation\" product=\"Quorvane\" version=\"1.0\">\n"
                           "    <application audio=\"false\" default-sounds=\"false\" height=\"720\" width=\"1100\" "
                           "x=\"0\" y=\"0\"/>\n"
                           "    <remotes>\n"
                           "        <remote address=\"127.0.0.1\" metering=\"true\" password=\"tarlin\" port=\"%1\"/>\n"
                           "    </remotes>\n"
                           "</config>\n")
                .arg(port)
                .toUtf8());
}

} // namespace

int main(int argc, char *argv[])
{
    int seconds = 20;
    int count = 1;
    int minutes = 0;
    bool fastFleet = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--seconds" && i + 1 < argc)
            seconds = std::max(1, atoi(argv[++i]));
        else if (a == "--count" && i + 1 < argc)
            count = std::max(1, atoi(argv[++i]));
        else if (a == "--minutes" && i + 1 < argc)
            minutes = std::max(1, atoi(argv[++i]));
        else if (a == "--fleet-rhythm" && i + 1 < argc)
            fastFleet = QByteArray(argv[++i]) == "fast";
        else {
            std::fprintf(stderr, "usage: bench_intake [--seconds 20] [--count N] [--fleet-rhythm normal|fast] "
                                 "[--minutes M]\n");
            return 2;
        }
    }

    // The program's own configuration folder stays untouched.
    QTemporaryDir xdg;
    if (!xdg.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdg.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    MyQApplication app(argc, argv);

    const QStringList fast = {QStringLiteral("--levels-ms"), QStringLiteral("10"), QStringLiteral("--stats-ms"),
                              QStringLiteral("100"), QStringLiteral("--peer-list-ms"), QStringLiteral("1000")};
    const QStringList common = {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                QStringLiteral("--active-peers"), QStringLiteral("1"), QStringLiteral("--stamp-levels")};
    Simulator selected, fleet;
    const int selectedCount = fastFleet ? count : 1;
    if (!selected.start(common + fast + QStringList{QStringLiteral("--count"), QString::number(selectedCount)},
                        selectedCount)
        || (!fastFleet && count > 1
            && !fleet.start(common + QStringList{QStringLiteral("--count"), QString::number(count - 1)}, count - 1))) {
        std::fprintf(stderr, "bench_intake: codecsim did not start (%s)\n", CODECSIM_PATH);
        return 1;
    }
    std::vector<quint16> ports = selected.ports;
    ports.insert(ports.end(), fleet.ports.begin(), fleet.ports.end());
    writeConfig(xdg.path(), ports.front());

    // As runQuorvane() builds the program.
    app.setStyleSheet(QString::fromLatin1(kApplicationStyleSheet));
    registerMetaTypes();
    SharedIcons::load();
    ensureAppFolderOrReport();
    auto window = std::make_unique<MainWindow>();
    window->loadConfiguration();
    window->handleAllEnables();
    window->show();
    startNetworkManager(window.get());

    IPCObject *session = window->selectedDevice();
    auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("statusTabWidget"));
    auto *meterTab = window->findChild<QWidget *>(QStringLiteral("meterTab"));
    auto *pane = window->findChild<MeterPane *>();
    if (!session || !tabs || !meterTab || !pane) {
        std::fprintf(stderr, "bench_intake: the window has no selected codec, statusTabWidget, meterTab or MeterPane\n");
        return 1;
    }

    // The rest of the fleet: a tile and a summary row each, as the summary makes them.
    for (size_t i = 1; i < ports.size(); ++i) {
        IPCObject *s = window->sessions().create(QUuid::createUuid());
        if (!s) {
            std::fprintf(stderr, "bench_intake: session %zu could not be registered\n", i);
            return 1;
        }
        s->setAddressAndConnect(QStringLiteral("127.0.0.1"), ports[i], QStringLiteral("tarlin"));
        window->summary().addDeviceView(s);
    }
    window->summary().layoutTiles();

    RepaintProbe probe(session, pane->meter());
    const bool ready = waitFor(
        app,
        [&] {
            for (IPCObject *s : window->sessions().sessions()) {
                if (s->state() != IQEndpointClient::READY)
                    return false;
            }
            return true;
        },
        120000);
    if (!ready) {
        std::fprintf(stderr, "bench_intake: not every codec became READY within 2 minutes\n");
        return 1;
    }
    // Let the first peer lists, profiles and statistics tables settle, then look at the meter.
    waitFor(app, [] { return false; }, 3000);
    tabs->setCurrentWidget(meterTab);
    waitFor(app, [] { return false; }, 1000);
    if (!pane->meter()->isVisible()) {
        std::fprintf(stderr, "bench_intake: the meter is not shown (tab \"%s\")\n",
                     qPrintable(tabs->currentWidget()->objectName()));
        return 1;
    }

    const int measureSeconds = minutes > 0 ? minutes * 60 : seconds;
    std::printf("intake: %d codec(s) in the summary, the selected one sending levels every 10 ms, statistics every "
                "100 ms and its peer list every second (one call up)%s; Meters tab shown; %d s measured\n",
                count, count > 1 ? (fastFleet ? ", the others at the same rhythm" : ", the others at a codec's normal rhythm") : "",
                measureSeconds);
    std::fflush(stdout);

    const double rss0 = residentMiB();
    std::vector<double> rssByMinute;
    probe.recording = true;
    const double cpu0 = threadCpuSeconds();
    const double proc0 = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer minuteTimer;
    QObject::connect(&minuteTimer, &QTimer::timeout, [&] {
        rssByMinute.push_back(residentMiB());
        std::printf("  minute %zu: resident %.1f MiB, GUI thread %.1f %% so far\n", rssByMinute.size(),
                    rssByMinute.back(), 100.0 * (threadCpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0));
        std::fflush(stdout);
    });
    if (minutes > 0)
        minuteTimer.start(60000);
    QTimer::singleShot(measureSeconds * 1000, Qt::PreciseTimer, &app, &QCoreApplication::quit);
    app.exec();
    minuteTimer.stop();
    probe.recording = false;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = threadCpuSeconds() - cpu0;
    const double proc = processCpuSeconds() - proc0;

    std::printf("received from the selected codec: %.1f levels/s, %.1f statistics/s, %.2f peer lists/s\n",
                probe.notices / elapsed, probe.statistics / elapsed, probe.peerLists / elapsed);
    const double share = 100.0 * cpu / elapsed;
    std::printf("GUI thread CPU: %.2f s over %.1f s = %.1f %% of one core (target under 10 %%): %s\n", cpu, elapsed,
                share, share < 10.0 ? "met" : "NOT met");
    std::printf("whole process CPU (GUI, network loop, manager, and this benchmark's stamp recorder): %.1f %% of one "
                "core\n",
                100.0 * proc / elapsed);
    const double p50 = percentile(probe.delaysMs, 0.5), p99 = percentile(probe.delaysMs, 0.99);
    std::printf("level sent -> meter repainted: p50 %.1f ms, p99 %.1f ms, max %.1f ms over %zu notices that changed "
                "the meter (target p99 under 50 ms): %s\n",
                p50, p99, percentile(probe.delaysMs, 1.0), probe.delaysMs.size(), p99 < 50.0 ? "met" : "NOT met");
    std::printf("  %ld notices changed no pixel; %ld had no stamp on record; %ld repaints of the bars\n",
                probe.unchanged, probe.unseen, probe.paints);
    if (rssByMinute.empty()) {
        std::printf("resident size: %.1f MiB at the start, %.1f MiB at the end\n", rss0, residentMiB());
    } else {
        const double first = rssByMinute.front(), last = rssByMinute.back();
        const double growth = first > 0 ? 100.0 * (last - first) / first : 0;
        std::printf("resident size: %.1f MiB after 1 minute, %.1f MiB after %zu minutes: %+.1f %% (target within "
                    "10 %%): %s\n",
                    first, last, rssByMinute.size(), growth, std::abs(growth) <= 10.0 ? "met" : "NOT met");
    }
    std::fflush(stdout);
    probe.stop();
    window.reset();
    return 0;
}
