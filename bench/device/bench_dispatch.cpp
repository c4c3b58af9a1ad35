// One message through the device session's dispatch, on the session's own
// thread (the slot is called directly): key, cache store, slot lookup and
// call, required list. "allocs" counts heap allocations per message: a levels
// notice costs the one shared copy of the message and nothing else.

#include "ipcobject.h"
#include "iqcommonapp.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> g_allocations{0};

class Session : public IPCObject
{
public:
    using IPCObject::IPCObject;
    using IPCObject::handleResponse;
    using IPCObject::handleUnsolicited;
};

Message parsed(const char *xml)
{
    Message m;
    m.parse(xml, std::char_traits<char>::length(xml));
    return m;
}

void run(benchmark::State &state, const Message &message, bool response)
{
    Session session(QUuid::createUuid());
    long levels = 0;
    QObject::connect(&session, &IPCObject::recvLevels, [&levels](float, float, float, float) { ++levels; });
    // The first one fills the slot lookups.
    response ? session.handleResponse(message) : session.handleUnsolicited(message);
    const long before = g_allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        if (response)
            session.handleResponse(message);
        else
            session.handleUnsolicited(message);
    }
    const long allocations = g_allocations.load(std::memory_order_relaxed) - before;
    state.counters["allocs"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
    benchmark::DoNotOptimize(levels);
}

void BM_LevelsNotice(benchmark::State &state)
{
    static const Message notice = parsed(
        "<unso id=\"metering\"><levels rmlf=\"-20.5\" rmrf=\"-21.5\" tmlf=\"-12.0\" tmrf=\"-12.5\" rmls=\"-30.0\" "
        "rmrs=\"-31.0\" tmls=\"-14.0\" tmrs=\"-14.5\"/></unso>");
    run(state, notice, false);
}
BENCHMARK(BM_LevelsNotice);

void BM_Answer(benchmark::State &state)
{
    static const Message answer = parsed("<resp seq=\"sysOptions\" unit_name=\"Studio 4\" dhcp=\"true\"/>");
    run(state, answer, true);
}
BENCHMARK(BM_Answer);

void BM_PushedRecord(benchmark::State &state)
{
    static const Message push = parsed("<unso id=\"unso\"><sysOptions unit_name=\"Studio 4\"/></unso>");
    run(state, push, false);
}
BENCHMARK(BM_PushedRecord);

} // namespace

void *operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registerDeviceMetaTypes();
    IQCommonApp common; // the sessions' manager, never started: nothing is sent
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
