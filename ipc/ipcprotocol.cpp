#include "ipcprotocol.h"

#include "logger.h"
#include "message.h"
#include "messagecodec.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>

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

void IPCProtocolXMLS::send_raw(const Message &message)
{
    if (m_txBusy) {
        // Sent from inside our own send_data call: m_tx is still in use.
        std::string bytes;
        encode_wire(message, bytes);
        m_host->send_data(bytes.data(), bytes.size());
        return;
    }
    m_tx.clear();
    encode_wire(message, m_tx);
    const std::shared_ptr<bool> alive = m_alive;
    m_txBusy = true;
    try {
        m_host->send_data(m_tx.data(), m_tx.size());
    } catch (...) {
        if (*alive)
            m_txBusy = false;
        throw;
    }
    if (!*alive)
        return;
    m_txBusy = false;
    if (m_tx.capacity() > (1u << 20))
        std::string().swap(m_tx);
}

bool IPCProtocolXMLS::send(const Message &message)
{
    send_raw(message);
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

bool IPCProtocolXMLS::deliverFrame(const char *data, size_t size, const bool &alive, uint64_t epoch)
{
    if (size > 0 && data[0] != '<')
        IPC_LOG(LOGC_PROTOCOL, LOG_DETAIL, "xmls: frame of %zu bytes does not start with '<' (first byte 0x%02x)", size,
                static_cast<unsigned>(static_cast<unsigned char>(data[0])));
    try {
        Message message;
        message.parse(data, size);
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
