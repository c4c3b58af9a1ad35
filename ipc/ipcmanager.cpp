#include "ipcmanager.h"

#include "ipcaddress.h"
#include "ipcconn.h"
#include "ipcendpoint.h"
#include "ipcmutex.h"
#include "logger.h"
#include "platform/clock.h"
#include "platform/syserror.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <mutex>

using namespace IpcPlatform;

namespace {

// The socket layer is started once per process, by the first manager.
void startSocketLayer()
{
    static std::once_flag once;
    std::call_once(once, [] {
        std::string error;
        if (!netStartup(error))
            IPC_LOG(LOGC_SOCKET, LOG_ERROR, "WSAStartup: WinSock 2.0 startup failed");
        else
            IPC_LOG(LOGC_SOCKET, LOG_DEBUG, "WSAStartup done");
    });
}

constexpr int MaxEvents = 256;
// Hang-ups in a row, with nothing read between them, that close a socket.
constexpr int HangupStrikes = 3;

} // namespace

IPCManager::IPCManager()
    : m_clock(&monotonicMicros)
{
    startSocketLayer();
    std::string error;
    m_poller = Poller::create(error);
    if (!m_poller)
        IPC_LOG(LOGC_MANAGER, LOG_ERROR, "ipc_manager: cannot create the event poller: %s", error.c_str());
}

IPCManager::~IPCManager()
{
    IPCLockGuard guard(state_lock());
    for (auto &entry : m_endpoints) {
        IPCEndpoint *ep = entry.second.endpoint;
        drop_outgoing(ep);
        retire(ep->detach_connection());
        ep->set_manager(nullptr, entry.first);
        // Virtual dispatch is over here: owned endpoints are simply deleted.
        if (entry.second.owned)
            delete ep;
    }
    m_endpoints.clear();
    bury();
}

// --- hooks -------------------------------------------------------------------

void IPCManager::socket_events(IPCSocket *s, unsigned ready)
{
    // Write first (it also completes a connect), then read, then the close.
    if (ready & Poller::Writable) {
        s->on_writable(false);
    } else if (ready & (Poller::Error | Poller::Hangup)) {
        // A refused connect may come without "writable": read its error.
        if (int error = pendingError(s->handle()))
            s->fail(errorText(error));
    }
    if (!s->m_retired && !s->failed() && (ready & (Poller::Readable | Poller::Hangup)))
        s->on_readable((ready & Poller::Hangup) != 0);
    if (!s->m_retired && !s->failed() && s->has_socket() && (ready & (Poller::Hangup | Poller::Error))) {
        // A real close or reset shows in the read above (end of stream or an
        // error); some kernels also report a lone hang-up on a live socket.
        // Believe it only when it keeps coming.
        int error = pendingError(s->handle());
        if (error)
            s->fail(errorText(error));
        else if (++s->m_hangupStrikes >= HangupStrikes)
            s->fail("remote disconnect");
    }
    if (!s->m_retired && s->has_socket())
        update_interest(s);
}

IPCEndpointClient *IPCManager::create_client_endpoint(const std::string &name)
{
    return new IPCEndpointClient(name);
}

IPCEndpoint *IPCManager::create_server_endpoint(const std::string &)
{
    return nullptr;
}

void IPCManager::dispose_endpoint(IPCEndpoint *endpoint)
{
    delete endpoint;
}

bool IPCManager::request_resolve(const std::string &, const std::string &)
{
    return false;
}

// --- loop --------------------------------------------------------------------

void IPCManager::stop()
{
    set_running(false);
    wake();
}

void IPCManager::wake()
{
    if (m_poller)
        m_poller->wake();
}

const char *IPCManager::backend_name() const
{
    return m_poller ? m_poller->backendName() : "none";
}

void IPCManager::event_loop()
{
    while (running()) {
        try {
            run_turn();
        } catch (const std::exception &e) {
            IPC_LOG(LOGC_MANAGER, LOG_ERROR, "IPCManager::event_loop uncaught exception: %s", e.what());
        }
    }
}

