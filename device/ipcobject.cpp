#include "ipcobject.h"

#include "ipcaddress.h"
#include "ipcmanager.h"
#include "ipcmutex.h"
#include "ipcprotocol.h"
#include "iqcommonapp.h"
#include "iqmanager.h"
#include "tunnelinfo.h"

#include <QMetaObject>
#include <QtDebug>

#include <cfloat>
#include <mutex>
#include <stdexcept>

void registerDeviceMetaTypes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        iqRegisterMetaTypes();
        qRegisterMetaType<Message>("Message");
        qRegisterMetaType<LogLine>("LogLine");
        qRegisterMetaType<QV_EVENT>("QV_EVENT");
        qRegisterMetaType<IPCObject *>("IPCObject*");
    });
}

namespace {

QString checkedName(const QUuid &uuid)
{
    if (uuid.isNull())
        throw std::logic_error("IPC ZERO UUID NOT ALOWED");
    return uuid.toString();
}

const QStringList &requiredVersioned()
{
    static const QStringList names{"systemOpts", "sysOptions", "directoryServer", "codecList",       "channelList",
                                   "channelOpts", "version",   "peerList",        "weftlineSettings"};
    return names;
}

const QStringList &requiredUnversioned()
{
    static const QStringList names{"systemOpts",  "sysOptions", "directoryServer", "codecList",
                                   "channelList", "channelOpts", "version",        "peerList"};
    return names;
}

// A level attribute the codec left out reads as the smallest normal float.
inline float level(const Message &m, std::string_view name)
{
    const AttrValue *a = m.attr(name);
    return a ? a->toFloat() : FLT_MIN;
}

bool refused(const Message &answer)
{
    return answer.get_bool("fail");
}

// Runs on the manager thread. The host-name lookup may take long and holds
// no lock; the check and the connect share the manager's lock with the
// removal, so a session destroyed meanwhile never gets an endpoint (nor a
// login with an empty password) created under its name.
void connectUnlessRemoved(IQManager *manager, const std::string &target, const std::string &name,
                          const std::shared_ptr<std::atomic<bool>> &removed)
{
    if (removed->load(std::memory_order_acquire))
        return;
    IpcPlatform::SocketAddress address;
    std::string host;
    std::string error;
    if (!IPCAddress::parse(target, address, &host) && !host.empty()) {
        if (!IpcPlatform::resolveHost(host, address, error))
            address.family = IpcPlatform::FamilyUnknown;
    }
    IPCLockGuard guard(&manager->mutex());
    if (removed->load(std::memory_order_acquire))
        return;
    manager->manager().connect("xmls", "stream", address, name, host, error);
}

} // namespace

IPCObject::IPCObject(const QUuid &uuid, IQManager *manager, QObject *parent)
    : IQEndpointClient(checkedName(uuid), parent)
    , m_uuid(uuid)
    , m_manager(manager ? manager : IQCommonApp::instance()->manager())
{
    registerDeviceMetaTypes();
    set_receive_timeout(ReceiveTimeoutSeconds);
    setPassword(QStringLiteral("tarlin"));

    m_versionTimer.setObjectName(QStringLiteral("versionTimer"));
    m_versionTimer.setSingleShot(true);
    m_versionTimer.setInterval(100);
    connect(&m_versionTimer, &QTimer::timeout, this, &IPCObject::cmd_get_version_slot);
    m_missingRecordsTimer.setSingleShot(true);
    m_missingRecordsTimer.setInterval(20000);
    connect(&m_missingRecordsTimer, &QTimer::timeout, this, &IPCObject::reportMissingRecords);
    // Raised on entering AUTHENTICATED, on this thread.
    connect(this, &IQEndpointClient::initializing, &m_missingRecordsTimer, QOverload<>::of(&QTimer::start));

    connect(this, &IQEndpointClient::connecting, this, &IPCObject::emitChangedState_connecting);
    connect(this, &IQEndpointClient::connected, this, &IPCObject::emitChangedState_connected);
    connect(this, &IQEndpointClient::disconnected, this, &IPCObject::emitChangedState_disconnected);
    connect(this, &IQEndpointClient::wrong_password, this, &IPCObject::emitChangedState_wrong_password);
    connect(this, &IQEndpointClient::ready, this, &IPCObject::emitChangedState_ready);
    connect(this, &IQEndpointClient::finalRequiredMessageReceived, this, &IPCObject::allMessagesPresent);

    m_tunnelInfo = new TunnelInfo(this);
}

