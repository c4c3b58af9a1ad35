#pragma once

#include "platform/net.h"
#include "platform/poller.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

class IPCConn;
class IPCEndpoint;
class IPCEndpointClient;
class IPCMutex;
class IPCSocket;

/**
 * The network manager: a table of named endpoints and one event loop that
 * serves every socket. Sockets stay registered with the poller; a turn costs
 * in proportion to the sockets that are ready, the connections that wait for
 * a reconnect and (every periodic interval) the endpoints.
 *
 * All socket work runs on the thread that calls event_loop(). Other threads
 * change the table through connect/register/disconnect/remove, which take the
 * state lock and wake the loop.
 */
class IPCManager
{
public:
    using Clock = uint64_t (*)();

    /** A closed connection waiting for its reconnect. */
    struct PendingReconnect {
        uint64_t lastAttemptUs;
        unsigned intervalSeconds;
    };

    IPCManager();
    virtual ~IPCManager();
    IPCManager(const IPCManager &) = delete;
    IPCManager &operator=(const IPCManager &) = delete;

    // Hooks, in this order.
    /** Dispatches the readiness of one socket: write, then read, then close. */
    virtual void socket_events(IPCSocket *socket, unsigned ready);
    /** Once per turn, before any socket work. */
    virtual void on_iteration() {}
    /** The endpoint connect() creates for an unknown name. */
    virtual IPCEndpointClient *create_client_endpoint(const std::string &name);
    /** No server endpoints in this library: null. */
    virtual IPCEndpoint *create_server_endpoint(const std::string &name);
    /** Once per turn, after the dispatch. */
    virtual void on_turn_end() {}
    /** Once per turn, right before the wait. */
    virtual void on_before_wait() {}
    /** The lock that guards the tables and the connections [none]. */
    virtual IPCMutex *state_lock() { return nullptr; }
    /** A second lock for subclasses [none]. */
    virtual IPCMutex *aux_lock() { return nullptr; }
    /** On each periodic tick, before the endpoints' ticks. */
    virtual void on_periodic() {}
    /** Disposes of an endpoint the manager owned [delete]. */
    virtual void dispose_endpoint(IPCEndpoint *endpoint);
    /**
     * Asks for the host name of @p name's connection to be looked up again
     * before its next attempt, without blocking the loop; the answer comes
     * through apply_resolved(). False when not supported [false: the
     * attempt uses the address it has].
     */
    virtual bool request_resolve(const std::string &name, const std::string &host);

    /** Runs turns until stop(). */
    void event_loop();
    /** Runs one turn: hooks, tick, closes and reconnects, wait (at most @p maxWaitMs when >= 0), dispatch. */
    void run_turn(int maxWaitMs = -1);
    void set_running(bool running) { m_running.store(running, std::memory_order_release); }
    bool running() const { return m_running.load(std::memory_order_acquire); }
    /** Clears the running flag and wakes the loop; it returns after the current turn. */
    void stop();
    /** Makes the loop run a turn (any thread). */
    void wake();

    /**
     * Finds or creates the endpoint @p name and gives it a new connection of
     * @p transport ("stream"; anything else changes nothing) speaking
     * @p protocol to @p address. A non-empty @p hostName is the name the
     * address came from (family unknown when it did not resolve).
     */
    bool connect(const std::string &protocol, const std::string &transport, const IpcPlatform::SocketAddress &address,
                 const std::string &name, const std::string &hostName = std::string(),
                 const std::string &resolveError = std::string());
    /** Parses @p addressText (numeric, or a host name resolved here: not on the loop thread) and connects. */
    bool connect_text(const std::string &protocol, const std::string &transport, const std::string &addressText,
                      const std::string &name);
    /** Hands the result of request_resolve() to the connection of @p name. */
    void apply_resolved(const std::string &name, const std::string &host, bool ok,
                        const IpcPlatform::SocketAddress &address, const std::string &error);

