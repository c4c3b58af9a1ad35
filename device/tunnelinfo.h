#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <array>

class IPCObject;
class Message;
class TunnelConnection;

/** A view's graph of one direction's loss, late and recovery rates. */
class TunnelGrapher
{
public:
    virtual ~TunnelGrapher() = default;
    virtual void addSample(int lossRate, int lateRate, int recoveryRate) = 0;
};

/** A view's graph of one direction's rate per connection. */
class TunnelUtilizationGrapher
{
public:
    virtual ~TunnelUtilizationGrapher() = default;
    /** One total rate (kbit/s) per connection, in the order of the connection list (which sets its colour). */
    virtual void addRates(const QList<int> &rates) = 0;
};

/** A view's container of the interface buttons, one row per connection. */
class TunnelInterfaceContainer
{
public:
    virtual ~TunnelInterfaceContainer() = default;
    /** Makes sure @p connection has its buttons, labelled and coloured for position @p index. */
    virtual void ensureConnection(int index, const TunnelConnection &connection) = 0;
    /** Removes the buttons of every connection not in @p uids. */
    virtual void retainConnections(const QList<QByteArray> &uids) = 0;
};

/** Bitrates of the tunnel's audio coding in one direction. */
struct TunnelCodecStats {
    int nominalBitrate = 0;   ///< kbit/s
    int throttledBitrate = 0; ///< kbit/s
    bool throttled = false;

    /** From an "enc" element ("nbr", "tbr" in bit/s); true when anything changed. */
    bool read(const Message &enc);
    bool operator==(const TunnelCodecStats &o) const
    {
        return nominalBitrate == o.nominalBitrate && throttledBitrate == o.throttledBitrate && throttled == o.throttled;
    }
};

/** Delay settings and loss figures of the tunnel in one direction. */
struct TunnelDirectionStats {
    int maxPacketDelay = 0;
    int maxAllowedDelay = 0;
    bool delayModeAuto = false;
    std::array<int, 5> delayPoints{{0, 0, 0, 0, 0}};
    int packetLossRate = 0;
    int packetLateRate = 0;
    int packetRecoveryRate = 0;
    TunnelGrapher *grapher = nullptr;
};

/** Rates and queue of one connection in one direction. */
struct TunnelConnectionStats {
    bool throttled = false;
    int throttleRate = 0;
    int rateTotal = 0, ratePayload = 0, rateFec = 0, rateRetransmit = 0;
    int delay = 0;
    int maxDelay = 0;
    int queue = 0;
    int loss = 0;

    /** From a "conn" element; @p receive reads the "r" forms. True when anything changed. */
    bool read(const Message &conn, bool receive);
    bool operator==(const TunnelConnectionStats &o) const;
    bool operator!=(const TunnelConnectionStats &o) const { return !(*this == o); }
};

/** One network path of the tunnel, between a local and a remote interface. */
class TunnelConnection
{
public:
    TunnelConnection(int li, int ri);

    /** "li:ri", for example "1:2". */
    static QByteArray uidFor(int li, int ri);

    int li = 0;
    int ri = 0;
    QByteArray uid;
    QByteArray ldesc, rdesc, name;
    TunnelConnectionStats txStats, rxStats;

    /** Reads the statistics of both directions; true when anything changed. */
    bool updateStats(const Message &conn);
};

/** The tunnel session a codec reports, with its connections. */
class TunnelSession : public QObject
{
    Q_OBJECT
public:
    TunnelSession(int id, const QByteArray &addr, QObject *parent = nullptr);
    ~TunnelSession() override;

    int id;
    QByteArray addr;
    int maxAllowedDelayTx = -1;
    int maxAllowedDelayRx = -1;
    TunnelDirectionStats tx, rx;
    TunnelCodecStats txCodec, rxCodec;
    /** By uid, owned. */
    QMap<QByteArray, TunnelConnection *> connections;
    bool active = false;
    bool encrypted = false;
    bool isProtected = false;
    QByteArray state;

    // Attach points of the tunnel view (not owned; the view detaches them).
    TunnelInterfaceContainer *interfaceWidget = nullptr;
    TunnelUtilizationGrapher *txUtilization = nullptr;
    TunnelUtilizationGrapher *rxUtilization = nullptr;

    /** Flags, state and connection descriptions from a status "sess" (ignored for another sid). */
    void updateSessionStatus(const Message &sess);
    /** Delay settings of both directions; true when anything changed. */
    bool updateDelays(const Message &sess);
    /** Loss figures, receive coding and connections; true when anything changed. */
    bool updateStats(const Message &sess);
    /** Transmit coding from a "codec" element. */
    void updateTxCodec(const Message &codec);
    /** Connection statistics, buttons and utilisation; true when anything changed. */
    bool updateConnections(const Message &sess);
    /** The connection of a "conn" element, created on first sight; null without "li" and "ri". */
    TunnelConnection *connection(const Message &conn);
    /** Connection uids in the order of the last statistics update. */
    const QList<QByteArray> &connectionOrder() const { return m_order; }

private:
    QList<QByteArray> m_order;
};

/**
 * The tunnel model of one device session: at most one TunnelSession, fed by
 * the session's "tun_conns", "tun_stats" and "tunnelStatus" records, and a
 * status colour ("gray", "red", "yellow", "green").
 */
class TunnelInfo : public QObject
{
    Q_OBJECT
public:
    /** A rate above this is red. */
    static constexpr int LossThreshold = 100;

    explicit TunnelInfo(IPCObject *device);
    ~TunnelInfo() override;

    TunnelSession *session() const { return m_session; }
    int connectionCount() const { return m_connectionCount; }
    IPCObject *device() const { return m_device; }
    /** The colour last derived (empty before the first statistics update). */
    const QString &status() const { return m_status; }

signals:
    void sessionCreate(int sid);
    void sessionDestroy(int sid);
    void sessionDelayUpdate(int sid);
    void sessionStatsUpdate(int sid);
    void weftlineStatus(QString state);
    void connsChanged();

public slots:
    void handleUnsoTunConns(QUuid uuid);
    void handleUnsoTunStats(QUuid uuid);
    void handleRecvTunnelStatus(QUuid uuid);
    /** Statistics, status, connections, from what the session has cached. */
    void refreshAll();

private:
    void applyStatus(const Message &element);
    void createSession(int sid, const QByteArray &addr);
    void destroySession();
    void updateColour();

    IPCObject *m_device;
    TunnelSession *m_session = nullptr;
    int m_connectionCount = 0;
    QString m_status;
};
