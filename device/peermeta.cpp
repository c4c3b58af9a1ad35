#include "peermeta.h"

#include "qtmessage.h"

PeerMeta::PeerMeta(const Message &peer)
{
    stored = peer.get_bool("stored");
    active = peer.get_bool("active");
    chanState = get_qstring(peer, "chan_state");
    canConnect = get_qstring(peer, "can_connect");
    id = get_qstring(peer, "id");
    profile = peer.get_int("profile");
    name = get_qstring(peer, "name");
    backupId = get_qstring(peer, "backup_id");
    unit = get_qstring(peer, "unit");
    retryPrimary = peer.get_bool("retry_primary");
    weftline = peer.get_bool("weftline");
    if (const Message *dir = peer.find_child("directory")) {
        setDirectory(get_qstring(*dir, "product"), get_qstring(*dir, "state"), dir->get_bool("online"));
    } else {
        // Directory entries are reached through the directory server: their
        // address and password are not the operator's to see.
        addr = get_qstring(peer, "addr");
        const int colon = addr.indexOf(QLatin1Char(':'));
        host = colon < 0 ? addr : addr.left(colon);
        password = get_qstring(peer, "pw");
    }
    if (active) {
        Channel c;
        c.channel = get_qstring(peer, "channel");
        c.state = get_qstring(peer, "state");
        c.transmitting = peer.get_bool("transmitting");
        c.receiving = peer.get_bool("receiving");
        c.channels = peer.get_int("channels");
        c.rxCodec = get_qstring(peer, "rx_codec");
        channel = c;
    }
}

void PeerMeta::setDirectory(const QString &product, const QString &state, bool online)
{
    if (!directory)
        directory.emplace();
    directory->product = product;
    directory->state = state;
    directory->online = online;
}

int PeerMeta::numericId() const
{
    bool ok = false;
    const int n = id.toInt(&ok, 10);
    return ok ? n : 0;
}

void ChannelStats::read(const Message &c)
{
    name = get_qstring(c, "name");
    id = c.get_int("id");
    rxPayload = c.get_int("rxPayload");
    rxOverhead = c.get_int("rxOverhead");
    rxRTCP = c.get_int("rxRTCP");
    txPayload = c.get_int("txPayload");
    txOverhead = c.get_int("txOverhead");
    txRTCP = c.get_int("txRTCP");
    rxAvgPayload = c.get_int("rxAvgPayload");
    rxAvgOverhead = c.get_int("rxAvgOverhead");
    rxAvgRTCP = c.get_int("rxAvgRTCP");
    txAvgPayload = c.get_int("txAvgPayload");
    txAvgOverhead = c.get_int("txAvgOverhead");
    txAvgRTCP = c.get_int("txAvgRTCP");
    rxTotal = c.get_int("rxTotal");
    txTotal = c.get_int("txTotal");
}

PeerStats::PeerStats(const Message &p)
{
    name = get_qstring(p, "name");
    id = p.get_int("id");
    callTime = p.get_uint("callTime");
    bufferDesiredDelay = p.get_int("bufferDesiredDelay");
    bufferMaxDelay = p.get_int("bufferMaxDelay");
    bufferMinDelay = p.get_int("bufferMinDelay");
    bufferMaxDev = p.get_int("bufferMaxDev");
    newData = p.get_bool("newData");
    remoteLoss = p.get_int("remoteLoss");
    rtt = p.get_int("rtt");
    pktOutlierRate = p.get_int("pktOutlierRate");
    corrUpRate = p.get_int("corrUpRate");
    corrDownRate = p.get_int("corrDownRate");
    insertRate = p.get_int("insertRate");
    frameLossRate = p.get_int("frameLossRate");
    frameLateRate = p.get_int("frameLateRate");
    packetJitter = p.get_int("packetJitter");
    bufferDelay = p.get_int("bufferDelay");
    remoteLossAvg = p.get_int("remoteLossAvg");
    rttAvg = p.get_int("rttAvg");
    pktOutlierRateAvg = p.get_int("pktOutlierRateAvg");
    corrUpRateAvg = p.get_int("corrUpRateAvg");
    corrDownRateAvg = p.get_int("corrDownRateAvg");
    insertRateAvg = p.get_int("insertRateAvg");
    frameLossRateAvg = p.get_int("frameLossRateAvg");
    frameLateRateAvg = p.get_int("frameLateRateAvg");
    packetJitterAvg = p.get_int("packetJitterAvg");
    bufferDelayAvg = p.get_int("bufferDelayAvg");
    delayIn = p.get_int("delayIn");
    delayOut = p.get_int("delayOut");
}
