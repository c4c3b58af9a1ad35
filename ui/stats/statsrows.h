#pragma once

#include "peermeta.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <optional>

/**
 * The texts of the statistics table and of the summary rows, from the
 * session's tables. Pure: no widgets, no session.
 */
namespace StatsRows {

/** Column headers of the statistics table, in order. */
QStringList tableHeaders();

/**
 * A call's duration as "hh:mm:ss" with the total hours: 3725 s gives
 * "01:02:05", 1 d 1 h 1 min 1 s gives "25:01:01".
 */
QString durationText(quint32 seconds);
/** A value in tenths as a whole number with @p unit: 1234 and "ms" give "123ms". */
QString tenthsText(qint32 tenths, const char *unit);
/** A rate in bits per second as whole kilobits: 64500 gives "64kbps". */
QString kbpsText(qint32 bitsPerSecond);

/** The ten column texts of one connection. */
QStringList columnTexts(const QString &peerName, const PeerStats &peer, const ChannelStats &channel);

/**
 * The network channel a live connection runs on (the key of the channel
 * statistics) into @p channel; false when the peer has none.
 */
bool channelOf(const PeerMeta &peer, int &channel);

/** One row of the statistics table. */
struct Row
{
    int peerId = 0;
    int channel = 0;
    QStringList texts;
};

/**
 * The rows of the statistics table: one per active connection whose peer
 * statistics (by peer id) and channel statistics (by the connection's
 * channel) are both present, in the order of @p active.
 */
QList<Row> tableRows(const QList<PeerMetaPtr> &active, const QMap<int, PeerStats> &peerStats,
                     const QMap<int, ChannelStats> &channelStats);

/**
 * The summary row's "RX Frame Loss", "RX Latency" and "Duration" texts for
 * the receiving connection @p receivingPeerId: its peer statistics by its id
 * and its channel statistics by its channel. Nothing when either is missing.
 */
std::optional<QStringList> receivingColumns(const QString &receivingPeerId, const QMap<int, PeerMetaPtr> &peersById,
                                            const QMap<int, PeerStats> &peerStats,
                                            const QMap<int, ChannelStats> &channelStats);

} // namespace StatsRows
