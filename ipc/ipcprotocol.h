#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class Message;
class SendBuffer;

/**
 * A message already in its wire form, made on the sender's thread, with what
 * a protocol's gate needs to know of it.
 */
struct IPCEncodedMessage {
    std::string wire; ///< the frame, its 0x00 included
    std::string name; ///< element name
    std::string seq;  ///< text of the seq attribute, when it has one
    bool hasSeq = false;
};

/**
 * What a protocol object needs from the connection it is attached to: the
 * send buffer, failures and deliveries, and (for the login) the endpoint
 * behind it. The stream connection implements it; tests implement it without
 * any socket.
 */
class IPCProtocolHost
{
public:
    virtual ~IPCProtocolHost() = default;
    /** Records a failure; the connection is closed on the loop's next turn. */
    virtual void fail(const std::string &reason) = 0;
    /** Hands one decoded message to the owner of the connection. */
    virtual void deliver(const Message &message) = 0;
    /** Where outgoing bytes are encoded; null while nothing may be sent (they are dropped). */
    virtual SendBuffer *send_buffer() = 0;
    /**
     * @p size bytes were appended to send_buffer(): write what the socket
     * takes; more than the buffer's limit left unsent fails the connection.
     */
    virtual void send_appended(size_t size) = 0;
    /** A received frame that did not read as a message, and why [nothing]. */
    virtual void frame_rejected(const std::string &) {}
    /** The peer as text, for log lines ["(unknown)"]. */
    virtual std::string peer_text() const { return "(unknown)"; }

    // The login's view of the endpoint behind the connection.
    /** Protocol version to announce; 0: unversioned [1]. */
    virtual unsigned protocol_version() { return 1; }
    /** The handshake found an unversioned device: remember it for later connections. */
    virtual void set_protocol_version(unsigned) {}
    /** ["user"] */
    virtual std::string user_name() { return "user"; }
    /** [empty] */
    virtual std::string password() { return std::string(); }
    virtual void on_authenticated() {}
    virtual void on_authentication_failed() {}
    /** Traffic that is no message for the endpoint (a keep-alive answer). */
    virtual void note_activity() {}
    /** Delivers @p message after the current send, as if received [at once]. */
    virtual void post_local(Message message);
};

/**
 * A protocol spoken over a connection: turns received bytes into messages and
 * messages into bytes to send.
 */
class IPCProtocol
{
public:
    explicit IPCProtocol(IPCProtocolHost *host)
        : m_host(host)
    {
    }
    virtual ~IPCProtocol() = default;
    IPCProtocol(const IPCProtocol &) = delete;
    IPCProtocol &operator=(const IPCProtocol &) = delete;

    virtual const char *name() const = 0;
    /** One chunk of bytes as read from the socket. */
    virtual void receive_data(const char *data, size_t size) = 0;
    /** Offers a message for sending; false when refused (the endpoint keeps it queued). */
    virtual bool send(const Message &message) = 0;
    /** The same for a message encoded beforehand; its wire bytes may be taken. */
    virtual bool send_encoded(IPCEncodedMessage &message) = 0;
    /** The connection's state changed (0 closed, 2 connecting, 4 open). */
    virtual void state_changed(int state);

    /** Bytes received but not yet framed. */
    size_t buffered() const { return m_rx.size(); }

    IPCProtocolHost *host() const { return m_host; }

protected:
    IPCProtocolHost *m_host;
    std::string m_rx;
};

/**
 * The "xmls" framing: each message is the XML text of one node, without
 * declaration or indentation, followed by one 0x00 byte.
 *
 * Re-entrancy: a handler may send messages, call the host's fail(), reset the
 * protocol through state_changed(0) (the rest of the chunk is then dropped),
 * feed more bytes through receive_data (framed after the current chunk), or
 * even destroy the protocol object (nothing of it is touched afterwards).
 */
class IPCProtocolXMLS : public IPCProtocol
{
public:
    static constexpr size_t BufferLimit = 2097152;

    using IPCProtocol::IPCProtocol;
    ~IPCProtocolXMLS() override;

    const char *name() const override { return "xmls"; }
    void receive_data(const char *data, size_t size) override;
    bool send(const Message &message) override;
    bool send_encoded(IPCEncodedMessage &message) override;
    void state_changed(int state) override;

    /** Appends the wire form of @p message (XML, no declaration, then 0x00) to @p out. */
    static void encode_wire(const Message &message, std::string &out);
    /** Encodes @p message for a later send_encoded() (on any thread). */
    static void encode(const Message &message, IPCEncodedMessage &out);
    /**
     * Reads one frame into @p message. False when it is not a readable
     * message (not XML, or the reader stopped), with the reader's complaint
     * in @p error; @p message then holds what was read.
     */
    static bool read_frame(const char *data, size_t size, Message &message, std::string &error);
    /** Printable ASCII of the first bytes of @p data, others as '?', for log lines. */
    static std::string sample(const char *data, size_t size, size_t max = 48);
    /**
     * Removes a leading XML declaration: when @p text begins with "<?" and
     * holds "?>", everything before the first '<' after the "?>" goes (all of
     * it when there is none). Other texts are left as they are.
     */
    static void strip_declaration(std::string &text);

protected:
    /** Called for every framed message; the default hands it to the host. */
    virtual void handle_message(const Message &message);
    /** Encodes and sends @p message, bypassing any gate of a subclass. */
    void send_raw(const Message &message);
    /** Sends the wire bytes of @p message, bypassing any gate of a subclass. */
    void send_raw_encoded(IPCEncodedMessage &message);

private:
    void receiveChunk(const char *data, size_t size, const bool &alive);
    /** Parses one frame and hands it on; false when the protocol was destroyed or reset meanwhile. */
    bool deliverFrame(const char *data, size_t size, const bool &alive, uint64_t epoch);

    /** Parses one frame, retrying ISO-8859-1 for one that is not UTF-8; reports what stays unreadable. */
    void decodeFrame(const char *data, size_t size, Message &message);

    size_t m_scanned = 0;      // bytes of m_rx already known to hold no 0x00
    bool m_receiving = false;  // inside receive_data
    bool m_latin1Noted = false; // the ISO-8859-1 fallback was logged for this connection
    bool m_overflowed = false; // input is dropped until the connection is reset
    uint64_t m_epoch = 0;      // bumped by every reset, so a scan notices one made by a handler
    std::string m_nested;      // bytes fed by a handler while a chunk is being framed
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
