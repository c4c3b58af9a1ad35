#pragma once

#include "message.h"
#include "platform/net.h"
#include "platform/poller.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/**
 * A scripted peer for transport tests: listens on 127.0.0.1 (ephemeral port)
 * in a thread of its own, reads NUL-framed messages and answers them through
 * a handler. The handler runs on the peer's thread; everything else is safe
 * from any thread.
 */
class ScriptPeer
{
public:
    using Handler = std::function<void(ScriptPeer &, int conn, const Message &)>;
    using AcceptHandler = std::function<void(ScriptPeer &, int conn)>;

    ScriptPeer();
    ~ScriptPeer();

    void setHandler(Handler handler);
    void setAcceptHandler(AcceptHandler handler);
    /** With reading off, accepted connections are never read (the TCP handshake only). */
    void setReading(bool on);

    /** Listens on 127.0.0.1, or on ::1 with @p ipv6. */
    bool start(bool ipv6 = false);
    void stop();
    uint16_t port() const { return m_port; }
    std::string address() const
    {
        return (m_ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(m_port);
    }

    void send(int conn, const Message &message);
    void sendRaw(int conn, std::string bytes);
    /** Closes @p conn once what was queued for it has been written. */
    void closeConn(int conn);
    /** Stops reading @p conn (its peer's writes pile up); in effect when it returns. */
    void pauseReading(int conn);

    int accepted() const;
    int openConnections() const;
    /** Names of the messages received on @p conn, in order (conn -1: all). */
    std::vector<std::string> names(int conn = -1) const;
    std::vector<Message> messages(int conn = -1) const;
    int count(const std::string &name, int conn = -1) const;
    int lastConn() const;

private:
    struct Conn {
        int id = 0;
        IpcPlatform::SocketHandle fd = IpcPlatform::InvalidSocket;
        std::string rx;
        std::string tx;
        bool reading = true;
        bool closing = false;
        int hangups = 0;
    };

    void run();
    void post(std::function<void()> fn);
    bool onPeerThread() const { return std::this_thread::get_id() == m_threadId; }
    void doSend(int conn, const std::string &bytes);
    void doClose(Conn *c);
    void flush(Conn *c);
    void updateInterest(Conn *c);
    void readFrom(Conn *c);
    Conn *find(int conn);

    std::unique_ptr<IpcPlatform::Poller> m_poller;
    IpcPlatform::SocketHandle m_listener = IpcPlatform::InvalidSocket;
    uint16_t m_port = 0;
    bool m_ipv6 = false;
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_running{false};
    int m_listenTag = 0;

    // peer thread only
    std::map<int, std::unique_ptr<Conn>> m_conns;
    int m_nextId = 1;

    mutable std::mutex m_mutex;
    Handler m_handler;
    AcceptHandler m_acceptHandler;
    bool m_reading = true;
    std::deque<std::function<void()>> m_posted;
    std::vector<std::pair<int, Message>> m_received;
    int m_accepted = 0;
    int m_open = 0;
};

/** What a scripted codec does. */
struct CodecScript {
    bool versioned = true;       ///< false: answers ping with another seq, speaks bare login
    bool letInOnHello = false;   ///< answer hello with seq "hello" instead of a challenge
    std::string password = "secret";
    std::string challenge = "abc";
    bool answerPing = true;
    bool answerRequests = true;  ///< answer each request with a resp (bare element when unversioned)
    bool lieSuccessWithFail = false; ///< login result carries success=true and fail
};

/** A handler that plays a codec as told by @p script. */
ScriptPeer::Handler codecHandler(CodecScript script);
/** The lower-case hex MD5 of @p text (test oracle). */
std::string md5Hex(const std::string &text);
