#include "host/process.h"

#include "platform/syserror.h"

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace codecsim {
namespace process {

namespace {

void (*g_onStop)() = nullptr;

extern "C" void handleStop(int)
{
    if (g_onStop)
        g_onStop();
}

} // namespace

long raiseFileLimit(std::string &error)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        error = IpcPlatform::errorText(errno);
        return -1;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            error = IpcPlatform::errorText(errno);
            return -1;
        }
    }
    return limit.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(limit.rlim_cur);
}

long clockTicksPerSecond()
{
    const long ticks = sysconf(_SC_CLK_TCK);
    return ticks > 0 ? ticks : 100;
}

bool onStopSignal(void (*onStop)(), std::string &error)
{
    g_onStop = onStop;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = handleStop;
    sigemptyset(&sa.sa_mask);
    if (sigaction(SIGINT, &sa, nullptr) != 0 || sigaction(SIGTERM, &sa, nullptr) != 0) {
        error = IpcPlatform::errorText(errno);
        return false;
    }
    return true;
}

} // namespace process
} // namespace codecsim
