#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace codecsim {

/** A small deterministic generator (splitmix64): the data set must not depend on the library's. */
class Random
{
public:
    explicit Random(uint64_t seed = 0)
        : m_state(seed)
    {
    }

    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    /** A number in [lo, hi]. */
    int range(int lo, int hi)
    {
        if (hi <= lo)
            return lo;
        return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1));
    }
    /** A number in [0, 1). */
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    bool chance(double p) { return unit() < p; }
    template <typename T>
    const T &pick(const std::vector<T> &items) { return items[next() % items.size()]; }

    /** Mixes a seed and an index into an independent stream seed. */
    static uint64_t mix(uint64_t seed, uint64_t index)
    {
        Random r(seed * 0x100000001B3ULL ^ (index + 0x51ED27ULL));
        r.next();
        return r.next();
    }

private:
    uint64_t m_state;
};

} // namespace codecsim