    /** Adds an endpoint the caller owns; false when the name is taken. */
    bool register_endpoint(const std::string &name, IPCEndpoint *endpoint);
    /** Closes the endpoint's connection; an owned endpoint is also dropped. */
    void disconnect_endpoint(const std::string &name);
    /**
     * Drops the endpoint from the table. Its connection is closed and its
     * socket unregistered at once; afterwards the loop never touches the
     * endpoint again, so the caller may delete it.
     */
    void remove_endpoint(const std::string &name);
    /** Takes @p endpoint out of the table without disposing of it (its destructor). */
    void forget_endpoint(IPCEndpoint *endpoint);
    IPCEndpoint *find_endpoint(const std::string &name);
    size_t endpoint_count();

    void set_periodic_interval(unsigned ms);
    unsigned periodic_interval() const { return m_periodicMs.load(std::memory_order_relaxed); }

    /** Replaces the microsecond clock (tests); null restores the system clock. */
    void set_clock(Clock clock);
    uint64_t now_us() const { return m_clock(); }

    /** Milliseconds the next wait may last at @p nowUs (-1: no limit). Changes nothing. */
    int next_wait_ms(uint64_t nowUs);
    /**
     * The wait time-out rule: the time to the next periodic tick, lowered to
     * the earliest pending reconnect (whole seconds elapsed below the interval
     * leave interval minus elapsed milliseconds; a due reconnect leaves 0).
     * -1 when nothing is pending and the periodic tick is off.
     */
    static int wait_timeout_ms(unsigned periodicMs, uint64_t lastTickUs, uint64_t nowUs,
                               const std::vector<PendingReconnect> &pending);
    /** True when the reconnect of a connection closed or attempted at @p lastAttemptUs is due. */
    static bool reconnect_due(uint64_t lastAttemptUs, unsigned intervalSeconds, uint64_t nowUs);

    /** Turns run so far (statistics). */
    uint64_t turn_count() const { return m_turns.load(std::memory_order_relaxed); }
    /** Sockets currently registered with the poller. */
    size_t registered_sockets() const { return m_registeredCount; }
    const char *backend_name() const;

    // Used by the sockets (state lock held).
    void register_socket(IPCSocket *socket);
    void unregister_socket(IPCSocket *socket);
    void update_interest(IPCSocket *socket);
    void socket_failed(IPCSocket *socket);
    void connection_closed(IPCConn *conn);
    void local_pending(IPCConn *conn);
    /** Detaches @p conn from everything; it is deleted after the current dispatch. */
    void retire(IPCConn *conn);

    /** @p endpoint has messages from another thread for the loop to send (any thread; wakes the loop). */
    void outgoing_pending(IPCEndpoint *endpoint);

private:
    struct Entry {
        bool owned = false;
        IPCEndpoint *endpoint = nullptr;
    };

    void periodic_tick(uint64_t now);
    void close_failed();
    void deliver_local();
    void service_closed(uint64_t now);
    void dispatch(const IpcPlatform::Poller::Event *events, int count);
    /** Sends what other threads handed to the endpoints (state lock held). */
    void send_outgoing();
    /** Forgets @p endpoint's pending sends (it leaves the table; state lock held). */
    void drop_outgoing(IPCEndpoint *endpoint);
    void bury();
    void release_handle(IPCSocket *socket);

    std::unique_ptr<IpcPlatform::Poller> m_poller;
    std::atomic<bool> m_running{true};
    std::atomic<unsigned> m_periodicMs{0};
    Clock m_clock;
    uint64_t m_lastTick = 0;
    bool m_ticked = false;

    std::map<std::string, Entry> m_endpoints;
    // Names whose endpoint was removed or forgotten: a connect still queued for
    // one must not bring it back as a plain endpoint. Registering a name again
    // takes it off this list.
    std::unordered_set<std::string> m_retiredNames;
    std::vector<IPCSocket *> m_failed;  // fail() since the last turn
    std::set<IPCConn *> m_closed;       // closed, waiting for a reconnect
    std::vector<IPCConn *> m_local;     // with local deliveries pending
    std::vector<IPCConn *> m_graveyard; // retired, deleted after the dispatch
    std::vector<PendingReconnect> m_pending; // scratch of next_wait_ms
    std::mutex m_outgoingMutex;
    std::vector<IPCEndpoint *> m_outgoing;    // with sends from other threads (under m_outgoingMutex)
    std::vector<IPCEndpoint *> m_outgoingNow; // being sent (loop)
    size_t m_registeredCount = 0;
    std::atomic<uint64_t> m_turns{0};
};
