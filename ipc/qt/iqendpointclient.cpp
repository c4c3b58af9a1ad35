#include "iqendpointclient.h"

#include "ipcconn.h"
#include "iqdelivery.h"
#include "ipcmanager.h"
#include "ipcprotocol.h"

#include <QMetaMethod>
#include <QThread>
#include <QtDebug>

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

void iqRegisterMetaTypes()
{
    static std::once_flag once;
    // Message itself needs no registration here: callbacks reach their slot
    // by a direct call on the receiving thread (see IQDelivery).
    std::call_once(once, [] { qRegisterMetaType<IQEndpointClient::DEVICE_STATE>("IQEndpointClient::DEVICE_STATE"); });
}

namespace {

// Slot indexes by class and name: levels alone bring a message every 70 ms
// per device, so signatures are looked up once, not per message.
struct SlotCache {
    std::shared_mutex lock;
    std::unordered_map<const QMetaObject *, std::unordered_map<std::string, int>> indexes;

    /** @p signature is the normalised form, "cb_resp_peerList()" or "cb_unso_levels(Message)". */
    int find(const QMetaObject *mo, const std::string &signature)
    {
        {
            std::shared_lock<std::shared_mutex> read(lock);
            auto cls = indexes.find(mo);
            if (cls != indexes.end()) {
                auto it = cls->second.find(signature);
                if (it != cls->second.end())
                    return it->second;
            }
        }
        const int index = mo->indexOfMethod(signature.c_str());
        std::unique_lock<std::shared_mutex> write(lock);
        indexes[mo].emplace(signature, index);
        return index;
    }
};

SlotCache &slotCache()
{
    static SlotCache cache;
    return cache;
}

QByteArray xmlText(const Message &message)
{
    std::string text;
    message.serialize(text, Message::Xml);
    IPCProtocolXMLS::strip_declaration(text);
    return QByteArray::fromStdString(text);
}

// Signal indexes, looked up once.
struct Signals {
    int timedOut, wrongPassword, disconnected, connecting, connected, ready, initializing, finalRequired;
    int connectionFailed, frameRejected;
    Signals()
    {
        const QMetaObject &mo = IQEndpointClient::staticMetaObject;
        timedOut = mo.indexOfSignal("cnxn_timed_out()");
        wrongPassword = mo.indexOfSignal("wrong_password()");
        disconnected = mo.indexOfSignal("disconnected()");
        connecting = mo.indexOfSignal("connecting()");
        connected = mo.indexOfSignal("connected()");
        ready = mo.indexOfSignal("ready()");
        initializing = mo.indexOfSignal("initializing()");
        finalRequired = mo.indexOfSignal("finalRequiredMessageReceived()");
        connectionFailed = mo.indexOfSignal("connectionFailed(QString)");
        frameRejected = mo.indexOfSignal("frameRejected(QString)");
    }
};

const Signals &sig()
{
    static const Signals s;
    return s;
}

} // namespace

IQEndpointClient::IQEndpointClient(const QString &name, QObject *parent)
    : QObject(parent)
    , IPCEndpointClient(name.toUtf8().toStdString())
{
    iqRegisterMetaTypes();
}

IQEndpointClient::~IQEndpointClient()
{
    // Out of the manager before anything of this object is destroyed: the
    // loop must not call into a half-destroyed endpoint.
    if (IPCManager *m = manager())
        m->forget_endpoint(this);
    if (IQDelivery *delivery = m_delivery.load())
        delivery->forget(this);
}

void IQEndpointClient::setState(DEVICE_STATE s)
{
    const int old = m_state.exchange(s, std::memory_order_acq_rel);
    if (old == s)
        return;
    entered(s);
}

bool IQEndpointClient::advanceState(DEVICE_STATE from, DEVICE_STATE to)
{
    int expected = from;
    if (from == to || !m_state.compare_exchange_strong(expected, to, std::memory_order_acq_rel))
        return false;
    entered(to);
    return true;
}