void IPCManager::run_turn(int maxWaitMs)
{
    m_turns.fetch_add(1, std::memory_order_relaxed);
    on_iteration();

    const uint64_t now = now_us();
    const unsigned periodic = periodic_interval();
    if (periodic && (!m_ticked || (now - m_lastTick) / 1000u >= periodic))
        periodic_tick(now);

    int timeout;
    {
        IPCLockGuard guard(state_lock());
        close_failed();
        deliver_local();
        service_closed(now_us());
        timeout = next_wait_ms(now_us());
    }
    if (maxWaitMs >= 0 && (timeout < 0 || timeout > maxWaitMs))
        timeout = maxWaitMs;
    on_before_wait();

    if (!m_poller) {
        sleepMillis(timeout < 0 ? 100 : std::min(timeout, 100));
        return;
    }
    Poller::Event events[MaxEvents];
    int error = 0;
    int n = m_poller->wait(events, MaxEvents, timeout, error);
    if (n < 0) {
        IPC_LOG(LOGC_MANAGER, LOG_ERROR, "ipc_manager: WSAWaitForMultipleEvents failed: %s", errorText(error).c_str());
        // A wait that fails at once would spin the loop.
        sleepMillis(10);
        return;
    }

    {
        IPCLockGuard guard(state_lock());
        send_outgoing();
        dispatch(events, n);
        bury();
    }
    on_turn_end();
}

void IPCManager::periodic_tick(uint64_t now)
{
    on_periodic();
    {
        IPCLockGuard guard(state_lock());
        for (auto &entry : m_endpoints)
            entry.second.endpoint->tick(now);
    }
    m_lastTick = now;
    m_ticked = true;
}

void IPCManager::close_failed()
{
    // Closing reports state 0, whose handlers may fail, retire or connect
    // other sockets: work on a snapshot and skip what was retired meanwhile.
    std::vector<IPCSocket *> failed;
    failed.swap(m_failed);
    for (IPCSocket *s : failed) {
        if (s->m_retired)
            continue;
        s->m_pendingClose = false;
        s->close();
        auto *conn = static_cast<IPCConn *>(s);
        if (!s->m_retired)
            connection_closed(conn);
    }
}

void IPCManager::deliver_local()
{
    std::vector<IPCConn *> local;
    local.swap(m_local);
    for (IPCConn *conn : local) {
        if (conn->m_retired)
            continue;
        conn->m_hasLocal = false;
        try {
            conn->deliver_local();
        } catch (const std::exception &e) {
            conn->fail(e.what());
        }
    }
}

void IPCManager::service_closed(uint64_t now)
{
    if (m_closed.empty())
        return;
    std::vector<IPCConn *> closed(m_closed.begin(), m_closed.end());
    for (IPCConn *conn : closed) {
        if (conn->m_retired || !conn->m_inClosedSet || conn->m_resolving)
            continue;
        IPCEndpoint *ep = conn->endpoint();
        if (!ep) {
            retire(conn);
            continue;
        }
        const unsigned interval = ep->reconnect_interval();
        if (interval == 0) {
            // Given up: the connection goes; an endpoint of our own goes too.
            retire(ep->detach_connection());
            auto it = m_endpoints.find(ep->name());
            if (it != m_endpoints.end() && it->second.endpoint == ep && it->second.owned) {
                drop_outgoing(ep);
                m_endpoints.erase(it);
                ep->set_manager(nullptr, ep->name());
                dispose_endpoint(ep);
            }
            continue;
        }
        if (!reconnect_due(conn->last_attempt(), interval, now))
            continue;
        m_closed.erase(conn);
        conn->m_inClosedSet = false;
        if (!conn->host_name().empty() && request_resolve(ep->name(), conn->host_name())) {
            conn->m_resolving = true;
            conn->set_last_attempt(now);
            continue;
        }
        conn->connect();
    }
}

void IPCManager::dispatch(const Poller::Event *events, int count)
{
    for (int i = 0; i < count; ++i) {
        auto *s = static_cast<IPCSocket *>(events[i].tag);
        // Retired sockets stay allocated until bury(), so the tag is safe.
        if (s->m_retired || !s->has_socket())
            continue;
        try {
            socket_events(s, events[i].ready);
        } catch (const std::exception &e) {
            IPC_LOG(LOGC_MANAGER, LOG_ERROR, "IPCManager::event_loop uncaught exception: %s", e.what());
            if (!s->m_retired)
                s->fail(e.what());
        }
    }
}

