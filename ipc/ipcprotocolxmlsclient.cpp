#include "ipcprotocolxmlsclient.h"

#include "logger.h"
#include "message.h"

#include <QByteArray>
#include <QCryptographicHash>

std::string IPCProtocolXMLSClient::digest(const std::string &challenge, const std::string &password)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(challenge.data(), static_cast<int>(challenge.size()));
    hash.addData(password.data(), static_cast<int>(password.size()));
    return hash.result().toHex().toStdString();
}

bool IPCProtocolXMLSClient::login_succeeded(const Message &result)
{
    return result.get_bool("success", true) && !result.has_attribute("fail");
}

void IPCProtocolXMLSClient::state_changed(int state)
{
    IPCProtocolXMLS::state_changed(state);
    // Every connection repeats the whole handshake.
    m_authenticated = false;
    m_authFailed = false;
    m_handshakePong = false;
    m_keepalives = 0;
    if (state == 4)
        start_handshake();
}

void IPCProtocolXMLSClient::start_handshake()
{
    const unsigned version = m_host->protocol_version();
    m_versioned = version != 0;
    if (!m_versioned) {
        send_login_open();
        return;
    }
    Message hello("hello");
    hello.set_string("seq", "hello");
    hello.set_uint("version", version);
    send_raw(hello);
    Message ping("ping");
    ping.set_string("seq", "ping");
    send_raw(ping);
    m_handshakePong = true;
}

void IPCProtocolXMLSClient::send_login_open()
{
    send_raw(Message("login"));
}

bool IPCProtocolXMLSClient::gate_open(const std::string &name) const
{
    return m_authenticated || name == "hello" || name == "ping" || name == "login";
}

void IPCProtocolXMLSClient::answer_locally(bool hasSeq, const std::string &seq)
{
    // Unversioned devices never answer a request; stand in for the answer
    // so the endpoint sees one response per request, as with any device.
    Message resp("resp");
    if (hasSeq)
        resp.set_string("seq", seq);
    m_host->post_local(std::move(resp));
}

bool IPCProtocolXMLSClient::send(const Message &message)
{
    if (!gate_open(message.name()))
        return false;
    send_raw(message);
    if (!m_versioned && m_authenticated) {
        const AttrValue *seq = message.attr("seq");
        answer_locally(seq != nullptr, seq ? seq->toString() : std::string());
    }
    return true;
}

bool IPCProtocolXMLSClient::send_encoded(IPCEncodedMessage &message)
{
    if (!gate_open(message.name))
        return false;
    send_raw_encoded(message);
    if (!m_versioned && m_authenticated)
        answer_locally(message.hasSeq, message.seq);
    return true;
}

void IPCProtocolXMLSClient::send_keepalive()
{
    if (!m_authenticated)
        return;
    Message ping("ping");
    ping.set_string("seq", "ping");
    send_raw(ping);
    ++m_keepalives;
}

bool IPCProtocolXMLSClient::consume_keepalive_pong()
{
    if (m_keepalives == 0)
        return false;
    --m_keepalives;
    m_host->note_activity();
    return true;
}

void IPCProtocolXMLSClient::deliver(const Message &message)
{
    m_host->deliver(message);
}

void IPCProtocolXMLSClient::handle_message(const Message &message)
{
    // After a refused login the connection is about to close: nothing more
    // from it reaches the endpoint.
    if (m_authFailed)
        return;

    if (!m_versioned) {
        if (message.name() != "login") {
            if (message.name() == "pong" && consume_keepalive_pong())
                return;
            deliver(message);
        } else if (message.has_attribute("challenge")) {
            answer_challenge(message);
        } else if (message.has_attribute("success")) {
            evaluate_login(message);
        }
        return;
    }

    // Every message of a busy device passes here: read seq without copying it.
    const AttrValue *seqAttr = message.attr("seq");
    std::string scratch;
    const std::string &seq = seqAttr ? seqAttr->text(scratch) : scratch;
    if (message.has_attribute("fail") && message.get_int("error_code") == 401) {
        answer_challenge(message);
    } else if (seq == "login") {
        evaluate_login(message);
    } else if (seq == "hello" && !message.has_attribute("fail")) {
        if (!m_authenticated)
            let_in();
    } else if (message.name() == "pong" && seq != "ping" && !m_authenticated) {
        // The device answered our ping without echoing it: it does not speak
        // the versioned protocol. Remember that for every later connection.
        IPC_LOG(LOGC_LOGIN, LOG_INFO, "%s: unversioned device, logging in without hello", m_host->peer_text().c_str());
        m_versioned = false;
        m_handshakePong = false;
        m_host->set_protocol_version(0);
        send_login_open();
    } else if (message.name() == "pong" && !m_handshakePong && consume_keepalive_pong()) {
        // answer to a keep-alive: traffic, not a message for the application
    } else {
        if (message.name() == "pong")
            m_handshakePong = false;
        deliver(message);
    }
}

void IPCProtocolXMLSClient::answer_challenge(const Message &challenge)
{
    Message login("login");
    login.set_string("seq", "login");
    login.set_string("username", m_host->user_name());
    login.set_string("response", digest(challenge.get_string("challenge"), m_host->password()));
    send_raw(login);
}

void IPCProtocolXMLSClient::evaluate_login(const Message &result)
{
    if (login_succeeded(result)) {
        if (!m_authenticated)
            let_in();
        return;
    }
    m_authFailed = true;
    m_authenticated = false;
    m_host->fail("authentication failure");
    m_host->on_authentication_failed();
}

void IPCProtocolXMLSClient::let_in()
{
    m_authenticated = true;
    m_host->on_authenticated();
}
