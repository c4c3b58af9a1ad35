#pragma once

#include "logger.h"

// The simulator's log lines: the library logger's simulator category.
#define SIM_LOG(level, ...) IPC_LOG(LOGC_SIMULATOR, (level), __VA_ARGS__)
