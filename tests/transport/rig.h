#pragma once

// One manager with its thread and loop, and one scripted codec.

#include "ipcconn.h"
#include "ipcmanager.h"
#include "iqcommonapp.h"
#include "iqmanager.h"
#include "scriptpeer.h"
#include "transporttest.h"

#include <QMetaObject>
#include <QThread>

#include <functional>
#include <memory>

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
