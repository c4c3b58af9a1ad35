// The device session's slots: each turns a cached record (or a notice) into
// the session's tables and signals, on the session's thread.

#include "ipcobject.h"

#include "ipcprotocol.h"

#include <cfloat>
#include <mutex>

namespace {

// A level attribute the codec left out reads as the smallest normal float.
inline float level(const Message &m, std::string_view name)
{
    const AttrValue *a = m.attr(name);
    return a ? a->toFloat() : FLT_MIN;
}

} // namespace

// ---------------------------------------------------------------------------
// Slots: records without work of their own

void IPCObject::cb_resp_channelList() { emit recvChannelList(m_uuid); }
void IPCObject::cb_unso_channelList(const Message &) { emit recvChannelList(m_uuid); }
void IPCObject::cb_resp_channelOpts() { emit recvChannelOpts(m_uuid); }
void IPCObject::cb_unso_channelOpts(const Message &) { emit recvChannelOpts(m_uuid); }
void IPCObject::cb_resp_version() { emit recvVersion(m_uuid); }
void IPCObject::cb_resp_sysOptions() { emit recvSysOptions(m_uuid); }
void IPCObject::cb_unso_sysOptions(const Message &) { emit recvSysOptions(m_uuid); }
void IPCObject::cb_resp_systemOpts() { emit recvSystemOpts(); }
void IPCObject::cb_unso_systemOpts(const Message &) { emit recvSystemOpts(); }
void IPCObject::cb_resp_codecList() { emit recvCodecList(m_uuid); }
void IPCObject::cb_unso_codecList(const Message &) { emit recvCodecList(m_uuid); }
void IPCObject::cb_resp_directoryServer() { emit recvDirectoryServer(m_uuid); }
void IPCObject::cb_unso_directoryServer(const Message &) { emit recvDirectoryServer(m_uuid); }
void IPCObject::cb_resp_addPeer() { emit recvAddPeer(); }
void IPCObject::cb_resp_tunnelStatus() { emit recvTunnelStatus(m_uuid); }
void IPCObject::cb_unso_tun_conns(const Message &) { emit recvTunConns(m_uuid); }
void IPCObject::cb_unso_tun_stats(const Message &) { emit recvTunStats(m_uuid); }
void IPCObject::cb_resp_weftlineSettings() { emit recvWeftlineSettings(m_uuid); }
void IPCObject::cb_resp_setWeftlineOptions() { emit recvSetWeftlineOptions(); }
void IPCObject::cb_unso_sipProxy(const Message &) { emit recvSipProxy(); }
void IPCObject::cb_unso_currentEncoder(const Message &) { emit recvCurrentEncoder(); }
void IPCObject::cb_resp_ping() {}
void IPCObject::cb_resp_powerInfo() {}
void IPCObject::cb_resp_sipProxy() {}
void IPCObject::cb_resp_currentEncoder() {}
void IPCObject::cb_unso_addPeer(const Message &) {}
void IPCObject::cb_unso_addProfile(const Message &) {}

void IPCObject::cb_unso_version(const Message &message)
{
    // Old firmware answers "getVersion" with the bare record, which arrives
    // here: it is the record itself. Asking again would start a loop of
    // requests for as long as the session lives.
    if (!isVersioned() || message.name() == "version") {
        emit recvVersion(m_uuid);
        return;
    }
    // A versioned codec only says that its version changed: fetch the record.
    m_versionTimer.start();
}

void IPCObject::cb_resp_addProfile()
{
    const std::shared_ptr<const Message> answer = cachedShared(QStringLiteral("addProfile"));
    emit recvAddProfile(answer ? answer->get_int("id", 0) : 0);
}

void IPCObject::cb_resp_addProfile(const Message &answer)
{
    // Each answer names the profile added for one request; two answers may
    // both be cached before the first is handled.
    emit recvAddProfile(answer.get_int("id", 0));
}

void IPCObject::cb_resp_sarvelConfig()
{
    QString text;
    if (const std::shared_ptr<const Message> config = cachedShared(QStringLiteral("sarvelConfig"))) {
        std::string xml;
        config->serialize(xml, Message::Xml, true);
        IPCProtocolXMLS::strip_declaration(xml);
        text = QString::fromStdString(xml);
    }
    emit recvSarvelConfig(m_uuid, text);
}

