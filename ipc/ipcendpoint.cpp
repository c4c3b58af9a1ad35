#include "ipcendpoint.h"

#include "ipcconn.h"
#include "ipcmanager.h"
#include "logger.h"
#include "messagecodec.h"
#include "platform/clock.h"

namespace {

std::string xmlText(const Message &message)
{
    std::string text;
    MessageCodec::writeXml(message, text, false, false);
    return text;
}

} // namespace

IPCEndpoint::IPCEndpoint(std::string name)
    : m_name(std::move(name))
{
}

IPCEndpoint::~IPCEndpoint()
{
    // Deleted while still in a manager's table: take it out first, so the
    // loop never calls into a destroyed endpoint.
    if (IPCManager *manager = this->manager())
        manager->forget_endpoint(this);
}

IPCMutex *IPCEndpoint::state_lock() const
{
    IPCManager *manager = this->manager();
    return manager ? manager->state_lock() : nullptr;
}

uint64_t IPCEndpoint::now() const
{
    IPCManager *manager = this->manager();
    return manager ? manager->now_us() : IpcPlatform::monotonicMicros();
}

std::string IPCEndpoint::peer_text() const
{
    return m_connection ? m_connection->address_text() : std::string("(unknown)");
}

bool IPCEndpoint::receive_timed_out(uint64_t lastActivityUs, uint64_t nowUs, unsigned timeoutSeconds)
{
    if (timeoutSeconds == 0 || nowUs < lastActivityUs)
        return false;
    return (nowUs - lastActivityUs) / 1000000u > timeoutSeconds;
}

void IPCEndpoint::set_manager(IPCManager *manager, const std::string &name)
{
    m_manager.store(manager, std::memory_order_release);
    m_name = name;
    if (!manager)
        return;
    // Sends made while it was out of a table go out now.
    bool tell = false;
    {
        std::lock_guard<std::mutex> guard(m_outgoingMutex);
        tell = !m_outgoing.empty() && !m_outgoingPosted;
        m_outgoingPosted = m_outgoingPosted || tell;
    }
    if (tell)
        manager->outgoing_pending(this);
}

void IPCEndpoint::outgoing_forgotten()
{
    std::lock_guard<std::mutex> guard(m_outgoingMutex);
    m_outgoingPosted = false;
}

void IPCEndpoint::attach_connection(IPCConn *connection)
{
    m_connection = connection;
    if (connection)
        connection->set_endpoint(this);
}

IPCConn *IPCEndpoint::detach_connection()
{
    IPCConn *connection = m_connection;
    m_connection = nullptr;
    if (connection)
        connection->set_endpoint(nullptr);
    return connection;
}

bool IPCEndpoint::owns_connection() const
{
    IPCMutex *lock = state_lock();
    return !lock || lock->held_by_current_thread();
}

void IPCEndpoint::send(const Message &message)
{
    if (!owns_connection()) {
        // Encoded here, written by the loop.
        IPCEncodedMessage encoded;
        IPCProtocolXMLS::encode(message, encoded);
        post_outgoing(std::move(encoded), false);
        return;
    }
    if (tracing())
        IPC_LOG(LOGC_ENDPOINT, LOG_INFO, "tx to %s: %s", peer_text().c_str(), xmlText(message).c_str());
    if (m_queue.empty() && m_connection && m_connection->send_message(message))
        return;
    enqueue(Message(message));
}

void IPCEndpoint::post_outgoing(IPCEncodedMessage &&message, bool onlyIfOpen)
{
    bool tell = false;
    {
        std::lock_guard<std::mutex> guard(m_outgoingMutex);
        m_outgoing.push_back(Outgoing{std::move(message), onlyIfOpen});
        tell = !m_outgoingPosted;
        m_outgoingPosted = true;
    }
    if (!tell)
        return;
    if (IPCManager *manager = this->manager())
        manager->outgoing_pending(this);
}

void IPCEndpoint::send_outgoing()
{
    std::vector<Outgoing> outgoing;
    {
        std::lock_guard<std::mutex> guard(m_outgoingMutex);
        outgoing.swap(m_outgoing);
        m_outgoingPosted = false;
    }
    for (Outgoing &o : outgoing) {
        // A subscription made while closed goes out with the others on the next open.
        if (o.onlyIfOpen && !(m_connection && m_connection->state() == IPCConn::Open))
            continue;
        sendEncoded(o.message);
    }
}

void IPCEndpoint::sendEncoded(IPCEncodedMessage &message)
{
    if (tracing()) {
        const std::string &wire = message.wire;
        IPC_LOG(LOGC_ENDPOINT, LOG_INFO, "tx to %s: %.*s", peer_text().c_str(),
                static_cast<int>(wire.empty() ? 0 : wire.size() - 1), wire.data());
    }
    if (m_queue.empty() && m_connection && m_connection->send_encoded(message))
        return;
    // It waits for the login (rarely): as a message, like everything that waits.
    Message waiting;
    waiting.parse(message.wire.data(), message.wire.empty() ? 0 : message.wire.size() - 1);
    enqueue(std::move(waiting));
}