void IPCManager::send_outgoing()
{
    {
        std::lock_guard<std::mutex> guard(m_outgoingMutex);
        if (m_outgoing.empty())
            return;
        m_outgoingNow.swap(m_outgoing);
    }
    // An entry goes null when its endpoint leaves the table meanwhile.
    for (size_t i = 0; i < m_outgoingNow.size(); ++i) {
        IPCEndpoint *ep = m_outgoingNow[i];
        if (!ep)
            continue;
        try {
            ep->send_outgoing();
        } catch (const std::exception &e) {
            IPC_LOG(LOGC_MANAGER, LOG_ERROR, "IPCManager::event_loop uncaught exception: %s", e.what());
        }
    }
    m_outgoingNow.clear();
}

void IPCManager::outgoing_pending(IPCEndpoint *endpoint)
{
    bool first;
    {
        std::lock_guard<std::mutex> guard(m_outgoingMutex);
        first = m_outgoing.empty();
        m_outgoing.push_back(endpoint);
    }
    if (first)
        wake();
}

void IPCManager::drop_outgoing(IPCEndpoint *endpoint)
{
    std::replace(m_outgoingNow.begin(), m_outgoingNow.end(), endpoint, static_cast<IPCEndpoint *>(nullptr));
    {
        std::lock_guard<std::mutex> guard(m_outgoingMutex);
        m_outgoing.erase(std::remove(m_outgoing.begin(), m_outgoing.end(), endpoint), m_outgoing.end());
    }
    endpoint->outgoing_forgotten();
}

void IPCManager::bury()
{
    std::vector<IPCConn *> dead;
    dead.swap(m_graveyard);
    for (IPCConn *conn : dead)
        delete conn;
}

// --- wait time-out -------------------------------------------------------------

bool IPCManager::reconnect_due(uint64_t lastAttemptUs, unsigned intervalSeconds, uint64_t nowUs)
{
    if (nowUs < lastAttemptUs)
        return false;
    return (nowUs - lastAttemptUs) / 1000000u >= intervalSeconds;
}

int IPCManager::wait_timeout_ms(unsigned periodicMs, uint64_t lastTickUs, uint64_t nowUs,
                                const std::vector<PendingReconnect> &pending)
{
    int64_t best = -1;
    if (periodicMs) {
        uint64_t elapsed = nowUs > lastTickUs ? (nowUs - lastTickUs) / 1000u : 0;
        best = elapsed >= periodicMs ? 0 : static_cast<int64_t>(periodicMs - elapsed);
    }
    for (const PendingReconnect &p : pending) {
        if (p.intervalSeconds == 0)
            continue;
        int64_t remaining = 0;
        if (!reconnect_due(p.lastAttemptUs, p.intervalSeconds, nowUs)) {
            uint64_t elapsedMs = nowUs > p.lastAttemptUs ? (nowUs - p.lastAttemptUs) / 1000u : 0;
            remaining = static_cast<int64_t>(p.intervalSeconds) * 1000 - static_cast<int64_t>(elapsedMs);
            if (remaining < 0)
                remaining = 0;
        }
        if (best < 0 || remaining < best)
            best = remaining;
    }
    return best > INT_MAX ? INT_MAX : static_cast<int>(best);
}

int IPCManager::next_wait_ms(uint64_t nowUs)
{
    IPCLockGuard guard(state_lock());
    m_pending.clear();
    for (IPCConn *conn : m_closed) {
        IPCEndpoint *ep = conn->endpoint();
        if (conn->m_retired || conn->m_resolving || !ep)
            continue;
        m_pending.push_back({conn->last_attempt(), ep->reconnect_interval()});
    }
    // Before the first tick the loop ticks at once.
    return wait_timeout_ms(periodic_interval(), m_ticked ? m_lastTick : 0, nowUs, m_pending);
}

