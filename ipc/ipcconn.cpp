#include "ipcconn.h"

#include "ipcendpoint.h"
#include "ipcmanager.h"
#include "ipcprotocolxmlsclient.h"
#include "message.h"
#include "platform/syserror.h"

#include <exception>

using namespace IpcPlatform;

std::unique_ptr<IPCConn> IPCConn::create(const std::string &transport, IPCManager *manager)
{
    if (transport == "stream")
        return std::make_unique<IPCConnStream>(manager);
    return nullptr;
}

IPCConn::IPCConn(IPCManager *manager)
    : IPCSocket(manager)
{
}

IPCConn::~IPCConn() = default;

void IPCConn::select_protocol(const std::string &name)
{
    // The other protocols of the family ("compact", "xhr", "esl", "web") are
    // never spoken to a codec; without a protocol nothing is sent or delivered.
    if (name == "xmls") {
        auto client = std::make_unique<IPCProtocolXMLSClient>(this);
        m_client = client.get();
        m_protocol = std::move(client);
    } else {
        m_client = nullptr;
        m_protocol.reset();
    }
}

void IPCConn::set_protocol(std::unique_ptr<IPCProtocol> protocol)
{
    m_client = dynamic_cast<IPCProtocolXMLSClient *>(protocol.get());
    m_protocol = std::move(protocol);
}

bool IPCConn::send_message(const Message &message)
{
    if (!m_protocol || m_state != Open)
        return false;
    return m_protocol->send(message);
}

bool IPCConn::send_encoded(IPCEncodedMessage &message)
{
    if (!m_protocol || m_state != Open)
        return false;
    return m_protocol->send_encoded(message);
}

bool IPCConn::authenticated() const
{
    return m_client ? m_client->authenticated() : false;
}

void IPCConn::send_keepalive()
{
    if (m_client && m_state == Open)
        m_client->send_keepalive();
}

void IPCConn::post_local(Message message)
{
    m_local.push_back(std::move(message));
    if (m_manager)
        m_manager->local_pending(this);
}

void IPCConn::deliver_local()
{
    // Each delivery may post more (a flush after it sends a queued request).
    while (!m_local.empty() && m_endpoint) {
        Message message = std::move(m_local.front());
        m_local.pop_front();
        deliver(message);
    }
    m_local.clear();
}

bool IPCConn::wants_write() const
{
    return m_state == Open && !m_tx.empty();
}

SendBuffer *IPCConn::send_buffer()
{
    // A failed connection sends nothing more; it closes on the next turn.
    return m_failed ? nullptr : &m_tx;
}

void IPCConn::send_appended(size_t)
{
    if (m_state == Open)
        on_writable(true);
    if (m_tx.overLimit()) {
        fail(SendBuffer::OverflowText);
        return;
    }
    if (m_manager)
        m_manager->update_interest(this);
}

void IPCConn::on_writable(bool)
{
    if (m_state != Open || m_handle == InvalidSocket)
        return;
    while (!m_tx.empty()) {
        size_t count = 0;
        int error = 0;
        IoStatus status = sendSome(m_handle, m_tx.data(), m_tx.size(), count, error);
        if (status == IoStatus::Done) {
            m_tx.consume(count);
            continue;
        }
        if (status == IoStatus::Closed)
            fail("short write");
        else if (status == IoStatus::Failed)
            fail(errorText(error));
        break;
    }
}

void IPCConn::on_readable(bool hangup)
{
    if (m_state != Open || m_handle == InvalidSocket)
        return;
    char buffer[ReadChunk];
    // After a hang-up, read everything still queued before reporting the
    // close, so the peer's last messages are not lost.
    for (;;) {
        size_t count = 0;
        int error = 0;
        IoStatus status = recvSome(m_handle, buffer, sizeof buffer, count, error);
        if (status == IoStatus::Done) {
            m_hangupStrikes = 0;
            if (m_protocol)
                m_protocol->receive_data(buffer, count);
            // The handlers may have failed or retired this connection.
            if (!hangup || m_failed || m_handle == InvalidSocket)
                return;
            continue;
        }
        if (status == IoStatus::Closed)
            fail(hangup ? "remote disconnect" : "short read");
        else if (status == IoStatus::Failed)
            fail(errorText(error));
        return;
    }
}

