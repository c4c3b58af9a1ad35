#pragma once

#include "ipcprotocol.h"
#include "ipcsocket.h"
#include "sendbuffer.h"

#include <deque>
#include <memory>
#include <string>

class Message;
class IPCEndpoint;
class IPCEndpointClient;
class IPCProtocolXMLSClient;

/**
 * A connection: a socket with a state, a send buffer and the protocol spoken
 * over it. It is the protocol's host: it writes what the protocol encodes,
 * hands what the protocol decodes to its endpoint, and answers the login's
 * questions from the endpoint.
 */
class IPCConn : public IPCSocket, public IPCProtocolHost
{
public:
    enum State : int {
        Closed = 0,
        Connecting = 2,
        Open = 4,
    };

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
    /** The same for a message encoded beforehand (its bytes are taken when accepted). */
    bool send_encoded(IPCEncodedMessage &message);
    /** True once the protocol's login has succeeded. */
    bool authenticated() const;
    /** Sends the idle keep-alive probe (authenticated connections only). */
    void send_keepalive();

    /** Delivers what post_local queued (loop thread). */
    void deliver_local();

    size_t send_buffered() const { return m_tx.size(); }

    bool wants_write() const override;
    void on_writable(bool fromSend) override;
    void on_readable(bool hangup) override;
    void close() override;
    /** Records the failure and tells the endpoint the first reason. */
    void fail(const std::string &reason) override;

    // IPCProtocolHost
    void deliver(const Message &message) override;
    SendBuffer *send_buffer() override;
    void send_appended(size_t size) override;
    void frame_rejected(const std::string &reason) override;
    std::string peer_text() const override { return address_text(); }
    unsigned protocol_version() override;
    void set_protocol_version(unsigned version) override;
    std::string user_name() override;
    std::string password() override;
    void on_authenticated() override;
    void on_authentication_failed() override;
    void note_activity() override;
    /** Queues @p message for delivery to the endpoint on the loop's next turn. */
    void post_local(Message message) override;

protected:
    void set_state(int state);
    IPCEndpointClient *client() const;

    int m_state = Closed;
    IPCEndpoint *m_endpoint = nullptr;
    std::unique_ptr<IPCProtocol> m_protocol;
    IPCProtocolXMLSClient *m_client = nullptr; // m_protocol when it is the login client
    SendBuffer m_tx;
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
