// The device session: identity, connection, states and the key and route of
// each message. Its commands are in ipcobject_commands.cpp, the slots that
// turn records into tables and signals in ipcobject_records.cpp.

#include "ipcobject.h"

#include "ipcmanager.h"
#include "iqcommonapp.h"
#include "iqmanager.h"
#include "presenceevents.h"
#include "tunnelinfo.h"

#include <QMetaObject>
#include <QtDebug>

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
    PresenceEvents::attach(this);
}

IPCObject::~IPCObject()
{
    // Out of the manager before the members go: the loop stores into them.
    if (IPCManager *m = manager())
        m->forget_endpoint(this);
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
    // The session is the endpoint: unregistered, the manager would make up a
    // client of its own under this name that the session never hears from.
    if (!manager()) {
        qWarning("IPCObject %s: not registered with the network manager; not connecting",
                 qPrintable(endpointName()));
        return;
    }
    // Queued to the manager thread, where host names are looked up; queued
    // even before the manager has moved there (the configuration is loaded
    // first), so a slow lookup never holds up the window. A removal that
    // overtakes it leaves the name retired in the manager, which then refuses
    // it: no endpoint is made up under a destroyed session's name.
    QMetaObject::invokeMethod(m_manager, "connect_client", Qt::QueuedConnection,
                              Q_ARG(QString, QStringLiteral("xmls")),
                              Q_ARG(QString, QStringLiteral("stream")), Q_ARG(QString, connectTarget(m_address, m_port)),
                              Q_ARG(QString, endpointName()));
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
    if (m_manager)
        m_manager->remove_endpoint(endpointName());
    else if (IPCManager *m = manager())
        m->forget_endpoint(this);
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
    qWarning("IPCObject %s: not ready after %s s in AUTHENTICATED; still missing: %s", qPrintable(endpointName()),
             qPrintable(QString::number(m_missingRecordsTimer.interval() / 1000.0)),
             qPrintable(missing.join(QStringLiteral(", "))));
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
    if (message.get_bool("fail")) {
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