IPCObject::~IPCObject()
{
    // Out of the manager before the members go: the loop stores into them.
    {
        IPCLockGuard guard(m_manager ? &m_manager->mutex() : nullptr);
        m_removed->store(true, std::memory_order_release);
        if (IPCManager *m = manager())
            m->forget_endpoint(this);
    }
    dropPendingCallbacks();
}

IPCObject *IPCObject::create(const QUuid &uuid, IQManager *manager, QObject *parent)
{
    auto *session = new IPCObject(uuid, manager, parent);
    if (!session->registerEndpoint()) {
        delete session;
        return nullptr;
    }
    return session;
}

bool IPCObject::registerEndpoint()
{
    if (!m_manager)
        return false;
    return m_manager->register_endpoint(endpointName(), this);
}

bool IPCObject::isVersioned() const
{
    return const_cast<IPCObject *>(this)->protocol_version() != 0;
}

// ---------------------------------------------------------------------------
// Connection

void IPCObject::setAddress(const QString &address, quint16 port)
{
    m_address = address;
    m_port = port;
}

void IPCObject::setAddressAndConnect(const QString &address, quint16 port, const QString &password)
{
    m_address = address;
    m_port = port;
    setPassword(password);
    connectToDevice();
}

QString IPCObject::connectTarget(const QString &address, quint16 port)
{
    return address + QLatin1Char(':') + QString::number(port);
}

void IPCObject::connectToDevice()
{
    if (!m_manager) {
        qWarning("IPCObject %s: no network manager to connect through", qPrintable(endpointName()));
        return;
    }
    // Queued to the manager thread, where host names are looked up; a
    // removal that overtakes it makes it do nothing.
    QMetaObject::invokeMethod(
        m_manager.data(),
        [manager = m_manager.data(), target = connectTarget(m_address, m_port).toUtf8().toStdString(),
         name = endpointName().toUtf8().toStdString(), removed = m_removed] {
            connectUnlessRemoved(manager, target, name, removed);
        },
        Qt::QueuedConnection);
}

void IPCObject::reconnect()
{
    if (isClosing())
        return;
    emit reconnect(m_uuid);
    connectToDevice();
}

void IPCObject::destroySession()
{
    if (m_closing.exchange(true))
        return;
    m_versionTimer.stop();
    m_missingRecordsTimer.stop();
    {
        IPCLockGuard guard(m_manager ? &m_manager->mutex() : nullptr);
        m_removed->store(true, std::memory_order_release);
        if (m_manager)
            m_manager->remove_endpoint(endpointName());
        else if (IPCManager *m = manager())
            m->forget_endpoint(this);
    }
    // Callbacks already on their way are dropped with the endpoint.
    dropPendingCallbacks();
    deleteLater();
}

// ---------------------------------------------------------------------------
// State

void IPCObject::emitChangedState_connecting()
{
    emit changedState(m_uuid, CONNECTING);
}

void IPCObject::emitChangedState_connected()
{
    emit changedState(m_uuid, CONNECTED);
}

void IPCObject::emitChangedState_disconnected()
{
    emit changedState(m_uuid, DISCONNECTED);
}

void IPCObject::emitChangedState_wrong_password()
{
    emit changedState(m_uuid, AUTH_FAILED);
}

