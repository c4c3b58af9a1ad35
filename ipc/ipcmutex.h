#pragma once

/**
 * The lock behind the manager's state-lock hook. The loop thread holds it
 * while it dispatches socket events, and endpoint callbacks run inside that
 * dispatch; a callback that calls back into the transport (send, subscribe,
 * connect) must not lock it a second time, so the lock can tell whether the
 * calling thread already holds it.
 */
class IPCMutex
{
public:
    virtual ~IPCMutex() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
    /** True when the calling thread holds the lock. */
    virtual bool held_by_current_thread() const = 0;
};

/**
 * Scoped state lock: takes @p mutex unless it is null or the calling thread
 * already holds it, and releases only what it took.
 */
class IPCLockGuard
{
public:
    explicit IPCLockGuard(IPCMutex *mutex)
        : m_mutex(mutex && !mutex->held_by_current_thread() ? mutex : nullptr)
    {
        if (m_mutex)
            m_mutex->lock();
    }
    ~IPCLockGuard()
    {
        if (m_mutex)
            m_mutex->unlock();
    }
    IPCLockGuard(const IPCLockGuard &) = delete;
    IPCLockGuard &operator=(const IPCLockGuard &) = delete;

private:
    IPCMutex *m_mutex;
};
