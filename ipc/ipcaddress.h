#pragma once

#include "platform/net.h"

#include <string>

/**
 * Address texts of the transport: "10.0.0.5:8080", "10.0.0.5" (port 0),
 * "[::1]:8080", "::1". A text that begins with '[' or holds two or more
 * colons is IPv6; anything else is IPv4 with an optional port.
 */
namespace IPCAddress {

/**
 * Parses @p text into @p out without name resolution. When the host part is
 * not a numeric address, @p out keeps family unknown (and the port, when one
 * was given) and @p host receives the host part, so the caller can resolve it
 * off the loop thread. Returns true for a numeric address.
 */
bool parse(const std::string &text, IpcPlatform::SocketAddress &out, std::string *host = nullptr);

/** "10.0.0.5:8080", "[::1]:8080", or "(unknown)" for any other family. */
std::string to_string(const IpcPlatform::SocketAddress &address);

} // namespace IPCAddress