void IPCObject::emitChangedState_ready()
{
    emit changedState(m_uuid, READY);
}

void IPCObject::allMessagesPresent()
{
    // Only for the login that completed the list: a connection lost
    // meanwhile has moved the state on, and a newer login has a list of its own.
    if (isClosing() || !requiredMessages().isEmpty())
        return;
    if (advanceState(AUTHENTICATED, READY))
        m_missingRecordsTimer.stop();
}

void IPCObject::reportMissingRecords()
{
    // One record the codec never sends (or one that does not parse) keeps
    // the session short of READY for good, while levels keep flowing.
    const QStringList missing = requiredMessages();
    if (isClosing() || state() != AUTHENTICATED || missing.isEmpty())
        return;
    qWarning("IPCObject %s: not ready after %d s in AUTHENTICATED; still missing: %s", qPrintable(endpointName()),
             m_missingRecordsTimer.interval() / 1000, qPrintable(missing.join(QStringLiteral(", "))));
}

void IPCObject::onEnterAuthenticated()
{
    setRequiredMessages(isVersioned() ? requiredVersioned() : requiredUnversioned());
}

void IPCObject::initialise()
{
    after_auth();
}

void IPCObject::after_auth()
{
    // Loop thread, manager lock held: only send, subscribe and the version.
    sendWithSeq("getChannelList", "channelList");
    sendWithSeq("getChannelOpts", "channelOpts");
    sendWithSeq("getProfileList", "profileList");
    sendWithSeq("getCodecList", "codecList");
    sendWithSeq("getPeerList", "peerList");
    sendWithSeq("getDirectoryServer", "directoryServer");
    sendWithSeq("getSysOptions", "sysOptions");
    if (isVersioned()) {
        Message describe("cfgDescribe");
        describe.set_string("path", "netmgr.tunnel");
        describe.set_string("seq", "weftlineSettings");
        send(describe);
        Message status("cfgGetStatus");
        status.set_string("path", "netmgr.tunnel");
        status.set_string("seq", "tunnelStatus");
        send(status);
        subscribe("peer_stats", 0);
        subscribe("channel_stats", 0);
        subscribe("tun_conns", 0);
        subscribe("tun_stats", 0);
        subscribe("power", 0);
        subscribe("version", 0);
        subscribe("metering", MeterIntervalMs);
        subscribe("cfgStatus:netmgr.tunnel", 0);
        subscribe("cfgData:netmgr.tunnel.*", 0);
        // The subscriptions include levels; a session that wants none says
        // so after them, on every login.
        if (!meteringEnabled()) {
            Message monitor("monitor");
            monitor.set_bool("metering", false);
            send(monitor);
        }
    } else {
        // Old firmware knows no subscriptions: one request starts its feeds.
        Message monitor("monitor");
        monitor.set_bool("peerStats", true);
        monitor.set_bool("queue", false);
        monitor.set_bool("channelStats", true);
        if (meteringEnabled()) {
            monitor.set_bool("metering", true);
            monitor.set_int("meterInterval", MeterIntervalMs);
        }
        send(monitor);
    }
    sendWithSeq("getVersion", "version");
}

// ---------------------------------------------------------------------------
// Dispatch (loop thread)

void IPCObject::handleResponse(const Message &message)
{
    // Old firmware answers with bare records; its answers (the transport's
    // local ones too) carry nothing.
    if (!isVersioned() || isClosing())
        return;
    std::string scratch;
    const std::string *key = nullptr;
    if (const AttrValue *seq = message.attr("seq"))
        key = &seq->text(scratch);
    else if (message.child_count() > 0)
        key = &message.get_child(0).name();
    if (refused(message)) {
        static const int failed = staticMetaObject.indexOfMethod("answerFailed(Message)");
        post(failed, std::make_shared<const Message>(message));
        // A refusal says nothing about the record: the last good one stays
        // (the tunnel model reads the failure of its status itself).
        if (key && *key != "tunnelStatus") {
            dispatch(message, *key, Route::Refusal);
            return;
        }
    }
    if (key)
        dispatch(message, *key, Route::Answer);
    else
        qWarning("not storing seq-less response which has %d params...", int(message.attributes().size()));
}

