#include "net.h"

#include "syserror.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace IpcPlatform {

namespace {

socklen_t toSockaddr(const SocketAddress &a, sockaddr_storage &ss)
{
    std::memset(&ss, 0, sizeof ss);
    if (a.family == FamilyIPv6) {
        auto *sin6 = reinterpret_cast<sockaddr_in6 *>(&ss);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = htons(a.port);
        std::memcpy(&sin6->sin6_addr, a.bytes, 16);
        sin6->sin6_scope_id = a.scopeId;
        return sizeof(sockaddr_in6);
    }
    auto *sin = reinterpret_cast<sockaddr_in *>(&ss);
    sin->sin_family = AF_INET;
    sin->sin_port = htons(a.port);
    std::memcpy(&sin->sin_addr, a.bytes, 4);
    return sizeof(sockaddr_in);
}

void fromSockaddr(const sockaddr *sa, SocketAddress &out)
{
    out = SocketAddress();
    if (sa->sa_family == AF_INET6) {
        auto *sin6 = reinterpret_cast<const sockaddr_in6 *>(sa);
        out.family = FamilyIPv6;
        out.port = ntohs(sin6->sin6_port);
        std::memcpy(out.bytes, &sin6->sin6_addr, 16);
        out.scopeId = sin6->sin6_scope_id;
    } else if (sa->sa_family == AF_INET) {
        auto *sin = reinterpret_cast<const sockaddr_in *>(sa);
        out.family = FamilyIPv4;
        out.port = ntohs(sin->sin_port);
        std::memcpy(out.bytes, &sin->sin_addr, 4);
    }
}

int nativeFamily(AddressFamily f)
{
    return f == FamilyIPv6 ? AF_INET6 : AF_INET;
}

bool makeNonBlocking(SocketHandle s, int &error)
{
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
        error = errno;
        return false;
    }
    return true;
}

void setNoDelay(SocketHandle s)
{
    // Requests and answers are small and latency matters more than packing.
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

} // namespace

bool netStartup(std::string &error)
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_IGN;
    if (sigaction(SIGPIPE, &sa, nullptr) != 0) {
        error = errorText(errno);
        return false;
    }
    return true;
}

void netCleanup()
{
}

bool parseNumericHost(const std::string &text, AddressFamily family, SocketAddress &out)
{
    if (family == FamilyIPv6) {
        in6_addr a6;
        if (inet_pton(AF_INET6, text.c_str(), &a6) != 1)
            return false;
        out.family = FamilyIPv6;
        std::memcpy(out.bytes, &a6, 16);
        return true;
    }
    in_addr a4;
    if (inet_pton(AF_INET, text.c_str(), &a4) != 1)
        return false;
    out.family = FamilyIPv4;
    std::memset(out.bytes, 0, sizeof out.bytes);
    std::memcpy(out.bytes, &a4, 4);
    return true;
}

std::string formatNumericHost(const SocketAddress &address)
{
    char buffer[INET6_ADDRSTRLEN] = {0};
    if (address.family == FamilyIPv6) {
        if (!inet_ntop(AF_INET6, address.bytes, buffer, sizeof buffer))
            return std::string();
    } else if (address.family == FamilyIPv4) {
        if (!inet_ntop(AF_INET, address.bytes, buffer, sizeof buffer))
            return std::string();
    } else {
        return std::string();
    }
    return buffer;
}

bool resolveHost(const std::string &name, SocketAddress &out, std::string &error)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *result = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0 || !result) {
        error = rc == EAI_SYSTEM ? errorText(errno) : std::string(gai_strerror(rc));
        return false;
    }
    // Prefer IPv4: codecs are addressed over IPv4 first.
    const addrinfo *pick = result;
    for (const addrinfo *ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET) {
            pick = ai;
            break;
        }
    }
    uint16_t port = out.port;
    fromSockaddr(pick->ai_addr, out);
    out.port = port;
    freeaddrinfo(result);
    return out.family != FamilyUnknown;
}

SocketHandle openTcpSocket(AddressFamily family, int &error)
{
    SocketHandle s = ::socket(nativeFamily(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        error = errno;
        return InvalidSocket;
    }
    if (!makeNonBlocking(s, error)) {
        ::close(s);
        return InvalidSocket;
    }
    setNoDelay(s);
    return s;
}

IoStatus startConnect(SocketHandle s, const SocketAddress &address, int &error)
{
    sockaddr_storage ss;
    socklen_t len = toSockaddr(address, ss);
    if (::connect(s, reinterpret_cast<sockaddr *>(&ss), len) == 0)
        return IoStatus::Done;
    error = errno;
    if (isTransientError(error))
        return IoStatus::WouldBlock;
    return IoStatus::Failed;
}

int pendingError(SocketHandle s)
{
    int value = 0;
    socklen_t len = sizeof value;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &value, &len) != 0)
        return errno;
    return value;
}

IoStatus sendSome(SocketHandle s, const char *data, size_t size, size_t &count, int &error)
{
    count = 0;
    for (;;) {
        ssize_t n = ::send(s, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            count = static_cast<size_t>(n);
            return IoStatus::Done;
        }
        if (n == 0)
            return IoStatus::Closed;
        error = errno;
        if (error == EINTR)
            continue;
        return isTransientError(error) ? IoStatus::WouldBlock : IoStatus::Failed;
    }
}

IoStatus recvSome(SocketHandle s, char *data, size_t size, size_t &count, int &error)
{
    count = 0;
    for (;;) {
        ssize_t n = ::recv(s, data, size, 0);
        if (n > 0) {
            count = static_cast<size_t>(n);
            return IoStatus::Done;
        }
        if (n == 0)
            return IoStatus::Closed;
        error = errno;
        if (error == EINTR)
            continue;
        return isTransientError(error) ? IoStatus::WouldBlock : IoStatus::Failed;
    }
}

void closeSocket(SocketHandle s)
{
    if (s != InvalidSocket)
        ::close(s);
}

bool isTransientError(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == EINPROGRESS;
}

SocketHandle listenTcp(const SocketAddress &address, int backlog, int &error)
{
    SocketHandle s = ::socket(nativeFamily(address.family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        error = errno;
        return InvalidSocket;
    }
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage ss;
    socklen_t len = toSockaddr(address, ss);
    if (::bind(s, reinterpret_cast<sockaddr *>(&ss), len) != 0 || ::listen(s, backlog) != 0) {
        error = errno;
        ::close(s);
        return InvalidSocket;
    }
    if (!makeNonBlocking(s, error)) {
        ::close(s);
        return InvalidSocket;
    }
    return s;
}

SocketHandle acceptConnection(SocketHandle listener, SocketAddress *peer, int &error)
{
    sockaddr_storage ss;
    socklen_t len = sizeof ss;
    SocketHandle s = ::accept4(listener, reinterpret_cast<sockaddr *>(&ss), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0) {
        error = errno;
        return InvalidSocket;
    }
    setNoDelay(s);
    if (peer)
        fromSockaddr(reinterpret_cast<sockaddr *>(&ss), *peer);
    return s;
}

bool localAddress(SocketHandle s, SocketAddress &out)
{
    sockaddr_storage ss;
    socklen_t len = sizeof ss;
    if (getsockname(s, reinterpret_cast<sockaddr *>(&ss), &len) != 0)
        return false;
    fromSockaddr(reinterpret_cast<sockaddr *>(&ss), out);
    return true;
}

} // namespace IpcPlatform
