#pragma once

#include <cstddef>
#include <cstring>
#include <string>

/**
 * Bytes waiting to be written to a stream socket, shared by every protocol of
 * one connection. append() refuses what would take the buffer past its limit;
 * the owner then fails the connection with OverflowText. Written bytes are
 * dropped from the front without moving the rest on every partial write.
 */
class SendBuffer
{
public:
    static constexpr size_t DefaultLimit = 2097152;
    static constexpr const char *OverflowText = "IPCConn::send_data buffer overflow";

    explicit SendBuffer(size_t limit = DefaultLimit)
        : m_limit(limit)
    {
    }

    /**
     * Appends @p size bytes. Returns false, appending nothing, when the buffer
     * would then hold more than the limit.
     */
    bool append(const char *data, size_t size)
    {
        if (size > m_limit - this->size())
            return false;
        if (m_head > 0 && m_head == m_bytes.size()) {
            m_bytes.clear();
            m_head = 0;
        }
        m_bytes.append(data, size);
        return true;
    }

    /** The unsent bytes. */
    const char *data() const { return m_bytes.data() + m_head; }
    size_t size() const { return m_bytes.size() - m_head; }
    bool empty() const { return size() == 0; }
    size_t limit() const { return m_limit; }

    /** Drops @p n written bytes from the front (at most size()). */
    void consume(size_t n)
    {
        if (n >= size()) {
            clear();
            return;
        }
        m_head += n;
        // Move the rest down only once the dead prefix outweighs it.
        if (m_head >= 65536 && m_head >= m_bytes.size() / 2) {
            m_bytes.erase(0, m_head);
            m_head = 0;
        }
    }

    void clear()
    {
        m_bytes.clear();
        m_head = 0;
        if (m_bytes.capacity() > (1u << 20))
            std::string().swap(m_bytes);
    }

private:
    std::string m_bytes;
    size_t m_head = 0;
    size_t m_limit;
};
