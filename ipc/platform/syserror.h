#pragma once

#include <string>

namespace IpcPlatform {

/** The system's text for an error number (thread-safe). */
std::string errorText(int code);

/** The calling thread's last system error number, read right after a failing call. */
int lastError();

} // namespace IpcPlatform
