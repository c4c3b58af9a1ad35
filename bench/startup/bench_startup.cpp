// Start-up benchmark: time from exec to a painted main window, for the
// console with a configured codec it cannot reach, against a bare Qt program
// that shows an empty QMainWindow (the floor). Both report their first paint
// on standard error ("main window shown: ...", the close-after-show check)
// and close; this program times that line's arrival and the exit.
//
//   bench_startup [--runs N] [--platform offscreen|xcb]
//
// Scenarios, alternated run by run (medians of N runs each):
//   bare      the empty QMainWindow
//   empty     the console without a configuration file
//   refused   a codec at 127.0.0.1:1 (connection refused at once)
//   silent    a codec on loopback that accepts and never answers
//   slow-dns  a codec named "codec.invalid" whose lookup takes 5 s (LD_PRELOAD shim)
// Nothing leaves the machine: the only addresses are on loopback, and the
// slow lookup never reaches a name server.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Scenario {
    const char *name;
    QString program;
    QString address;          // empty: no configuration file
    int port = 0;
    bool slowLookup = false;
    std::vector<double> shown, exited;
    int failures = 0;
    bool lookupSeen = false;
};

struct Sample {
    bool ok = false;
    double shown = 0, exited = 0;
    bool lookupSeen = false;
    std::string output;
};

void writeConfig(const QString &xdg, const Scenario &s)
{
    const QString folder = xdg + QStringLiteral("/Velmora");
    QDir(folder).removeRecursively();
    if (s.address.isEmpty())
        return;
    QDir().mkpath(folder);
    QFile f(folder + QStringLiteral("/pn-config.xml"));
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<config company=\"Velmora Corporation\" product=\"Quorvane\" version=\"1.0\">\n"
                           "    <application audio=\"true\" default-sounds=\"true\" height=\"720\" width=\"1100\" "
                           "x=\"0\" y=\"0\"/>\n"
                           "    <remotes>\n"
                           "        <remote address=\"%1\" metering=\"true\" password=\"tarlin\" port=\"%2\"/>\n"
                           "    </remotes>\n"
                           "</config>\n")
                .arg(s.address)
                .arg(s.port)
                .toUtf8());
}

Sample runOnce(const Scenario &s, const std::vector<std::string> &env)
{
    Sample sample;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return sample;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> envp;
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    const QByteArray program = QFile::encodeName(s.program);
    char *argv[] = {const_cast<char *>(program.constData()), nullptr};

    pid_t pid = 0;
    const double start = nowMs();
    const int rc = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        sample.output = std::strerror(rc);
        return sample;
    }

    const double deadline = start + 60000;
    bool open = true;
    while (open) {
        const double left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, int(left) + 1) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            open = false;
            break;
        }
        const double at = nowMs();
        sample.output.append(buffer, size_t(n));
        if (sample.shown == 0 && sample.output.find("main window shown:") != std::string::npos)
            sample.shown = at - start;
    }
    close(pipeFds[0]);
    int status = 0;
    if (open) {
        // still running after a minute: a start-up that hangs
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return sample;
    }
    waitpid(pid, &status, 0);
    sample.exited = nowMs() - start;
    sample.lookupSeen = sample.output.find("slowdns: looking up") != std::string::npos;
    sample.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && sample.shown > 0
                && sample.output.find("(visible, painted)") != std::string::npos;
    return sample;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

// A loopback listener that never accepts: connects complete in the kernel's
// backlog and the login is never answered.
int silentListener(int &port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 64) != 0
        || getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return -1;
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace

int main(int argc, char *argv[])
{
    int runs = 15;
    std::string platform = "offscreen";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--platform") && i + 1 < argc)
            platform = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_startup [--runs N] [--platform offscreen|xcb]\n");
            return 2;
        }
    }

    QTemporaryDir xdg;
    QTemporaryDir runtime;
    int silentPort = 0;
    const int silent = silentListener(silentPort);
    if (!xdg.isValid() || !runtime.isValid() || silent < 0) {
        std::fprintf(stderr, "bench_startup: cannot set up the private folders or the loopback listener\n");
        return 1;
    }

    std::vector<Scenario> scenarios(5);
    scenarios[0].name = "bare";
    scenarios[0].program = QStringLiteral(BARE_WINDOW_PATH);
    scenarios[1].name = "empty";
    scenarios[2].name = "refused";
    scenarios[2].address = QStringLiteral("127.0.0.1");
    scenarios[2].port = 1;
    scenarios[3].name = "silent";
    scenarios[3].address = QStringLiteral("127.0.0.1");
    scenarios[3].port = silentPort;
    scenarios[4].name = "slow-dns";
    scenarios[4].address = QStringLiteral("codec.invalid");
    scenarios[4].port = 8080;
    scenarios[4].slowLookup = true;
    for (size_t i = 1; i < scenarios.size(); ++i)
        scenarios[i].program = QStringLiteral(QUORVANE_PATH);

    std::vector<std::string> baseEnv;
    for (char **e = environ; *e; ++e) {
        const std::string kv = *e;
        for (const char *drop : {"QT_QPA_PLATFORM=", "XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=", "LD_PRELOAD=",
                                 "QUORVANE_CLOSE_AFTER_SHOW="}) {
            if (kv.rfind(drop, 0) == 0)
                goto skip;
        }
        baseEnv.push_back(kv);
    skip:;
    }
    baseEnv.push_back("QT_QPA_PLATFORM=" + platform);
    baseEnv.push_back("XDG_CONFIG_HOME=" + xdg.path().toStdString());
    baseEnv.push_back("XDG_RUNTIME_DIR=" + runtime.path().toStdString());
    baseEnv.push_back("QUORVANE_CLOSE_AFTER_SHOW=1");

    std::printf("start-up to a painted window, platform %s, %d runs per scenario, alternated\n", platform.c_str(),
                runs);
    // one unmeasured round warms the page cache and the font cache
    for (int round = -1; round < runs; ++round) {
        for (size_t k = 0; k < scenarios.size(); ++k) {
            // each round starts with another scenario, so none always runs first
            Scenario &s = scenarios[(k + size_t(std::max(round, 0))) % scenarios.size()];
            std::vector<std::string> env = baseEnv;
            if (s.slowLookup)
                env.push_back(std::string("LD_PRELOAD=") + SLOWDNS_PATH);
            writeConfig(xdg.path(), s);
            const Sample sample = runOnce(s, env);
            if (round < 0)
                continue;
            if (!sample.ok) {
                ++s.failures;
                std::fprintf(stderr, "%s: run failed:\n%s\n", s.name, sample.output.c_str());
                continue;
            }
            s.shown.push_back(sample.shown);
            s.exited.push_back(sample.exited);
            s.lookupSeen |= sample.lookupSeen;
        }
    }
    close(silent);

    const double floor = median(scenarios[0].shown);
    std::printf("\n%-9s %9s %9s %9s %9s %7s  %s\n", "scenario", "shown p50", "shown min", "shown p90", "exit p50",
                "x bare", "");
    for (const Scenario &s : scenarios) {
        const double m = median(s.shown);
        std::printf("%-9s %7.1fms %7.1fms %7.1fms %7.1fms %6.2fx  %s%s\n", s.name, m,
                    s.shown.empty() ? 0.0 : *std::min_element(s.shown.begin(), s.shown.end()),
                    percentile(s.shown, 0.9), median(s.exited), floor > 0 ? m / floor : 0.0,
                    s.failures ? "FAILED RUNS " : "",
                    s.slowLookup ? (s.lookupSeen ? "(the 5 s lookup ran)" : "(the lookup was not seen)") : "");
    }
    const double worst = std::max({median(scenarios[2].shown), median(scenarios[3].shown),
                                   median(scenarios[4].shown)});
    std::printf("\ntarget: a configured, unreachable codec within 1.5x of the bare window: %.2fx, %s\n",
                floor > 0 ? worst / floor : 0.0, floor > 0 && worst <= 1.5 * floor ? "met" : "NOT met");
    std::printf("nothing waits on the network: the 5 s lookup %s the window (%.0f ms)\n",
                median(scenarios[4].shown) < 2500 ? "did not delay" : "DELAYED", median(scenarios[4].shown));
    return 0;
}