void IPCObject::cb_unso_sarvelConfig(const Message &)
{
    cb_resp_sarvelConfig();
}

void IPCObject::cb_unso_cfgStatus_netmgr_tunnel(const Message &message)
{
    storeInCache(message, QStringLiteral("tunnelStatus"));
    emit recvTunnelStatus(m_uuid);
}

void IPCObject::cb_unso_netmgr_tunnel(const Message &message)
{
    cb_unso_cfgStatus_netmgr_tunnel(message);
}

// ---------------------------------------------------------------------------
// Profiles

void IPCObject::cb_unso_profileList(const Message &)
{
    cb_resp_profileList();
}

void IPCObject::cb_resp_profileList()
{
    const std::shared_ptr<const Message> list = cachedShared(QStringLiteral("profileList"));
    if (!list)
        return;
    QList<ProfileSummary> profiles;
    QString defaultId;
    const int n = list->child_count();
    for (int i = 0; i < n; ++i) {
        const Message &profile = list->get_child(i);
        if (profile.name() != "profile")
            continue;
        const Message *settings = profile.find_child("settings");
        if (!settings)
            continue;
        ProfileSummary s;
        s.id = get_qstring(profile, "id");
        s.name = get_qstring(*settings, "name");
        s.factory = settings->get_bool("factory");
        s.isDefault = profile.get_bool("default");
        if (s.isDefault)
            defaultId = s.id;
        profiles.append(s);
    }
    {
        std::lock_guard<std::mutex> guard(m_cacheMutex);
        m_defaultProfileId = defaultId;
        m_profiles.swap(profiles);
    }
    emit recvProfileList(m_uuid);
}

// ---------------------------------------------------------------------------
// Peers and audio connection events

void IPCObject::cb_unso_peerList(const Message &)
{
    cb_resp_peerList();
}

void IPCObject::cb_resp_peerList()
{
    const std::shared_ptr<const Message> list = cachedShared(QStringLiteral("peerList"));
    if (!list)
        return;

    QString listChanState;
    QList<PeerMetaPtr> all, active, address, directory;
    QMap<int, PeerMetaPtr> byId;
    QList<int> activeIds;
    QList<int> started;
    QStringList ended;
    QString receiving = m_receivingPeerId;

    const int n = list->child_count();
    for (int i = 0; i < n; ++i) {
        const Message &element = list->get_child(i);
        if (element.name() != "peer")
            continue;
        auto peer = PeerMetaPtr::create(element);
        if (!peer->chanState.isEmpty())
            listChanState = peer->chanState;
        const int id = peer->numericId();
        all.append(peer);
        byId.insert(id, peer);
        (peer->directory ? directory : address).append(peer);
        if (peer->active) {
            if (!m_activePeerIds.removeOne(id))
                started.append(id);
            activeIds.append(id);
            active.append(peer);
            if (peer->channel && peer->channel->receiving)
                receiving = peer->id;
        } else if (m_activePeerIds.removeOne(id)) {
            ended.append(peer->name);
        }
    }

    {
        std::lock_guard<std::mutex> guard(m_cacheMutex);
        m_allPeers.swap(all);
        m_activePeers.swap(active);
        m_addressPeers.swap(address);
        m_directoryPeers.swap(directory);
        m_peersById.swap(byId);
        m_activePeerIds.swap(activeIds);
        m_receivingPeerId = receiving;
    }

    if (m_activePeers.isEmpty()) {
        m_delayGraphData.clear();
        m_lossGraphData.clear();
    }

    if (listChanState != m_chanState) {
        m_chanState = listChanState;
        emit newChanState(m_uuid, m_chanState);
    }

    // The first list after creation only tells what is going on already.
    // Both changes in one list are both logged; the alert is one event, and
    // "started" wins. Its line goes last: the newest line names the event.
    if (m_activeCount != -1) {
        if (!ended.isEmpty()) {
            QString text = QStringLiteral("Audio connection ended. Disconnected peers:");
            for (const QString &name : qAsConst(ended))
                text += QLatin1Char(' ') + name;
            m_eventLog.add0(text);
        }
        if (!started.isEmpty()) {
            QString text = QStringLiteral("Audio connection started. Active peers:");
            for (int id : qAsConst(started)) {
                const PeerMetaPtr peer = m_peersById.value(id);
                text += QLatin1Char(' ') + (peer ? peer->name : QString());
            }
            m_eventLog.add0(text);
            emit deviceEvent(this, QV_EVENT_AUDIO_CONNECTION_STARTED);
        } else if (!ended.isEmpty()) {
            emit deviceEvent(this, QV_EVENT_AUDIO_CONNECTION_ENDED);
        }
    }
    m_activeCount = m_activePeers.size();
    emit recvPeerList(m_uuid);
}

