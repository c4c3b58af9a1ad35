#pragma once

#include "platform/net.h"

#include <cstdint>
#include <string>

class IPCManager;
class IPCEndpoint;

/**
 * Base of every socket of the manager: the handle, the peer address, the
 * failure record and the timing the reconnect rule needs.
 *
 * Failures are data, not control flow: fail() records the first reason,
 * logs it and wakes the loop, which closes the socket on its next turn, never
 * in the middle of a handler. Everything here runs under the manager's state
 * lock.
 */
class IPCSocket
{
public:
    explicit IPCSocket(IPCManager *manager);
    virtual ~IPCSocket();
    IPCSocket(const IPCSocket &) = delete;
    IPCSocket &operator=(const IPCSocket &) = delete;

    virtual bool wants_write() const { return false; }
    virtual bool wants_read() const { return !m_readPaused; }
    /** The socket is writable; @p fromSend when called right after queueing data. */
    virtual void on_writable(bool fromSend);
    /** The socket is readable; with @p hangup the peer has closed: read what is left. */
    virtual void on_readable(bool hangup);
    /** Takes @p handle (non-blocking) for @p address; an old handle is closed first. */
    virtual void attach(IpcPlatform::SocketHandle handle, const IpcPlatform::SocketAddress &address);
    /** Connects to the stored address; false when it failed at once. */
    virtual bool connect();
    bool connect(const IpcPlatform::SocketAddress &address);
    /** Closes the handle (if any) and records the close time. */
    virtual void close();

    /** Records a failure (only the first one counts until the next attach). */
    virtual void fail(const std::string &reason);
    bool failed() const { return m_failed; }
    const std::string &failure() const { return m_failure; }

    const IpcPlatform::SocketAddress &address() const { return m_address; }
    const std::string &address_text() const { return m_addressText; }
    /** Stores the address to connect to (and the host name it came from, if any). */
    void set_address(const IpcPlatform::SocketAddress &address, const std::string &hostName = std::string());
    const std::string &host_name() const { return m_hostName; }
    /** Why the host name did not resolve (reported by the next connect). */
    void set_resolve_error(const std::string &error) { m_resolveError = error; }

    IpcPlatform::SocketHandle handle() const { return m_handle; }
    bool has_socket() const { return m_handle != IpcPlatform::InvalidSocket; }

    /** Time of the last close or connect attempt (manager clock, microseconds). */
    uint64_t last_attempt() const { return m_lastAttempt; }
    void set_last_attempt(uint64_t t) { m_lastAttempt = t; }
    uint64_t last_open() const { return m_lastOpen; }

    bool read_paused() const { return m_readPaused; }
    void set_read_paused(bool paused);

    IPCManager *manager() const { return m_manager; }

protected:
    uint64_t now() const;

    IPCManager *m_manager;
    IpcPlatform::SocketHandle m_handle = IpcPlatform::InvalidSocket;
    IpcPlatform::SocketAddress m_address;
    std::string m_addressText = "(unknown)";
    std::string m_hostName;
    std::string m_resolveError;
    std::string m_failure;
    bool m_failed = false;
    bool m_readPaused = false;
    int m_hangupStrikes = 0; // hang-up reports not (yet) confirmed by a read
    uint64_t m_lastAttempt = 0;
    uint64_t m_lastOpen = 0;

private:
    friend class IPCManager;
    // Bookkeeping of the manager (under its lock).
    unsigned m_interest = 0;       // interest registered with the poller
    bool m_registered = false;     // handle is in the poller
    bool m_pendingClose = false;   // in the manager's list of failed sockets
    bool m_inClosedSet = false;    // waiting for a reconnect
    bool m_retired = false;        // detached; deleted after the current dispatch
    bool m_resolving = false;      // host name lookup in flight
    bool m_hasLocal = false;       // in the manager's list of local deliveries
};