void IPCConn::close()
{
    IPCSocket::close();
    m_tx.clear();
    m_local.clear();
    set_state(Closed);
}

void IPCConn::fail(const std::string &reason)
{
    const bool first = !m_failed;
    IPCSocket::fail(reason);
    if (first && m_failed && m_endpoint)
        m_endpoint->on_connection_failed(m_failure);
}

void IPCConn::deliver(const Message &message)
{
    if (m_endpoint)
        m_endpoint->receive(message);
}

void IPCConn::frame_rejected(const std::string &reason)
{
    if (m_endpoint)
        m_endpoint->on_frame_rejected(reason);
}

IPCEndpointClient *IPCConn::client() const
{
    return m_endpoint ? m_endpoint->as_client() : nullptr;
}

unsigned IPCConn::protocol_version()
{
    IPCEndpointClient *c = client();
    return c ? c->protocol_version() : IPCProtocolHost::protocol_version();
}

void IPCConn::set_protocol_version(unsigned version)
{
    if (IPCEndpointClient *c = client())
        c->set_protocol_version(version);
}

std::string IPCConn::user_name()
{
    IPCEndpointClient *c = client();
    return c ? c->user_name() : IPCProtocolHost::user_name();
}

std::string IPCConn::password()
{
    IPCEndpointClient *c = client();
    return c ? c->password() : IPCProtocolHost::password();
}

void IPCConn::on_authenticated()
{
    if (IPCEndpointClient *c = client())
        c->on_authenticated();
}

void IPCConn::on_authentication_failed()
{
    if (IPCEndpointClient *c = client())
        c->on_authentication_failed();
}

void IPCConn::note_activity()
{
    if (IPCEndpointClient *c = client())
        c->note_activity();
}

void IPCConn::set_state(int state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (m_protocol)
        m_protocol->state_changed(state);
    if (m_endpoint)
        m_endpoint->connection_state_changed(state);
    if (m_manager && m_handle != InvalidSocket)
        m_manager->update_interest(this);
}

bool IPCConnStream::wants_write() const
{
    return m_state == Connecting || IPCConn::wants_write();
}

void IPCConnStream::on_writable(bool fromSend)
{
    if (m_state == Connecting) {
        if (fromSend || m_handle == InvalidSocket)
            return;
        int error = pendingError(m_handle);
        if (error != 0) {
            fail(errorText(error));
            return;
        }
        set_state(Open);
        // fall through: the handshake may have queued data already
    }
    IPCConn::on_writable(fromSend);
}

bool IPCConnStream::connect()
{
    if (m_handle != InvalidSocket)
        IPCSocket::close();
    m_lastAttempt = now();
    if (m_address.family == FamilyUnknown) {
        // An address that did not parse or resolve: fail like any connect.
        m_failed = false;
        if (m_hostName.empty())
            fail("invalid address");
        else
            fail(m_hostName + ": " + (m_resolveError.empty() ? std::string("host not resolved") : m_resolveError));
        return false;
    }
    int error = 0;
    SocketHandle handle = openTcpSocket(m_address.family, error);
    if (handle == InvalidSocket) {
        m_failed = false;
        fail(errorText(error));
        return false;
    }
    attach(handle, m_address);
    m_lastAttempt = m_lastOpen;
    if (m_manager)
        m_manager->register_socket(this);
    IoStatus status = startConnect(m_handle, m_address, error);
    if (status == IoStatus::Done) {
        set_state(Open);
    } else if (status == IoStatus::WouldBlock) {
        set_state(Connecting);
    } else {
        fail(errorText(error));
        return false;
    }
    if (m_manager)
        m_manager->update_interest(this);
    return true;
}
