#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <utility>

/** One line of a device's event log: its text (time stamp included) and its level. */
class LogLine
{
public:
    LogLine() = default;
    LogLine(QString text, int level)
        : m_text(std::move(text))
        , m_level(level)
    {
    }

    const QString &text() const { return m_text; }
    int level() const { return m_level; }

private:
    QString m_text;
    int m_level = 0;
};
// Movable: QList and queued signals relocate it without calling its copy constructor.
Q_DECLARE_TYPEINFO(LogLine, Q_MOVABLE_TYPE);
Q_DECLARE_METATYPE(LogLine)

/**
 * The short, time-stamped event log of one device session: newest first, at
 * most 1000 lines. Lines reach the log view through the two signals.
 */
class DeviceLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLines = 1000;

    explicit DeviceLog(QObject *parent = nullptr);

    /** Prefixes @p message with the local time of day and puts it first. */
    void addLine(const QString &message, int level);
    void addMinus1(const QString &message) { addLine(message, -1); }
    void add0(const QString &message) { addLine(message, 0); }
    void add1(const QString &message) { addLine(message, 1); }
    void add2(const QString &message) { addLine(message, 2); }

    /** All lines, newest first. */
    const QList<LogLine> &lines() const { return m_lines; }
    int count() const { return m_lines.size(); }
    /** Empties the log without emitting anything. */
    void clear() { m_lines.clear(); }

signals:
    void lineAdded(const LogLine &line);
    void lineReplaced(const LogLine &line);

private:
    QList<LogLine> m_lines;
};
