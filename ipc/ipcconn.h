#pragma once

#include "ipcprotocol.h"
#include "ipcsocket.h"

#include <deque>
#include <memory>
#include <string>

class Message;
class IPCEndpoint;
class IPCProtocolXMLSClient;

/**
 * A connection: a socket with a state, a send buffer and the protocol spoken
 * over it. It is the protocol's host: it writes what the protocol encodes and
 * hands what the protocol decodes to its endpoint.
 */
class IPCConn : public IPCSocket, public IPCProtocolHost
{
public:
    enum State : int {
        Closed = 0,
        Connecting = 2,
        Open = 4,
    };

    /** Unsent bytes above this fail the connection. */
    static constexpr size_t SendLimit = 2097152;
    /** Most bytes taken from the socket by one read. */
    static constexpr size_t ReadChunk = 16384;

    /** "stream" gives a TCP connection; any other transport gives none. */
    static std::unique_ptr<IPCConn> create(const std::string &transport, IPCManager *manager);

    explicit IPCConn(IPCManager *manager);
    ~IPCConn() override;

    int state() const { return m_state; }
    IPCEndpoint *endpoint() const { return m_endpoint; }
    void set_endpoint(IPCEndpoint *endpoint) { m_endpoint = endpoint; }

    IPCProtocol *protocol() const { return m_protocol.get(); }
    /** Chooses the protocol by name ("xmls"); other names leave none. */
    void select_protocol(const std::string &name);
    void set_protocol(std::unique_ptr<IPCProtocol> protocol);

    /** Offers @p message to the protocol; false when there is none or it refuses. */
    bool send_message(const Message &message);
    /** True once the protocol's login has succeeded. */
    bool authenticated() const;
    /** Sends the idle keep-alive probe (authenticated connections only). */
    void send_keepalive();

    /** Queues @p message for delivery to the endpoint on the loop's next turn. */
    void post_local(Message message);
    /** Delivers what post_local queued (loop thread). */
    void deliver_local();

    size_t send_buffered() const { return m_tx.size() - m_txOffset; }

    bool wants_write() const override;
    void on_writable(bool fromSend) override;
    void on_readable(bool hangup) override;
    void close() override;
    void fail(const std::string &reason) override;

    // IPCProtocolHost
    void send_data(const char *data, size_t size) override;
    void deliver(const Message &message) override;

protected:
    void set_state(int state);

    int m_state = Closed;
    IPCEndpoint *m_endpoint = nullptr;
    std::unique_ptr<IPCProtocol> m_protocol;
    IPCProtocolXMLSClient *m_client = nullptr; // m_protocol when it is the login client
    std::string m_tx;
    size_t m_txOffset = 0;
    std::deque<Message> m_local;
};

/** TCP stream connection. */
class IPCConnStream : public IPCConn
{
public:
    using IPCConn::IPCConn;

    /** Also wants write while connecting, to learn that the connect completed. */
    bool wants_write() const override;
    void on_writable(bool fromSend) override;
    bool connect() override;
};
