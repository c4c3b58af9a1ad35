// Feeds arbitrary chunk sequences to the "xmls" receive operation.
//
// Input: one flags byte, then chunks, each a length byte followed by that many
// bytes (the last chunk takes what is left). The host records deliveries and,
// as the flags say, throws from deliver, fails the connection, sends back from
// inside the handler, or feeds bytes re-entrantly.
//
// Oracle: however the bytes were cut, every delivered message equals the parse
// of the matching 0x00-terminated stretch of the whole input, in order.

#include "exception.h"
#include "fuzzquiet.h"
#include "ipcprotocol.h"
#include "message.h"
#include "sendbuffer.h"

#include <QString>
#include <QTextCodec>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Host : IPCProtocolHost {
    IPCProtocolXMLS *protocol = nullptr;
    uint8_t flags = 0;
    std::vector<Message> delivered;
    std::vector<std::string> failures;
    SendBuffer sent{1 << 16};
    int depth = 0;

    void fail(const std::string &reason) override { failures.push_back(reason); }

    SendBuffer *send_buffer() override { return &sent; }

    void send_appended(size_t size) override
    {
        if (sent.overLimit()) {
            sent.dropBack(size);
            fail(SendBuffer::OverflowText);
        }
        // keep the buffer bounded, as a socket that drains would
        if (sent.size() > 4096)
            sent.consume(sent.size() / 2);
    }

    void deliver(const Message &message) override
    {
        delivered.push_back(message);
        const size_t n = delivered.size();
        if ((flags & 0x01) && n % 3 == 1)
            throw Exception("deliver: refused #%zu", n);
        if ((flags & 0x02) && n % 2 == 0)
            fail("handler failed");
        if ((flags & 0x04) && depth < 2) {
            ++depth;
            protocol->send(message);
            --depth;
        }
        if ((flags & 0x08) && n == 2)
            throw std::runtime_error("plain standard exception");
    }
};

// A frame that does not read and is not UTF-8 is read again as ISO-8859-1.
Message parseStretch(const char *data, size_t size, bool &threw)
{
    Message m;
    threw = false;
    try {
        std::string error;
        if (IPCProtocolXMLS::read_frame(data, size, m, error))
            return m;
        QTextCodec::ConverterState state;
        QTextCodec::codecForName("UTF-8")->toUnicode(data, static_cast<int>(size), &state);
        if (state.invalidChars == 0)
            return m;
        const QByteArray utf8 = QString::fromLatin1(data, static_cast<int>(size)).toUtf8();
        Message again;
        if (IPCProtocolXMLS::read_frame(utf8.constData(), static_cast<size_t>(utf8.size()), again, error))
            return again;
    } catch (const std::exception &) {
        threw = true;
    }
    return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    silenceLogsOnce();
    if (size < 1)
        return 0;
    Host host;
    host.flags = data[0];
    IPCProtocolXMLS protocol(&host);
    host.protocol = &protocol;

    std::string whole;
    size_t pos = 1;
    while (pos < size) {
        size_t len = data[pos++];
        if (len > size - pos)
            len = size - pos;
        whole.append(reinterpret_cast<const char *>(data + pos), len);
        protocol.receive_data(reinterpret_cast<const char *>(data + pos), len);
        pos += len;
        if (protocol.buffered() > IPCProtocolXMLS::BufferLimit)
            std::abort();
    }

    // The oracle: split the whole input at every 0x00.
    std::vector<Message> expected;
    size_t start = 0;
    size_t throws = 0;
    for (;;) {
        const size_t end = whole.find('\0', start);
        if (end == std::string::npos)
            break;
        bool threw = false;
        Message m = parseStretch(whole.data() + start, end - start, threw);
        if (threw)
            ++throws; // a parse failure delivers nothing
        else
            expected.push_back(std::move(m));
        start = end + 1;
    }
    if (protocol.buffered() != whole.size() - start)
        std::abort();
    if (expected.size() != host.delivered.size())
        std::abort();
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != host.delivered[i])
            std::abort();
    }
    if ((host.flags & 0x0F) == 0 && host.failures.size() != throws)
        std::abort();
    return 0;
}
