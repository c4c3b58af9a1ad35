#include "statsrows.h"

namespace StatsRows {

QStringList tableHeaders()
{
    return {"Remote Unit", "Duration", "RX Rate", "RX Overhead", "RX Delay",
            "TX Rate",     "TX Overhead", "TX Delay", "Frame Loss", "Remote Loss"};
}

QString durationText(quint32 seconds)
{
    // Total hours, not the time of day: links run for weeks.
    const quint32 hours = seconds / 3600;
    const quint32 minutes = seconds / 60 % 60;
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString tenthsText(qint32 tenths, const char *unit)
{
    return QString::number(tenths / 10) + QLatin1String(unit);
}

QString kbpsText(qint32 bitsPerSecond)
{
    return QString::number(bitsPerSecond / 1000) + QStringLiteral("kbps");
}

QStringList columnTexts(const QString &peerName, const PeerStats &peer, const ChannelStats &channel)
{
    return {peerName,
            durationText(peer.callTime),
            kbpsText(channel.rxAvgPayload),
            kbpsText(channel.rxAvgOverhead),
            tenthsText(peer.delayIn, "ms"),
            kbpsText(channel.txAvgPayload),
            kbpsText(channel.txAvgOverhead),
            tenthsText(peer.delayOut, "ms"),
            tenthsText(peer.frameLossRateAvg, "%"),
            tenthsText(peer.remoteLossAvg, "%")};
}

bool channelOf(const PeerMeta &peer, int &channel)
{
    if (!peer.channel)
        return false;
    bool ok = false;
    channel = peer.channel->channel.trimmed().toInt(&ok);
    return ok;
}

QList<Row> tableRows(const QList<PeerMetaPtr> &active, const QMap<int, PeerStats> &peerStats,
                     const QMap<int, ChannelStats> &channelStats)
{
    QList<Row> rows;
    for (const PeerMetaPtr &peer : active) {
        int channel = 0;
        const int id = peer->numericId();
        const auto stats = peerStats.constFind(id);
        if (!channelOf(*peer, channel) || stats == peerStats.constEnd() || !channelStats.contains(channel))
            continue;
        rows.append({id, channel, columnTexts(peer->name, *stats, channelStats.value(channel))});
    }
    return rows;
}

std::optional<QStringList> receivingColumns(const QString &receivingPeerId, const QMap<int, PeerMetaPtr> &peersById,
                                            const QMap<int, PeerStats> &peerStats,
                                            const QMap<int, ChannelStats> &channelStats)
{
    bool ok = false;
    const int id = receivingPeerId.toInt(&ok);
    if (!ok)
        return std::nullopt;
    // Channel statistics are keyed by channel, not by peer: go through the
    // peer's own channel record.
    const PeerMetaPtr peer = peersById.value(id);
    int channel = 0;
    const auto stats = peerStats.constFind(id);
    if (!peer || !channelOf(*peer, channel) || stats == peerStats.constEnd() || !channelStats.contains(channel))
        return std::nullopt;
    return QStringList{tenthsText(stats->frameLossRateAvg, "%"), tenthsText(stats->bufferDelayAvg, "ms"),
                       durationText(stats->callTime)};
}

} // namespace StatsRows
