#include "transporttest.h"

#include <cstdio>

namespace {

QMutex g_warningsMutex;
QStringList g_warnings;

} // namespace

LogCapture::LogCapture()
{
    {
        QMutexLocker guard(&g_warningsMutex);
        g_warnings.clear();
    }
    // "socket %s failed" is a debug line: let it through to the sink.
    Logger::instance().setThreshold(LOGC_SOCKET, LOG_DEBUG);
    Logger::instance().setThreshold(LOGC_MANAGER, LOG_DEBUG);
    Logger::instance().setSink([this](int, int level, const char *text) {
        if (qEnvironmentVariableIsSet("QV_TEST_VERBOSE"))
            fprintf(stderr, "log %d: %s\n", level, text);
        QMutexLocker guard(&m_mutex);
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
        QMutexLocker guard(&g_warningsMutex);
        g_warnings << text;
    }
}

bool LogCapture::hasLine(int level, const std::string &text) const
{
    QMutexLocker guard(&m_mutex);
    for (const Line &l : m_lines) {
        if (l.level == level && l.text.find(text) != std::string::npos)
            return true;
    }
    return false;
}

int LogCapture::countLines(const std::string &text) const
{
    QMutexLocker guard(&m_mutex);
    int n = 0;
    for (const Line &l : m_lines)
        n += l.text.find(text) != std::string::npos;
    return n;
}

bool LogCapture::hasWarning(const QString &text) const
{
    QMutexLocker guard(&g_warningsMutex);
    for (const QString &w : g_warnings) {
        if (w.contains(text))
            return true;
    }
    return false;
}

int LogCapture::countWarnings(const QString &prefix) const
{
    QMutexLocker guard(&g_warningsMutex);
    int n = 0;
    for (const QString &w : g_warnings)
        n += w.startsWith(prefix);
    return n;
}

void LogCapture::clear()
{
    {
        QMutexLocker guard(&m_mutex);
        m_lines.clear();
    }
    QMutexLocker guard(&g_warningsMutex);
    g_warnings.clear();
}
