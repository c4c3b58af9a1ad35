#include "ipcprotocol.h"

#include "message.h"
#include "messagecodec.h"

#include <cstring>
#include <exception>

void IPCProtocol::state_changed(int)
{
}

void IPCProtocolXMLS::state_changed(int state)
{
    if (state == 0) {
        m_rx.clear();
        m_scanned = 0;
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
    // Written without a declaration, so there is nothing to strip; the
    // writer's end-of-document line feed is never produced either.
    MessageCodec::writeXml(message, out, false, false);
    out.push_back('\0');
}

void IPCProtocolXMLS::send_raw(const Message &message)
{
    m_tx.clear();
    encode_wire(message, m_tx);
    m_host->send_data(m_tx.data(), m_tx.size());
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
    m_rx.append(data, size);
    if (m_rx.size() > BufferLimit) {
        m_rx.clear();
        m_scanned = 0;
        m_host->fail("IPCProtocolXMLS::receive_data buffer overflow");
        return;
    }

    size_t start = 0;
    size_t from = m_scanned;
    for (;;) {
        const void *hit = std::memchr(m_rx.data() + from, '\0', m_rx.size() - from);
        if (!hit)
            break;
        size_t end = static_cast<size_t>(static_cast<const char *>(hit) - m_rx.data());
        try {
            Message message;
            message.parse(m_rx.data() + start, end - start);
            handle_message(message);
        } catch (const std::exception &e) {
            m_host->fail(e.what());
        }
        start = end + 1;
        from = start;
    }
    if (start > 0)
        m_rx.erase(0, start);
    m_scanned = m_rx.size();
}
