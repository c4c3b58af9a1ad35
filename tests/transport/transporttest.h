#pragma once

// Shared pieces of the transport tests: a log capture and a test endpoint.

#include "iqendpointclient.h"
#include "logger.h"

#include <QList>
#include <QStringList>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

/** Collects library log lines (socket lines at debug level too) and Qt warnings. */
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    bool hasLine(int level, const std::string &text) const;
    int countLines(const std::string &text) const;
    bool hasWarning(const QString &text) const;
    int countWarnings(const QString &prefix) const;
    void clear();

private:
    struct Line {
        int level;
        std::string text;
    };
    static void qtHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
    QtMessageHandler m_previous;
};

/** A device-session stand-in: records the slots it gets on the GUI thread. */
class TestClient : public IQEndpointClient
{
    Q_OBJECT
public:
    using IQEndpointClient::IQEndpointClient;

    QList<Message> responses; // cb_resp_* (GUI thread)
    QList<Message> notices;   // cb_unso_* (GUI thread)
    QStringList order;        // slot names in arrival order
    std::atomic<int> pongs{0};
    std::atomic<int> ticks{0};
    std::atomic<int> initialised{0};
    std::function<void(TestClient *)> onInitialise; // runs on the loop thread

    void tick(uint64_t nowUs) override
    {
        IQEndpointClient::tick(nowUs);
        ++ticks;
    }

public slots:
    void cb_resp_alpha(const Message &m) { record("cb_resp_alpha", m, responses); }
    void cb_resp_beta(const Message &m) { record("cb_resp_beta", m, responses); }
    void cb_resp_internal(const Message &m) { record("cb_resp_internal", m, responses); }
    void cb_unso_status(const Message &m) { record("cb_unso_status", m, notices); }

protected:
    void initialise() override
    {
        ++initialised;
        if (onInitialise)
            onInitialise(this);
    }
    void on_message(const Message &m) override
    {
        if (m.name() == "pong")
            ++pongs;
        IQEndpointClient::on_message(m);
    }

private:
    void record(const char *slot, const Message &m, QList<Message> &list)
    {
        order << QString::fromLatin1(slot);
        list << m;
    }
};

/**
 * Counts the emissions of one signal on the thread it lives in (queued when
 * the signal comes from the loop thread). QSignalSpy records on the emitting
 * thread, which would race with the test thread reading it.
 */
class SignalCounter : public QObject
{
    Q_OBJECT
public:
    template <typename Sender, typename Signal>
    SignalCounter(Sender *sender, Signal signal)
    {
        connect(sender, signal, this, &SignalCounter::hit);
    }
    int count() const { return m_count; }

public slots:
    void hit() { ++m_count; }

private:
    int m_count = 0;
};

/**
 * Records, in the order they arrive on the test thread, a client's failure
 * reasons and the state signals around them: "failed: <reason>",
 * "rejected: <reason>", "connecting", "connected", "disconnected",
 * "wrong_password", "timed_out".
 */
class EventRecorder : public QObject
{
public:
    explicit EventRecorder(IQEndpointClient *client)
    {
        connect(client, &IQEndpointClient::connectionFailed, this, [this](const QString &r) { events << "failed: " + r; });
        connect(client, &IQEndpointClient::frameRejected, this, [this](const QString &r) { events << "rejected: " + r; });
        connect(client, &IQEndpointClient::connecting, this, [this] { events << "connecting"; });
        connect(client, &IQEndpointClient::connected, this, [this] { events << "connected"; });
        connect(client, &IQEndpointClient::disconnected, this, [this] { events << "disconnected"; });
        connect(client, &IQEndpointClient::wrong_password, this, [this] { events << "wrong_password"; });
        connect(client, &IQEndpointClient::cnxn_timed_out, this, [this] { events << "timed_out"; });
    }
    QStringList events;
};

/** A request named @p name with @p seq. */
inline Message request(const std::string &name, const std::string &seq)
{
    Message m(name);
    m.set_string("seq", seq);
    return m;
}
