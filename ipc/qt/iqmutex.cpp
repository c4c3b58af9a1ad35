#include "iqmutex.h"

// QMutex's slow path lives in the uninstrumented Qt library, so the thread
// sanitizer cannot see it order memory. Tell it directly.
#if defined(__SANITIZE_THREAD__)
#define IQ_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define IQ_TSAN 1
#endif
#endif

#ifdef IQ_TSAN
#include <sanitizer/tsan_interface.h>
#endif

void IQMutex::lock()
{
    m_mutex.lock();
#ifdef IQ_TSAN
    __tsan_acquire(&m_mutex);
#endif
    m_owner.store(QThread::currentThreadId(), std::memory_order_relaxed);
}

void IQMutex::unlock()
{
    m_owner.store(nullptr, std::memory_order_relaxed);
#ifdef IQ_TSAN
    __tsan_release(&m_mutex);
#endif
    m_mutex.unlock();
}
