#include "ipcaddress.h"

#include <algorithm>

namespace IPCAddress {

namespace {

// Decimal port; false for anything else, including values above 65535.
bool parsePort(const std::string &text, uint16_t &port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

} // namespace

bool parse(const std::string &text, IpcPlatform::SocketAddress &out, std::string *host)
{
    using namespace IpcPlatform;
    out = SocketAddress();
    if (host)
        host->clear();

    std::string hostPart;
    std::string portPart;
    AddressFamily family = FamilyIPv4;

    const size_t colons = static_cast<size_t>(std::count(text.begin(), text.end(), ':'));
    if (!text.empty() && text[0] == '[') {
        family = FamilyIPv6;
        size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        hostPart = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return false;
            portPart = rest.substr(1);
        }
    } else if (colons >= 2) {
        family = FamilyIPv6;
        hostPart = text;
    } else {
        size_t colon = text.find(':');
        hostPart = text.substr(0, colon);
        if (colon != std::string::npos)
            portPart = text.substr(colon + 1);
    }

    uint16_t port = 0;
    if (!portPart.empty() && !parsePort(portPart, port))
        return false;
    out.port = port;

    if (parseNumericHost(hostPart, family, out))
        return true;
    out.family = FamilyUnknown;
    if (host && family == FamilyIPv4)
        *host = hostPart;
    return false;
}

std::string to_string(const IpcPlatform::SocketAddress &address)
{
    using namespace IpcPlatform;
    std::string host = formatNumericHost(address);
    if (host.empty())
        return "(unknown)";
    std::string port = std::to_string(address.port);
    if (address.family == FamilyIPv6)
        return "[" + host + "]:" + port;
    return host + ":" + port;
}

} // namespace IPCAddress
