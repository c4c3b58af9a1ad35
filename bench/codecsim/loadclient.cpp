// codecsim_load: logs N clients in to a simulated fleet (one per codec),
// subscribes each to levels every 70 ms, reads everything, and reports the
// simulator's CPU use from /proc/<pid>/stat and the notices received per second.
//
//   codecsim_load [--count 1000] [--seconds 15] [--interval 70] [--warmup 3]
//                 [--stats] [--attach 127.0.0.1:PORT --pid PID]
//
// Without --attach it starts the codecsim program itself on free ports.
// --stats also subscribes to call and channel statistics and starts the
// codecs with one call each, as a session would see them.

#include "host/process.h"
#include "ipcprotocol.h"
#include "message.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/poller.h"
#include "platform/syserror.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace IpcPlatform;

namespace {

struct Settings {
    int count = 1000;
    int seconds = 15;
    int interval = 70;
    int warmup = 3;
    std::string attachHost;
    int attachPort = 0;
    long pid = 0;
    bool stats = false;
};

/** One client: logs in with the framing of the library, then only counts frames. */
class LoadClient final : public IPCProtocolHost
{
public:
    enum State { Connecting, Hello, Login, Subscribed, Dead };

    LoadClient(Poller &poller, int interval, bool stats)
        : m_poller(poller)
        , m_interval(interval)
        , m_stats(stats)
        , m_protocol(this)
    {
    }
    ~LoadClient() override { closeSocket(m_fd); }

    bool start(const SocketAddress &address)
    {
        int error = 0;
        m_fd = openTcpSocket(FamilyIPv4, error);
        if (m_fd == InvalidSocket) {
            m_error = errorText(error);
            m_state = Dead;
            return false;
        }
        if (startConnect(m_fd, address, error) == IoStatus::Failed) {
            m_error = errorText(error);
            m_state = Dead;
            return false;
        }
        m_poller.add(m_fd, Poller::WantRead | Poller::WantWrite, this, error);
        return true;
    }

    void onReady(unsigned ready)
    {
        if (m_state == Dead)
            return;
        if (m_state == Connecting && (ready & (Poller::Writable | Poller::Error | Poller::Hangup))) {
            int error = pendingError(m_fd);
            if (error) {
                die(errorText(error));
                return;
            }
            int e = 0;
            m_poller.modify(m_fd, Poller::WantRead, this, e);
            m_state = Hello;
            Message hello("hello");
            hello.set_string("seq", "hello");
            hello.set_uint("version", 1);
            send(hello);
            return;
        }
        if (ready & (Poller::Readable | Poller::Hangup | Poller::Error))
            readAll();
    }

    State state() const { return m_state; }
    const std::string &error() const { return m_error; }
    uint64_t frames = 0;

private:
    void readAll()
    {
        char buffer[16384];
        for (int i = 0; i < 8; ++i) {
            size_t count = 0;
            int error = 0;
            IoStatus st = recvSome(m_fd, buffer, sizeof buffer, count, error);
            if (st == IoStatus::WouldBlock)
                return;
            if (st != IoStatus::Done) {
                die(st == IoStatus::Closed ? "closed by the simulator" : errorText(error));
                return;
            }
            if (m_state == Subscribed) {
                // just reading: count the frames, parse nothing
                for (const char *p = buffer, *end = buffer + count;
                     (p = static_cast<const char *>(std::memchr(p, '\0', static_cast<size_t>(end - p))));) {
                    ++frames;
                    ++p;
                }
            } else {
                m_protocol.receive_data(buffer, count);
            }
            if (count < sizeof buffer)
                return;
        }
    }

    void deliver(const Message &m) override
    {
        if (m.get_bool("fail") && m.get_int("error_code") == 401) {
            const std::string text = m.get_string("challenge") + "tarlin";
            Message login("login");
            login.set_string("seq", "login");
            login.set_string("username", "");
            login.set_string("response", QCryptographicHash::hash(QByteArray::fromStdString(text),
                                                                  QCryptographicHash::Md5)
                                             .toHex()
                                             .toStdString());
            send(login);
            m_state = Login;
        } else if (m.name() == "resp" && m.get_string("seq") == "login") {
            if (!m.get_bool("success") || m.has_attribute("fail")) {
                die("login refused");
                return;
            }
            Message sub("subscribe");
            sub.set_string("seq", "internal");
            Message &s = sub.add_child("sub");
            s.set_string("id", "metering");
            s.set_uint("interval", static_cast<uint32_t>(m_interval));
            if (m_stats) {
                sub.add_child("sub").set_string("id", "peer_stats");
                sub.add_child("sub").set_string("id", "channel_stats");
            }
            send(sub);
            m_state = Subscribed;
        }
    }

