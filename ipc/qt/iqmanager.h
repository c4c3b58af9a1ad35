#pragma once

#include "iqmutex.h"

#include <QObject>
#include <QString>

#include <memory>

class IPCEndpoint;
class IPCManager;
class IQEndpointClient;

/**
 * The Qt face of the network manager. It owns the IPCManager (whose state
 * lock is this object's IQMutex) and lives in the manager thread, where its
 * queued slots run: connect_client resolves host names there, never on the
 * loop thread. The loop itself runs through event_loop_slot() on a pooled
 * thread (see IQCommonApp).
 */
class IQManager : public QObject
{
    Q_OBJECT
public:
    explicit IQManager(QObject *parent = nullptr);
    ~IQManager() override;

    IPCManager &manager();
    IQMutex &mutex() { return m_mutex; }

    /** Creates an IQEndpointClient named @p name and registers it; the caller owns it. */
    IQEndpointClient *create_client(const QString &name);
    /** Registers an endpoint the caller owns under @p name; false when the name is taken. */
    bool register_endpoint(const QString &name, IPCEndpoint *endpoint);

    /**
     * Finds or creates the endpoint @p name and connects it to @p address
     * ("10.0.0.5:8080", "[::1]:8080", or a host name with a port) over
     * @p transport ("stream") speaking @p protocol ("xmls").
     */
    Q_INVOKABLE void connect_client(QString protocol, QString transport, QString address, QString name);
    /** Drops the endpoint; afterwards the loop never touches it again. */
    Q_INVOKABLE void remove_endpoint(QString name);
    /** Closes the endpoint's connection (an endpoint the manager owns goes too). */
    Q_INVOKABLE void disconnect_endpoint(QString name);

signals:
    void event_loop_stopped();

public slots:
    /** Runs the loop on the calling thread until it is stopped. */
    void event_loop_slot();
    void print_thread_id();

private:
    class Core;
    IQMutex m_mutex; // declared first: the manager uses it until it is gone
    std::unique_ptr<Core> m_core;
};
