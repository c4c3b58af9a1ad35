#pragma once

// The end-to-end rig: codecsim processes on 127.0.0.1, the quorvane program
// as a process of its own in a private configuration folder, and the client
// of the driver plugin loaded into it. Every process started here is killed
// by its owner's destructor, whatever the test's outcome.

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace e2e {

/** Generous: two programs share a busy two-core machine, maybe under sanitizers. */
constexpr int Long = 90000;

/** Stops @p p: SIGTERM, then SIGKILL when it lingers. */
inline void endProcess(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(10000);
    }
}

/** One simulated codec in a codecsim process. */
class Codec
{
public:
    ~Codec() { endProcess(m_p); }

    /** Starts it with @p flags on @p port (0: a free one) and waits until it listens. */
    bool start(const QStringList &flags = {}, quint16 port = 0)
    {
        m_flags = flags;
        m_p.setProgram(QStringLiteral(CODECSIM_PATH));
        m_p.setArguments(QStringList{"--listen", QStringLiteral("127.0.0.1:%1").arg(port)} + flags);
        m_p.setStandardErrorFile(QProcess::nullDevice());
        m_p.start();
        const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
        QByteArray out;
        const bool up = QTest::qWaitFor(
            [&] {
                out += m_p.readAllStandardOutput();
                const auto m = listening.match(QString::fromUtf8(out));
                if (m.hasMatch())
                    m_port = quint16(m.captured(1).toUInt());
                return m.hasMatch() || m_p.state() == QProcess::NotRunning;
            },
            Long);
        return up && m_port != 0 && m_p.state() == QProcess::Running;
    }
    /** Dies at once, as a codec that loses power. */
    void crash()
    {
        m_p.kill();
        m_p.waitForFinished(10000);
    }
    /** Starts again, as before and on the same port. */
    bool restart() { return start(m_flags, m_port); }

    quint16 port() const { return m_port; }
    QString target() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

    /** Runs qvctl on this codec (a second client) and returns its standard output. */
    QString qvctl(const QStringList &args, const QString &password = QStringLiteral("tarlin")) const
    {
        QProcess p;
        p.start(QStringLiteral(QVCTL_PATH), QStringList{"--password", password, target()} + args);
        if (!p.waitForFinished(Long))
            endProcess(p);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    /** "qvctl status" as a map: "unit", "firmware", "peers", ... */
    QMap<QString, QString> status() const
    {
        QMap<QString, QString> out;
        for (const QString &line : qvctl({"status"}).split(QLatin1Char('\n'))) {
            const int colon = line.indexOf(QLatin1String(": "));
            if (colon > 0)
                out.insert(line.left(colon), line.mid(colon + 2));
        }
        return out;
    }

private:
    QProcess m_p;
    QStringList m_flags;
    quint16 m_port = 0;
};

/** The program, started on a private home, and the driver inside it. */
class Program
{
public:
    /** The program's folders all lie in @p home; the same @p home again finds its saved configuration. */
    explicit Program(const QString &home)
        : m_home(home)
    {
        QObject::connect(&m_p, &QProcess::readyReadStandardError, [this] { m_errors += m_p.readAllStandardError(); });
    }
    ~Program()
    {
        endProcess(m_p);
        if (QTest::currentTestFailed())
            qInfo("last command refused: %s\nprogram's standard error:\n%s", m_lastRefusal.constData(),
                  m_errors.right(6000).constData());
    }

    static QString configFolder(const QString &home) { return home + QStringLiteral("/config/Velmora"); }

    /** Starts it and waits for the driver to report in. */
    bool start()
    {
        QDir(m_home).mkpath(QStringLiteral("config"));
        QDir(m_home).mkpath(QStringLiteral("data"));
        m_server = std::make_unique<QLocalServer>();
        if (!m_server->listen(m_home + QStringLiteral("/driver-%1").arg(++m_runs)))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home);
        env.insert("XDG_CONFIG_HOME", m_home + "/config");
        env.insert("XDG_DATA_HOME", m_home + "/data");
        env.insert("XDG_CACHE_HOME", m_home + "/cache");
        env.insert("XDG_RUNTIME_DIR", m_home);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_PLUGIN_PATH", QVDRIVER_PLUGINS);
        env.insert("QT_QPA_GENERIC_PLUGINS", "qvdriver");
        env.insert("QVDRIVER_SERVER", m_server->fullServerName());
        env.insert("QT_LOGGING_RULES", "quorvane.alerts.debug=true");
        m_p.setProcessEnvironment(env);
        m_p.setWorkingDirectory(m_home);
        m_p.setProgram(QStringLiteral(QUORVANE_PATH));
        m_p.start();
        if (!m_p.waitForStarted(Long))
            return false;
        if (!QTest::qWaitFor([this] { return m_server->hasPendingConnections() || !running(); }, Long)
            || !m_server->hasPendingConnections())
            return false;
        m_socket = m_server->nextPendingConnection();
        return true;
    }

