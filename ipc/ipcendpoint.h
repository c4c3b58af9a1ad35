#pragma once

#include "ipcmutex.h"
#include "ipcprotocol.h"
#include "message.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class IPCManager;
class IPCConn;
class IPCEndpointClient;

/**
 * Base of the endpoints: a named owner of at most one connection, with a
 * bounded queue of messages waiting for the protocol to accept them.
 *
 * send() may be called from any thread. On the loop thread (which holds the
 * manager's state lock) it sends at once; any other thread encodes the
 * message, hands it to the loop and wakes it, and the loop writes it: only
 * the loop touches the socket, and no caller waits for the state lock.
 * Everything else runs on the loop thread under that lock.
 */
class IPCEndpoint
{
public:
    /** Most messages that wait for the protocol; the oldest is dropped beyond. */
    static constexpr size_t QueueLimit = 10;

    explicit IPCEndpoint(std::string name = std::string());
    virtual ~IPCEndpoint();
    IPCEndpoint(const IPCEndpoint &) = delete;
    IPCEndpoint &operator=(const IPCEndpoint &) = delete;

    const std::string &name() const { return m_name; }
    IPCManager *manager() const { return m_manager.load(std::memory_order_acquire); }
    IPCConn *connection() const { return m_connection; }

    /** Receive time-out in seconds; 0 disables it. */
    unsigned receive_timeout() const { return m_receiveTimeout.load(std::memory_order_relaxed); }
    void set_receive_timeout(unsigned seconds) { m_receiveTimeout.store(seconds, std::memory_order_relaxed); }
    bool tracing() const { return m_trace.load(std::memory_order_relaxed); }
    /** Time of the last received message or connection state change (manager clock). */
    uint64_t last_activity() const { return m_lastActivity.load(std::memory_order_relaxed); }

    /** Sends @p message now when possible, otherwise queues it (thread-safe). */
    void send(const Message &message);
    /** Messages waiting for the protocol (or still on their way to the loop). */
    size_t queued() const;

    /**
     * True when more whole seconds than @p timeoutSeconds have passed between
     * @p lastActivityUs and @p nowUs: with 7, seven silent seconds are fine,
     * eight are not.
     */
    static bool receive_timed_out(uint64_t lastActivityUs, uint64_t nowUs, unsigned timeoutSeconds);

    // Called by the manager and the connection (loop thread, state lock held).
    /** The manager registered this endpoint under @p name (null manager: removed). */
    void set_manager(IPCManager *manager, const std::string &name);
    /** Takes @p connection as the current one. */
    virtual void attach_connection(IPCConn *connection);
    /** Forgets the current connection and returns it. */
    IPCConn *detach_connection();
    /** One message delivered by the connection's protocol. */
    virtual void receive(const Message &message);
    /** The connection's state changed (0 closed, 2 connecting, 4 open). */
    virtual void connection_state_changed(int state);
    /** Periodic tick of the manager. */
    virtual void tick(uint64_t nowUs);
    /** Seconds to wait before reconnecting a closed connection; 0 gives the endpoint up. */
    virtual unsigned reconnect_interval() { return 10; }
    /** Offers the queued messages to the protocol until one is refused. */
    void flush_queue();
    /** Sends what other threads handed over since the last call. */
    void send_outgoing();
    /** The manager dropped this endpoint's notice of pending sends (it left the table). */
    void outgoing_forgotten();
    /** The client endpoint this is, if it is one. */
    virtual IPCEndpointClient *as_client() { return nullptr; }
    /** The connection failed; @p reason is the first failure it recorded [nothing]. */
    virtual void on_connection_failed(const std::string &) {}
    /** A received frame did not read as a message [nothing]. */
    virtual void on_frame_rejected(const std::string &) {}

protected:
    /** True when the calling thread may touch the connection (it holds the state lock, or there is none). */
    bool owns_connection() const;
    /** Hands @p message to the loop; @p onlyIfOpen drops it there unless the connection is open. */
    void post_outgoing(IPCEncodedMessage &&message, bool onlyIfOpen);
    IPCMutex *state_lock() const;
    uint64_t now() const;
    void touch(uint64_t t) { m_lastActivity.store(t, std::memory_order_relaxed); }
    void touch() { touch(now()); }
    std::string peer_text() const;