void IPCObject::handleUnsolicited(const Message &message)
{
    if (isClosing())
        return;
    if (!isVersioned()) {
        dispatch(message, message.name(), Route::Notice);
        return;
    }
    // The answer to the handshake's ping carries nothing for the session.
    if (message.name() == "pong")
        return;
    std::string id = message.get_string("id");
    if (id == "unso") {
        // A pushed copy of one of the codec's records, handled as its answer.
        if (message.child_count() == 0) {
            qWarning("IPCObject %s: pushed notice without a record", qPrintable(endpointName()));
            return;
        }
        const Message &record = message.get_child(0);
        dispatch(record, record.name(), Route::Push);
        return;
    }
    dispatch(message, noticeKey(std::move(id)), Route::Notice);
}

void IPCObject::answerFailed(const Message &answer)
{
    QString key = get_qstring(answer, "seq");
    if (key.isEmpty() && answer.child_count() > 0)
        key = QString::fromStdString(answer.get_child(0).name());
    emit requestFailed(m_uuid, key, get_qstring(answer, "error_code"), get_qstring(answer, "error_text"));
}

// ---------------------------------------------------------------------------
// Lookups

namespace {

bool findChildWithId(const std::shared_ptr<const Message> &list, std::string_view childName, const QString &id,
                     Message &out)
{
    if (!list)
        return false;
    const std::string wanted = id.toStdString();
    const int n = list->child_count();
    for (int i = 0; i < n; ++i) {
        const Message &child = list->get_child(i);
        if (child.name() != childName)
            continue;
        const AttrValue *a = child.attr("id");
        if (a && a->textEquals(wanted)) {
            out = child;
            return true;
        }
    }
    return false;
}

} // namespace

bool IPCObject::findProfile(const QString &id, Message &out)
{
    return findChildWithId(cachedShared(QStringLiteral("profileList")), "profile", id, out);
}

bool IPCObject::findPeer(const QString &id, Message &out)
{
    return findChildWithId(cachedShared(QStringLiteral("peerList")), "peer", id, out);
}

QString IPCObject::unitName()
{
    const std::shared_ptr<const Message> options = cachedShared(QStringLiteral("sysOptions"));
    if (!options)
        return QString();
    return get_qstring(*options, "unit_name", QStringLiteral("unknown"));
}

Message IPCObject::pendingProfile() const
{
    return m_pendingProfiles.isEmpty() ? Message() : m_pendingProfiles.first();
}

// ---------------------------------------------------------------------------
// Commands

void IPCObject::sendPlain(const char *command)
{
    send(Message(command));
}

void IPCObject::sendWithSeq(const char *command, const char *seq)
{
    Message m(command);
    m.set_string("seq", seq);
    send(m);
}

bool IPCObject::connectPeer(const QString &peerId, const QString &profileId)
{
    PeerMetaPtr peer;
    for (const PeerMetaPtr &p : qAsConst(m_allPeers)) {
        if (p->id == peerId) {
            peer = p;
            break;
        }
    }
    if (!peer)
        return false;
    const int profile = profileId.toInt();
    // A peer on profile 0 follows the device's default profile already.
    if (peer->profile != profile && !(peer->profile == 0 && profileId == m_defaultProfileId))
        setPeerSettings(peerId.toInt(), profile);
    Message connectMsg("connect");
    set_qstring(connectMsg, "id", peerId);
    send(connectMsg);
    return true;
}

void IPCObject::disconnectPeer(int peerId)
{
    Message m("disconnect");
    m.set_int("id", peerId);
    send(m);
}

