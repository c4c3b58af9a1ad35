#pragma once

#include <atomic>
#include <cstdarg>
#include <functional>

/** Levels of the library log, most severe first. */
enum LogLevel : int {
    LOG_NONE = 0,
    LOG_EVENT = 1,
    LOG_ERROR = 2,
    LOG_WARNING = 3,
    LOG_INFO = 4,
    LOG_DETAIL = 5,
    LOG_DEBUG = 6,
};

/** Categories of the library log; each has its own threshold. */
enum LogCategory : int {
    LOGC_GENERAL = 0,
    LOGC_MESSAGE = 1,
    LOGC_ENCODING = 2,
    LOGC_SOCKET = 3,
    LOGC_MANAGER = 4,
    LOGC_ENDPOINT = 5,
    LOGC_PROTOCOL = 6,
    LOGC_LOGIN = 7,
    LOGC_DEVICE = 8,
    LOGC_TUNNEL = 9,
    LOGC_SIMULATOR = 10,
    LOGC_TOOL = 11,
    LOGC_COUNT = 32,
};

/**
 * The network library's logger. A line is formatted printf-style into a
 * 16,384-byte buffer (longer lines are cut) and handed to Qt's message log
 * under the category "default": error as critical, warning as warning, info
 * and detail as info; event and debug lines produce no output there.
 *
 * The level is checked before anything is formatted; use IPC_LOG so that the
 * arguments are not even evaluated for a line nobody wants.
 */
class Logger
{
public:
    static constexpr int BufferSize = 16384;
    using Sink = std::function<void(int category, int level, const char *text)>;

    static Logger &instance();

    bool enabled(int category, int level) const
    {
        if (category < 0 || category >= LOGC_COUNT || level <= LOG_NONE)
            return false;
        return level <= m_threshold[category].load(std::memory_order_relaxed);
    }

    void setThreshold(int category, int level);
    void setAllThresholds(int level);
    int threshold(int category) const;

    /** Also hand every formatted line to @p sink (tests, tools); empty to stop. */
    void setSink(Sink sink);

    void log(int category, int level, const char *format, ...) __attribute__((format(printf, 4, 5)));
    void vlog(int category, int level, const char *format, va_list args);

private:
    Logger();
    std::atomic<int> m_threshold[LOGC_COUNT];
};

#define IPC_LOG(category, level, ...)                                   \
    do {                                                                \
        if (Logger::instance().enabled((category), (level)))            \
            Logger::instance().log((category), (level), __VA_ARGS__);   \
    } while (0)
