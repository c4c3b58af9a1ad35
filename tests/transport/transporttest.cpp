#include "transporttest.h"

#include <cstdio>

namespace {

std::mutex g_warningsMutex;
QStringList g_warnings;

} // namespace

LogCapture::LogCapture()
{
    {
        std::lock_guard<std::mutex> guard(g_warningsMutex);
        g_warnings.clear();
    }
    // "socket %s failed" is a debug line: let it through to the sink.
    Logger::instance().setThreshold(LOGC_SOCKET, LOG_DEBUG);
    Logger::instance().setThreshold(LOGC_MANAGER, LOG_DEBUG);
    Logger::instance().setSink([this](int, int level, const char *text) {
        if (qEnvironmentVariableIsSet("QV_TEST_VERBOSE"))
            fprintf(stderr, "log %d: %s\n", level, text);
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.push_back({level, text});
    });
    m_previous = qInstallMessageHandler(&LogCapture::qtHandler);
}

LogCapture::~LogCapture()
{
    Logger::instance().setSink({});
    Logger::instance().setAllThresholds(LOG_DETAIL);
    qInstallMessageHandler(m_previous);
}

void LogCapture::qtHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        std::lock_guard<std::mutex> guard(g_warningsMutex);
        g_warnings << text;
    }
}

bool LogCapture::hasLine(int level, const std::string &text) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const Line &l : m_lines) {
        if (l.level == level && l.text.find(text) != std::string::npos)
            return true;
    }
    return false;
}

int LogCapture::countLines(const std::string &text) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    int n = 0;
    for (const Line &l : m_lines)
        n += l.text.find(text) != std::string::npos;
    return n;
}

bool LogCapture::hasWarning(const QString &text) const
{
    std::lock_guard<std::mutex> guard(g_warningsMutex);
    for (const QString &w : g_warnings) {
        if (w.contains(text))
            return true;
    }
    return false;
}

int LogCapture::countWarnings(const QString &prefix) const
{
    std::lock_guard<std::mutex> guard(g_warningsMutex);
    int n = 0;
    for (const QString &w : g_warnings)
        n += w.startsWith(prefix);
    return n;
}

void LogCapture::clear()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.clear();
    }
    std::lock_guard<std::mutex> guard(g_warningsMutex);
    g_warnings.clear();
}
