#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace qvctl {

/** One live connection: the peer's id and name. */
struct Connection {
    QString id;
    QString name;
};

/** What "status" prints. */
struct StatusInfo {
    QString host;
    quint16 port = 0;
    QString unitName;
    QString firmware;
    unsigned protocolVersion = 1;
    QString state;
    int peers = 0;
    int profiles = 0;
    QList<Connection> connections;
};

/** One entry of the address book. */
struct PeerRow {
    QString id;
    QString name;
    QString address;
    /** The call state of an active peer, the directory's word for a directory entry, else empty. */
    QString state;
    bool active = false;
    int profile = 0;
};

/** One connection profile. */
struct ProfileRow {
    QString id;
    QString name;
    bool factory = false;
    bool isDefault = false;
};

/** The eight level values in the order the session passes them on. */
using Levels = std::array<float, 8>;

/**
 * Turns what the commands found into output lines: aligned text for people,
 * or one compact JSON object per line for scripts. Pure functions of their
 * arguments; time stamps are passed in.
 */
class Formatter
{
public:
    explicit Formatter(bool json)
        : m_json(json)
    {
    }

    bool json() const { return m_json; }

    QStringList status(const StatusInfo &info) const;
    QStringList peers(const QList<PeerRow> &rows) const;
    QStringList profiles(const QList<ProfileRow> &rows) const;
    /** The cached record @p key, already written as indented XML. */
    QStringList record(const QString &key, const QString &xml) const;
    /** The connections after a connect or disconnect (@p command). */
    QStringList connections(const QString &command, const QList<Connection> &active) const;

    // watch
    QString stateLine(const QString &time, const QString &state) const;
    QString audioLine(const QString &time, bool started, const QString &logText) const;
    QString levelsLine(const QString &time, const Levels &levels) const;
    QString peerListLine(const QString &time, int entries, const QList<Connection> &active) const;

    /** A failure as a JSON line (text output writes errors to standard error only). */
    QString errorLine(const QString &message, int status, const QString &state) const;

    /** The names of the level values, in order ("rmlf", "rmrf", ...). */
    static const std::array<const char *, 8> &levelNames();

private:
    bool m_json;
};

/**
 * Lets at most a given number of lines a second through: a line is allowed
 * when at least 1/n s has passed since the last one allowed.
 */
class RateLimiter
{
public:
    explicit RateLimiter(int perSecond = 10);

    /** True (and counted) when a line may go out at @p nowMs. */
    bool tryTake(qint64 nowMs);
    /** The earliest time the next line may go out. */
    qint64 nextAllowedMs() const { return m_taken ? m_last + m_intervalMs : 0; }
    qint64 intervalMs() const { return m_intervalMs; }

private:
    qint64 m_intervalMs;
    qint64 m_last = 0;
    bool m_taken = false;
};

} // namespace qvctl
