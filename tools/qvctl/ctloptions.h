#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace qvctl {

/** Exit statuses of the program. */
enum ExitStatus : int {
    ExitOk = 0,
    ExitError = 1,      // usage, connection and other errors
    ExitAuthFailed = 2, // the codec refused the password
    ExitNotReady = 3,   // not READY within the time-out
    ExitUnknownId = 4,  // unknown peer or profile id
};

enum class Command { Status, Peers, Profiles, Get, Connect, Disconnect, Watch };

/** Where the login password comes from. */
enum class PasswordFrom {
    Default,       // QVCTL_PASSWORD when set, else "tarlin"
    Text,          // --password TEXT
    StandardInput, // --password -: one line of standard input
    File,          // --password-file FILE: its first line
};

/** Everything the command line says. */
struct Options {
    /** The password once known: the default, or --password TEXT (resolvePassword() fills the others). */
    QString password = QStringLiteral("tarlin");
    PasswordFrom passwordFrom = PasswordFrom::Default;
    /** --password-file: the file whose first line is the password. */
    QString passwordFile;
    double timeoutSeconds = 15;
    bool json = false;
    bool trace = false;
    bool help = false;

    /** As the transport takes it: a name, an IPv4 address or a bracketed IPv6 address. */
    QString host;
    quint16 port = 80;

    Command command = Command::Status;
    /** get: the cache key. */
    QString key;
    /** connect: the peer; disconnect: the peer, empty for every call. */
    QString peerId;
    /** connect: the profile. */
    QString profileId;
    /** watch: how long; none means until interrupted. */
    std::optional<double> watchSeconds;
};

/**
 * Parses the arguments that follow the program name. False with @p error set
 * when they make no sense; a help request sets Options::help and returns true.
 */
bool parseArguments(const QStringList &arguments, Options &out, QString &error);

/**
 * Splits "HOST[:PORT]" ("10.0.0.5:8080", "codec.local", "[::1]:8080", "::1")
 * into the host as the transport wants it (IPv6 in brackets) and the port,
 * which stays @p port when the text names none.
 */
bool parseHostPort(const QString &text, QString &host, quint16 &port, QString &error);

/** The usage text printed by --help and after a usage error. */
QString usageText();

/** The name of a command as it is typed. */
QString commandName(Command command);

} // namespace qvctl
