#include "ipcprotocol.h"

#include "logger.h"
#include "message.h"
#include "messagecodec.h"
#include "sendbuffer.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <exception>

void IPCProtocolHost::post_local(Message message)
{
    deliver(message);
}

void IPCProtocol::state_changed(int)
{
}

IPCProtocolXMLS::~IPCProtocolXMLS()
{
    *m_alive = false;
}

void IPCProtocolXMLS::state_changed(int state)
{
    // Closed, or connecting anew: nothing of an earlier connection may be
    // framed together with the bytes of the next one.
    if (state == 0 || state == 2) {
        m_rx.clear();
        m_rx.shrink_to_fit();
        m_nested.clear();
        m_scanned = 0;
        m_overflowed = false;
        m_latin1Noted = false;
        ++m_epoch;
    }
}

void IPCProtocolXMLS::strip_declaration(std::string &text)
{
    if (text.compare(0, 2, "<?") != 0)
        return;
    size_t close = text.find("?>");
    if (close == std::string::npos)
        return;
    size_t next = text.find('<', close + 2);
    if (next == std::string::npos)
        text.clear();
    else
        text.erase(0, next);
}

void IPCProtocolXMLS::encode_wire(const Message &message, std::string &out)
{
    // Writing without a declaration gives exactly the text that stripping
    // the declaration would leave, and never the line feed the writer puts
    // after a whole document.
    const size_t start = out.size();
    MessageCodec::writeXml(message, out, false, false);
    // Names and keys are written as they are: a 0x00 in one (from a compact
    // file, say) would end the frame early and smuggle the rest in as a
    // message of its own. The writer already drops it from attribute values.
    if (std::memchr(out.data() + start, '\0', out.size() - start)) {
        const auto from = out.begin() + static_cast<std::ptrdiff_t>(start);
        const size_t before = out.size();
        out.erase(std::remove(from, out.end(), '\0'), out.end());
        IPC_LOG(LOGC_PROTOCOL, LOG_WARNING, "xmls: dropped %zu 0x00 bytes from the names of a message: %.40s",
                before - out.size(), out.c_str() + start + 1);
    }
    out.push_back('\0');
}

void IPCProtocolXMLS::encode(const Message &message, IPCEncodedMessage &out)
{
    out.wire.clear();
    encode_wire(message, out.wire);
    out.name = message.name();
    const AttrValue *seq = message.attr("seq");
    out.hasSeq = seq != nullptr;
    out.seq = seq ? seq->toString() : std::string();
}

void IPCProtocolXMLS::send_raw(const Message &message)
{
    SendBuffer *out = m_host->send_buffer();
    if (!out)
        return;
    const size_t n = out->appendWith([&message](std::string &bytes) { encode_wire(message, bytes); });
    m_host->send_appended(n);
}

void IPCProtocolXMLS::send_raw_encoded(IPCEncodedMessage &message)
{
    SendBuffer *out = m_host->send_buffer();
    if (!out)
        return;
    m_host->send_appended(out->appendTaking(std::move(message.wire)));
}

bool IPCProtocolXMLS::send(const Message &message)
{
    send_raw(message);
    return true;
}

bool IPCProtocolXMLS::send_encoded(IPCEncodedMessage &message)
{
    send_raw_encoded(message);
    return true;
}

void IPCProtocolXMLS::handle_message(const Message &message)
{
    m_host->deliver(message);
}