    void send(const Message &m)
    {
        std::string wire;
        IPCProtocolXMLS::encode_wire(m, wire);
        size_t count = 0;
        int error = 0;
        // handshake messages are tiny: an empty socket takes them whole
        if (sendSome(m_fd, wire.data(), wire.size(), count, error) != IoStatus::Done || count != wire.size())
            die("could not send " + m.name());
    }

    void fail(const std::string &reason) override { die(reason); }
    SendBuffer *send_buffer() override { return nullptr; }
    void send_appended(size_t) override {}

    void die(const std::string &why)
    {
        if (m_state == Dead)
            return;
        m_error = why;
        m_state = Dead;
        m_poller.remove(m_fd);
    }

    Poller &m_poller;
    int m_interval;
    bool m_stats;
    SocketHandle m_fd = InvalidSocket;
    IPCProtocolXMLS m_protocol;
    State m_state = Connecting;
    std::string m_error;
};

/** utime + stime of a process, in clock ticks; -1 when unreadable. */
long long cpuTicks(long pid)
{
    std::string text, error;
    if (!readFile("/proc/" + std::to_string(pid) + "/stat", text, error))
        return -1;
    // the command name may hold blanks: the fields start after its closing ')'
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream in(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14)
            utime = std::stoll(field);
        if (i == 15)
            stime = std::stoll(field);
    }
    return utime + stime;
}

void pumpFor(Poller &poller, uint64_t micros)
{
    const uint64_t end = monotonicMicros() + micros;
    Poller::Event events[256];
    for (;;) {
        const uint64_t now = monotonicMicros();
        if (now >= end)
            return;
        int error = 0;
        const int n = poller.wait(events, 256, static_cast<int>((end - now) / 1000) + 1, error);
        for (int i = 0; i < n; ++i)
            static_cast<LoadClient *>(events[i].tag)->onReady(events[i].ready);
    }
}

