#include "ctloptions.h"

#include <cmath>

namespace qvctl {

namespace {

// A day is more than any script waits for a codec; the bound keeps the
// millisecond timers of the runner in range.
constexpr double MaxSeconds = 86400;

bool parseSeconds(const QString &name, const QString &text, bool zeroAllowed, double &out, QString &error)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 0 || (!zeroAllowed && v == 0) || v > MaxSeconds) {
        error = QStringLiteral("%1 wants a number of seconds%2 up to %3, not \"%4\"")
                    .arg(name, zeroAllowed ? QString() : QStringLiteral(" above 0"))
                    .arg(MaxSeconds)
                    .arg(text);
        return false;
    }
    out = v;
    return true;
}

bool commandFromName(const QString &name, Command &out)
{
    static const struct {
        const char *name;
        Command command;
    } table[] = {
        {"status", Command::Status},   {"peers", Command::Peers},       {"profiles", Command::Profiles},
        {"get", Command::Get},         {"connect", Command::Connect},   {"disconnect", Command::Disconnect},
        {"watch", Command::Watch},
    };
    for (const auto &entry : table) {
        if (name == QLatin1String(entry.name)) {
            out = entry.command;
            return true;
        }
    }
    return false;
}

} // namespace

QString commandName(Command command)
{
    switch (command) {
    case Command::Status:
        return QStringLiteral("status");
    case Command::Peers:
        return QStringLiteral("peers");
    case Command::Profiles:
        return QStringLiteral("profiles");
    case Command::Get:
        return QStringLiteral("get");
    case Command::Connect:
        return QStringLiteral("connect");
    case Command::Disconnect:
        return QStringLiteral("disconnect");
    case Command::Watch:
        return QStringLiteral("watch");
    }
    return QString();
}

bool parseHostPort(const QString &text, QString &host, quint16 &port, QString &error)
{
    QString h;
    QString p;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            error = QStringLiteral("\"%1\": missing ']' after the IPv6 address").arg(text);
            return false;
        }
        h = text.left(close + 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) {
                error = QStringLiteral("\"%1\": expected ':PORT' after ']'").arg(text);
                return false;
            }
            p = rest.mid(1);
            if (p.isEmpty()) {
                error = QStringLiteral("\"%1\": the port is missing after ':'").arg(text);
                return false;
            }
        }
        if (h.size() <= 2) {
            error = QStringLiteral("\"%1\": empty IPv6 address").arg(text);
            return false;
        }
    } else if (text.count(QLatin1Char(':')) >= 2) {
        // A bare IPv6 address has no room for a port.
        h = QLatin1Char('[') + text + QLatin1Char(']');
    } else {
        const int colon = text.indexOf(QLatin1Char(':'));
        h = colon < 0 ? text : text.left(colon);
        if (colon >= 0) {
            p = text.mid(colon + 1);
            if (p.isEmpty()) {
                error = QStringLiteral("\"%1\": the port is missing after ':'").arg(text);
                return false;
            }
        }
    }
    if (h.isEmpty()) {
        error = QStringLiteral("no host in \"%1\"").arg(text);
        return false;
    }
    if (h.contains(QLatin1Char(' ')) || h.contains(QLatin1Char('/'))) {
        error = QStringLiteral("\"%1\" is not a host name or address").arg(h);
        return false;
    }
    if (!p.isEmpty()) {
        bool ok = false;
        const uint v = p.toUInt(&ok);
        if (!ok || v == 0 || v > 65535 || !p.at(0).isDigit()) {
            error = QStringLiteral("\"%1\" is not a port (1 to 65535)").arg(p);
            return false;
        }
        port = static_cast<quint16>(v);
    }
    host = h;
    return true;
}