// --- table -------------------------------------------------------------------

bool IPCManager::connect(const std::string &protocol, const std::string &transport, const SocketAddress &address,
                         const std::string &name, const std::string &hostName, const std::string &resolveError)
{
    std::unique_ptr<IPCConn> conn = IPCConn::create(transport, this);
    if (!conn)
        return false;
    conn->select_protocol(protocol);
    conn->set_address(address, hostName);
    conn->set_resolve_error(resolveError);

    IPCLockGuard guard(state_lock());
    IPCEndpoint *ep = nullptr;
    auto it = m_endpoints.find(name);
    if (it != m_endpoints.end()) {
        ep = it->second.endpoint;
    } else if (m_retiredNames.count(name)) {
        IPC_LOG(LOGC_MANAGER, LOG_WARNING, "connect to %s refused: its endpoint was removed", name.c_str());
        return false;
    } else {
        ep = create_client_endpoint(name);
        if (!ep)
            return false;
        m_endpoints[name] = Entry{true, ep};
        ep->set_manager(this, name);
    }
    retire(ep->detach_connection());
    IPCConn *c = conn.release();
    ep->attach_connection(c);
    c->connect();
    wake();
    return true;
}

bool IPCManager::connect_text(const std::string &protocol, const std::string &transport,
                              const std::string &addressText, const std::string &name)
{
    if (transport != "stream")
        return false;
    SocketAddress address;
    std::string host;
    std::string error;
    if (!IPCAddress::parse(addressText, address, &host) && !host.empty()) {
        if (!resolveHost(host, address, error))
            address.family = FamilyUnknown;
    }
    return connect(protocol, transport, address, name, host, error);
}

void IPCManager::apply_resolved(const std::string &name, const std::string &host, bool ok,
                                const SocketAddress &address, const std::string &error)
{
    IPCLockGuard guard(state_lock());
    auto it = m_endpoints.find(name);
    if (it == m_endpoints.end())
        return;
    IPCConn *conn = it->second.endpoint->connection();
    if (!conn || !conn->m_resolving || conn->host_name() != host)
        return;
    conn->m_resolving = false;
    SocketAddress resolved = address;
    resolved.port = conn->address().port;
    if (!ok)
        resolved.family = FamilyUnknown;
    conn->set_address(resolved, host);
    conn->set_resolve_error(ok ? std::string() : error);
    conn->connect();
    wake();
}

bool IPCManager::register_endpoint(const std::string &name, IPCEndpoint *endpoint)
{
    if (!endpoint)
        return false;
    IPCLockGuard guard(state_lock());
    if (m_endpoints.count(name))
        return false;
    m_retiredNames.erase(name);
    m_endpoints[name] = Entry{false, endpoint};
    endpoint->set_manager(this, name);
    return true;
}

void IPCManager::disconnect_endpoint(const std::string &name)
{
    IPCLockGuard guard(state_lock());
    auto it = m_endpoints.find(name);
    if (it == m_endpoints.end())
        return;
    IPCEndpoint *ep = it->second.endpoint;
    if (IPCConn *conn = ep->detach_connection()) {
        retire(conn);
        // The connection is gone without a close of its own: say so.
        ep->connection_state_changed(IPCConn::Closed);
    }
    if (it->second.owned) {
        drop_outgoing(ep);
        m_endpoints.erase(it);
        ep->set_manager(nullptr, name);
        dispose_endpoint(ep);
    }
    wake();
}

void IPCManager::remove_endpoint(const std::string &name)
{
    IPCLockGuard guard(state_lock());
    m_retiredNames.insert(name);
    auto it = m_endpoints.find(name);
    if (it == m_endpoints.end())
        return;
    IPCEndpoint *ep = it->second.endpoint;
    const bool owned = it->second.owned;
    drop_outgoing(ep);
    m_endpoints.erase(it);
    retire(ep->detach_connection());
    ep->set_manager(nullptr, name);
    if (owned)
        dispose_endpoint(ep);
    wake();
}

