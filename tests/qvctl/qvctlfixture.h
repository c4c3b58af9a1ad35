#pragma once

// Runs the qvctl and codecsim programs for the process tests: codecsim on a
// free port of 127.0.0.1, qvctl to completion with its output and status.

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

/** What one qvctl run left behind. */
struct RunResult {
    bool finished = false;
    int status = -1;
    QByteArray out;
    QByteArray err;

    QStringList lines() const
    {
        QStringList l = QString::fromUtf8(out).split(QLatin1Char('\n'));
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }

    /** Every line of standard output as a JSON object; empty objects for lines that are not. */
    QList<QJsonObject> objects() const
    {
        QList<QJsonObject> list;
        for (const QString &line : lines())
            list.append(QJsonDocument::fromJson(line.toUtf8()).object());
        return list;
    }

    bool allJson() const
    {
        for (const QString &line : lines()) {
            QJsonParseError e;
            const QJsonDocument d = QJsonDocument::fromJson(line.toUtf8(), &e);
            if (e.error != QJsonParseError::NoError || !d.isObject())
                return false;
        }
        return true;
    }

    QString describe() const
    {
        return QStringLiteral("finished %1, status %2\n--- stdout:\n%3--- stderr:\n%4")
            .arg(finished)
            .arg(status)
            .arg(QString::fromUtf8(out), QString::fromUtf8(err));
    }
};

/** A codecsim process serving one codec on a free port of 127.0.0.1. */
class SimProcess
{
public:
    ~SimProcess() { stop(); }

    /** Starts the simulator with @p extra flags on @p host ("127.0.0.1", "[::1]"), port chosen by the system. */
    bool start(const QStringList &extra = {}, const QString &host = QStringLiteral("127.0.0.1"))
    {
        m_host = host;
        m_p.setProgram(QStringLiteral(CODECSIM_PATH));
        m_p.setArguments(QStringList{QStringLiteral("--listen"), host + QStringLiteral(":0")} + extra);
        // Its log is not read; it must never fill a pipe and stall the simulator.
        m_p.setStandardErrorFile(QProcess::nullDevice());
        m_p.start();
        if (!m_p.waitForStarted(10000))
            return false;
        const QRegularExpression listening(QStringLiteral("^listening on %1:(\\d+)$").arg(QRegularExpression::escape(host)));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000) {
            if (!m_p.canReadLine() && !m_p.waitForReadyRead(500)) {
                if (m_p.state() != QProcess::Running)
                    return false;
                continue;
            }
            while (m_p.canReadLine()) {
                const auto m = listening.match(QString::fromUtf8(m_p.readLine()).trimmed());
                if (m.hasMatch()) {
                    m_port = static_cast<quint16>(m.captured(1).toUInt());
                    return true;
                }
            }
        }
        return false;
    }

    void stop()
    {
        if (m_p.state() == QProcess::NotRunning)
            return;
        m_p.terminate();
        if (!m_p.waitForFinished(10000)) {
            m_p.kill();
            m_p.waitForFinished(10000);
        }
    }

    quint16 port() const { return m_port; }
    QString address() const { return QStringLiteral("%1:%2").arg(m_host).arg(m_port); }

private:
    QProcess m_p;
    QString m_host;
    quint16 m_port = 0;
};

/** Starts qvctl with @p args (not waiting for it). */
inline void startQvctl(QProcess &p, const QStringList &args)
{
    p.setProgram(QStringLiteral(QVCTL_PATH));
    p.setArguments(args);
    p.start();
}

/**
 * Runs qvctl with @p args to its end. @p waitMs only guards the test against
 * a hang; every run is expected to end well before it.
 */
inline RunResult runQvctl(const QStringList &args, int waitMs = 90000, const QByteArray &input = QByteArray(),
                          const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(environment);
    startQvctl(p, args);
    RunResult r;
    if (!p.waitForStarted(10000))
        return r;
    p.write(input);
    p.closeWriteChannel();
    r.finished = p.waitForFinished(waitMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(10000);
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

/** Reads @p p's output into @p seen until it holds @p text; false when @p waitMs pass first. */
inline bool waitForOutput(QProcess &p, QByteArray &seen, const QByteArray &text, int waitMs = 30000)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        seen += p.readAllStandardOutput();
        if (seen.contains(text))
            return true;
        if (p.state() == QProcess::NotRunning) {
            seen += p.readAllStandardOutput();
            return seen.contains(text);
        }
        if (t.elapsed() > waitMs)
            return false;
        p.waitForReadyRead(200);
    }
}
