#pragma once

#include "net.h"

#include <memory>
#include <string>

namespace IpcPlatform {

/**
 * Readiness wait over any number of sockets plus a wake signal that any
 * thread may raise. Interest is registered once and changed when it changes,
 * so a turn costs in proportion to the sockets that are ready, not to all.
 */
class Poller
{
public:
    enum Interest : unsigned {
        WantRead = 1,
        WantWrite = 2,
    };
    enum Ready : unsigned {
        Readable = 1,
        Writable = 2,
        Hangup = 4, ///< the peer closed its side (data may still be waiting to be read)
        Error = 8,  ///< the socket has a pending error (read it with pendingError)
    };
    struct Event {
        void *tag;
        unsigned ready;
    };

    /** The best backend of this system. Null with @p error when it cannot be created. */
    static std::unique_ptr<Poller> create(std::string &error);

    virtual ~Poller() = default;
    virtual const char *backendName() const = 0;

    /** Starts watching @p s; hang-up and error are always reported. */
    virtual bool add(SocketHandle s, unsigned interest, void *tag, int &error) = 0;
    virtual bool modify(SocketHandle s, unsigned interest, void *tag, int &error) = 0;
    /** Stops watching @p s; call before closing it. */
    virtual void remove(SocketHandle s) = 0;

    /**
     * Waits up to @p timeoutMs milliseconds (negative: no limit) for readiness
     * or a wake. Returns the number of events written, 0 on time-out or wake,
     * -1 on failure with @p error.
     */
    virtual int wait(Event *events, int capacity, int timeoutMs, int &error) = 0;

    /** Makes the current or next wait return; safe from any thread, coalesces. */
    virtual void wake() = 0;
};

} // namespace IpcPlatform
