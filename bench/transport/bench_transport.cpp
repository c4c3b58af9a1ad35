// Transport benchmarks over 127.0.0.1.
//
//   bench_transport rtt [count]        request/response round trips, send() to the
//                                      cb_resp_ slot on the application thread
//   bench_transport notices [count]    one-way notices to the cb_unso_ slot
//   bench_transport fanin N [seconds]  N connections, one ~200-byte notice each
//                                      every 70 ms; CPU of the loop thread
//
// Each run prints one line of figures.

#include "benchserver.h"
#include "ipcmanager.h"
#include "iqcommonapp.h"
#include "iqendpointclient.h"
#include "iqmanager.h"
#include "logger.h"
#include "platform/clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <pthread.h>
#include <sys/resource.h>
#include <vector>

namespace {

std::atomic<clockid_t> g_loopClock{0};
std::atomic<bool> g_loopClockSet{false};

double threadCpuSeconds(clockid_t id)
{
    timespec ts;
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void raiseFileLimit()
{
    rlimit rl;
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

// Runs the application thread's event loop until @p done returns true (checked
// every 5 ms) or time runs out. The loop sleeps between events, as a program would.
bool spin(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

} // namespace

// The transport alone: counts messages on the loop thread, no Qt dispatch.
class BareClient : public IPCEndpointClient
{
public:
    using IPCEndpointClient::IPCEndpointClient;
    std::atomic<long> notices{0};
    std::atomic<int> authenticated{0};
    void on_authenticated() override
    {
        IPCEndpointClient::on_authenticated();
        if (!g_loopClockSet.exchange(true)) {
            clockid_t id;
            pthread_getcpuclockid(pthread_self(), &id);
            g_loopClock = id;
        }
        ++authenticated;
    }
    void on_message(const Message &m) override
    {
        if (m.name() == "unso")
            ++notices;
    }
};

class BenchClient : public IQEndpointClient
{
    Q_OBJECT
public:
    using IQEndpointClient::IQEndpointClient;

    std::atomic<int> authenticated{0};
    int notices = 0;
    int responses = 0;
    std::vector<double> latencies; // microseconds
    uint64_t sentAt = 0;
    int remaining = 0;
    Message request{"getAlpha"};

    void fire()
    {
        sentAt = IpcPlatform::monotonicMicros();
        send(request);
    }

public slots:
    void cb_resp_alpha(const Message &)
    {
        latencies.push_back(double(IpcPlatform::monotonicMicros() - sentAt));
        ++responses;
        if (--remaining > 0)
            fire();
    }
    void cb_unso_metering(const Message &) { ++notices; }

protected:
    void initialise() override
    {
        if (!g_loopClockSet.exchange(true)) {
            clockid_t id;
            pthread_getcpuclockid(pthread_self(), &id);
            g_loopClock = id;
        }
        ++authenticated;
    }
};

namespace {

struct Setup {
    BenchServer server;
    IQCommonApp app;
    std::vector<std::unique_ptr<BenchClient>> clients;

    bool connect(int count)
    {
        if (!server.start())
            return false;
        app.start_manager();
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("codec-%1").arg(i);
            auto client = std::make_unique<BenchClient>(name);
            client->request.set_string("seq", "alpha");
            app.manager()->register_endpoint(name, client.get());
            QMetaObject::invokeMethod(app.manager(), "connect_client", Qt::QueuedConnection, Q_ARG(QString, "xmls"),
                                      Q_ARG(QString, "stream"), Q_ARG(QString, QString::fromStdString(server.address())),
                                      Q_ARG(QString, name));
            clients.push_back(std::move(client));
        }
        return spin(
            [&] {
                return std::all_of(clients.begin(), clients.end(),
                                   [](const auto &c) { return c->authenticated.load() > 0; });
            },
            60000);
    }

    ~Setup()
    {
        for (auto &c : clients)
            app.manager()->remove_endpoint(c->endpointName());
        app.stop_manager();
        server.stop();
    }
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = std::min(v.size() - 1, size_t(p * double(v.size())));
    return v[i];
}

int runRtt(int count)
{
    Setup s;
    if (!s.connect(1))
        return 1;
    BenchClient *c = s.clients.front().get();
    // warm-up
    c->remaining = 200;
    c->fire();
    spin([&] { return c->remaining <= 0; }, 30000);
    c->latencies.clear();
    c->responses = 0;
    QElapsedTimer t;
    t.start();
    c->remaining = count;
    c->fire();
    if (!spin([&] { return c->remaining <= 0; }, 120000))
        return 1;
    const double secs = double(t.nsecsElapsed()) / 1e9;
    std::printf("rtt: %d round trips in %.3f s = %.0f/s; send->cb_resp_ p50 %.0f us, p99 %.0f us, max %.0f us\n",
                c->responses, secs, c->responses / secs, percentile(c->latencies, 0.50),
                percentile(c->latencies, 0.99), percentile(c->latencies, 1.0));
    return 0;
}

int runNotices(int count)
{
    Setup s;
    if (!s.connect(1))
        return 1;
    BenchClient *c = s.clients.front().get();
    const double cpu0 = threadCpuSeconds(g_loopClock.load());
    QElapsedTimer t;
    t.start();
    s.server.burst(count);
    if (!spin([&] { return c->notices >= count; }, 120000))
        return 1;
    const double secs = double(t.nsecsElapsed()) / 1e9;
    const double cpu = threadCpuSeconds(g_loopClock.load()) - cpu0;
    std::printf("notices: %d x %zu bytes in %.3f s = %.0f/s (%.1f MB/s) to cb_unso_; loop thread CPU %.2f s (%.1f us/notice)\n",
                count, BenchServer::notice().size(), secs, count / secs,
                count * double(BenchServer::notice().size()) / secs / 1e6, cpu, cpu * 1e6 / count);
    return 0;
}

int runFanIn(int connections, int seconds)
{
    raiseFileLimit();
    Setup s;
    if (!s.connect(connections)) {
        std::fprintf(stderr, "fanin: could not connect %d clients\n", connections);
        return 1;
    }
    s.server.setPeriodic(70);
    // settle, then measure
    spin([] { return false; }, 1000);
    auto delivered = [&] {
        long n = 0;
        for (auto &c : s.clients)
            n += c->notices;
        return n;
    };
    const long n0 = delivered();
    const uint64_t turns0 = s.app.manager()->manager().turn_count();
    const uint64_t sent0 = s.server.noticesSent();
    const double loop0 = threadCpuSeconds(g_loopClock.load());
    const double proc0 = processCpuSeconds();
    QElapsedTimer t;
    t.start();
    spin([] { return false; }, seconds * 1000);
    const double wall = double(t.nsecsElapsed()) / 1e9;
    const double loop = threadCpuSeconds(g_loopClock.load()) - loop0;
    const double proc = processCpuSeconds() - proc0;
    const long n = delivered() - n0;
    const uint64_t sent = s.server.noticesSent() - sent0;
    const uint64_t turns = s.app.manager()->manager().turn_count() - turns0;
    s.server.setPeriodic(0);
    std::printf("fanin %d x 70 ms: %.0f notices/s delivered (%.0f sent/s) in %.0f loop turns/s; loop thread %.1f%% of a core, "
                "whole process %.1f%% (server and application thread included)\n",
                connections, n / wall, double(sent) / wall, double(turns) / wall, 100.0 * loop / wall, 100.0 * proc / wall);
    return 0;
}

int runFanInBare(int connections, int seconds)
{
    raiseFileLimit();
    BenchServer server;
    IQCommonApp app;
    if (!server.start())
        return 1;
    app.start_manager();
    std::vector<std::unique_ptr<BareClient>> clients;
    for (int i = 0; i < connections; ++i) {
        const std::string name = "codec-" + std::to_string(i);
        clients.push_back(std::make_unique<BareClient>(name));
        app.manager()->manager().register_endpoint(name, clients.back().get());
        app.manager()->manager().connect_text("xmls", "stream", server.address(), name);
    }
    spin([&] { return std::all_of(clients.begin(), clients.end(), [](const auto &c) { return c->authenticated > 0; }); },
         60000);
    server.setPeriodic(70);
    spin([] { return false; }, 1000);
    auto delivered = [&] {
        long n = 0;
        for (auto &c : clients)
            n += c->notices;
        return n;
    };
    const long n0 = delivered();
    const double loop0 = threadCpuSeconds(g_loopClock.load());
    QElapsedTimer t;
    t.start();
    spin([] { return false; }, seconds * 1000);
    const double wall = double(t.nsecsElapsed()) / 1e9;
    const double loop = threadCpuSeconds(g_loopClock.load()) - loop0;
    const long n = delivered() - n0;
    server.setPeriodic(0);
    std::printf("fanin-bare %d x 70 ms: %.0f notices/s parsed on the loop thread; loop thread %.1f%% of a core\n",
                connections, n / wall, 100.0 * loop / wall);
    for (auto &c : clients)
        app.manager()->manager().remove_endpoint(c->name());
    app.stop_manager();
    server.stop();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Logger::instance().setAllThresholds(LOG_WARNING);
    const QStringList args = app.arguments();
    const QString mode = args.value(1, "rtt");
    if (mode == "rtt")
        return runRtt(args.value(2, "20000").toInt());
    if (mode == "notices")
        return runNotices(args.value(2, "200000").toInt());
    if (mode == "fanin-bare")
        return runFanInBare(args.value(2, "1000").toInt(), args.value(3, "10").toInt());
    if (mode == "fanin")
        return runFanIn(args.value(2, "1000").toInt(), args.value(3, "10").toInt());
    std::fprintf(stderr, "usage: bench_transport rtt [count] | notices [count] | fanin N [seconds]\n");
    return 2;
}

#include "bench_transport.moc"