void IPCManager::forget_endpoint(IPCEndpoint *endpoint)
{
    IPCLockGuard guard(state_lock());
    m_retiredNames.insert(endpoint->name());
    auto it = m_endpoints.find(endpoint->name());
    if (it == m_endpoints.end() || it->second.endpoint != endpoint) {
        it = std::find_if(m_endpoints.begin(), m_endpoints.end(),
                          [endpoint](const auto &e) { return e.second.endpoint == endpoint; });
    }
    if (it != m_endpoints.end())
        m_endpoints.erase(it);
    drop_outgoing(endpoint);
    retire(endpoint->detach_connection());
    endpoint->set_manager(nullptr, endpoint->name());
}

IPCEndpoint *IPCManager::find_endpoint(const std::string &name)
{
    IPCLockGuard guard(state_lock());
    auto it = m_endpoints.find(name);
    return it == m_endpoints.end() ? nullptr : it->second.endpoint;
}

size_t IPCManager::endpoint_count()
{
    IPCLockGuard guard(state_lock());
    return m_endpoints.size();
}

void IPCManager::set_periodic_interval(unsigned ms)
{
    m_periodicMs.store(ms, std::memory_order_relaxed);
    wake();
}

void IPCManager::set_clock(Clock clock)
{
    m_clock = clock ? clock : &monotonicMicros;
}

// --- sockets -------------------------------------------------------------------

void IPCManager::register_socket(IPCSocket *s)
{
    if (!m_poller || s->m_registered || !s->has_socket())
        return;
    unsigned want = (s->wants_read() ? Poller::WantRead : 0u) | (s->wants_write() ? Poller::WantWrite : 0u);
    int error = 0;
    if (!m_poller->add(s->handle(), want, s, error)) {
        s->fail(errorText(error));
        return;
    }
    s->m_registered = true;
    s->m_interest = want;
    ++m_registeredCount;
}

void IPCManager::unregister_socket(IPCSocket *s)
{
    if (!s->m_registered)
        return;
    if (m_poller)
        m_poller->remove(s->handle());
    s->m_registered = false;
    --m_registeredCount;
}

void IPCManager::update_interest(IPCSocket *s)
{
    if (!s->m_registered)
        return;
    unsigned want = (s->wants_read() ? Poller::WantRead : 0u) | (s->wants_write() ? Poller::WantWrite : 0u);
    if (want == s->m_interest)
        return;
    int error = 0;
    if (!m_poller->modify(s->handle(), want, s, error)) {
        s->fail(errorText(error));
        return;
    }
    s->m_interest = want;
}

void IPCManager::socket_failed(IPCSocket *s)
{
    if (s->m_retired || s->m_pendingClose)
        return;
    s->m_pendingClose = true;
    m_failed.push_back(s);
    wake();
}

void IPCManager::connection_closed(IPCConn *conn)
{
    if (conn->m_retired)
        return;
    conn->m_inClosedSet = true;
    m_closed.insert(conn);
}

void IPCManager::local_pending(IPCConn *conn)
{
    if (conn->m_retired || conn->m_hasLocal)
        return;
    conn->m_hasLocal = true;
    m_local.push_back(conn);
    wake();
}

void IPCManager::release_handle(IPCSocket *s)
{
    if (!s->has_socket())
        return;
    unregister_socket(s);
    closeSocket(s->m_handle);
    s->m_handle = InvalidSocket;
}

void IPCManager::retire(IPCConn *conn)
{
    if (!conn || conn->m_retired)
        return;
    conn->m_retired = true;
    conn->set_endpoint(nullptr);
    // Only the handle goes now: the protocol may be on the stack (a handler
    // that reconnected or removed its endpoint), so the object lives on until
    // the current dispatch is over.
    release_handle(conn);
    if (conn->m_inClosedSet) {
        m_closed.erase(conn);
        conn->m_inClosedSet = false;
    }
    if (conn->m_pendingClose)
        m_failed.erase(std::remove(m_failed.begin(), m_failed.end(), conn), m_failed.end());
    if (conn->m_hasLocal)
        m_local.erase(std::remove(m_local.begin(), m_local.end(), conn), m_local.end());
    m_graveyard.push_back(conn);
}
