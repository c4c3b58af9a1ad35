// The compact decoder on arbitrary bytes: decoding at an offset and through
// parse() with the 0x00 format byte. Whatever decodes must encode again and
// decode to an equal tree; whatever does not must fail with Exception only.
//
// Input: one byte giving the offset (modulo the size), then the buffer.

#include "exception.h"
#include "fuzzquiet.h"
#include "message.h"
#include "messagecodec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void roundTrip(const Message &m)
{
    std::string bytes;
    try {
        m.serialize(bytes, Message::Compact);
    } catch (const Exception &) {
        return; // beyond the 16-bit fields; cannot come from a decoded buffer
    }
    Message again;
    if (again.parse(bytes) != Message::Compact || again != m)
        std::abort();
    // the XML writer must cope with any name or value the decoder accepts
    std::string xml;
    m.serialize(xml, Message::Xml);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    silenceLogsOnce();
    if (size < 1)
        return 0;
    const char *buf = reinterpret_cast<const char *>(data + 1);
    const size_t len = size - 1;
    const size_t offset = len ? data[0] % (len + 1) : 0;

    Message node;
    try {
        const size_t next = MessageCodec::readCompact(node, buf, offset, len);
        if (next < offset || next > len)
            std::abort();
        roundTrip(node);
    } catch (const Exception &e) {
        if (!std::strstr(e.what(), "message too short") && !std::strstr(e.what(), "nested deeper"))
            std::abort();
    }

    std::string framed(1, '\0');
    framed.append(buf, len);
    Message parsed;
    try {
        if (parsed.parse(framed) != Message::Compact)
            std::abort();
        roundTrip(parsed);
    } catch (const Exception &e) {
        if (!std::strstr(e.what(), "message too short") && !std::strstr(e.what(), "nested deeper"))
            std::abort();
    }
    return 0;
}
