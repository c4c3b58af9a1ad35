#pragma once

// A real SMTP server for the mail tests: smtpsink.py (aiosmtpd) in a process
// of its own on 127.0.0.1, writing what it receives to a temporary folder.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class SmtpSink
{
public:
    /** A Python that has aiosmtpd (Debian's python3-aiosmtpd), or empty. */
    static QString python()
    {
        for (const QString &candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
            QProcess probe;
            probe.start(candidate, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")});
            if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
                return candidate;
        }
        return QString();
    }

    ~SmtpSink()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    /** Starts the server in @p mode ("accept", "refuse" or "hold"); false when it does not come up. */
    bool start(const QString &mode = QStringLiteral("accept"))
    {
        const QString interpreter = python();
        if (interpreter.isEmpty() || !m_dir.isValid())
            return false;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(interpreter, {QStringLiteral(QV_SMTP_SINK), m_dir.path(), mode});
        if (!m_process.waitForStarted(30000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return false;
        }
        m_port = quint16(m_process.readLine().trimmed().toUInt());
        return m_port != 0;
    }

    quint16 port() const { return m_port; }
    /** Lets the held deliveries of "hold" go on. */
    void release() { QFile(m_dir.filePath(QStringLiteral("go"))).open(QIODevice::WriteOnly); }
    /** RCPT commands the server has seen. */
    int attempts() const
    {
        QFile f(m_dir.filePath(QStringLiteral("attempts")));
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    }
    /** The mails received so far, in order: from, to (array), subject, body. */
    QList<QJsonObject> mails() const
    {
        QList<QJsonObject> out;
        for (int i = 1;; ++i) {
            QFile f(m_dir.filePath(QStringLiteral("mail-%1.json").arg(i)));
            if (!f.open(QIODevice::ReadOnly))
                return out;
            out << QJsonDocument::fromJson(f.readAll()).object();
        }
    }

    /** A loopback port nothing listens on (bound, then released). */
    static quint16 closedPort()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        quint16 port = 0;
        if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
            && ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        ::close(s);
        return port;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
