#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The socket layer behind one seam: plain types in, plain types out, so a
// backend for another system can stand beside the POSIX one.

namespace IpcPlatform {

using SocketHandle = int;
constexpr SocketHandle InvalidSocket = -1;

enum AddressFamily : int {
    FamilyUnknown = 0,
    FamilyIPv4 = 4,
    FamilyIPv6 = 6,
};

/** A numeric socket address: family, port and the raw address bytes (network order). */
struct SocketAddress {
    AddressFamily family = FamilyUnknown;
    uint16_t port = 0;
    uint8_t bytes[16] = {};
    uint32_t scopeId = 0;
};

/** Socket layer start-up: makes writes to a closed peer an error, not a signal. */
bool netStartup(std::string &error);
void netCleanup();

/** Parses a numeric address without its port ("10.0.0.5", "::1"); false when it is not one. */
bool parseNumericHost(const std::string &text, AddressFamily family, SocketAddress &out);
/** The numeric text of the address bytes, without the port. */
std::string formatNumericHost(const SocketAddress &address);
/**
 * Looks a host name up (blocking; never call it on the loop thread). Fills
 * the address bytes and family of @p out, keeping its port.
 */
bool resolveHost(const std::string &name, SocketAddress &out, std::string &error);

enum class IoStatus {
    Done,       ///< the call did its work (count holds the bytes moved)
    WouldBlock, ///< try again on the next readiness event
    Closed,     ///< the peer closed (a read of 0 bytes) or a write moved nothing
    Failed,     ///< a real error: see the error number
};

/** Creates a non-blocking TCP socket for the family; InvalidSocket and @p error on failure. */
SocketHandle openTcpSocket(AddressFamily family, int &error);
/** Starts a non-blocking connect. Done: connected at once; WouldBlock: in progress. */
IoStatus startConnect(SocketHandle s, const SocketAddress &address, int &error);
/** The pending error of a socket (SO_ERROR), 0 when none. */
int pendingError(SocketHandle s);
IoStatus sendSome(SocketHandle s, const char *data, size_t size, size_t &count, int &error);
IoStatus recvSome(SocketHandle s, char *data, size_t size, size_t &count, int &error);
void closeSocket(SocketHandle s);
/** Would-block and interrupted results are never failures. */
bool isTransientError(int error);

/** A listening, non-blocking TCP socket bound to @p address (port 0 picks one). */
SocketHandle listenTcp(const SocketAddress &address, int backlog, int &error);
/** Accepts one pending connection (non-blocking); InvalidSocket with WouldBlock-type error when none. */
SocketHandle acceptConnection(SocketHandle listener, SocketAddress *peer, int &error);
/** The local address of a bound socket. */
bool localAddress(SocketHandle s, SocketAddress &out);

} // namespace IpcPlatform
