#pragma once

#include <cstdint>
#include <functional>
#include <queue>
#include <unordered_map>
#include <vector>

namespace codecsim {

/**
 * One-shot and periodic timers of the loop thread on a binary heap.
 * Cancelling only forgets the callback; its heap entry is skipped when it
 * comes up, so cancel is O(1) and the heap never needs a search.
 */
class TimerQueue
{
public:
    using Callback = std::function<void()>;
    using Id = uint64_t;

    /** Runs @p callback once at @p dueMicros (monotonic). */
    Id addOnce(uint64_t dueMicros, Callback callback);
    /** Runs @p callback at @p firstMicros and then every @p intervalMicros (at least 1). */
    Id addPeriodic(uint64_t firstMicros, uint64_t intervalMicros, Callback callback);
    /** Forgets a timer; unknown or zero ids are ignored. Safe from inside any callback. */
    void cancel(Id id);
    bool active(Id id) const { return m_timers.count(id) != 0; }

    /** Milliseconds until the next timer is due (0 when one is due), -1 when there is none. */
    int msUntilNext(uint64_t nowMicros);
    /** Runs every timer due at @p nowMicros. */
    void runDue(uint64_t nowMicros);

    size_t size() const { return m_timers.size(); }

private:
    struct Timer {
        Callback callback;
        uint64_t interval = 0;
        uint64_t due = 0;
    };
    struct Entry {
        uint64_t due;
        Id id;
        bool operator>(const Entry &o) const { return due != o.due ? due > o.due : id > o.id; }
    };

    void dropCancelledTop();

    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> m_heap;
    std::unordered_map<Id, Timer> m_timers;
    Id m_nextId = 1;
};

} // namespace codecsim
