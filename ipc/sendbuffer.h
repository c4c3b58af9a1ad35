#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

/**
 * Bytes waiting to be written to a stream socket, shared by every protocol of
 * one connection. Protocols encode straight into it (appendWith); the owner
 * then writes what the socket takes, and when more than the limit is still
 * unsent it fails the connection with OverflowText. append() is the strict
 * form for owners without a socket: it refuses what would pass the limit.
 * Written bytes are dropped from the front without moving the rest on every
 * partial write.
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
        if (size > m_limit - std::min(m_limit, this->size()))
            return false;
        reclaim();
        m_bytes.append(data, size);
        return true;
    }

    /**
     * Appends whatever @p encode appends to the string it is handed (never
     * touching what is there already) and returns how many bytes that was.
     * The limit is not checked here: see overLimit(). When @p encode throws,
     * nothing of it stays.
     */
    template <typename Encode>
    size_t appendWith(Encode &&encode)
    {
        reclaim();
        const size_t start = m_bytes.size();
        try {
            encode(m_bytes);
        } catch (...) {
            m_bytes.resize(start);
            throw;
        }
        return m_bytes.size() - start;
    }

    /** Appends @p bytes; into an empty buffer they are moved, not copied. Returns their size. */
    size_t appendTaking(std::string &&bytes)
    {
        const size_t n = bytes.size();
        if (empty() && bytes.capacity() <= (1u << 20)) {
            m_bytes.swap(bytes);
            m_head = 0;
        } else {
            reclaim();
            m_bytes.append(bytes);
        }
        return n;
    }

    /** True when more than the limit waits unsent. */
    bool overLimit() const { return size() > m_limit; }

    /** Takes back the last @p n bytes appended (a message that did not fit). */
    void dropBack(size_t n) { m_bytes.resize(m_bytes.size() - std::min(n, size())); }

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
    // Everything written: start again at the front of the storage.
    void reclaim()
    {
        if (m_head > 0 && m_head == m_bytes.size()) {
            m_bytes.clear();
            m_head = 0;
        }
    }

    std::string m_bytes;
    size_t m_head = 0;
    size_t m_limit;
};