    bool running() const { return m_p.state() != QProcess::NotRunning; }
    /** What the program wrote on standard error so far. */
    QString errors()
    {
        m_errors += m_p.readAllStandardError();
        return QString::fromUtf8(m_errors);
    }

    /** Closes the window as its close button does and waits for the program to end; true on a clean exit. */
    bool close()
    {
        if (!call({{"cmd", "close"}, {"name", "MainWindow"}}).value("ok").toBool())
            return false;
        // It may have ended already while the answer was read: waitForFinished()
        // is false for a process that is no longer running.
        if (m_p.state() != QProcess::NotRunning && !m_p.waitForFinished(Long)) {
            qWarning("the program did not end after its window was closed");
            return false;
        }
        errors();
        if (m_p.exitStatus() == QProcess::NormalExit && m_p.exitCode() == 0)
            return true;
        qWarning("the program ended with %s %d", m_p.exitStatus() == QProcess::NormalExit ? "exit code" : "a crash,",
                 m_p.exitCode());
        return false;
    }

    /** One command to the driver and its answer ("ok" false: not done, with "error"). */
    QJsonObject call(const QJsonObject &command)
    {
        if (!m_socket || m_socket->state() != QLocalSocket::ConnectedState)
            return {{"ok", false}, {"error", "no driver"}};
        m_socket->write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        const bool answered = QTest::qWaitFor(
            [this] { return !m_socket || m_socket->canReadLine() || m_socket->state() != QLocalSocket::ConnectedState; },
            Long);
        if (!answered || !m_socket || !m_socket->canReadLine())
            return {{"ok", false}, {"error", "no answer"}};
        const QJsonObject reply = QJsonDocument::fromJson(m_socket->readLine()).object();
        if (!reply.value("ok").toBool())
            m_lastRefusal = QJsonDocument(command).toJson(QJsonDocument::Compact) + " -> "
                            + reply.value("error").toString().toUtf8();
        return reply;
    }

    // What a user does: by object name ("dialog/child" narrows the search).
    bool click(const QString &name, const QString &button = QString())
    {
        return call({{"cmd", "click"}, {"name", name}, {"button", button}}).value("ok").toBool();
    }
    bool trigger(const QString &action) { return call({{"cmd", "trigger"}, {"name", action}}).value("ok").toBool(); }
    bool type(const QString &name, const QString &text)
    {
        return call({{"cmd", "type"}, {"name", name}, {"text", text}}).value("ok").toBool();
    }
    /** Picks the item, tab or combo entry showing @p text (in @p column of a view). */
    bool choose(const QString &name, const QString &text, int column = 0)
    {
        return call({{"cmd", "choose"}, {"name", name}, {"text", text}, {"column", column}}).value("ok").toBool();
    }

    // What a user sees.
    QJsonObject get(const QString &name) { return call({{"cmd", "get"}, {"name", name}}); }
    QString text(const QString &name) { return get(name).value("text").toString(); }
    bool checked(const QString &name) { return get(name).value("checked").toBool(); }
    bool enabled(const QString &name) { return get(name).value("enabled").toBool(); }
    /** The object name of the open modal dialog, empty when none is open. */
    QString modal() { return call({{"cmd", "modal"}}).value("name").toString(); }
    /** The rows of an item view, depth first, each as its columns' texts. */
    QList<QStringList> rows(const QString &name)
    {
        QList<QStringList> out;
        for (const QJsonValue &row : call({{"cmd", "rows"}, {"name", name}}).value("rows").toArray()) {
            QStringList cells;
            for (const QJsonValue &cell : row.toArray())
                cells << cell.toString();
            out << cells;
        }
        return out;
    }
    /** The row whose column @p column reads @p text, empty when there is none. */
    QStringList row(const QString &view, const QString &text, int column = 0)
    {
        for (const QStringList &r : rows(view)) {
            if (r.value(column) == text)
                return r;
        }
        return {};
    }
    /** A digest of the widget's picture, which also goes to @p file when given. */
    QString grab(const QString &name, const QString &file = QString())
    {
        return call({{"cmd", "grab"}, {"name", name}, {"file", file}}).value("digest").toString();
    }

private:
    QString m_home;
    QProcess m_p;
    QByteArray m_errors;
    QByteArray m_lastRefusal;
    std::unique_ptr<QLocalServer> m_server;
    QPointer<QLocalSocket> m_socket;
    int m_runs = 0;
};

/** Waits for @p condition, polling the program, for at most @p ms. */
inline bool eventually(const std::function<bool()> &condition, int ms = Long)
{
    return QTest::qWaitFor(condition, ms);
}

} // namespace e2e
