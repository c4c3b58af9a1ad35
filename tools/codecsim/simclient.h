#pragma once

#include "ipcprotocol.h"
#include "sendbuffer.h"
#include "simserver.h"

#include <map>
#include <string>

namespace codecsim {

class Client;

/** The "xmls" framing on the codec's side: every framed message goes to the client. */
class ServerProtocol final : public IPCProtocolXMLS
{
public:
    ServerProtocol(IPCProtocolHost *host, Client &client)
        : IPCProtocolXMLS(host)
        , m_client(client)
    {
    }

protected:
    void handle_message(const Message &message) override;

private:
    Client &m_client;
};

/**
 * One client connection of a codec: its socket and send buffer, the login
 * handshake, its subscriptions and level feed, and the faults that apply to it.
 */
class Client final : public Pollable, public IPCProtocolHost
{
public:
    static constexpr size_t ReadChunk = 16384;

    Client(Server &server, Codec &codec, int id, IpcPlatform::SocketHandle fd, std::string peerText);
    ~Client() override;

    int id() const { return m_id; }
    IpcPlatform::SocketHandle fd() const { return m_fd; }
    Codec &codec() { return m_codec; }
    const std::string &peerText() const { return m_peerText; }
    bool versioned() const { return m_versioned; }
    bool authenticated() const { return m_authenticated; }
    bool closing() const { return m_closing; }
    bool subscribed(const std::string &id) const { return m_subscriptions.count(id) != 0; }
    /** Unversioned feeds asked for with "monitor". */
    bool wantsPeerStats() const { return m_monitorPeerStats; }
    bool wantsChannelStats() const { return m_monitorChannelStats; }

    void start();
    void onReady(unsigned ready) override;

    /** Encodes one message straight into the send buffer and writes what the socket takes. */
    void send(const Message &message);
    /** Queues one message already in wire form (its 0x00 included); @p message is for the trace only. */
    void sendWire(const std::string &wire, const Message *message = nullptr);

    /** Records subscriptions of a "subscribe" request. */
    void subscribe(const Message &request);
    /** Applies a "monitor" request to this connection's feeds. */
    void monitor(const Message &request);
    /** Called by the server when the connection closes. */
    void shutdown();

    // IPCProtocolHost
    void fail(const std::string &reason) override;
    void deliver(const Message &message) override;
    /** Null while stalled, closing or streaming the oversize fault: nothing else may go out. */
    SendBuffer *send_buffer() override;
    void send_appended(size_t size) override;
    std::string peer_text() const override { return m_peerText; }

private:
    void onMessage(const Message &message);
    void handlePing(const Message &message);
    void handleHello(const Message &message);
    void answerHello(const std::string &seq);
    void handleLogin(const Message &message);
    void loggedIn();
    void reply(Message message); // trace and send

    void readSome();
    /** The socket is writable: write, then feed the oversize fault. */
    void flush();
    /** Writes what the socket takes; false when that closed the client. */
    bool writeSome();
    /** Writes @p size bytes, buffering what the socket does not take (shared notices, faults). */
    void queueBytes(const char *data, size_t size);
    /** After an append: drop a client that leaves more than the limit unread, else wait for writability. */
    void checkBacklog();
    void setWriteInterest(bool on);
    size_t pending() const { return m_out.size(); }

    void updateMetering();
    void sendLevels();
    void armFaults();
    void sendGarbage();
    void feedOversize();

    friend class ServerProtocol;

    Server &m_server;
    Codec &m_codec;
    const int m_id;
    IpcPlatform::SocketHandle m_fd;
    std::string m_peerText;
    ServerProtocol m_protocol;

    SendBuffer m_out;
    bool m_wantWrite = false;
    bool m_closing = false;
    bool m_stalled = false;
    size_t m_oversizeLeft = 0;

    bool m_versioned;
    bool m_authenticated = false;
    std::string m_challenge;
    bool m_helloPending = false;
    std::string m_helloSeq;

    std::map<std::string, uint32_t> m_subscriptions;
    int m_monitorMetering = -1; // -1 not asked, 0 off, 1 on
    uint32_t m_monitorInterval = 0;
    bool m_monitorPeerStats = false;
    bool m_monitorChannelStats = false;
    TimerQueue::Id m_meteringTimer = 0;
    uint64_t m_meteringInterval = 0;

    std::vector<TimerQueue::Id> m_faultTimers;
};

} // namespace codecsim