void IPCEndpoint::enqueue(Message &&message)
{
    if (m_queue.size() >= QueueLimit) {
        IPC_LOG(LOGC_ENDPOINT, LOG_DETAIL, "%s: send queue full, dropping %s", m_name.c_str(),
                m_queue.front().name().c_str());
        m_queue.pop_front();
    }
    m_queue.push_back(std::move(message));
}

size_t IPCEndpoint::queued() const
{
    IPCLockGuard guard(state_lock());
    std::lock_guard<std::mutex> outgoing(m_outgoingMutex);
    return m_queue.size() + m_outgoing.size();
}

void IPCEndpoint::flush_queue()
{
    // A delivery triggered by a send may flush again; the outer loop goes on.
    if (m_flushing)
        return;
    m_flushing = true;
    while (!m_queue.empty() && m_connection) {
        Message message = std::move(m_queue.front());
        m_queue.pop_front();
        if (!m_connection || !m_connection->send_message(message)) {
            m_queue.push_front(std::move(message));
            break;
        }
    }
    m_flushing = false;
}

void IPCEndpoint::receive(const Message &)
{
    touch();
}

void IPCEndpoint::connection_state_changed(int)
{
    touch();
}

void IPCEndpoint::tick(uint64_t)
{
}

// ---------------------------------------------------------------------------

IPCEndpointClient::IPCEndpointClient(std::string name)
    : IPCEndpoint(std::move(name))
{
}

IPCEndpointClient::~IPCEndpointClient() = default;

void IPCEndpointClient::subscribe(const std::string &name, unsigned interval)
{
    {
        std::lock_guard<std::mutex> guard(m_subscriptionsMutex);
        m_subscriptions[name] = interval;
    }
    Message message("subscribe");
    message.set_string("seq", "internal");
    Message &sub = message.add_child("sub");
    sub.set_string("id", name);
    if (interval)
        sub.set_uint("interval", interval);
    if (!owns_connection()) {
        IPCEncodedMessage encoded;
        IPCProtocolXMLS::encode(message, encoded);
        post_outgoing(std::move(encoded), true);
        return;
    }
    if (m_connection && m_connection->state() == IPCConn::Open)
        send(message);
}

std::map<std::string, unsigned> IPCEndpointClient::subscriptions() const
{
    std::lock_guard<std::mutex> guard(m_subscriptionsMutex);
    return m_subscriptions;
}

void IPCEndpointClient::send_subscriptions()
{
    Message message("subscribe");
    message.set_string("seq", "internal");
    {
        std::lock_guard<std::mutex> guard(m_subscriptionsMutex);
        if (m_subscriptions.empty())
            return;
        for (const auto &s : m_subscriptions) {
            Message &sub = message.add_child("sub");
            sub.set_string("id", s.first);
            if (s.second)
                sub.set_uint("interval", s.second);
        }
    }
    send(message);
}

void IPCEndpointClient::note_activity()
{
    touch();
    m_keepaliveSent = false;
}

void IPCEndpointClient::connection_state_changed(int state)
{
    on_connection_state_changed(state);
}

void IPCEndpointClient::on_connection_state_changed(int state)
{
    m_announced.store(protocol_version(), std::memory_order_relaxed);
    touch();
    m_keepaliveSent = false;
    flush_queue();
    if (state == IPCConn::Open)
        send_subscriptions();
}

void IPCEndpointClient::receive(const Message &message)
{
    touch();
    m_keepaliveSent = false;
    if (tracing())
        IPC_LOG(LOGC_ENDPOINT, LOG_INFO, "rx from %s: %s", peer_text().c_str(), xmlText(message).c_str());
    if (message.name() != "resp") {
        on_message(message);
        if (message.child_count() > 0) {
            const AttrValue *id = message.attr("id");
            if (id && id->kind() == AttrValue::String)
                on_notice(id->stringValue(), message.get_child(0));
            else
                on_notice(id ? id->toString() : std::string(), message.get_child(0));
        }
    } else {
        const AttrValue *seq = message.attr("seq");
        // Answers to the transport's own requests (subscriptions) stop here.
        if (!seq || seq->toString() != "internal")
            on_response(message);
    }
    flush_queue();
}

void IPCEndpointClient::tick(uint64_t nowUs)
{
    IPCConn *conn = m_connection;
    if (!conn || conn->state() == IPCConn::Closed || !conn->has_socket())
        return;
    if (receive_timed_out(last_activity(), nowUs, receive_timeout())) {
        on_timed_out();
        return;
    }
    // Without traffic a quiet device would trip the receive time-out: probe
    // it once per silence; its answer counts as traffic.
    const unsigned idleMs = keepalive_idle_ms();
    if (idleMs && !m_keepaliveSent && conn->state() == IPCConn::Open && conn->authenticated()
        && nowUs >= last_activity() && nowUs - last_activity() >= uint64_t(idleMs) * 1000u) {
        m_keepaliveSent = true;
        conn->send_keepalive();
    }
}

void IPCEndpointClient::on_timed_out()
{
    if (m_connection)
        m_connection->fail("timed out");
}

void IPCEndpointClient::on_authenticated()
{
    flush_queue();
}
