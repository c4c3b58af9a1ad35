// Calls, their statistics and the tunnel feeds. The figures wander within
// plausible bounds, with an occasional bad second, so that graphs move and
// the tunnel's status colour changes now and then.

#include "simcodec.h"

#include "simclient.h"
#include "simlog.h"
#include "simrecords.h"

#include <algorithm>
#include <cmath>

namespace codecsim {

namespace {

/** Moves @p v towards @p mean with some noise, kept within [lo, hi]. */
double wander(Random &rng, double v, double mean, double spread, double lo, double hi)
{
    v += (mean - v) * 0.2 + (rng.unit() - 0.5) * spread;
    return std::max(lo, std::min(hi, v));
}

double smooth(double avg, double v)
{
    return avg * 0.9 + v * 0.1;
}

int i32(double v)
{
    return static_cast<int>(std::lround(v));
}

} // namespace

void Codec::startCall(PeerEntry &peer)
{
    const ProfileEntry *profile = m_state.profileFor(peer);
    std::string channel = profile ? profile->channel : m_state.channels.front().id;
    auto encoderOf = [&](const ValueMap &side) {
        auto it = side.find("encoder");
        if (it != side.end())
            return it->second;
        const Message *o = m_desc.channelOption(channel, "encoder", true);
        return o ? o->get_string("default") : std::string("4");
    };
    peer.active = true;
    peer.connectedAt = m_server.now();
    peer.channel = channel;
    peer.txEncoder = profile ? encoderOf(profile->local) : encoderOf(ValueMap());
    auto remote = profile ? profile->remote.find("encoder") : ValueMap::const_iterator();
    peer.rxEncoder = profile && remote != profile->remote.end() && remote->second != "!follow" ? remote->second
                                                                                                 : peer.txEncoder;
    const EncoderInfo *enc = m_desc.encoder(peer.txEncoder);
    peer.channels = enc && enc->stereo ? 2 : 1;
    peer.transmitting = true;
    peer.receiving = true;
    CallFigures f;
    f.jitter = f.jitterAvg = 20 + m_random.range(0, 80);
    f.bufferDelay = f.bufferDelayAvg = 1500 + m_random.range(0, 2000);
    f.rtt = f.rttAvg = 200 + m_random.range(0, 1200);
    peer.figures = f;
    if (peer.weftline && !m_state.tunnel.exists && m_state.weftline["enabled"] == "true" &&
        !m_server.options().unversioned)
        openTunnel(peer);
}

void Codec::endCall(PeerEntry &peer)
{
    peer.active = false;
    peer.transmitting = false;
    peer.receiving = false;
    peer.channel.clear();
    if (m_state.tunnel.exists && m_state.tunnel.peerId == peer.id) {
        closeTunnel();
        // another tunnel call takes the tunnel over
        for (const PeerEntry &p : m_state.peers) {
            if (p.active && p.weftline) {
                openTunnel(p);
                break;
            }
        }
    }
}

void Codec::openTunnel(const PeerEntry &peer)
{
    TunnelState &t = m_state.tunnel;
    t = TunnelState();
    t.exists = true;
    t.sid = 100 * (m_index % 100 + 1) + m_state.nextSid++;
    t.peerId = peer.id;
    t.addr = peer.host();
    int maxDelay = 300;
    parseInt(m_state.weftline["max_delay"], maxDelay);
    t.dm = t.rdm = maxDelay;
    const TunnelPath all[] = {
        {1, 1, "Ethernet", "Fibre", "wired", 0.5},
        {2, 1, "Cellular 1", "Fibre", "cell-a", 0.3},
        {3, 2, "Cellular 2", "Cellular", "cell-b", 0.2},
    };
    const int paths = 2 + (peer.id % 2);
    for (int i = 0; i < paths; ++i)
        t.paths.push_back(all[i]);
    if (paths == 2) {
        t.paths[0].share = 0.6;
        t.paths[1].share = 0.4;
    }
    SIM_LOG(LOG_DETAIL, "codec %d: tunnel session %d to %s opened", m_index, t.sid, t.addr.c_str());
}

void Codec::closeTunnel()
{
    SIM_LOG(LOG_DETAIL, "codec %d: tunnel session %d closed", m_index, m_state.tunnel.sid);
    m_state.tunnel = TunnelState();
}

void Codec::connectAtStart(int count)
{
    for (PeerEntry &p : m_state.peers) {
        if (count <= 0)
            break;
        if (p.directory || p.active)
            continue;
        startCall(p);
        --count;
    }
    m_lastEncoder.clear();
}

void Codec::moveFigures(PeerEntry &peer)
{
    CallFigures &f = peer.figures;
    Random &r = m_random;
    // now and then a rough second: loss and jitter jump, then settle again
    const bool rough = r.chance(0.04);
    f.jitter = wander(r, f.jitter, rough ? 400 : 50, 30, 5, 2000);
    f.bufferDelay = wander(r, f.bufferDelay, 2500, 150, 300, 9000);
    f.rtt = wander(r, f.rtt, 600, 80, 50, 5000);
    f.frameLoss = wander(r, f.frameLoss, rough ? 80 : 3, 4, 0, 1000);
    f.remoteLoss = wander(r, f.remoteLoss, rough ? 40 : 2, 3, 0, 1000);
    f.corrUp = wander(r, f.corrUp, 4, 3, 0, 500);
    f.corrDown = wander(r, f.corrDown, 3, 3, 0, 500);
    f.jitterAvg = smooth(f.jitterAvg, f.jitter);
    f.bufferDelayAvg = smooth(f.bufferDelayAvg, f.bufferDelay);
    f.rttAvg = smooth(f.rttAvg, f.rtt);
    f.frameLossAvg = smooth(f.frameLossAvg, f.frameLoss);
    f.remoteLossAvg = smooth(f.remoteLossAvg, f.remoteLoss);
    f.corrUpAvg = smooth(f.corrUpAvg, f.corrUp);
    f.corrDownAvg = smooth(f.corrDownAvg, f.corrDown);
    f.lateAvg = smooth(f.lateAvg, f.frameLoss * 0.5);
    f.outlierAvg = smooth(f.outlierAvg, f.jitter * 0.02);
    f.insertAvg = smooth(f.insertAvg, f.frameLoss * 0.3);
}

Message Codec::peerStats() const
{
    // all delays in tenths of a millisecond, all rates in tenths of a percent
    Message list("peerStats");
    const uint64_t now = m_server.now();
    for (const PeerEntry &p : m_state.peers) {
        if (!p.active)
            continue;
        const CallFigures &f = p.figures;
        Message &m = list.add_child("peer");
        m.set_string("name", p.name);
        m.set_int("id", p.id);
        m.set_uint("callTime", static_cast<uint32_t>((now - p.connectedAt) / 1000000));
        m.set_int("bufferDesiredDelay", i32(f.bufferDelayAvg * 0.95));
        m.set_int("bufferMaxDelay", i32(f.bufferDelay * 1.6));
        m.set_int("bufferMinDelay", i32(f.bufferDelay * 0.3));
        m.set_int("bufferMaxDev", i32(f.jitter * 3));
        m.set_bool("newData", true);
        m.set_int("remoteLoss", i32(f.remoteLoss));
        m.set_int("rtt", i32(f.rtt));
        m.set_int("pktOutlierRate", i32(f.jitter * 0.02));
        m.set_int("corrUpRate", i32(f.corrUp));
        m.set_int("corrDownRate", i32(f.corrDown));
        m.set_int("insertRate", i32(f.frameLoss * 0.3));
        m.set_int("frameLossRate", i32(f.frameLoss));
        m.set_int("frameLateRate", i32(f.frameLoss * 0.5));
        m.set_int("packetJitter", i32(f.jitter));
        m.set_int("bufferDelay", i32(f.bufferDelay));
        m.set_int("remoteLossAvg", i32(f.remoteLossAvg));
        m.set_int("rttAvg", i32(f.rttAvg));
        m.set_int("pktOutlierRateAvg", i32(f.outlierAvg));
        m.set_int("corrUpRateAvg", i32(f.corrUpAvg));
        m.set_int("corrDownRateAvg", i32(f.corrDownAvg));
        m.set_int("insertRateAvg", i32(f.insertAvg));
        m.set_int("frameLossRateAvg", i32(f.frameLossAvg));
        m.set_int("frameLateRateAvg", i32(f.lateAvg));
        m.set_int("packetJitterAvg", i32(f.jitterAvg));
        m.set_int("bufferDelayAvg", i32(f.bufferDelayAvg));
        m.set_int("delayIn", i32(f.bufferDelay + f.rtt / 2));
        m.set_int("delayOut", i32(f.rtt / 2 + 200));
    }
    return list;
}

Message Codec::channelStats()
{
    // rates in bits per second, totals in kilobytes
    Message list("channelStats");
    for (ChannelEntry &ch : m_state.channels) {
        double rx = 0, tx = 0;
        for (const PeerEntry &p : m_state.peers) {
            if (!p.active || p.channel != ch.id)
                continue;
            const EncoderInfo *te = m_desc.encoder(p.txEncoder);
            const EncoderInfo *re = m_desc.encoder(p.rxEncoder);
            tx += (te ? te->kbps : 64) * 1000.0;
            rx += (re ? re->kbps : 64) * 1000.0;
        }
        const double jitterRx = rx > 0 ? 1.0 + (m_random.unit() - 0.5) * 0.04 : 0;
        const double jitterTx = tx > 0 ? 1.0 + (m_random.unit() - 0.5) * 0.02 : 0;
        const double rxPayload = rx * jitterRx, txPayload = tx * jitterTx;
        const double rxOverhead = rxPayload * 0.14, txOverhead = txPayload * 0.14;
        const double rxRtcp = rx > 0 ? 1200 : 0, txRtcp = tx > 0 ? 1100 : 0;
        ch.rxBytes += static_cast<uint64_t>((rxPayload + rxOverhead + rxRtcp) / 8);
        ch.txBytes += static_cast<uint64_t>((txPayload + txOverhead + txRtcp) / 8);
        Message &m = list.add_child("channel");
        m.set_string("name", ch.descr);
        m.set_int("id", std::stoi(ch.id));
        m.set_int("rxPayload", i32(rxPayload));
        m.set_int("rxOverhead", i32(rxOverhead));
        m.set_int("rxRTCP", i32(rxRtcp));
        m.set_int("txPayload", i32(txPayload));
        m.set_int("txOverhead", i32(txOverhead));
        m.set_int("txRTCP", i32(txRtcp));
        m.set_int("rxAvgPayload", i32(rx));
        m.set_int("rxAvgOverhead", i32(rx * 0.14));
        m.set_int("rxAvgRTCP", i32(rxRtcp));
        m.set_int("txAvgPayload", i32(tx));
        m.set_int("txAvgOverhead", i32(tx * 0.14));
        m.set_int("txAvgRTCP", i32(txRtcp));
        m.set_int("rxTotal", static_cast<int>((ch.rxBytes / 1024) & 0x7FFFFFFF));
        m.set_int("txTotal", static_cast<int>((ch.txBytes / 1024) & 0x7FFFFFFF));
    }
    return list;
}

Message Codec::tunConns() const
{
    Message conns("conns");
    const TunnelState &t = m_state.tunnel;
    if (t.exists) {
        Message node = records::tunnelNode(m_state);
        conns.append_copy(node.get_child("sess"));
    }
    return conns;
}

Message Codec::tunStats()
{
    Message stats("stats");
    TunnelState &t = m_state.tunnel;
    if (!t.exists)
        return stats;
    const PeerEntry *peer = m_state.peer(t.peerId);
    const EncoderInfo *txEnc = peer ? m_desc.encoder(peer->txEncoder) : nullptr;
    const EncoderInfo *rxEnc = peer ? m_desc.encoder(peer->rxEncoder) : nullptr;
    const int txBits = (txEnc ? txEnc->kbps : 128) * 1000;
    const int rxBits = (rxEnc ? rxEnc->kbps : 128) * 1000;

    // a bad spell now and then: loss above the alarm line, or the encoder throttled
    Random &r = m_random;
    const bool lossy = r.chance(0.05);
    if (r.chance(0.05))
        t.throttled = !t.throttled;
    // a path that loses packets (--lossy-path) carries most of the session's loss
    const int lossyPath = m_server.options().lossyPath - 1;
    const bool pathLoss = lossyPath >= 0 && lossyPath < int(t.paths.size());
    const double usual = pathLoss ? 45 : 8;
    t.pl = wander(r, t.pl, lossy ? 140 : usual, 6, 0, 1000);
    t.plt = wander(r, t.plt, 5, 4, 0, 1000);
    t.pr = wander(r, t.pr, pathLoss ? 30 : 6, 4, 0, 1000);
    t.rpl = wander(r, t.rpl, usual, 6, 0, 1000);
    t.rplt = wander(r, t.rplt, lossy ? 120 : 5, 4, 0, 1000);
    t.rpr = wander(r, t.rpr, 6, 4, 0, 1000);
    t.d = wander(r, t.d, t.dm * 0.5, 20, 5, 5000);
    t.rd = wander(r, t.rd, t.rdm * 0.5, 20, 5, 5000);

    auto encoder = [](Message &parent, int nominal, bool throttled) {
        Message &enc = parent.add_child("codec").add_child("enc");
        enc.set_int("nbr", nominal);
        enc.set_int("tbr", throttled ? nominal * 3 / 4 : 0);
    };
    encoder(stats, txBits, t.throttled);

    Message &s = stats.add_child("sess");
    s.set_int("sid", t.sid);
    s.set_string("addr", t.addr);
    auto direction = [&](const std::string &p, double d, int dm, bool dma, double pl, double plt, double pr) {
        s.set_int(p + "d", i32(d));
        s.set_int(p + "dm", dm);
        s.set_bool(p + "dma", dma);
        // the slider's zones: the fifth point is its scale
        const int scale = std::max({400, dm + 100, i32(d) + 50}) / 100 * 100;
        const double share[] = {0.15, 0.3, 0.5, 0.75, 1.0};
        for (int i = 0; i < 5; ++i)
            s.set_int(p + "d" + std::to_string(i + 1), i32(scale * share[i]));
        s.set_int(p + "pl", i32(pl));
        s.set_int(p + "plt", i32(plt));
        s.set_int(p + "pr", i32(pr));
    };
    direction("", t.d, t.dm, t.dma, t.pl, t.plt, t.pr);
    direction("r", t.rd, t.rdm, t.rdma, t.rpl, t.rplt, t.rpr);
    encoder(s, rxBits, false);

    for (size_t i = 0; i < t.paths.size(); ++i) {
        const TunnelPath &path = t.paths[i];
        const bool losing = pathLoss && int(i) == lossyPath;
        Message &c = s.add_child("conn");
        c.set_int("li", path.li);
        c.set_int("ri", path.ri);
        auto rates = [&](const std::string &p, int bits, double delay, int maxDelay, double loss) {
            const double payload = bits * path.share * (1.0 + (r.unit() - 0.5) * 0.1);
            const double fec = payload * 0.2;
            const double retransmit = payload * (losing ? 0.25 : 0.02) * r.unit();
            c.set_int(p + "td", i32(payload + fec + retransmit));
            if (t.throttled && p.empty())
                c.set_int(p + "th", i32((payload + fec) * 0.75));
            c.set_int(p + "tp", i32(payload));
            c.set_int(p + "tf", i32(fec));
            c.set_int(p + "tr", i32(retransmit));
            c.set_int(p + "d", i32(delay * (0.8 + 0.4 * r.unit())));
            c.set_int(p + "dm", maxDelay);
            c.set_int(p + "dq", r.range(0, 40));
            // with a lossy path, nine tenths of the session's loss is on it
            double pathLossRate = loss * path.share;
            if (pathLoss)
                pathLossRate = losing ? loss * 0.9 / path.share : loss * 0.1 / (1.0 - t.paths[size_t(lossyPath)].share);
            c.set_int(p + "pl", i32(pathLossRate));
        };
        rates("", txBits, t.d, t.dm, t.pl);
        rates("r", rxBits, t.rd, t.rdm, t.rpl);
    }
    return stats;
}

void Codec::sendStats()
{
    const bool active = m_state.activeCount() > 0;
    // one more update after the last call ends, so that readers see it gone
    if (!active && !m_statsFlowing)
        return;
    m_statsFlowing = active;
    for (PeerEntry &p : m_state.peers) {
        if (p.active)
            moveFigures(p);
    }
    const Message ps = peerStats();
    const Message cs = channelStats();
    pushNotice(records::notice("peer_stats", ps), "peer_stats", &ps, &Client::wantsPeerStats);
    pushNotice(records::notice("channel_stats", cs), "channel_stats", &cs, &Client::wantsChannelStats);
}

void Codec::sendTunnelFeeds()
{
    const bool exists = m_state.tunnel.exists;
    if (!exists && !m_tunnelFlowing)
        return;
    m_tunnelFlowing = exists;
    pushNotice(records::notice("tun_conns", tunConns()), "tun_conns", nullptr);
    pushNotice(records::notice("tun_stats", tunStats()), "tun_stats", nullptr);
    pushNotice(records::notice("cfgStatus:netmgr.tunnel", records::tunnelNode(m_state)), "cfgStatus:netmgr.tunnel",
               nullptr);
}

void Codec::secondTick()
{
    statsTick();
    tunnelTick();
}

void Codec::statsTick()
{
    // nobody listens: still move the calls on, but build nothing
    if (m_clients.empty())
        m_statsFlowing = false;
    else
        sendStats();
}

void Codec::tunnelTick()
{
    if (m_clients.empty())
        m_tunnelFlowing = false;
    else
        sendTunnelFeeds();
}

void Codec::peerListTick()
{
    if (!m_clients.empty())
        pushPeerList();
}

} // namespace codecsim
