#include "tunnelinfo.h"

#include "ipcobject.h"
#include "logger.h"
#include "message.h"

namespace {

QByteArray bytes(const Message &m, std::string_view key)
{
    const AttrValue *a = m.attr(key);
    if (!a)
        return QByteArray();
    return QByteArray::fromStdString(a->toString());
}

template<typename T>
bool assign(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// Attribute names of a connection's statistics, transmit then receive.
struct ConnNames {
    const char *td, *th, *tp, *tf, *tr, *d, *dm, *dq, *pl;
};
constexpr ConnNames TxConn{"td", "th", "tp", "tf", "tr", "d", "dm", "dq", "pl"};
constexpr ConnNames RxConn{"rtd", "rth", "rtp", "rtf", "rtr", "rd", "rdm", "rdq", "rpl"};

struct DirNames {
    const char *d, *dm, *dma, *points[5], *pl, *plt, *pr;
};
constexpr DirNames TxDir{"d", "dm", "dma", {"d1", "d2", "d3", "d4", "d5"}, "pl", "plt", "pr"};
constexpr DirNames RxDir{"rd", "rdm", "rdma", {"rd1", "rd2", "rd3", "rd4", "rd5"}, "rpl", "rplt", "rpr"};

bool readDelays(TunnelDirectionStats &s, const Message &sess, const DirNames &n)
{
    bool changed = false;
    changed |= assign(s.maxPacketDelay, sess.get_int(n.d));
    changed |= assign(s.maxAllowedDelay, sess.get_int(n.dm));
    changed |= assign(s.delayModeAuto, sess.get_bool(n.dma));
    for (int i = 0; i < 5; ++i)
        changed |= assign(s.delayPoints[size_t(i)], sess.get_int(n.points[i]));
    return changed;
}

bool readRates(TunnelDirectionStats &s, const Message &sess, const DirNames &n)
{
    bool changed = false;
    changed |= assign(s.packetLossRate, sess.get_int(n.pl));
    changed |= assign(s.packetLateRate, sess.get_int(n.plt));
    changed |= assign(s.packetRecoveryRate, sess.get_int(n.pr));
    if (s.grapher)
        s.grapher->addSample(s.packetLossRate, s.packetLateRate, s.packetRecoveryRate);
    return changed;
}

} // namespace

// ---------------------------------------------------------------------------

bool TunnelCodecStats::read(const Message &enc)
{
    TunnelCodecStats n;
    n.nominalBitrate = enc.get_int("nbr") / 1000;
    n.throttledBitrate = enc.get_int("tbr") / 1000;
    n.throttled = n.throttledBitrate != 0 && n.throttledBitrate < n.nominalBitrate;
    return assign(*this, n);
}

bool TunnelConnectionStats::operator==(const TunnelConnectionStats &o) const
{
    return throttled == o.throttled && throttleRate == o.throttleRate && rateTotal == o.rateTotal
        && ratePayload == o.ratePayload && rateFec == o.rateFec && rateRetransmit == o.rateRetransmit
        && delay == o.delay && maxDelay == o.maxDelay && queue == o.queue && loss == o.loss;
}

bool TunnelConnectionStats::read(const Message &conn, bool receive)
{
    const ConnNames &n = receive ? RxConn : TxConn;
    TunnelConnectionStats s = *this;
    // Without a total rate the throttle figures stay as they were.
    if (conn.has_attribute(n.td)) {
        s.throttled = conn.has_attribute(n.th);
        s.throttleRate = conn.get_int(n.th) / 1000;
    }
    s.rateTotal = conn.get_int(n.td) / 1000;
    s.ratePayload = conn.get_int(n.tp) / 1000;
    s.rateFec = conn.get_int(n.tf) / 1000;
    s.rateRetransmit = conn.get_int(n.tr) / 1000;
    s.delay = conn.get_int(n.d);
    s.maxDelay = conn.get_int(n.dm);
    s.queue = conn.get_int(n.dq);
    s.loss = conn.get_int(n.pl);
    return assign(*this, s);
}

TunnelConnection::TunnelConnection(int li_, int ri_)
    : li(li_)
    , ri(ri_)
    , uid(uidFor(li_, ri_))
{
}

QByteArray TunnelConnection::uidFor(int li, int ri)
{
    return QByteArray::number(li) + ':' + QByteArray::number(ri);
}

bool TunnelConnection::updateStats(const Message &conn)
{
    const bool tx = txStats.read(conn, false);
    const bool rx = rxStats.read(conn, true);
    return tx || rx;
}

// ---------------------------------------------------------------------------

TunnelSession::TunnelSession(int id_, const QByteArray &addr_, QObject *parent)
    : QObject(parent)
    , id(id_)
    , addr(addr_)
{
}

TunnelSession::~TunnelSession()
{
    qDeleteAll(connections);
}

TunnelConnection *TunnelSession::connection(const Message &conn)
{
    if (!conn.has_attribute("li") || !conn.has_attribute("ri"))
        return nullptr;
    const int li = conn.get_int("li");
    const int ri = conn.get_int("ri");
    const QByteArray uid = TunnelConnection::uidFor(li, ri);
    auto it = connections.find(uid);
    if (it != connections.end())
        return *it;
    auto *c = new TunnelConnection(li, ri);
    connections.insert(uid, c);
    return c;
}

void TunnelSession::updateSessionStatus(const Message &sess)
{
    if (sess.get_int("sid") != id)
        return;
    active = sess.get_bool("active");
    isProtected = sess.get_bool("protected");
    encrypted = sess.get_bool("encrypted");
    state = bytes(sess, "state");
    const int n = sess.child_count();
    for (int i = 0; i < n; ++i) {
        const Message &conn = sess.get_child(i);
        if (conn.name() != "conn")
            continue;
        TunnelConnection *c = connection(conn);
        if (c && c->li == conn.get_int("li") && c->ri == conn.get_int("ri")) {
            c->ldesc = bytes(conn, "ldesc");
            c->rdesc = bytes(conn, "rdesc");
            c->name = bytes(conn, "name");
        }
    }
}

bool TunnelSession::updateDelays(const Message &sess)
{
    bool changed = false;
    changed |= assign(maxAllowedDelayTx, sess.get_int("dm"));
    changed |= assign(maxAllowedDelayRx, sess.get_int("rdm"));
    changed |= readDelays(tx, sess, TxDir);
    changed |= readDelays(rx, sess, RxDir);
    return changed;
}

bool TunnelSession::updateStats(const Message &sess)
{
    bool changed = false;
    changed |= readRates(tx, sess, TxDir);
    changed |= readRates(rx, sess, RxDir);
    if (const Message *codec = sess.find_child("codec")) {
        if (const Message *enc = codec->find_child("enc"))
            changed |= rxCodec.read(*enc);
    }
    changed |= updateConnections(sess);
    return changed;
}

void TunnelSession::updateTxCodec(const Message &codec)
{
    if (const Message *enc = codec.find_child("enc"))
        txCodec.read(*enc);
}

bool TunnelSession::updateConnections(const Message &sess)
{
    bool changed = false;
    QList<QByteArray> seen;
    const int n = sess.child_count();
    for (int i = 0; i < n; ++i) {
        const Message &conn = sess.get_child(i);
        if (conn.name() != "conn")
            continue;
        const bool known = conn.has_attribute("li") && conn.has_attribute("ri")
            && connections.contains(TunnelConnection::uidFor(conn.get_int("li"), conn.get_int("ri")));
        TunnelConnection *c = connection(conn);
        if (!c) {
            IPC_LOG(LOGC_TUNNEL, LOG_ERROR, "error updating connections: sess dump below");
            sess.dump(LOG_ERROR, LOGC_TUNNEL);
            continue;
        }
        changed |= !known;
        changed |= c->updateStats(conn);
        if (!seen.contains(c->uid))
            seen.append(c->uid);
    }
    changed |= seen != m_order;
    m_order = seen;

    if (interfaceWidget) {
        for (int i = 0; i < seen.size(); ++i)
            interfaceWidget->ensureConnection(i, *connections.value(seen.at(i)));
        interfaceWidget->retainConnections(seen);
    } else {
        IPC_LOG(LOGC_TUNNEL, LOG_DEBUG, "TunnelSession::updateConnections: m_ifc_widget is null");
    }
    if (txUtilization || rxUtilization) {
        QList<int> txRates, rxRates;
        for (const QByteArray &uid : qAsConst(seen)) {
            const TunnelConnection *c = connections.value(uid);
            txRates.append(c->txStats.rateTotal);
            rxRates.append(c->rxStats.rateTotal);
        }
        if (txUtilization)
            txUtilization->addRates(txRates);
        if (rxUtilization)
            rxUtilization->addRates(rxRates);
    }
    return changed;
}

// ---------------------------------------------------------------------------

TunnelInfo::TunnelInfo(IPCObject *device)
    : QObject(device)
    , m_device(device)
{
    connect(device, &IPCObject::recvTunConns, this, &TunnelInfo::handleUnsoTunConns);
    connect(device, &IPCObject::recvTunStats, this, &TunnelInfo::handleUnsoTunStats);
    connect(device, &IPCObject::recvTunnelStatus, this, &TunnelInfo::handleRecvTunnelStatus);
    refreshAll();
}

TunnelInfo::~TunnelInfo()
{
    delete m_session;
}

void TunnelInfo::refreshAll()
{
    const QUuid uuid = m_device->uuid();
    handleUnsoTunStats(uuid);
    handleRecvTunnelStatus(uuid);
    handleUnsoTunConns(uuid);
}

void TunnelInfo::createSession(int sid, const QByteArray &addr)
{
    m_session = new TunnelSession(sid, addr);
    emit sessionCreate(sid);
}

void TunnelInfo::destroySession()
{
    if (!m_session)
        return;
    const int sid = m_session->id;
    emit sessionDestroy(sid);
    delete m_session;
    m_session = nullptr;
}

void TunnelInfo::applyStatus(const Message &element)
{
    const int count = element.child_count("sess");
    for (int i = 0; i < count; ++i) {
        const Message &sess = element.get_child("sess", i);
        const int sid = sess.get_int("sid");
        if (!m_session) {
            // A session without connections counts only when it is the only one.
            if (sess.get_int("active_conns") <= 0 && count != 1)
                continue;
            if (sess.get_bool("active"))
                createSession(sid, bytes(sess, "addr"));
        }
        if (m_session && m_session->id == sid)
            m_session->updateSessionStatus(sess);
    }
}

void TunnelInfo::handleRecvTunnelStatus(QUuid)
{
    const std::shared_ptr<const Message> status = m_device->cachedShared(QStringLiteral("tunnelStatus"));
    if (!status)
        return;
    const Message *node = status->find_child("node");
    if (!node) {
        if (status->get_bool("fail"))
            IPC_LOG(LOGC_TUNNEL, LOG_ERROR, "TunnelInfo::handleRecvTunnelStatus response failure");
        return;
    }
    applyStatus(*node);
}

void TunnelInfo::handleUnsoTunConns(QUuid)
{
    const std::shared_ptr<const Message> record = m_device->cachedShared(QStringLiteral("tun_conns"));
    if (!record)
        return;
    const Message *conns = record->find_child("conns");
    if (!conns)
        return;
    const int count = conns->child_count("sess");
    if (count != m_connectionCount) {
        m_connectionCount = count;
        emit connsChanged();
    }
    if (!m_session)
        return;
    for (int i = 0; i < count; ++i)
        m_session->updateSessionStatus(conns->get_child("sess", i));
}

void TunnelInfo::handleUnsoTunStats(QUuid)
{
    const std::shared_ptr<const Message> record = m_device->cachedShared(QStringLiteral("tun_stats"));
    if (!record || record->child_count("stats") != 1)
        return;
    const Message &stats = record->get_child("stats");
    if (m_session) {
        if (const Message *codec = stats.find_child("codec"))
            m_session->updateTxCodec(*codec);
    }
    const int count = stats.child_count("sess");
    if (count == 0)
        destroySession();
    for (int i = 0; i < count; ++i) {
        const Message &sess = stats.get_child("sess", i);
        const int sid = sess.get_int("sid");
        if (m_session && m_session->id != sid) {
            IPC_LOG(LOGC_TUNNEL, LOG_DEBUG, "TunnelInfo destroying session id=%d", m_session->id);
            destroySession();
        }
        if (!m_session) {
            IPC_LOG(LOGC_TUNNEL, LOG_DEBUG, "TunnelInfo creating session id=%d", sid);
            createSession(sid, bytes(sess, "addr"));
        }
        if (m_session->updateDelays(sess))
            emit sessionDelayUpdate(sid);
        if (m_session->updateStats(sess))
            emit sessionStatsUpdate(sid);
    }
    updateColour();
}

void TunnelInfo::updateColour()
{
    QString colour;
    if (!m_session) {
        colour = QStringLiteral("gray");
        IPC_LOG(LOGC_TUNNEL, LOG_DEBUG, "weftline status: gray - no session");
    } else if (m_session->tx.packetLossRate > LossThreshold || m_session->tx.packetLateRate > LossThreshold
               || m_session->rx.packetLossRate > LossThreshold || m_session->rx.packetLateRate > LossThreshold) {
        colour = QStringLiteral("red");
        IPC_LOG(LOGC_TUNNEL, LOG_DEBUG, "weftline status: red - loss/late exceeds threshold");
    } else if (m_session->txCodec.throttled || m_session->rxCodec.throttled) {
        colour = QStringLiteral("yellow");
        IPC_LOG(LOGC_TUNNEL, LOG_DEBUG, "weftline status: yellow - throttled");
    } else {
        colour = QStringLiteral("green");
        IPC_LOG(LOGC_TUNNEL, LOG_DEBUG, "weftline status: green - OK");
    }
    m_status = colour;
    emit weftlineStatus(colour);
}
