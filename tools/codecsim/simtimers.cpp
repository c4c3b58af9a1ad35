#include "simtimers.h"

namespace codecsim {

TimerQueue::Id TimerQueue::addOnce(uint64_t dueMicros, Callback callback)
{
    Id id = m_nextId++;
    m_timers[id] = Timer{std::move(callback), 0, dueMicros};
    m_heap.push(Entry{dueMicros, id});
    return id;
}

TimerQueue::Id TimerQueue::addPeriodic(uint64_t firstMicros, uint64_t intervalMicros, Callback callback)
{
    Id id = m_nextId++;
    m_timers[id] = Timer{std::move(callback), intervalMicros ? intervalMicros : 1, firstMicros};
    m_heap.push(Entry{firstMicros, id});
    return id;
}

void TimerQueue::cancel(Id id)
{
    m_timers.erase(id);
}

void TimerQueue::dropCancelledTop()
{
    while (!m_heap.empty()) {
        auto it = m_timers.find(m_heap.top().id);
        // an entry left behind by a cancel, or a stale one of a re-armed timer
        if (it == m_timers.end() || it->second.due != m_heap.top().due)
            m_heap.pop();
        else
            break;
    }
}

int TimerQueue::msUntilNext(uint64_t nowMicros)
{
    dropCancelledTop();
    if (m_heap.empty())
        return -1;
    uint64_t due = m_heap.top().due;
    if (due <= nowMicros)
        return 0;
    // round up, so the wait never ends just before the timer is due
    uint64_t ms = (due - nowMicros + 999) / 1000;
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}

void TimerQueue::runDue(uint64_t nowMicros)
{
    for (;;) {
        dropCancelledTop();
        if (m_heap.empty() || m_heap.top().due > nowMicros)
            return;
        Entry entry = m_heap.top();
        m_heap.pop();
        auto it = m_timers.find(entry.id);
        // The callback is moved out while it runs: it may add timers or cancel itself.
        Callback callback = std::move(it->second.callback);
        uint64_t interval = it->second.interval;
        if (interval == 0)
            m_timers.erase(it);
        callback();
        if (interval == 0)
            continue;
        it = m_timers.find(entry.id);
        if (it == m_timers.end())
            continue;
        it->second.callback = std::move(callback);
        uint64_t next = entry.due + interval;
        // a loop that fell far behind does not fire a burst to catch up
        if (next + interval < nowMicros)
            next = nowMicros + interval;
        it->second.due = next;
        m_heap.push(Entry{next, entry.id});
    }
}

} // namespace codecsim
