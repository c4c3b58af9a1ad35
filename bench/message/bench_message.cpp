// get_child(name, n) must cost the same on a node with 10 children as on one
// with 100,000: lookups go through the name index, not a scan. The scan below
// is the reference it must beat.

#include "message.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const char *const kNames[] = {"peer", "profile", "channel", "codec", "stat", "tunnel", "conn", "option"};
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];

// A node with @p count children whose names cycle through kNames.
const Message &nodeWith(int count)
{
    static std::map<int, std::unique_ptr<Message>> cache;
    auto &slot = cache[count];
    if (!slot) {
        slot = std::make_unique<Message>("list");
        for (int i = 0; i < count; ++i)
            slot->add_child(kNames[i % kNameCount]).set_int("row", i);
    }
    return *slot;
}

// Lookups spread over every name and over the whole range of n.
std::vector<std::pair<std::string, int>> lookups(int count)
{
    std::mt19937 rng(1234);
    std::vector<std::pair<std::string, int>> out;
    for (int i = 0; i < 4096; ++i) {
        const int name = static_cast<int>(rng() % kNameCount);
        const int perName = (count - name + kNameCount - 1) / kNameCount;
        out.emplace_back(kNames[name], static_cast<int>(rng() % static_cast<unsigned>(perName)));
    }
    return out;
}

void BM_GetChildByName(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const Message &node = nodeWith(count);
    const auto keys = lookups(count);
    size_t i = 0;
    for (auto _ : state) {
        const auto &key = keys[i++ & 4095];
        benchmark::DoNotOptimize(&node.get_child(key.first, key.second));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_GetChildLastOfName(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const Message &node = nodeWith(count);
    const int last = node.child_count("peer") - 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(&node.get_child("peer", last));
    state.SetItemsProcessed(state.iterations());
}

// What a lookup would cost without the index: walk the rows counting matches.
void BM_ScanReference(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const Message &node = nodeWith(count);
    const auto keys = lookups(count);
    size_t i = 0;
    for (auto _ : state) {
        const auto &key = keys[i++ & 4095];
        const Message *found = nullptr;
        int seen = 0;
        for (int row = 0; row < node.child_count(); ++row) {
            const Message &child = node.get_child(row);
            if (child.name() == key.first && seen++ == key.second) {
                found = &child;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_GetChildByName)->RangeMultiplier(10)->Range(10, 100000);
BENCHMARK(BM_GetChildLastOfName)->RangeMultiplier(10)->Range(10, 100000);
BENCHMARK(BM_ScanReference)->RangeMultiplier(10)->Range(10, 100000);

BENCHMARK_MAIN();