void IPCProtocolXMLS::receive_data(const char *data, size_t size)
{
    if (m_receiving) {
        // Fed from inside a handler: framed once the current chunk is done.
        m_nested.append(data, size);
        return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    struct Busy {
        IPCProtocolXMLS *self;
        const bool &alive;
        ~Busy()
        {
            if (alive)
                self->m_receiving = false;
        }
    } busy{this, *alive};
    m_receiving = true;

    receiveChunk(data, size, *alive);
    while (*alive && !m_nested.empty()) {
        std::string more;
        more.swap(m_nested);
        receiveChunk(more.data(), more.size(), *alive);
    }
}

namespace {

bool isUtf8(const char *data, size_t size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t n;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (static_cast<size_t>(end - p) <= n)
            return false;
        for (size_t i = 1; i <= n; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // overlong forms, surrogates and code points past U+10FFFF
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        p += n + 1;
    }
    return true;
}

std::string latin1ToUtf8(const char *data, size_t size)
{
    std::string out;
    out.reserve(size + size / 8);
    for (size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// The name after a leading '<', for telling which element a frame the reader
// gave up on inside its first tag was.
std::string leadingName(const char *data, size_t size)
{
    std::string name;
    if (size == 0 || data[0] != '<')
        return name;
    for (size_t i = 1; i < size && name.size() < 40; ++i) {
        const char c = data[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != ':' && c != '.' && c != '-')
            break;
        name.push_back(c);
    }
    return name;
}

} // namespace

std::string IPCProtocolXMLS::sample(const char *data, size_t size, size_t max)
{
    std::string out;
    const size_t n = std::min(size, max);
    out.reserve(n + 3);
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    if (size > max)
        out += "...";
    return out;
}

bool IPCProtocolXMLS::read_frame(const char *data, size_t size, Message &message, std::string &error)
{
    // Two 0x00 in a row frame an empty message: no fault of the frame.
    if (size == 0)
        return true;
    const auto first = static_cast<unsigned char>(data[0]);
    if (first != '<' && first != 0x01) {
        error = "not XML";
        return false;
    }
    return MessageCodec::readXml(message, data, size, &error);
}

void IPCProtocolXMLS::decodeFrame(const char *data, size_t size, Message &message)
{
    std::string error;
    if (read_frame(data, size, message, error))
        return;
    if (!isUtf8(data, size)) {
        // Older firmware writes ISO-8859-1 (a unit name with an accent, say).
        const std::string utf8 = latin1ToUtf8(data, size);
        Message again;
        std::string againError;
        if (read_frame(utf8.data(), utf8.size(), again, againError)) {
            if (!m_latin1Noted) {
                m_latin1Noted = true;
                IPC_LOG(LOGC_PROTOCOL, LOG_WARNING, "xmls: %s: frame <%s> is not UTF-8; reading such frames as ISO-8859-1",
                        m_host->peer_text().c_str(), again.name().c_str());
            }
            message = std::move(again);
            return;
        }
        // It got as far as it could read this way too: tell that.
        message = std::move(again);
        error = againError;
    }
    const std::string name = message.name().empty() ? leadingName(data, size) : message.name();
    const std::string reason = "unreadable frame (" + std::to_string(size) + " bytes, element "
        + (name.empty() ? std::string("none") : "<" + name + ">") + ", " + error + "): \"" + sample(data, size) + "\"";
    IPC_LOG(LOGC_PROTOCOL, LOG_WARNING, "xmls: %s: %s", m_host->peer_text().c_str(), reason.c_str());
    m_host->frame_rejected(reason);
}

bool IPCProtocolXMLS::deliverFrame(const char *data, size_t size, const bool &alive, uint64_t epoch)
{
    try {
        Message message;
        decodeFrame(data, size, message);
        // What was read of a rejected frame still goes on, as it always has.
        if (alive && epoch == m_epoch)
            handle_message(message);
    } catch (const std::exception &e) {
        if (!alive)
            return false;
        m_host->fail(e.what());
    }
    return alive && epoch == m_epoch;
}

void IPCProtocolXMLS::receiveChunk(const char *data, size_t size, const bool &alive)
{
    if (m_overflowed)
        return; // the connection has failed; what follows is not framed
    if (m_rx.size() + size > BufferLimit) {
        m_rx.clear();
        m_rx.shrink_to_fit();
        m_scanned = 0;
        m_overflowed = true;
        m_host->fail("IPCProtocolXMLS::receive_data buffer overflow");
        return;
    }

    const uint64_t epoch = m_epoch;
    if (m_rx.empty()) {
        // Nothing pending: frame straight from the chunk, keep only its tail.
        size_t start = 0;
        while (start < size) {
            const void *hit = std::memchr(data + start, '\0', size - start);
            if (!hit)
                break;
            const size_t end = static_cast<size_t>(static_cast<const char *>(hit) - data);
            if (!deliverFrame(data + start, end - start, alive, epoch))
                return;
            start = end + 1;
        }
        m_rx.assign(data + start, size - start);
        m_scanned = m_rx.size();
        return;
    }

    m_rx.append(data, size);
    // Handlers cannot change m_rx (nested input goes to m_nested, a reset ends the scan).
    size_t start = 0;
    size_t from = m_scanned;
    while (from < m_rx.size()) {
        const void *hit = std::memchr(m_rx.data() + from, '\0', m_rx.size() - from);
        if (!hit)
            break;
        const size_t end = static_cast<size_t>(static_cast<const char *>(hit) - m_rx.data());
        if (!deliverFrame(m_rx.data() + start, end - start, alive, epoch))
            return;
        start = end + 1;
        from = start;
    }
    if (start > 0)
        m_rx.erase(0, start);
    m_scanned = m_rx.size();
}
