#pragma once

// A simulated fleet in this process, one network manager, and sessions on
// this thread connected to it over 127.0.0.1.

#include "codecsim.h"
#include "ipcmanager.h"
#include "ipcobject.h"
#include "iqcommonapp.h"
#include "iqmanager.h"
#include "message.h"
#include "platform/clock.h"

#include <QPointer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/** What a codec received, one line per request: "name", "name/seq" or "subscribe:id[/interval]". */
struct Request {
    int codec;
    std::string text;
    Message message;
};

/** The managers' clock in these tests: the system's, plus what SimRig::advanceClock() added. */
inline std::atomic<uint64_t> g_clockOffsetUs{0};
inline uint64_t rigClock()
{
    return IpcPlatform::monotonicMicros() + g_clockOffsetUs.load(std::memory_order_relaxed);
}

class SimRig
{
public:
    explicit SimRig(codecsim::Options options = codecsim::Options())
    {
        options.port = 0;
        m_sim = std::make_unique<codecsim::Simulator>(options);
        m_sim->setObserver([this](int codec, const Message &m) { record(codec, m); });
        std::string error;
        m_ok = m_sim->start(error);
        if (!m_ok)
            qWarning("simulator did not start: %s", error.c_str());
        // Set before the loop starts: reconnects and time-outs follow advanceClock().
        manager()->manager().set_clock(&rigClock);
        m_app.start_manager();
    }
    ~SimRig()
    {
        for (const QPointer<IPCObject> &s : m_sessions) {
            if (s)
                s->destroySession();
        }
        // Deferred deletes run before the manager goes.
        QTRY_VERIFY_WITH_TIMEOUT(allGone(), 5000);
        m_app.stop_manager();
        m_sim->stop();
    }

    bool ok() const { return m_ok; }
    codecsim::Simulator &sim() { return *m_sim; }
    IQManager *manager() { return m_app.manager(); }
    uint16_t port(int codec = 0) const { return m_sim->ports().at(size_t(codec)); }

    /** A session registered with this rig's manager (not connected yet). */
    IPCObject *session()
    {
        IPCObject *s = IPCObject::create(QUuid::createUuid(), manager());
        m_sessions.append(s);
        return s;
    }
    /** A session connecting to codec @p codec with @p password. */
    IPCObject *connect(int codec = 0, const QString &password = "tarlin")
    {
        IPCObject *s = session();
        s->setAddressAndConnect("127.0.0.1", port(codec), password);
        return s;
    }

    /**
     * Moves the manager's clock @p seconds on and wakes its loop: a reconnect
     * that waits out its interval is due at once. Returns once the loop has
     * run a whole turn at the new time.
     */
    void advanceClock(unsigned seconds)
    {
        const uint64_t turns = manager()->manager().turn_count();
        g_clockOffsetUs.fetch_add(uint64_t(seconds) * 1000000u, std::memory_order_relaxed);
        manager()->manager().wake();
        QTRY_VERIFY_WITH_TIMEOUT(manager()->manager().turn_count() >= turns + 2, 20000);
    }
    /** Returns once the manager thread has run every call queued to it so far. */
    void syncManagerThread()
    {
        // Nothing captured: the thread sanitizer cannot see Qt's event queue
        // hand a functor's captures over to the manager thread.
        static std::atomic<int> turns{0};
        const int before = turns.load();
        QMetaObject::invokeMethod(manager(), [] { turns.fetch_add(1); }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(turns.load() > before, 20000);
    }

    /** Requests received so far by @p codec. */
    std::vector<Request> requests(int codec = 0) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::vector<Request> out;
        for (const Request &r : m_requests) {
            if (r.codec == codec)
                out.push_back(r);
        }
        return out;
    }
    /** Request texts of @p codec, without the handshake and keep-alive pings. */
    std::vector<std::string> requestTexts(int codec = 0) const
    {
        std::vector<std::string> out;
        for (const Request &r : requests(codec)) {
            if (r.text != "hello/hello" && r.text.rfind("ping", 0) != 0 && r.text.rfind("login", 0) != 0)
                out.push_back(r.text);
        }
        return out;
    }
    int count(const std::string &text, int codec = 0) const
    {
        int n = 0;
        for (const Request &r : requests(codec))
            n += r.text == text;
        return n;
    }

private:
    void record(int codec, const Message &m)
    {
        std::vector<std::string> texts;
        if (m.name() == "subscribe") {
            for (int i = 0; i < m.child_count(); ++i) {
                const Message &sub = m.get_child(i);
                std::string t = "subscribe:" + sub.get_string("id");
                if (sub.has_attribute("interval"))
                    t += "/" + sub.get_string("interval");
                texts.push_back(t);
            }
        } else {
            std::string t = m.name();
            if (m.has_attribute("seq"))
                t += "/" + m.get_string("seq");
            texts.push_back(t);
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        for (const std::string &t : texts)
            m_requests.push_back(Request{codec, t, m});
    }
    bool allGone()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QPointer<IPCObject> &s : m_sessions) {
            if (s)
                return false;
        }
        return true;
    }

    IQCommonApp m_app;
    std::unique_ptr<codecsim::Simulator> m_sim;
    bool m_ok = false;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    QList<QPointer<IPCObject>> m_sessions;
};

/** Every state a session announced, in order. */
class StateLog : public QObject
{
public:
    explicit StateLog(IPCObject *s)
    {
        QObject::connect(s, &IPCObject::changedState, this,
                         [this](QUuid, IQEndpointClient::DEVICE_STATE st) { states.append(st); });
    }
    int count(IQEndpointClient::DEVICE_STATE st) const { return states.count(st); }
    QList<IQEndpointClient::DEVICE_STATE> states;
};

/** The audio connection events (started, ended) a session raised, in order; presence events left out. */
class AudioEvents : public QObject
{
public:
    explicit AudioEvents(IPCObject *s)
    {
        QObject::connect(s, &IPCObject::deviceEvent, this, [this](IPCObject *, QV_EVENT e) {
            if (e == QV_EVENT_AUDIO_CONNECTION_STARTED || e == QV_EVENT_AUDIO_CONNECTION_ENDED)
                events.append(e);
        });
    }
    int count() const { return events.size(); }
    QV_EVENT at(int i) const { return events.at(i); }
    QList<QV_EVENT> events;
};