// ---------------------------------------------------------------------------
// Levels and statistics

void IPCObject::emitLevels(const Message &m)
{
    const float rmlf = level(m, "rmlf");
    const float rmrf = level(m, "rmrf");
    const float tmlf = level(m, "tmlf");
    const float tmrf = level(m, "tmrf");
    emit recvLevels(rmlf, rmrf, tmlf, tmrf);
    emit recvAllLevels(rmlf, rmrf, tmlf, tmrf, level(m, "rmls"), level(m, "rmrs"), level(m, "tmls"), level(m, "tmrs"));
}

void IPCObject::cb_unso_metering(const Message &message)
{
    // Old firmware sends the levels element bare, without a wrapper.
    emitLevels(message.child_count() > 0 ? message.get_child(0) : message);
}

void IPCObject::cb_unso_levels(const Message &message)
{
    emitLevels(message.child_count() > 0 ? message.get_child(0) : message);
}

void IPCObject::cb_resp_levels()
{
    const std::shared_ptr<const Message> metering = cachedShared(QStringLiteral("metering"));
    if (!metering || metering->child_count() == 0)
        return;
    emitLevels(metering->get_child(0));
}

void IPCObject::cb_unso_channel_stats(const Message &message)
{
    if (const Message *stats = message.find_child("channelStats"))
        storeInCache(*stats, QStringLiteral("channelStats"));
    cb_resp_channelStats();
}

void IPCObject::cb_unso_channelStats(const Message &)
{
    cb_resp_channelStats();
}

void IPCObject::cb_resp_channelStats()
{
    const std::shared_ptr<const Message> stats = cachedShared(QStringLiteral("channelStats"));
    if (!stats)
        return;
    {
        std::lock_guard<std::mutex> guard(m_cacheMutex);
        const int n = stats->child_count();
        for (int i = 0; i < n; ++i) {
            const Message &channel = stats->get_child(i);
            if (channel.name() != "channel")
                continue;
            // Channels left out of an update keep their last figures.
            m_channelStatsById[channel.get_int("id")].read(channel);
        }
    }
    emit recvChannelStats(m_uuid);
}

void IPCObject::cb_unso_peer_stats(const Message &message)
{
    if (const Message *stats = message.find_child("peerStats"))
        storeInCache(*stats, QStringLiteral("peerStats"));
    cb_resp_peerStats();
}

void IPCObject::cb_unso_peerStats(const Message &)
{
    cb_resp_peerStats();
}

void IPCObject::cb_resp_peerStats()
{
    const std::shared_ptr<const Message> stats = cachedShared(QStringLiteral("peerStats"));
    if (!stats)
        return;
    QMap<int, PeerStats> table;
    const int n = stats->child_count();
    for (int i = 0; i < n; ++i) {
        const Message &element = stats->get_child(i);
        if (element.name() != "peer")
            continue;
        const PeerStats peer(element);
        table.insert(peer.id, peer);
        m_delayGraphData.addSample(peer.id, peer.bufferDelay, peer.packetJitter, peer.bufferDesiredDelay);
        m_lossGraphData.addSample(peer.id, peer.frameLossRate, peer.remoteLoss, peer.corrUpRate + peer.corrDownRate);
    }
    {
        // Only the peers of the latest update.
        std::lock_guard<std::mutex> guard(m_cacheMutex);
        m_peerStatsById.swap(table);
    }
    emit recvPeerStats(m_uuid);
}
