// codecsim: a fleet of simulated codecs on consecutive ports of one address.

#include "codecsim.h"
#include "host/process.h"

#include "logger.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

codecsim::Simulator *g_simulator = nullptr;

void stopOnSignal()
{
    if (g_simulator)
        g_simulator->requestStop();
}

bool parseSeconds(const QCommandLineParser &p, const QString &name, double &out, QString &error)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    out = p.value(name).toDouble(&ok);
    if (!ok || out < 0) {
        error = QStringLiteral("--%1 wants a number of seconds, not \"%2\"").arg(name, p.value(name));
        return false;
    }
    return true;
}

bool parseCount(const QCommandLineParser &p, const QString &name, int lo, int hi, int &out, QString &error)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    out = p.value(name).toInt(&ok);
    if (!ok || out < lo || out > hi) {
        error = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                    .arg(name)
                    .arg(lo)
                    .arg(hi)
                    .arg(p.value(name));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("codecsim"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Simulated codecs for testing and demonstrating the console: each speaks the management\n"
        "protocol (NUL-framed XML, MD5 login, requests, pushed records, metering, statistics and\n"
        "tunnel feeds) with a data set generated from the seed.\n"
        "Each codec prints \"listening on ADDRESS:PORT\" when it is ready. SIGINT or SIGTERM ends\n"
        "the program cleanly. Fault times count from each client's connection unless noted."));
    p.addHelpOption();
    p.addOptions({
        {QStringLiteral("listen"), QStringLiteral("Address and first port to listen on (default 127.0.0.1:8080;\n"
                        "port 0 picks free ports)."),
         QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8080")},
        {QStringLiteral("count"), QStringLiteral("Number of codecs, on PORT, PORT+1, ... (default 1)."),
         QStringLiteral("N")},
        {QStringLiteral("password"), QStringLiteral("Login password of every codec (default \"tarlin\")."),
         QStringLiteral("TEXT")},
        {QStringLiteral("unversioned"), QStringLiteral("Every codec is old firmware: no hello, bare records.")},
        {QStringLiteral("open"), QStringLiteral("Let clients in on hello (or a bare login) without a password.")},
        {QStringLiteral("metering-ms"),
         QStringLiteral("Level interval when a client subscribes with interval 0 (default 70)."),
         QStringLiteral("MS")},
        {QStringLiteral("levels-ms"),
         QStringLiteral("Send levels every MS whatever interval a client asked for (0: as asked)."),
         QStringLiteral("MS")},
        {QStringLiteral("stats-ms"),
         QStringLiteral("Interval of the call and channel statistics while a call is up (default 1000)."),
         QStringLiteral("MS")},
        {QStringLiteral("peer-list-ms"),
         QStringLiteral("Also push the peer list every MS, changed or not (default 0: only on a change)."),
         QStringLiteral("MS")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the generated data set (default 1)."), QStringLiteral("N")},
        {QStringLiteral("trace"), QStringLiteral("Print every message in and out (standard error).")},
        {QStringLiteral("active-peers"), QStringLiteral("Start each codec with N (up to 8) peers already connected."),
         QStringLiteral("N")},
        {QStringLiteral("lossy-path"),
         QStringLiteral("Path N (1-3) of every tunnel loses packets: its loss and retransmissions stay high."),
         QStringLiteral("N")},
        {QStringLiteral("stamp-levels"),
         QStringLiteral("Add the send time (monotonic microseconds) to each levels element as \"sent_us\".")},
        {QStringLiteral("stall-after"),
         QStringLiteral("Fault: after SECONDS stop answering and sending, keep the socket open."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("close-after"), QStringLiteral("Fault: close each client connection after SECONDS."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("garbage-after"), QStringLiteral("Fault: after SECONDS send one frame of non-XML bytes."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("oversize-after"),
         QStringLiteral("Fault: after SECONDS send more than 2 MiB without a 0x00."), QStringLiteral("SECONDS")},
        {QStringLiteral("old-pong"),
         QStringLiteral("Fault: answer ping with another seq, as old firmware does, while otherwise versioned.")},
        {QStringLiteral("no-system-opts"), QStringLiteral("Fault: never send the required \"systemOpts\" record.")},
        {QStringLiteral("short-peer-keys"),
         QStringLiteral("Peer entries carry the password only as \"pw\" and the tunnel flag only as "
                        "\"weftline\" (not also as \"password\" and \"use_weftline\").")},
        {QStringLiteral("latin1-unit-name"),
         QStringLiteral("Fault: the unit name starts with \"Caf\u00e9\" and is sent in ISO-8859-1, as older firmware may.")},
        {QStringLiteral("firmware-change-after"),
         QStringLiteral("Fault: SECONDS after a codec's first login, push a \"version\" notice and "
                        "change its version record."),
         QStringLiteral("SECONDS")},
    });
    p.process(app);

    codecsim::Options o;
    QString error;
    const QString listen = p.value(QStringLiteral("listen"));
    const int colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = colon > 0 ? listen.mid(colon + 1).toInt(&portOk) : -1;
    if (colon <= 0 || !portOk || port < 0 || port > 65535) {
        std::fprintf(stderr, "codecsim: --listen wants ADDRESS:PORT, not \"%s\"\n", qPrintable(listen));
        return 2;
    }
    o.host = listen.left(colon).toStdString();
    if (o.host.size() > 2 && o.host.front() == '[' && o.host.back() == ']')
        o.host = o.host.substr(1, o.host.size() - 2);
    o.port = static_cast<uint16_t>(port);
    if (p.isSet(QStringLiteral("password")))
        o.password = p.value(QStringLiteral("password")).toStdString();
    o.unversioned = p.isSet(QStringLiteral("unversioned"));
    o.open = p.isSet(QStringLiteral("open"));
    o.trace = p.isSet(QStringLiteral("trace"));
    o.stampLevels = p.isSet(QStringLiteral("stamp-levels"));
    o.oldPong = p.isSet(QStringLiteral("old-pong"));
    o.noSystemOpts = p.isSet(QStringLiteral("no-system-opts"));
    o.shortPeerKeys = p.isSet(QStringLiteral("short-peer-keys"));
    o.latin1UnitName = p.isSet(QStringLiteral("latin1-unit-name"));
    bool ok = parseCount(p, QStringLiteral("count"), 1, 65535, o.count, error) &&
              parseCount(p, QStringLiteral("metering-ms"), 0, 3600000, o.meteringMs, error) &&
              parseCount(p, QStringLiteral("levels-ms"), 0, 3600000, o.levelsMs, error) &&
              parseCount(p, QStringLiteral("stats-ms"), 10, 3600000, o.statsMs, error) &&
              parseCount(p, QStringLiteral("peer-list-ms"), 0, 3600000, o.peerListMs, error) &&
              parseCount(p, QStringLiteral("active-peers"), 0, 8, o.activePeers, error) &&
              parseCount(p, QStringLiteral("lossy-path"), 0, 3, o.lossyPath, error) &&
              parseSeconds(p, QStringLiteral("stall-after"), o.stallAfter, error) &&
              parseSeconds(p, QStringLiteral("close-after"), o.closeAfter, error) &&
              parseSeconds(p, QStringLiteral("garbage-after"), o.garbageAfter, error) &&
              parseSeconds(p, QStringLiteral("oversize-after"), o.oversizeAfter, error) &&
              parseSeconds(p, QStringLiteral("firmware-change-after"), o.firmwareChangeAfter, error);
    if (ok && p.isSet(QStringLiteral("seed"))) {
        o.seed = p.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok)
            error = QStringLiteral("--seed wants a whole number, not \"%1\"").arg(p.value(QStringLiteral("seed")));
    }
    if (!ok) {
        std::fprintf(stderr, "codecsim: %s\n", qPrintable(error));
        return 2;
    }
    if (!p.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "codecsim: unexpected argument \"%s\" (see --help)\n",
                     qPrintable(p.positionalArguments().first()));
        return 2;
    }

    // Up to two descriptors per codec (listener and client) and a few more.
    std::string limitError;
    const long limit = codecsim::process::raiseFileLimit(limitError);
    if (limit < 0 && !limitError.empty())
        std::fprintf(stderr, "codecsim: cannot raise the descriptor limit: %s\n", limitError.c_str());
    else if (limit > 0 && limit < 2L * o.count + 16)
        std::fprintf(stderr, "codecsim: warning: %ld descriptors allowed; %d codecs with a client each need %d\n",
                     limit, o.count, 2 * o.count + 16);

    Logger::instance().setThreshold(LOGC_SIMULATOR, o.trace ? LOG_INFO : LOG_DETAIL);

    codecsim::Simulator simulator(o);
    std::string listenError;
    if (!simulator.listen(listenError)) {
        std::fprintf(stderr, "codecsim: cannot listen: %s\n", listenError.c_str());
        return 1;
    }
    g_simulator = &simulator;
    std::string signalError;
    if (!codecsim::process::onStopSignal(stopOnSignal, signalError))
        std::fprintf(stderr, "codecsim: cannot catch SIGINT/SIGTERM: %s\n", signalError.c_str());

    const bool v6 = o.host.find(':') != std::string::npos;
    for (uint16_t port : simulator.ports()) {
        if (v6)
            std::printf("listening on [%s]:%u\n", o.host.c_str(), static_cast<unsigned>(port));
        else
            std::printf("listening on %s:%u\n", o.host.c_str(), static_cast<unsigned>(port));
    }
    std::fflush(stdout);

    simulator.run();
    g_simulator = nullptr;
    std::fprintf(stderr, "codecsim: stopped\n");
    return 0;
}
