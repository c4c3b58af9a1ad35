#pragma once

#include <string>

// Process-wide services the library's platform seam does not offer: raising
// the descriptor limit and turning SIGINT/SIGTERM into a clean stop.

namespace codecsim {
namespace process {

/** Raises the soft limit of open descriptors to the hard limit; returns the new soft limit (or -1). */
long raiseFileLimit(std::string &error);

/** Clock ticks per second of the CPU times in /proc/<pid>/stat. */
long clockTicksPerSecond();

/**
 * Calls @p onStop (from the signal handler: it must be async-signal-safe)
 * when SIGINT or SIGTERM arrives.
 */
bool onStopSignal(void (*onStop)(), std::string &error);

} // namespace process
} // namespace codecsim
