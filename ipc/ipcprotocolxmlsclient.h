#pragma once

#include "ipcprotocol.h"

#include <string>

/**
 * The client side of "xmls" with its login: hello and ping on open, the
 * challenge answered with an MD5 digest, the fallback to the unversioned
 * protocol, and a gate that refuses the endpoint's messages until the login
 * has succeeded (the endpoint keeps them queued meanwhile). Everything it
 * needs of the endpoint it asks of its host.
 */
class IPCProtocolXMLSClient : public IPCProtocolXMLS
{
public:
    using IPCProtocolXMLS::IPCProtocolXMLS;

    bool send(const Message &message) override;
    bool send_encoded(IPCEncodedMessage &message) override;
    void state_changed(int state) override;

    bool authenticated() const { return m_authenticated; }
    /** True while the connection speaks the versioned protocol. */
    bool versioned() const { return m_versioned; }
    /** Sends one keep-alive ping; its pong is consumed here and counts as traffic. */
    void send_keepalive();

    /** MD5 of @p challenge followed by @p password, as 32 lower-case hex digits. */
    static std::string digest(const std::string &challenge, const std::string &password);
    /** The login result rule: bool success true or missing, and no fail. */
    static bool login_succeeded(const Message &result);

protected:
    void handle_message(const Message &message) override;

private:
    /** The gate: only the handshake's own messages pass before the login. */
    bool gate_open(const std::string &name) const;
    /** Unversioned devices never answer: the stand-in response for a request with @p seq. */
    void answer_locally(bool hasSeq, const std::string &seq);
    void start_handshake();
    void send_login_open();
    void answer_challenge(const Message &challenge);
    void evaluate_login(const Message &result);
    void let_in();
    bool consume_keepalive_pong();
    void deliver(const Message &message);

    bool m_versioned = true;
    bool m_authenticated = false;
    bool m_authFailed = false;
    bool m_handshakePong = false; // the pong of the handshake's own ping is still due
    unsigned m_keepalives = 0;    // keep-alive pings whose pong is still due
};
