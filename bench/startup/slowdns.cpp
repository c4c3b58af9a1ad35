// LD_PRELOAD shim for the start-up benchmark: host names under ".invalid"
// (which never resolve) take QV_SLOWDNS_MS milliseconds (default 5000) to
// fail, as a lookup behind an unreachable name server would; every other
// name goes to the C library. Nothing leaves the machine.

#include <dlfcn.h>
#include <netdb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern "C" int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                           struct addrinfo **res)
{
    static const char suffix[] = ".invalid";
    const size_t n = node ? std::strlen(node) : 0;
    if (n >= sizeof suffix - 1 && std::strcmp(node + n - (sizeof suffix - 1), suffix) == 0) {
        const char *env = std::getenv("QV_SLOWDNS_MS");
        const long ms = env ? std::atol(env) : 5000;
        std::fprintf(stderr, "slowdns: looking up %s for %ld ms\n", node, ms);
        std::fflush(stderr);
        timespec t{ms / 1000, (ms % 1000) * 1000000L};
        while (nanosleep(&t, &t) != 0) {
        }
        return EAI_NONAME;
    }
    using Real = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
    auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real ? real(node, service, hints, res) : EAI_FAIL;
}