void IQEndpointClient::entered(DEVICE_STATE s)
{
    switch (s) {
    case TIMED_OUT:
        raise(sig().timedOut);
        break;
    case AUTH_FAILED:
        m_autoReconnect.store(false, std::memory_order_relaxed);
        raise(sig().wrongPassword);
        break;
    case DISCONNECTED:
        raise(sig().disconnected);
        break;
    case CONNECTING:
        m_autoReconnect.store(true, std::memory_order_relaxed);
        clearCache();
        raise(sig().connecting);
        break;
    case CONNECTED:
        raise(sig().connected);
        break;
    case AUTHENTICATED:
        raise(sig().initializing);
        onEnterAuthenticated();
        initialise();
        break;
    case READY:
        raise(sig().ready);
        break;
    case CODE_UPLOAD:
    case CODE_UPDATE:
        break;
    }
}

bool IQEndpointClient::cachedMessage(const QString &key, Message &out) const
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        return false;
    out = **it;
    return true;
}

Message IQEndpointClient::cachedMessage(const QString &key) const
{
    if (std::shared_ptr<const Message> m = cachedShared(key))
        return *m;
    qWarning("Missing expected message: %s", qPrintable(key));
    return Message();
}

std::shared_ptr<const Message> IQEndpointClient::cachedShared(const QString &key) const
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    return m_cache.value(key);
}

void IQEndpointClient::setUserName(const QString &name)
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    m_username = name.toUtf8().toStdString();
}

void IQEndpointClient::setPassword(const QString &password)
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    m_password = password.toUtf8().toStdString();
}

std::string IQEndpointClient::user_name()
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    return m_username;
}

std::string IQEndpointClient::password()
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    return m_password;
}

QStringList IQEndpointClient::requiredMessages() const
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    return m_requiredMessages;
}

void IQEndpointClient::setRequiredMessages(const QStringList &names)
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    m_requiredMessages = names;
}

void IQEndpointClient::requiredMessageArrived(const QString &key)
{
    bool emptied = false;
    {
        std::lock_guard<std::mutex> guard(m_cacheMutex);
        emptied = m_requiredMessages.removeAll(key) > 0 && m_requiredMessages.isEmpty();
    }
    if (emptied)
        raise(sig().finalRequired);
}

unsigned IQEndpointClient::reconnect_interval()
{
    return autoReconnect() ? ReconnectSeconds : 0;
}

void IQEndpointClient::attach_connection(IPCConn *connection)
{
    IPCEndpointClient::attach_connection(connection);
    // An explicit connect (also the one after a refused password) retries
    // until it succeeds, even when its first attempt fails before CONNECTING.
    if (connection)
        m_autoReconnect.store(true, std::memory_order_relaxed);
}

void IQEndpointClient::on_connection_state_changed(int connState)
{
    IPCEndpointClient::on_connection_state_changed(connState);
    if (connState == IPCConn::Open) {
        if (state() != CONNECTED && !m_authEntered)
            setState(CONNECTED);
    } else if (connState >= 1 && connState <= 3) {
        m_authEntered = false;
        if (state() != CONNECTING)
            setState(CONNECTING);
    } else {
        m_authEntered = false;
        // A refused password stays visible through the close that follows it.
        const DEVICE_STATE s = state();
        if (s != DISCONNECTED && s != AUTH_FAILED)
            setState(DISCONNECTED);
    }
}

void IQEndpointClient::on_authenticated()
{
    IPCEndpointClient::on_authenticated();
    if (m_authEntered)
        return;
    m_authEntered = true;
    setState(AUTHENTICATED);
}

void IQEndpointClient::on_authentication_failed()
{
    m_autoReconnect.store(false, std::memory_order_relaxed);
    setState(AUTH_FAILED);
}

void IQEndpointClient::on_timed_out()
{
    IPCEndpointClient::on_timed_out();
    setState(TIMED_OUT);
}

void IQEndpointClient::on_connection_failed(const std::string &reason)
{
    raiseText(sig().connectionFailed, reason);
}

void IQEndpointClient::on_frame_rejected(const std::string &reason)
{
    raiseText(sig().frameRejected, reason);
}

void IQEndpointClient::on_response(const Message &message)
{
    handleResponse(message);
}

void IQEndpointClient::on_message(const Message &message)
{
    handleUnsolicited(message);
}

void IQEndpointClient::handleResponse(const Message &message)
{
    const AttrValue *seqAttr = message.attr("seq");
    if (!seqAttr)
        return;
    std::string scratch;
    dispatch(message, seqAttr->text(scratch), Route::Response);
}

std::string IQEndpointClient::noticeKey(std::string id)
{
    for (char &c : id) {
        if (c == '.' || c == ':')
            c = '_';
    }
    return id;
}

