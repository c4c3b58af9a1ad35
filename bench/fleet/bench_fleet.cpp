// Fleet benchmark: one manager and N device sessions on one application
// thread, against "codecsim --count N" started as a process. Every codec has
// one call up (statistics every second) and sends levels every 70 ms, each
// stamped with its CLOCK_MONOTONIC send time.
//
//   bench_fleet --count 1000 [--seconds 15] [--codecsim PATH]
//
// Prints the time until every session is READY, the CPU of the loop thread
// and of the application thread in steady state, and the delay from the
// codec writing a levels notice to recvLevels being emitted (p50, p99, max).

#include "ipcmanager.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "iqmanager.h"
#include "platform/clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> g_loopClockSet{false};
std::atomic<clockid_t> g_loopClock{CLOCK_THREAD_CPUTIME_ID};

double threadSeconds(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double processSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15; the split starts at field 3.
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

void raiseFileLimit()
{
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

} // namespace

/** A session that notes the send stamp of each levels notice before handing it on. */
class BenchSession : public IPCObject
{
    Q_OBJECT
public:
    using IPCObject::IPCObject;

    uint64_t stamp = 0;
    std::atomic<bool> recording{false};
    std::vector<uint32_t> *delays = nullptr;
    // Loop thread: codec write -> handed to the session (read on the loop thread only).
    std::vector<uint32_t> wireDelays;
    long levels = 0;
    long peerStats = 0;

public slots:
    void cb_unso_metering(const Message &message)
    {
        const Message &levelsElement = message.child_count() > 0 ? message.get_child(0) : message;
        const AttrValue *sent = levelsElement.attr("sent_us");
        stamp = sent ? uint64_t(sent->toString().empty() ? 0 : std::stoull(sent->toString())) : 0;
        IPCObject::cb_unso_metering(message);
    }

protected:
    void handleUnsolicited(const Message &message) override
    {
        if (recording.load(std::memory_order_relaxed) && message.child_count() > 0) {
            if (const AttrValue *sent = message.get_child(0).attr("sent_us")) {
                const uint64_t at = std::stoull(sent->toString());
                const uint64_t now = IpcPlatform::monotonicMicros();
                wireDelays.push_back(uint32_t(now > at ? now - at : 0));
            }
        }
        IPCObject::handleUnsolicited(message);
    }

    void initialise() override
    {
        if (!g_loopClockSet.exchange(true)) {
            clockid_t id;
            pthread_getcpuclockid(pthread_self(), &id);
            g_loopClock = id;
        }
        IPCObject::initialise();
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int count = 10;
    int seconds = 15;
    QString codecsim = QStringLiteral(CODECSIM_PATH);
    int activePeers = 1;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--count" && i + 1 < args.size())
            count = args[++i].toInt();
        else if (args[i] == "--seconds" && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (args[i] == "--active-peers" && i + 1 < args.size())
            activePeers = args[++i].toInt();
        else if (args[i] == "--codecsim" && i + 1 < args.size())
            codecsim = args[++i];
        else {
            std::fprintf(stderr, "usage: bench_fleet [--count N] [--seconds S] [--active-peers N] [--codecsim PATH]\n");
            return 2;
        }
    }
    if (count < 1 || seconds < 1)
        return 2;
    raiseFileLimit();
    registerDeviceMetaTypes();
    // A session per codec logs a few warnings of its own; not the point here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type >= QtCriticalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    QProcess sim;
    sim.setProgram(codecsim);
    sim.setArguments({"--listen", "127.0.0.1:0", "--count", QString::number(count), "--active-peers", QString::number(activePeers),
                      "--stamp-levels"});
    sim.setStandardErrorFile(QProcess::nullDevice());
    sim.start();
    if (!sim.waitForStarted(10000)) {
        std::fprintf(stderr, "bench_fleet: cannot start %s\n", qPrintable(codecsim));
        return 1;
    }
    std::vector<quint16> ports;
    while (int(ports.size()) < count) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(30000)) {
            std::fprintf(stderr, "bench_fleet: the simulator printed %zu of %d ports\n", ports.size(), count);
            return 1;
        }
        while (sim.canReadLine()) {
            const QString line = QString::fromUtf8(sim.readLine()).trimmed();
            if (line.startsWith(QLatin1String("listening on ")))
                ports.push_back(quint16(line.mid(line.lastIndexOf(QLatin1Char(':')) + 1).toUInt()));
        }
    }

    IQCommonApp common;
    common.start_manager();
    const clockid_t appClock = [] {
        clockid_t id;
        pthread_getcpuclockid(pthread_self(), &id);
        return id;
    }();

    std::vector<uint32_t> delays;
    delays.reserve(size_t(count) * 15 * size_t(seconds) + 1024);
    std::vector<BenchSession *> sessions;
    int ready = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 allReadyMs = -1;
    for (quint16 port : ports) {
        auto *s = new BenchSession(QUuid::createUuid(), common.manager());
        s->registerEndpoint();
        s->delays = &delays;
        QObject::connect(s, &IPCObject::changedState, [&, s](QUuid, IQEndpointClient::DEVICE_STATE st) {
            if (st == IQEndpointClient::READY && ++ready == count)
                allReadyMs = clock.elapsed();
        });
        QObject::connect(s, &IPCObject::recvLevels, [s](float, float, float, float) {
            ++s->levels;
            if (s->recording && s->stamp) {
                const uint64_t now = IpcPlatform::monotonicMicros();
                s->delays->push_back(uint32_t(now > s->stamp ? now - s->stamp : 0));
            }
        });
        QObject::connect(s, &IPCObject::recvPeerStats, [s](QUuid) { ++s->peerStats; });
        s->setAddressAndConnect("127.0.0.1", port, "tarlin");
        sessions.push_back(s);
    }

    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    while (allReadyMs < 0 && clock.elapsed() < 60000)
        runFor(10);
    if (allReadyMs < 0) {
        std::fprintf(stderr, "bench_fleet: %d of %d sessions READY after 60 s\n", ready, count);
        return 1;
    }

    runFor(2000); // settle: every call's statistics are flowing
    for (BenchSession *s : sessions) {
        s->recording = true;
        s->levels = s->peerStats = 0;
    }
    const double loop0 = threadSeconds(g_loopClock.load());
    const double app0 = threadSeconds(appClock);
    const double sim0 = processSeconds(sim.processId());
    const uint64_t turns0 = common.manager()->manager().turn_count();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double loopCpu = threadSeconds(g_loopClock.load()) - loop0;
    const double appCpu = threadSeconds(appClock) - app0;
    const double simCpu = processSeconds(sim.processId()) - sim0;
    const uint64_t turns = common.manager()->manager().turn_count() - turns0;
    for (BenchSession *s : sessions)
        s->recording = false;

    long levels = 0, stats = 0;
    for (BenchSession *s : sessions) {
        levels += s->levels;
        stats += s->peerStats;
    }
    common.stop_manager(); // the loop thread's samples are complete
    std::vector<uint32_t> wire;
    for (BenchSession *s : sessions)
        wire.insert(wire.end(), s->wireDelays.begin(), s->wireDelays.end());
    std::sort(wire.begin(), wire.end());
    std::sort(delays.begin(), delays.end());
    auto pctOf = [](const std::vector<uint32_t> &v, double p) {
        return v.empty() ? 0.0 : double(v[std::min(v.size() - 1, size_t(p * double(v.size())))]) / 1000.0;
    };
    auto pct = [&](double p) { return pctOf(delays, p); };
    std::printf("fleet N=%d: all READY in %.2f s\n", count, double(allReadyMs) / 1000.0);
    std::printf("  steady %.1f s: %.0f levels/s, %.0f peer statistics/s, %.0f loop turns/s\n", elapsed,
                double(levels) / elapsed, double(stats) / elapsed, double(turns) / elapsed);
    std::printf("  CPU (%% of one core): loop thread %.1f, application thread %.1f, together %.1f; codecsim %.1f\n",
                100.0 * loopCpu / elapsed, 100.0 * appCpu / elapsed, 100.0 * (loopCpu + appCpu) / elapsed,
                100.0 * simCpu / elapsed);
    std::printf("  levels delay (codec write -> recvLevels): p50 %.2f ms, p99 %.2f ms, max %.2f ms over %zu samples\n",
                pct(0.50), pct(0.99), delays.empty() ? 0.0 : double(delays.back()) / 1000.0, delays.size());
    std::printf("    of which codec write -> loop thread: p50 %.2f ms, p99 %.2f ms\n", pctOf(wire, 0.5), pctOf(wire, 0.99));
    std::fflush(stdout);

    for (BenchSession *s : sessions)
        s->destroySession();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sim.terminate();
    if (!sim.waitForFinished(10000))
        sim.kill();
    return 0;
}

#include "bench_fleet.moc"
