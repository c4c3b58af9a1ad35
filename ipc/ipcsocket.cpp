#include "ipcsocket.h"

#include "ipcaddress.h"
#include "ipcmanager.h"
#include "logger.h"
#include "platform/clock.h"

IPCSocket::IPCSocket(IPCManager *manager)
    : m_manager(manager)
{
}

IPCSocket::~IPCSocket()
{
    if (m_handle != IpcPlatform::InvalidSocket) {
        if (m_manager)
            m_manager->unregister_socket(this);
        IpcPlatform::closeSocket(m_handle);
    }
}

uint64_t IPCSocket::now() const
{
    return m_manager ? m_manager->now_us() : IpcPlatform::monotonicMicros();
}

void IPCSocket::on_writable(bool)
{
}

void IPCSocket::on_readable(bool)
{
}

void IPCSocket::attach(IpcPlatform::SocketHandle handle, const IpcPlatform::SocketAddress &address)
{
    if (m_handle != IpcPlatform::InvalidSocket)
        close();
    m_failed = false;
    m_failure.clear();
    m_hangupStrikes = 0;
    m_handle = handle;
    m_lastOpen = now();
    if (&address != &m_address)
        m_address = address;
    m_addressText = IPCAddress::to_string(m_address);
}

bool IPCSocket::connect()
{
    fail("connect not supported");
    return false;
}

bool IPCSocket::connect(const IpcPlatform::SocketAddress &address)
{
    set_address(address, m_hostName);
    return connect();
}

void IPCSocket::close()
{
    if (m_handle != IpcPlatform::InvalidSocket) {
        if (m_manager)
            m_manager->unregister_socket(this);
        IpcPlatform::closeSocket(m_handle);
        m_handle = IpcPlatform::InvalidSocket;
    }
    m_lastAttempt = now();
}

void IPCSocket::fail(const std::string &reason)
{
    // The first reason is the cause; whatever follows is a consequence.
    if (m_failed)
        return;
    m_failed = true;
    m_failure = reason;
    IPC_LOG(LOGC_SOCKET, LOG_DEBUG, "socket %s failed: %s", m_addressText.c_str(), reason.c_str());
    if (m_manager)
        m_manager->socket_failed(this);
}

void IPCSocket::set_address(const IpcPlatform::SocketAddress &address, const std::string &hostName)
{
    m_address = address;
    m_hostName = hostName;
    m_addressText = IPCAddress::to_string(address);
}

void IPCSocket::set_read_paused(bool paused)
{
    m_readPaused = paused;
    if (m_manager)
        m_manager->update_interest(this);
}
