#include "logger.h"

#include <QLoggingCategory>
#include <QMessageLogger>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_sinkMutex;
Logger::Sink g_sink;
std::atomic<bool> g_hasSink{false};

const QLoggingCategory &defaultCategory()
{
    static const QLoggingCategory category("default");
    return category;
}

} // namespace

Logger &Logger::instance()
{
    static Logger logger;
    return logger;
}

Logger::Logger()
{
    // Detail and above by default: debug lines are not even formatted.
    for (auto &t : m_threshold)
        t.store(LOG_DETAIL, std::memory_order_relaxed);
}

void Logger::setThreshold(int category, int level)
{
    if (category >= 0 && category < LOGC_COUNT)
        m_threshold[category].store(level, std::memory_order_relaxed);
}

void Logger::setAllThresholds(int level)
{
    for (auto &t : m_threshold)
        t.store(level, std::memory_order_relaxed);
}

int Logger::threshold(int category) const
{
    if (category < 0 || category >= LOGC_COUNT)
        return LOG_NONE;
    return m_threshold[category].load(std::memory_order_relaxed);
}

void Logger::setSink(Sink sink)
{
    std::lock_guard<std::mutex> guard(g_sinkMutex);
    g_sink = std::move(sink);
    g_hasSink.store(static_cast<bool>(g_sink), std::memory_order_release);
}

void Logger::log(int category, int level, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vlog(category, level, format, args);
    va_end(args);
}

void Logger::vlog(int category, int level, const char *format, va_list args)
{
    if (!enabled(category, level))
        return;

    char buffer[BufferSize];
    if (std::vsnprintf(buffer, sizeof buffer, format, args) < 0)
        buffer[0] = '\0';

    if (g_hasSink.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> guard(g_sinkMutex);
        if (g_sink)
            g_sink(category, level, buffer);
    }

    const QLoggingCategory &qcat = defaultCategory();
    QMessageLogger qlog(nullptr, 0, nullptr, qcat.categoryName());
    switch (level) {
    case LOG_ERROR:
        qlog.critical("%s", buffer);
        break;
    case LOG_WARNING:
        qlog.warning("%s", buffer);
        break;
    case LOG_INFO:
    case LOG_DETAIL:
        qlog.info("%s", buffer);
        break;
    default:
        // event and debug lines go to the sink only
        break;
    }
}
