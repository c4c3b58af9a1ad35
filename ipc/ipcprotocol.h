#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class Message;

/**
 * What a protocol object needs from the connection it is attached to. The
 * stream connection implements it; tests implement it without any socket.
 */
class IPCProtocolHost
{
public:
    virtual ~IPCProtocolHost() = default;
    /** Records a failure; the connection is closed on the loop's next turn. */
    virtual void fail(const std::string &reason) = 0;
    /** Appends bytes to the send buffer (2 MiB limit) and tries to write them. */
    virtual void send_data(const char *data, size_t size) = 0;
    /** Hands one decoded message to the owner of the connection. */
    virtual void deliver(const Message &message) = 0;
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
    void state_changed(int state) override;

    /** Appends the wire form of @p message (XML, no declaration, then 0x00) to @p out. */
    static void encode_wire(const Message &message, std::string &out);
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

private:
    void receiveChunk(const char *data, size_t size, const bool &alive);
    /** Parses one frame and hands it on; false when the protocol was destroyed or reset meanwhile. */
    bool deliverFrame(const char *data, size_t size, const bool &alive, uint64_t epoch);

    size_t m_scanned = 0;      // bytes of m_rx already known to hold no 0x00
    std::string m_tx;          // scratch buffer for encoding
    bool m_txBusy = false;     // m_tx is being handed to the host (a handler sends from inside send_data)
    bool m_receiving = false;  // inside receive_data
    bool m_overflowed = false; // input is dropped until the connection is reset
    uint64_t m_epoch = 0;      // bumped by every reset, so a scan notices one made by a handler
    std::string m_nested;      // bytes fed by a handler while a chunk is being framed
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
