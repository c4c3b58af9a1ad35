#include "syserror.h"

#include <cerrno>
#include <cstring>

namespace {

// strerror_r has two signatures; pick whichever the C library declares.
[[maybe_unused]] const char *pick(int result, const char *buffer)
{
    return result == 0 ? buffer : nullptr;
}

[[maybe_unused]] const char *pick(const char *result, const char *)
{
    return result;
}

} // namespace

std::string IpcPlatform::errorText(int code)
{
    char buffer[256];
    buffer[0] = '\0';
    const char *text = pick(strerror_r(code, buffer, sizeof buffer), buffer);
    if (!text || !*text)
        return "Unknown error " + std::to_string(code);
    return text;
}

int IpcPlatform::lastError()
{
    return errno;
}
