// Message::parse on arbitrary bytes (XML, compact or anything else), then the
// encoders on whatever came out:
// - the wire form equals the document form with its declaration stripped,
//   without the writer's final line feed and without 0x00 bytes (the wire
//   writer is a reused one);
// - the XML text of a parsed tree reads back into the same tree, apart from
//   values, which the XML form does not carry;
// - the direct UTF-16 to UTF-8 conversion agrees with QString::toUtf8;
// - the reused per-thread reader reads a document as a fresh one does, whatever
//   document it read before (the input is cut in two at its first 0x00).

#include "exception.h"
#include "fuzzquiet.h"
#include "ipcprotocol.h"
#include "message.h"
#include "messagecodec.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void clearValues(Message &m)
{
    m.setValue(std::string());
    for (int i = 0; i < m.child_count(); ++i)
        clearValues(m.get_child(i));
}

void checkUtf8(const uint8_t *data, size_t size)
{
    const size_t units = size / 2;
    std::u16string text(units, u'\0');
    for (size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    std::string mine;
    MessageCodec::appendUtf8(mine, text.data(), text.size());
    const QByteArray theirs = QString(reinterpret_cast<const QChar *>(text.data()), static_cast<int>(units)).toUtf8();
    if (mine != std::string(theirs.constData(), static_cast<size_t>(theirs.size())))
        std::abort();
}

void checkReaderReuse(const uint8_t *data, size_t size)
{
    if (size == 0)
        return;
    const auto *text = reinterpret_cast<const char *>(data);
    const auto *cut = static_cast<const char *>(std::memchr(text, '\0', size));
    if (!cut || cut == text || text[0] != '<')
        return;
    const size_t first = static_cast<size_t>(cut - text);
    const char *second = cut + 1;
    const size_t rest = size - first - 1;
    if (rest == 0 || second[0] != '<')
        return;
    Message before;
    Message reused;
    before.parse(text, first);
    reused.parse(second, rest);
    MessageCodec::releaseThreadState();
    Message fresh;
    fresh.parse(second, rest);
    if (reused != fresh)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    silenceLogsOnce();
    checkUtf8(data, size);

    checkReaderReuse(data, size);

    Message m;
    int format;
    try {
        format = m.parse(reinterpret_cast<const char *>(data), size);
    } catch (const Exception &) {
        return 0;
    }
    if (format != 0 && format != 1 && (size == 0 || format != data[0]))
        std::abort();

    std::string wire;
    std::string document;
    try {
        IPCProtocolXMLS::encode_wire(m, wire);
        m.serialize(document, Message::Xml);
    } catch (const Exception &) {
        return 0;
    }
    if (wire.empty() || wire.back() != '\0' || document.empty() || document.back() != '\n')
        std::abort();
    IPCProtocolXMLS::strip_declaration(document);
    // the wire form never carries a 0x00 inside a frame (Qt's reader takes
    // one into a name; the compact form anywhere)
    const bool zeroInNames = document.find('\0') != std::string::npos;
    document.erase(std::remove(document.begin(), document.end(), '\0'), document.end());
    document.back() = '\0';
    if (document != wire)
        std::abort();

    if (format == 1 && !zeroInNames) {
        // Trees read from XML hold only names and values the writer can
        // write back; values are not written, so compare without them.
        Message back;
        back.parse(wire.data(), wire.size() - 1);
        clearValues(m);
        clearValues(back);
        if (back != m)
            std::abort();
    }
    return 0;
}
