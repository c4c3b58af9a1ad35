#pragma once

// One manager with its thread and loop, and one scripted codec.

#include "ipcconn.h"
#include "ipcmanager.h"
#include "iqcommonapp.h"
#include "iqmanager.h"
#include "platform/clock.h"
#include "scriptpeer.h"
#include "transporttest.h"

#include <QMetaObject>
#include <QTest>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

/**
 * The rigs' manager clock: the monotonic clock plus an offset that only
 * grows, so a test can let the reconnect interval pass without waiting.
 */
inline std::atomic<uint64_t> g_clockOffsetUs{0};
inline uint64_t rigClock()
{
    return IpcPlatform::monotonicMicros() + g_clockOffsetUs.load();
}

/** Deletes a client the way a session goes: out of the manager first. */
struct ClientDeleter {
    void operator()(TestClient *client) const
    {
        if (IPCManager *m = client->manager())
            m->remove_endpoint(client->name());
        delete client;
    }
};
using ClientPtr = std::unique_ptr<TestClient, ClientDeleter>;

struct Rig {
    IQCommonApp app;
    ScriptPeer peer;

    explicit Rig(CodecScript script = CodecScript(), std::function<void(IPCManager &)> setup = {})
    {
        peer.setHandler(codecHandler(script));
        peer.start();
        app.manager()->manager().set_clock(&rigClock);
        if (setup)
            setup(app.manager()->manager());
        app.start_manager();
    }
    ~Rig()
    {
        app.stop_manager();
        peer.stop();
    }

    IQManager *manager() { return app.manager(); }

    /** Moves the manager's clock @p seconds on and wakes the loop (reconnects fall due at once). */
    void skipAhead(unsigned seconds)
    {
        g_clockOffsetUs += uint64_t(seconds) * 1000000u;
        manager()->manager().wake();
    }

    /** Waits until the loop has run @p turns more turns (it is woken for each). */
    bool loopTurns(int turns)
    {
        const uint64_t until = manager()->manager().turn_count() + uint64_t(turns);
        return QTest::qWaitFor(
            [&] {
                manager()->manager().wake();
                return manager()->manager().turn_count() >= until;
            },
            10000);
    }

    void connect(IQEndpointClient *client, const QString &address = QString())
    {
        QMetaObject::invokeMethod(manager(), "connect_client", Qt::QueuedConnection, Q_ARG(QString, "xmls"),
                                  Q_ARG(QString, "stream"),
                                  Q_ARG(QString, address.isEmpty() ? QString::fromStdString(peer.address()) : address),
                                  Q_ARG(QString, client->endpointName()));
    }

    /** A client registered with the manager (not yet connected). */
    TestClient *client(const QString &name, const QString &password = "secret")
    {
        auto *c = new TestClient(name);
        c->setPassword(password);
        manager()->register_endpoint(name, c);
        return c;
    }

    /** Whether @p client has a connection in the open state (read under the state lock). */
    int connState(IQEndpointClient *client)
    {
        IPCLockGuard guard(&manager()->mutex());
        IPCConn *conn = client->connection();
        return conn ? conn->state() : -1;
    }
};
