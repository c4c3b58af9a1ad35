#pragma once

#include "ipcprotocol.h"
#include "message.h"
#include "platform/net.h"
#include "platform/poller.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

/**
 * A small blocking client for driving simulated codecs in tests: it frames
 * with the library's "xmls" protocol and waits with a deadline, never with
 * a fixed sleep.
 */
class SimTestClient : private IPCProtocolHost
{
public:
    SimTestClient();
    ~SimTestClient() override;

    bool connectTo(uint16_t port, int timeoutMs = 5000);
    void close();

    void send(const Message &message);
    /** Writes @p bytes; unless @p readWhileBlocked is false, reads while the socket is full. */
    void sendRaw(const std::string &bytes, bool readWhileBlocked = true);

    /** The next message, waiting up to @p timeoutMs. False on time-out or when the codec closed. */
    bool next(Message &out, int timeoutMs = 5000);
    /**
     * Waits for a message that satisfies @p match; the others are dropped
     * (and counted in skipped()). False on time-out or close.
     */
    bool waitFor(const std::function<bool(const Message &)> &match, Message &out, int timeoutMs = 5000);
    /** Waits for the answer with this seq ("resp" carrying it). */
    bool waitResp(const std::string &seq, Message &out, int timeoutMs = 5000);
    /** Waits for an "unso" with this id. */
    bool waitUnso(const std::string &id, Message &out, int timeoutMs = 5000);
    /** Waits for a pushed record (<unso id="unso"><NAME>) and returns the record itself. */
    bool waitPushed(const std::string &name, Message &out, int timeoutMs = 5000);
    /** Waits until the codec closes the connection (or the framing fails). */
    bool waitClosed(int timeoutMs = 5000);

    /** Versioned login: hello, ping, then the challenge's answer. */
    bool loginVersioned(const std::string &password = "tarlin");
    /** Unversioned login: a bare login, then the challenge's answer. */
    bool loginUnversioned(const std::string &password = "tarlin");

    bool closed() const { return m_closed; }
    const std::string &failure() const { return m_failure; }
    int skipped() const { return m_skipped; }
    size_t pendingMessages() const { return m_inbox.size(); }

    static std::string md5Hex(const std::string &text);
    static Message request(const std::string &name, const std::string &seq = std::string());

private:
    void fail(const std::string &reason) override;
    /** Sends go through sendRaw(): the protocol itself never sends here. */
    SendBuffer *send_buffer() override { return nullptr; }
    void send_appended(size_t) override {}
    void deliver(const Message &message) override;
    /** Reads what is there, waiting at most @p timeoutMs for the first byte. */
    void pump(int timeoutMs);

    std::unique_ptr<IpcPlatform::Poller> m_poller;
    IpcPlatform::SocketHandle m_fd = IpcPlatform::InvalidSocket;
    IPCProtocolXMLS m_protocol;
    std::deque<Message> m_inbox;
    bool m_closed = true;
    std::string m_failure;
    int m_skipped = 0;
};