void IQEndpointClient::handleUnsolicited(const Message &message)
{
    dispatch(message, noticeKey(message.get_string("id")), Route::Notice);
}

void IQEndpointClient::dispatch(const Message &message, const std::string &key, Route route)
{
    QString qkey;
    int index;
    bool withMessage;
    {
        std::lock_guard<std::mutex> guard(m_memoMutex);
        if (m_memo.key != key || m_memo.route != route || m_memo.qkey.isNull()) {
            m_memo.key = key;
            m_memo.route = route;
            m_memo.qkey = QString::fromStdString(key);
            // "const Message&" normalises to "Message". An answer's slot may
            // take the answer itself (one that must not see a newer answer)
            // or read the cache.
            const bool notice = route == Route::Notice;
            const std::string method = (notice ? "cb_unso_" : "cb_resp_") + key;
            m_memo.index = slotCache().find(metaObject(), method + "(Message)");
            m_memo.withMessage = m_memo.index >= 0;
            if (m_memo.index < 0 && !notice && route != Route::Refusal)
                m_memo.index = slotCache().find(metaObject(), method + "()");
        }
        qkey = m_memo.qkey;
        index = m_memo.index;
        withMessage = m_memo.withMessage;
    }
    // One copy serves the cache and the slot on the other thread.
    auto shared = std::make_shared<const Message>(message);
    if (route != Route::Refusal)
        put(qkey, shared);
    if (index >= 0) {
        post(index, withMessage ? std::move(shared) : nullptr);
    } else if (route == Route::Response) {
        qWarning("missing response: %s", xmlText(message).constData());
    } else if (route == Route::Push) {
        qWarning("missing function cb_resp_%s", key.c_str());
    } else if (route == Route::Notice) {
        qWarning("missing callback cb_unso_%s", key.c_str());
    }
    requiredMessageArrived(qkey);
}

void IQEndpointClient::storeInCache(const Message &message, const QString &key)
{
    put(key, std::make_shared<const Message>(message));
}

void IQEndpointClient::put(const QString &key, std::shared_ptr<const Message> entry)
{
    if (entry->name().empty() && entry->attributes().empty() && entry->child_count() == 0)
        qWarning("IQ Warning: storing empty message into cache with msgname=%s", entry->name().c_str());
    std::shared_ptr<const Message> old;
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    auto it = m_cache.find(key);
    if (it == m_cache.end()) {
        m_cache.insert(key, std::move(entry));
    } else {
        old.swap(*it); // freed after the lock is released
        *it = std::move(entry);
    }
}

void IQEndpointClient::clearCache()
{
    QHash<QString, std::shared_ptr<const Message>> old;
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    old.swap(m_cache); // freed after the lock is released
}

void IQEndpointClient::raise(int signalIndex)
{
    post(signalIndex, nullptr);
}

void IQEndpointClient::raiseText(int signalIndex, const std::string &text)
{
    const QString qtext = QString::fromStdString(text);
    if (QThread::currentThread() == thread()) {
        metaObject()->method(signalIndex).invoke(this, Qt::DirectConnection, Q_ARG(QString, qtext));
        return;
    }
    IQDelivery *delivery = m_delivery.load();
    if (!delivery) {
        delivery = IQDelivery::forThread(thread());
        m_delivery.store(delivery);
    }
    delivery->enqueueText(this, signalIndex, qtext);
}

void IQEndpointClient::post(int methodIndex, std::shared_ptr<const Message> message)
{
    // What an automatic connection does: a direct call on the object's own
    // thread, otherwise queued (the message shared) to run there.
    if (QThread::currentThread() == thread()) {
        const QMetaMethod method = metaObject()->method(methodIndex);
        if (message)
            method.invoke(this, Qt::DirectConnection, Q_ARG(Message, *message));
        else
            method.invoke(this, Qt::DirectConnection);
        return;
    }
    IQDelivery *delivery = m_delivery.load();
    if (!delivery) {
        delivery = IQDelivery::forThread(thread());
        m_delivery.store(delivery);
    }
    delivery->enqueue(this, methodIndex, std::move(message));
}

void IQEndpointClient::dropPendingCallbacks()
{
    if (IQDelivery *delivery = m_delivery.load())
        delivery->forget(this);
}
