#include "ctlformat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cfloat>
#include <cmath>

namespace qvctl {

namespace {

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString yesNo(bool on)
{
    return on ? QStringLiteral("yes") : QStringLiteral("no");
}

/** Columns padded to their widest cell, two spaces apart; the last column is not padded. */
QStringList table(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QStringList &row : rows) {
        for (int c = 0; c < row.size(); ++c) {
            if (c >= widths.size())
                widths.append(0);
            widths[c] = qMax(widths[c], row.at(c).size());
        }
    }
    QStringList lines;
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c) {
            if (c + 1 < row.size())
                line += row.at(c).leftJustified(widths.at(c)) + QStringLiteral("  ");
            else
                line += row.at(c);
        }
        lines.append(line);
    }
    return lines;
}

QJsonArray connectionArray(const QList<Connection> &active)
{
    QJsonArray array;
    for (const Connection &c : active)
        array.append(QJsonObject{{QStringLiteral("id"), c.id}, {QStringLiteral("name"), c.name}});
    return array;
}

QStringList connectionLines(const QList<Connection> &active)
{
    QStringList lines;
    lines.append(QStringLiteral("connections: %1").arg(active.size()));
    QList<QStringList> rows;
    for (const Connection &c : active)
        rows.append({QStringLiteral("  ") + c.id, c.name});
    lines += table(rows);
    return lines;
}

// A level the codec left out reads as the smallest normal float: no value.
bool levelMissing(float v)
{
    return v == FLT_MIN || !std::isfinite(v);
}

} // namespace

const std::array<const char *, 8> &Formatter::levelNames()
{
    static const std::array<const char *, 8> names{"rmlf", "rmrf", "tmlf", "tmrf", "rmls", "rmrs", "tmls", "tmrs"};
    return names;
}

QStringList Formatter::status(const StatusInfo &info) const
{
    const bool versioned = info.protocolVersion != 0;
    if (m_json) {
        QJsonObject o{
            {QStringLiteral("codec"), QStringLiteral("%1:%2").arg(info.host).arg(info.port)},
            {QStringLiteral("unit"), info.unitName},
            {QStringLiteral("firmware"), info.firmware},
            {QStringLiteral("protocol"), static_cast<int>(info.protocolVersion)},
            {QStringLiteral("versioned"), versioned},
            {QStringLiteral("state"), info.state},
            {QStringLiteral("peers"), info.peers},
            {QStringLiteral("profiles"), info.profiles},
            {QStringLiteral("connections"), connectionArray(info.connections)},
        };
        return {compact(o)};
    }
    QStringList lines{
        QStringLiteral("codec: %1:%2").arg(info.host).arg(info.port),
        QStringLiteral("unit: %1").arg(orDash(info.unitName)),
        QStringLiteral("firmware: %1").arg(orDash(info.firmware)),
        QStringLiteral("protocol: %1 (%2)")
            .arg(info.protocolVersion)
            .arg(versioned ? QStringLiteral("versioned") : QStringLiteral("unversioned")),
        QStringLiteral("state: %1").arg(info.state),
        QStringLiteral("peers: %1").arg(info.peers),
        QStringLiteral("profiles: %1").arg(info.profiles),
    };
    lines += connectionLines(info.connections);
    return lines;
}

QStringList Formatter::peers(const QList<PeerRow> &rows) const
{
    if (m_json) {
        QStringList lines;
        for (const PeerRow &r : rows) {
            lines.append(compact(QJsonObject{
                {QStringLiteral("id"), r.id},
                {QStringLiteral("name"), r.name},
                {QStringLiteral("address"), r.address},
                {QStringLiteral("state"), r.state},
                {QStringLiteral("active"), r.active},
                {QStringLiteral("profile"), r.profile},
            }));
        }
        return lines;
    }
    QList<QStringList> cells{{QStringLiteral("ID"), QStringLiteral("NAME"), QStringLiteral("ADDRESS"),
                              QStringLiteral("STATE"), QStringLiteral("ACTIVE"), QStringLiteral("PROFILE")}};
    for (const PeerRow &r : rows) {
        cells.append({orDash(r.id), orDash(r.name), orDash(r.address), orDash(r.state), yesNo(r.active),
                      QString::number(r.profile)});
    }
    return table(cells);
}

