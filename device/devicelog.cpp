#include "devicelog.h"

#include <QTime>

DeviceLog::DeviceLog(QObject *parent)
    : QObject(parent)
{
}

void DeviceLog::addLine(const QString &message, int level)
{
    const LogLine line(QTime::currentTime().toString(Qt::TextDate) + QLatin1Char(' ') + message, level);
    m_lines.prepend(line);
    if (m_lines.size() <= MaxLines) {
        emit lineAdded(line);
    } else {
        m_lines.removeLast();
        emit lineReplaced(line);
    }
}