    std::string m_name;
    std::atomic<IPCManager *> m_manager{nullptr};
    IPCConn *m_connection = nullptr;
    std::atomic<unsigned> m_receiveTimeout{0};
    std::atomic<bool> m_trace{false};
    std::atomic<uint64_t> m_lastActivity{0};
    std::deque<Message> m_queue;
    bool m_flushing = false;

private:
    /** Sends @p message or queues it, decoded again (the 10 newest wait). */
    void sendEncoded(IPCEncodedMessage &message);
    void enqueue(Message &&message);

    struct Outgoing {
        IPCEncodedMessage message;
        bool onlyIfOpen;
    };
    mutable std::mutex m_outgoingMutex;
    std::vector<Outgoing> m_outgoing; // encoded by other threads, for the loop
    bool m_outgoingPosted = false;    // the manager knows of m_outgoing
};

/**
 * The client endpoint: subscriptions re-sent on every open, the receive
 * time-out, an idle keep-alive, and the dispatch of what arrives into
 * responses and other messages. Applications derive from it and override the
 * hooks, which do nothing by default.
 */
class IPCEndpointClient : public IPCEndpoint
{
public:
    /** Nothing received for this long on a logged-in connection sends a ping. */
    static constexpr unsigned DefaultKeepaliveMs = 3000;

    explicit IPCEndpointClient(std::string name = std::string());
    ~IPCEndpointClient() override;

    /** Records a subscription and sends it at once when the connection is open (thread-safe). */
    void subscribe(const std::string &name, unsigned interval = 0);
    std::map<std::string, unsigned> subscriptions() const;

    /** Sets the protocol version this endpoint announces; 0 means unversioned. */
    void set_protocol_version(unsigned version) { m_version.store(version, std::memory_order_relaxed); }
    /** The version read at the last connection state change. */
    unsigned announced_version() const { return m_announced.load(std::memory_order_relaxed); }

    void set_keepalive_idle_ms(unsigned ms) { m_keepaliveMs.store(ms, std::memory_order_relaxed); }
    unsigned keepalive_idle_ms() const { return m_keepaliveMs.load(std::memory_order_relaxed); }
    /** Counts as received traffic without a message (the keep-alive answer). */
    void note_activity();

    void connection_state_changed(int state) override;
    void receive(const Message &message) override;
    IPCEndpointClient *as_client() override { return this; }

    // Hooks, in this order.
    virtual void on_connection_state_changed(int state);
    void tick(uint64_t nowUs) override;
    /** [fails the connection with "timed out"] */
    virtual void on_timed_out();
    virtual void set_trace(bool on) { m_trace.store(on, std::memory_order_relaxed); }
    /** [flushes the send queue] */
    virtual void on_authenticated();
    virtual void on_authentication_failed() {}
    /** ["user"] */
    virtual std::string user_name() { return "user"; }
    /** [empty] */
    virtual std::string password() { return std::string(); }
    unsigned reconnect_interval() override { return 10; }
    /** [1, or what set_protocol_version stored] */
    virtual unsigned protocol_version() { return m_version.load(std::memory_order_relaxed); }
    virtual void on_response(const Message &) {}
    /** Every received message that is not a response. */
    virtual void on_message(const Message &) {}
    /** A received message with children: its id and first child. */
    virtual void on_notice(const std::string &, const Message &) {}

private:
    void send_subscriptions();

    mutable std::mutex m_subscriptionsMutex;
    std::map<std::string, unsigned> m_subscriptions;
    std::atomic<unsigned> m_version{1};
    std::atomic<unsigned> m_announced{1};
    std::atomic<unsigned> m_keepaliveMs{DefaultKeepaliveMs};
    bool m_keepaliveSent = false;
};