bool parseArgs(const QStringList &args, Settings &s)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        const QString v = i + 1 < args.size() ? args[i + 1] : QString();
        bool ok = true;
        if (a == QLatin1String("--count"))
            s.count = v.toInt(&ok), ++i;
        else if (a == QLatin1String("--seconds"))
            s.seconds = v.toInt(&ok), ++i;
        else if (a == QLatin1String("--interval"))
            s.interval = v.toInt(&ok), ++i;
        else if (a == QLatin1String("--warmup"))
            s.warmup = v.toInt(&ok), ++i;
        else if (a == QLatin1String("--stats"))
            s.stats = true;
        else if (a == QLatin1String("--pid"))
            s.pid = v.toLong(&ok), ++i;
        else if (a == QLatin1String("--attach")) {
            const int colon = v.lastIndexOf(QLatin1Char(':'));
            s.attachHost = v.left(colon).toStdString();
            s.attachPort = v.mid(colon + 1).toInt(&ok);
            ok = ok && colon > 0;
            ++i;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "usage: codecsim_load [--count N] [--seconds S] [--interval MS] [--warmup S] "
                                 "[--stats] [--attach HOST:PORT --pid PID]\n");
            return false;
        }
    }
    if (!s.attachHost.empty() && s.pid <= 0) {
        std::fprintf(stderr, "codecsim_load: --attach needs --pid of the simulator\n");
        return false;
    }
    return s.count > 0 && s.seconds > 0 && s.interval > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Settings s;
    if (!parseArgs(app.arguments(), s))
        return 2;

    std::string error;
    codecsim::process::raiseFileLimit(error);
    netStartup(error);
    std::unique_ptr<Poller> poller = Poller::create(error);
    if (!poller) {
        std::fprintf(stderr, "codecsim_load: %s\n", error.c_str());
        return 1;
    }

    // the fleet: started here, or one already running
    QProcess sim;
    std::vector<uint16_t> ports;
    std::string host = "127.0.0.1";
    long pid = s.pid;
    if (s.attachHost.empty()) {
        sim.setProgram(QStringLiteral(CODECSIM_PATH));
        QStringList args = {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--count"),
                            QString::number(s.count)};
        if (s.stats)
            args << QStringLiteral("--active-peers") << QStringLiteral("1");
        sim.setArguments(args);
        sim.setStandardErrorFile(QProcess::nullDevice()); // a line per client is only noise here
        sim.start();
        if (!sim.waitForStarted(10000)) {
            std::fprintf(stderr, "codecsim_load: cannot start %s\n", CODECSIM_PATH);
            return 1;
        }
        pid = static_cast<long>(sim.processId());
        while (static_cast<int>(ports.size()) < s.count) {
            if (!sim.canReadLine() && !sim.waitForReadyRead(30000)) {
                std::fprintf(stderr, "codecsim_load: the simulator printed %zu of %d ports\n", ports.size(), s.count);
                return 1;
            }
            while (sim.canReadLine()) {
                const QString line = QString::fromUtf8(sim.readLine()).trimmed();
                if (line.startsWith(QLatin1String("listening on ")))
                    ports.push_back(static_cast<uint16_t>(line.mid(line.lastIndexOf(QLatin1Char(':')) + 1).toUInt()));
            }
        }
    } else {
        host = s.attachHost;
        for (int i = 0; i < s.count; ++i)
            ports.push_back(static_cast<uint16_t>(s.attachPort + i));
    }

    std::vector<std::unique_ptr<LoadClient>> clients;
    const uint64_t t0 = monotonicMicros();
    for (uint16_t port : ports) {
        SocketAddress address;
        parseNumericHost(host, FamilyIPv4, address);
        address.port = port;
        clients.push_back(std::make_unique<LoadClient>(*poller, s.interval, s.stats));
        clients.back()->start(address);
    }
    // log everyone in (bounded wait)
    int subscribed = 0, dead = 0;
    while (monotonicMicros() - t0 < 60000000) {
        pumpFor(*poller, 50000);
        subscribed = dead = 0;
        for (const auto &c : clients) {
            subscribed += c->state() == LoadClient::Subscribed;
            dead += c->state() == LoadClient::Dead;
        }
        if (subscribed + dead == s.count)
            break;
    }
    const double loginSeconds = static_cast<double>(monotonicMicros() - t0) / 1e6;
    std::printf("clients subscribed: %d of %d in %.2f s (%d failed)\n", subscribed, s.count, loginSeconds, dead);
    for (const auto &c : clients) {
        if (c->state() == LoadClient::Dead) {
            std::printf("first failure: %s\n", c->error().c_str());
            break;
        }
    }

    pumpFor(*poller, static_cast<uint64_t>(s.warmup) * 1000000);
    uint64_t frames0 = 0;
    for (const auto &c : clients)
        frames0 += c->frames;
    const long long simTicks0 = cpuTicks(pid);
    const long long selfTicks0 = cpuTicks(static_cast<long>(QCoreApplication::applicationPid()));
    const uint64_t w0 = monotonicMicros();
    pumpFor(*poller, static_cast<uint64_t>(s.seconds) * 1000000);
    const uint64_t w1 = monotonicMicros();
    const long long simTicks1 = cpuTicks(pid);
    const long long selfTicks1 = cpuTicks(static_cast<long>(QCoreApplication::applicationPid()));
    uint64_t frames1 = 0;
    for (const auto &c : clients)
        frames1 += c->frames;

    const double window = static_cast<double>(w1 - w0) / 1e6;
    const double hz = static_cast<double>(codecsim::process::clockTicksPerSecond());
    const double simCpu = 100.0 * static_cast<double>(simTicks1 - simTicks0) / hz / window;
    const double selfCpu = 100.0 * static_cast<double>(selfTicks1 - selfTicks0) / hz / window;
    const double rate = static_cast<double>(frames1 - frames0) / window;
    std::printf("window: %.1f s\n", window);
    std::printf("simulator CPU: %.1f %% of one core (utime+stime of pid %ld)\n", simCpu, pid);
    std::printf("notices received: %.0f /s (levels alone: %.0f /s)\n", rate, subscribed * 1000.0 / s.interval);
    std::printf("load client CPU: %.1f %% of one core\n", selfCpu);

    clients.clear();
    if (s.attachHost.empty()) {
        sim.terminate();
        if (!sim.waitForFinished(10000))
            sim.kill();
    }
    return subscribed == s.count ? 0 : 1;
}