void IPCObject::disconnectAll()
{
    sendPlain("disconnect");
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    m_peerStatsById.clear();
}

void IPCObject::setPeerSettings(int peerId, int profileId)
{
    Message m("setPeerSettings");
    m.set_int("id", peerId);
    m.set_int("profile", profileId);
    m.set_string("seq", "setPeerSettings");
    send(m);
}

void IPCObject::addPeer(const QString &name, const QString &addr, const QString &password)
{
    Message m("addPeer");
    set_qstring(m, "name", name);
    set_qstring(m, "addr", addr);
    set_qstring(m, "password", password);
    m.set_string("seq", "addPeer");
    send(m);
}

void IPCObject::addPeer(const QString &name, const QString &addr, const QString &password, const QString &unit)
{
    Message m("addPeer");
    set_qstring(m, "name", name);
    set_qstring(m, "addr", addr);
    set_qstring(m, "password", password);
    m.set_bool("use_weftline", true);
    set_qstring(m, "unit", unit);
    m.set_string("seq", "addPeer");
    send(m);
}

void IPCObject::copyPeer(const Message &peer)
{
    Message m("addPeer");
    m.set_string("addr", peer.get_string("addr"));
    m.set_string("password", peer.get_string("password"));
    m.set_string("name", peer.get_string("name"));
    m.set_string("unit", peer.get_string("unit"));
    m.set_bool("use_weftline", peer.get_bool("use_weftline"));
    send(m);
}

void IPCObject::removePeer(int peerId)
{
    Message m("removePeer");
    m.set_int("id", peerId);
    send(m);
}

void IPCObject::setProfile(const Message &profile)
{
    Message m(profile);
    m.setName("setProfile");
    m.set_string("seq", "setProfile");
    send(m);
}

void IPCObject::addNewProfile()
{
    Message m("addProfile");
    m.add_child("settings").set_string("name", "New Profile...");
    send(m);
}

void IPCObject::addProfileFor(const Message &profile)
{
    // Answers come back in the order of the requests: each one takes the
    // oldest profile still waiting.
    m_pendingProfiles.append(profile);
    connect(this, &IPCObject::recvAddProfile, this, &IPCObject::addProfileCallback, Qt::UniqueConnection);
    sendWithSeq("addProfile", "addProfile");
}

void IPCObject::addProfileCallback(int id)
{
    if (m_pendingProfiles.isEmpty())
        return;
    Message profile = m_pendingProfiles.takeFirst();
    if (profile.name() != "profile")
        return;
    if (id == 0) {
        // The codec refused to add one: nothing to write the copy into.
        qWarning("IPCObject %s: profile copy dropped, the device added no profile", qPrintable(endpointName()));
        return;
    }
    profile.setName("setProfile");
    profile.set_string("seq", "setProfile");
    profile.set_int("id", id);
    send(profile);
}

void IPCObject::copyProfile(const QString &name, int profileId)
{
    Message m("copyProfile");
    m.set_int("id", profileId);
    set_qstring(m, "name", name);
    send(m);
}

void IPCObject::deleteProfile(int profileId)
{
    Message m("deleteProfile");
    m.set_int("id", profileId);
    send(m);
}

void IPCObject::setSysOptions(const Message &options)
{
    Message m(options);
    m.setName("setSysOptions");
    m.set_string("seq", "setSysOptions");
    send(m);
}

void IPCObject::meteringOn()
{
    Message m("monitor");
    m.set_bool("metering", true);
    m.set_int("meterInterval", MeterIntervalMs);
    send(m);
    m_meteringOn.store(true, std::memory_order_relaxed);
}

void IPCObject::meteringOff()
{
    Message m("monitor");
    m.set_bool("metering", false);
    send(m);
    m_meteringOn.store(false, std::memory_order_relaxed);
}

void IPCObject::cmd_get_version_slot()
{
    sendWithSeq("getVersion", "version");
}

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