QStringList Formatter::profiles(const QList<ProfileRow> &rows) const
{
    if (m_json) {
        QStringList lines;
        for (const ProfileRow &r : rows) {
            lines.append(compact(QJsonObject{
                {QStringLiteral("id"), r.id},
                {QStringLiteral("name"), r.name},
                {QStringLiteral("factory"), r.factory},
                {QStringLiteral("default"), r.isDefault},
            }));
        }
        return lines;
    }
    QList<QStringList> cells{
        {QStringLiteral("ID"), QStringLiteral("NAME"), QStringLiteral("FACTORY"), QStringLiteral("DEFAULT")}};
    for (const ProfileRow &r : rows)
        cells.append({orDash(r.id), orDash(r.name), yesNo(r.factory), yesNo(r.isDefault)});
    return table(cells);
}

QStringList Formatter::record(const QString &key, const QString &xml) const
{
    QString text = xml;
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (m_json)
        return {compact(QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("xml"), text}})};
    return text.split(QLatin1Char('\n'));
}

QStringList Formatter::connections(const QString &command, const QList<Connection> &active) const
{
    if (m_json) {
        return {compact(QJsonObject{{QStringLiteral("command"), command},
                                    {QStringLiteral("connections"), connectionArray(active)}})};
    }
    return connectionLines(active);
}

QString Formatter::stateLine(const QString &time, const QString &state) const
{
    if (m_json) {
        return compact(QJsonObject{
            {QStringLiteral("time"), time}, {QStringLiteral("event"), QStringLiteral("state")}, {QStringLiteral("state"), state}});
    }
    return QStringLiteral("%1 state %2").arg(time, state);
}

QString Formatter::audioLine(const QString &time, bool started, const QString &logText) const
{
    const QString kind = started ? QStringLiteral("started") : QStringLiteral("ended");
    if (m_json) {
        return compact(QJsonObject{{QStringLiteral("time"), time},
                                   {QStringLiteral("event"), QStringLiteral("audio")},
                                   {QStringLiteral("kind"), kind},
                                   {QStringLiteral("log"), logText}});
    }
    return QStringLiteral("%1 audio %2: %3").arg(time, kind, logText);
}

QString Formatter::levelsLine(const QString &time, const Levels &levels) const
{
    const auto &names = levelNames();
    if (m_json) {
        QJsonObject o{{QStringLiteral("time"), time}, {QStringLiteral("event"), QStringLiteral("levels")}};
        for (size_t i = 0; i < levels.size(); ++i) {
            const float v = levels[i];
            o.insert(QLatin1String(names[i]),
                     levelMissing(v) ? QJsonValue(QJsonValue::Null) : QJsonValue(std::round(double(v) * 10) / 10));
        }
        return compact(o);
    }
    QString line = time + QStringLiteral(" levels");
    for (size_t i = 0; i < levels.size(); ++i) {
        const float v = levels[i];
        line += QLatin1Char(' ') + QLatin1String(names[i]) + QLatin1Char(' ')
            + (levelMissing(v) ? QStringLiteral("-") : QString::number(double(v), 'f', 1));
    }
    return line;
}

QString Formatter::peerListLine(const QString &time, int entries, const QList<Connection> &active) const
{
    if (m_json) {
        return compact(QJsonObject{{QStringLiteral("time"), time},
                                   {QStringLiteral("event"), QStringLiteral("peers")},
                                   {QStringLiteral("entries"), entries},
                                   {QStringLiteral("connections"), connectionArray(active)}});
    }
    QString line = QStringLiteral("%1 peers %2, active %3").arg(time).arg(entries).arg(active.size());
    for (int i = 0; i < active.size(); ++i)
        line += (i == 0 ? QStringLiteral(": ") : QStringLiteral(", ")) + active.at(i).id + QLatin1Char(' ') + active.at(i).name;
    return line;
}

QString Formatter::errorLine(const QString &message, int status, const QString &state) const
{
    QJsonObject o{{QStringLiteral("error"), message}, {QStringLiteral("status"), status}};
    if (!state.isEmpty())
        o.insert(QStringLiteral("state"), state);
    return compact(o);
}

RateLimiter::RateLimiter(int perSecond)
    : m_intervalMs(perSecond > 0 ? (1000 + perSecond - 1) / perSecond : 0)
{
}

bool RateLimiter::tryTake(qint64 nowMs)
{
    if (m_taken && nowMs < m_last + m_intervalMs)
        return false;
    m_taken = true;
    m_last = nowMs;
    return true;
}

} // namespace qvctl
