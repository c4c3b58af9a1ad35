#pragma once

#include <cstdint>

namespace IpcPlatform {

/** Monotonic time in microseconds (64-bit); only differences are meaningful. */
uint64_t monotonicMicros();

/** Blocks the calling thread for @p ms milliseconds. */
void sleepMillis(int ms);

} // namespace IpcPlatform
