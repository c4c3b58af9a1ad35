#pragma once

#include <QSharedPointer>
#include <QString>

#include <cstdint>
#include <optional>

class Message;

/**
 * One entry of a codec's peer list: an address-book entry, a directory entry
 * or a live connection. Built from a "peer" element; missing attributes take
 * their defaults (false, 0, empty).
 */
class PeerMeta
{
public:
    /** The live connection's side of an active peer. */
    struct Channel {
        QString channel;
        QString state;
        bool transmitting = false;
        bool receiving = false;
        int channels = 0;
        QString rxCodec;
    };
    /** What the directory server says of a directory entry. */
    struct Directory {
        QString product;
        QString state;
        bool online = false;
    };

    PeerMeta() = default;
    explicit PeerMeta(const Message &peer);

    /** Creates the directory record when there is none and sets its fields. */
    void setDirectory(const QString &product, const QString &state, bool online);
    /** The id as a number; an id that is not a decimal number reads as 0. */
    int numericId() const;

    bool stored = false;
    bool active = false;
    QString chanState;
    QString canConnect;
    QString id;
    int profile = 0;
    /** The whole "addr" ("10.0.0.7:9000"); empty for directory entries, as host. */
    QString addr;
    /** "addr" up to its first ":". */
    QString host;
    QString name;
    QString password;
    QString backupId;
    QString unit;
    bool retryPrimary = false;
    bool weftline = false;
    std::optional<Channel> channel;
    std::optional<Directory> directory;
};

/**
 * Peer records are shared: the session drops its references when the next
 * peer list replaces them, and a view that still holds one keeps it alive.
 */
using PeerMetaPtr = QSharedPointer<PeerMeta>;

/** One profile of a codec's profile list (profiles without "settings" are left out). */
struct ProfileSummary {
    QString id;
    QString name;
    bool factory = false;
    bool isDefault = false;
};

/** Network statistics of one channel of the codec. */
struct ChannelStats {
    QString name;
    int32_t id = 0;
    int32_t rxPayload = 0, rxOverhead = 0, rxRTCP = 0;
    int32_t txPayload = 0, txOverhead = 0, txRTCP = 0;
    int32_t rxAvgPayload = 0, rxAvgOverhead = 0, rxAvgRTCP = 0;
    int32_t txAvgPayload = 0, txAvgOverhead = 0, txAvgRTCP = 0;
    int32_t rxTotal = 0, txTotal = 0;

    /** Overwrites every field from a "channel" element. */
    void read(const Message &channel);
};

/** Statistics of one live connection, as the codec last reported them. */
struct PeerStats {
    QString name;
    int32_t id = 0;
    uint32_t callTime = 0;
    int32_t bufferDesiredDelay = 0;
    int32_t bufferMaxDelay = 0;
    int32_t bufferMinDelay = 0;
    int32_t bufferMaxDev = 0;
    bool newData = false;
    int32_t remoteLoss = 0;
    int32_t rtt = 0;
    int32_t pktOutlierRate = 0;
    int32_t corrUpRate = 0;
    int32_t corrDownRate = 0;
    int32_t insertRate = 0;
    int32_t frameLossRate = 0;
    int32_t frameLateRate = 0;
    int32_t packetJitter = 0;
    int32_t bufferDelay = 0;
    int32_t remoteLossAvg = 0;
    int32_t rttAvg = 0;
    int32_t pktOutlierRateAvg = 0;
    int32_t corrUpRateAvg = 0;
    int32_t corrDownRateAvg = 0;
    int32_t insertRateAvg = 0;
    int32_t frameLossRateAvg = 0;
    int32_t frameLateRateAvg = 0;
    int32_t packetJitterAvg = 0;
    int32_t bufferDelayAvg = 0;
    int32_t delayIn = 0;
    int32_t delayOut = 0;

    PeerStats() = default;
    explicit PeerStats(const Message &peer);
};
