#include "ctlsession.h"

#include "logger.h"

#include <cstring>

namespace qvctl {

CtlSession::CtlSession(const QUuid &uuid, IQManager *manager)
    : IPCObject(uuid, manager)
{
}

void CtlSession::handleUnsolicited(const Message &message)
{
    // Every element has a name; a frame that parsed into none was not XML.
    if (!isClosing() && message.name().empty())
        emit garbageReceived();
    IPCObject::handleUnsolicited(message);
}

TransportWatch::TransportWatch(QObject *parent)
    : QObject(parent)
    , m_oldSocketThreshold(Logger::instance().threshold(LOGC_SOCKET))
{
    // The failure reason of a socket is a debug line: wanted here, but it
    // goes to the sink only, never to the console.
    Logger::instance().setThreshold(LOGC_SOCKET, LOG_DEBUG);
    Logger::instance().setSink([this](int category, int level, const char *text) { take(category, level, text); });
}

TransportWatch::~TransportWatch()
{
    // Once setSink returns, no call into this object is running or will run.
    Logger::instance().setSink({});
    Logger::instance().setThreshold(LOGC_SOCKET, m_oldSocketThreshold);
}

QString TransportWatch::lastFrameComplaint() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_frameComplaint;
}

void TransportWatch::take(int category, int, const char *text)
{
    if (category == LOGC_SOCKET && std::strncmp(text, "socket ", 7) == 0) {
        if (const char *failed = std::strstr(text, " failed: "))
            emit socketFailed(QString::fromUtf8(failed + 9));
    } else if (category == LOGC_PROTOCOL && std::strncmp(text, "xmls: frame of ", 15) == 0) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_frameComplaint = QString::fromUtf8(text + 6);
    }
}

} // namespace qvctl
