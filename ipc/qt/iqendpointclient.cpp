#include "iqendpointclient.h"

#include "ipcconn.h"
#include "ipcmanager.h"
#include "ipcprotocol.h"

#include <QMetaMethod>
#include <QThread>
#include <QtDebug>

#include <mutex>
#include <shared_mutex>

void iqRegisterMetaTypes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        qRegisterMetaType<Message>("Message");
        qRegisterMetaType<IQEndpointClient::DEVICE_STATE>("IQEndpointClient::DEVICE_STATE");
    });
}

namespace {

// Slot indexes by class and name: metering alone brings a message every
// 70 ms per device, so signatures are looked up once, not per message.
struct SlotCache {
    std::shared_mutex lock;
    QHash<const QMetaObject *, QHash<QByteArray, int>> indexes;

    int find(const QMetaObject *mo, const QByteArray &method)
    {
        {
            std::shared_lock<std::shared_mutex> read(lock);
            auto cls = indexes.constFind(mo);
            if (cls != indexes.constEnd()) {
                auto it = cls->constFind(method);
                if (it != cls->constEnd())
                    return *it;
            }
        }
        // "const Message&" normalises to "Message".
        const int index = mo->indexOfMethod(QByteArray(method + "(Message)").constData());
        std::unique_lock<std::shared_mutex> write(lock);
        indexes[mo].insert(method, index);
        return index;
    }
};

QMetaMethod deliverMethod()
{
    static const QMetaMethod method = IQEndpointClient::staticMetaObject.method(
        IQEndpointClient::staticMetaObject.indexOfMethod("deliverQueued(int,Message)"));
    return method;
}

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
}

void IQEndpointClient::setState(DEVICE_STATE s)
{
    const int old = m_state.exchange(s, std::memory_order_acq_rel);
    if (old == s)
        return;
    switch (s) {
    case TIMED_OUT:
        emit cnxn_timed_out();
        break;
    case AUTH_FAILED:
        m_autoReconnect.store(false, std::memory_order_relaxed);
        emit wrong_password();
        break;
    case DISCONNECTED:
        emit disconnected();
        break;
    case CONNECTING:
        m_autoReconnect.store(true, std::memory_order_relaxed);
        clearCache();
        emit connecting();
        break;
    case CONNECTED:
        emit connected();
        break;
    case AUTHENTICATED:
        emit initializing();
        onEnterAuthenticated();
        initialise();
        break;
    case READY:
        emit ready();
        break;
    case CODE_UPLOAD:
    case CODE_UPDATE:
        break;
    }
}

bool IQEndpointClient::cachedMessage(const QString &key, Message &out)
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    return getFromCache(key, out);
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
        emit finalRequiredMessageReceived();
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
    const std::string seq = seqAttr->toString();
    const QString key = QString::fromStdString(seq);
    storeInCache(message, key);
    invokeResponseCallback(QByteArray::fromStdString(seq), message);
    requiredMessageArrived(key);
}

void IQEndpointClient::handleUnsolicited(const Message &message)
{
    std::string id = message.get_string("id");
    for (char &c : id) {
        if (c == '.' || c == ':')
            c = '_';
    }
    const QString key = QString::fromStdString(id);
    storeInCache(message, key);
    invokeNoticeCallback(QByteArray::fromStdString(id), message);
    requiredMessageArrived(key);
}

void IQEndpointClient::storeInCache(const Message &message, const QString &key)
{
    if (message.name().empty() && message.attributes().empty() && message.child_count() == 0)
        qWarning("IQ Warning: storing empty message into cache with msgname=%s", message.name().c_str());
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    m_cache.insert(key, message);
}

void IQEndpointClient::storeUnderOwnName(const Message &message)
{
    storeInCache(message, QString::fromStdString(message.name()));
}

bool IQEndpointClient::getFromCache(const QString &key, Message &out)
{
    auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        return false;
    out = *it;
    return true;
}

void IQEndpointClient::clearCache()
{
    std::lock_guard<std::mutex> guard(m_cacheMutex);
    m_cache.clear();
}

bool IQEndpointClient::invokeCallback(const QByteArray &method, const Message &message)
{
    const QMetaObject *mo = metaObject();
    const int index = slotCache().find(mo, method);
    if (index < 0)
        return false;
    // What an automatic connection does: a direct call on the object's own
    // thread, otherwise a queued one with the message copied.
    if (QThread::currentThread() == thread())
        return mo->method(index).invoke(this, Qt::DirectConnection, Q_ARG(Message, message));
    std::lock_guard<std::mutex> guard(m_postMutex);
    return deliverMethod().invoke(this, Qt::QueuedConnection, Q_ARG(int, index), Q_ARG(Message, message));
}

void IQEndpointClient::deliverQueued(int methodIndex, const Message &message)
{
    {
        std::lock_guard<std::mutex> guard(m_postMutex);
    }
    metaObject()->method(methodIndex).invoke(this, Qt::DirectConnection, Q_ARG(Message, message));
}

void IQEndpointClient::invokeResponseCallback(const QByteArray &key, const Message &message)
{
    if (!invokeCallback("cb_resp_" + key, message))
        qWarning("missing response: %s", xmlText(message).constData());
}

void IQEndpointClient::invokeNoticeCallback(const QByteArray &key, const Message &message)
{
    const QByteArray method = "cb_unso_" + key;
    if (!invokeCallback(method, message))
        qWarning("missing callback %s", method.constData());
}