bool parseArguments(const QStringList &arguments, Options &out, QString &error)
{
    Options o;
    QStringList positional;
    bool secondsGiven = false;
    double seconds = 0;
    bool onlyPositional = false;
    bool passwordOption = false;
    bool passwordFileOption = false;

    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (onlyPositional || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        // "--name=value" and "--name value" are the same.
        QString name = arg;
        QString value;
        bool inlineValue = false;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
            inlineValue = true;
        }
        auto takeValue = [&](QString &v) {
            if (inlineValue) {
                v = value;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            v = arguments.at(++i);
            return true;
        };
        auto noValue = [&] {
            if (inlineValue) {
                error = QStringLiteral("%1 takes no value").arg(name);
                return false;
            }
            return true;
        };

        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            if (!noValue())
                return false;
            o.help = true;
        } else if (name == QLatin1String("--json")) {
            if (!noValue())
                return false;
            o.json = true;
        } else if (name == QLatin1String("--trace")) {
            if (!noValue())
                return false;
            o.trace = true;
        } else if (name == QLatin1String("--password")) {
            QString v;
            if (!takeValue(v))
                return false;
            o.passwordFrom = v == QLatin1String("-") ? PasswordFrom::StandardInput : PasswordFrom::Text;
            o.password = o.passwordFrom == PasswordFrom::Text ? v : QString();
            passwordOption = true;
        } else if (name == QLatin1String("--password-file")) {
            if (!takeValue(o.passwordFile))
                return false;
            if (o.passwordFile.isEmpty()) {
                error = QStringLiteral("--password-file needs a file name");
                return false;
            }
            o.passwordFrom = PasswordFrom::File;
            passwordFileOption = true;
        } else if (name == QLatin1String("--timeout")) {
            QString v;
            if (!takeValue(v) || !parseSeconds(name, v, false, o.timeoutSeconds, error))
                return false;
        } else if (name == QLatin1String("--seconds")) {
            QString v;
            if (!takeValue(v) || !parseSeconds(name, v, true, seconds, error))
                return false;
            secondsGiven = true;
        } else {
            error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        }
    }

    if (o.help) {
        out = o;
        return true;
    }
    if (passwordOption && passwordFileOption) {
        error = QStringLiteral("--password and --password-file exclude each other");
        return false;
    }
    if (positional.isEmpty()) {
        error = QStringLiteral("no codec given");
        return false;
    }
    if (!parseHostPort(positional.takeFirst(), o.host, o.port, error))
        return false;
    if (positional.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    const QString name = positional.takeFirst();
    if (!commandFromName(name, o.command)) {
        error = QStringLiteral("unknown command \"%1\"").arg(name);
        return false;
    }

    const QStringList &args = positional;
    auto wantArgs = [&](int least, int most, const char *shape) {
        if (args.size() >= least && args.size() <= most)
            return true;
        error = QStringLiteral("usage: %1 %2").arg(name, QLatin1String(shape)).trimmed();
        return false;
    };
    switch (o.command) {
    case Command::Status:
    case Command::Peers:
    case Command::Profiles:
        if (!wantArgs(0, 0, ""))
            return false;
        break;
    case Command::Get:
        if (!wantArgs(1, 1, "KEY"))
            return false;
        o.key = args.at(0);
        if (o.key.isEmpty()) {
            error = QStringLiteral("get: the key is empty");
            return false;
        }
        break;
    case Command::Connect:
        if (!wantArgs(2, 2, "PEER_ID PROFILE_ID"))
            return false;
        o.peerId = args.at(0);
        o.profileId = args.at(1);
        break;
    case Command::Disconnect:
        if (!wantArgs(0, 1, "[PEER_ID]"))
            return false;
        if (!args.isEmpty())
            o.peerId = args.at(0);
        break;
    case Command::Watch:
        if (!wantArgs(0, 0, "[--seconds N]"))
            return false;
        break;
    }
    if (secondsGiven) {
        if (o.command != Command::Watch) {
            error = QStringLiteral("--seconds belongs to watch");
            return false;
        }
        o.watchSeconds = seconds;
    }
    out = o;
    return true;
}

QString usageText()
{
    return QStringLiteral(
        "usage: qvctl [--password-file FILE | --password -] [--timeout SECONDS] [--json] [--trace]\n"
        "             HOST[:PORT] COMMAND [ARGS...]\n"
        "\n"
        "Logs in to one codec (port 80 unless given; IPv6 as [ADDRESS]:PORT), waits until it is ready\n"
        "and runs one command.\n"
        "\n"
        "commands:\n"
        "  status                      unit name, firmware, protocol, state, peers, profiles, connections\n"
        "  peers                       the address book: id, name, address, state, active, profile\n"
        "  profiles                    the connection profiles: id, name, factory, default\n"
        "  get KEY                     one cached record (sysOptions, peerList, version, ...) as XML\n"
        "  connect PEER_ID PROFILE_ID  connect a peer with a profile, then print the connections\n"
        "  disconnect [PEER_ID]        end one call (every call without an id), then print the connections\n"
        "  watch [--seconds N]         print state changes, audio connection events, levels (at most\n"
        "                              10 lines a second) and peer lists until N seconds pass or SIGINT\n"
        "\n"
        "options:\n"
        "  --password-file FILE  login password: the first line of FILE, which no other user may read\n"
        "  --password -          login password: one line read from standard input\n"
        "  --password TEXT       login password given as it is (any local user can read a command line)\n"
        "                        Without these: the environment variable QVCTL_PASSWORD, else \"tarlin\".\n"
        "  --timeout SECONDS     how long to wait for the codec to be ready, and for a command's result\n"
        "                        (default 15)\n"
        "  --json                one JSON object per line instead of text\n"
        "  --trace               every message sent and received, on standard error\n"
        "  -h, --help            this text\n"
        "\n"
        "exit status: 0 success, 1 usage or other error, 2 login refused, 3 not ready in time,\n"
        "4 unknown peer or profile id\n");
}

} // namespace qvctl
