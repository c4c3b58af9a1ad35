#pragma once

#include "ipcmutex.h"

#include <QMutex>
#include <QThread>

#include <atomic>

/**
 * The manager's state lock: a non-recursive QMutex that knows its owner, so
 * code running inside the loop's dispatch (which holds it) can call back into
 * the transport without locking twice.
 */
class IQMutex final : public IPCMutex
{
public:
    void lock() override;
    void unlock() override;
    bool held_by_current_thread() const override
    {
        // Only the owning thread can have stored its own id here.
        return m_owner.load(std::memory_order_relaxed) == QThread::currentThreadId();
    }

private:
    QMutex m_mutex;
    std::atomic<Qt::HANDLE> m_owner{nullptr};
};
