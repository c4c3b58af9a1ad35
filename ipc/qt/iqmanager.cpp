#include "iqmanager.h"

#include "ipcmanager.h"
#include "iqdelivery.h"
#include "iqendpointclient.h"
#include "logger.h"
#include "platform/net.h"

#include <QThread>

class IQManager::Core final : public IPCManager
{
public:
    explicit Core(IQManager *owner)
        : m_owner(owner)
    {
    }
    ~Core() override
    {
        // Only the endpoints this manager created are its own to delete.
        set_running(false);
    }

    IPCMutex *state_lock() override { return &m_owner->m_mutex; }

    // Callbacks queued during the turn go out in one event per receiving thread.
    void on_before_wait() override { IQDelivery::flushAll(); }

    void dispose_endpoint(IPCEndpoint *endpoint) override
    {
        // Later, on the manager's thread: the endpoint may be on the loop's
        // stack right now (a callback that dropped it).
        if (auto *object = dynamic_cast<QObject *>(endpoint)) {
            object->deleteLater();
            return;
        }
        QMetaObject::invokeMethod(m_owner, [endpoint] { delete endpoint; }, Qt::QueuedConnection);
    }

    bool request_resolve(const std::string &name, const std::string &host) override
    {
        QMetaObject::invokeMethod(
            m_owner,
            [this, name, host] {
                IpcPlatform::SocketAddress address;
                std::string error;
                const bool ok = IpcPlatform::resolveHost(host, address, error);
                apply_resolved(name, host, ok, address, error);
            },
            Qt::QueuedConnection);
        return true;
    }

private:
    IQManager *m_owner;
};

IQManager::IQManager(QObject *parent)
    : QObject(parent)
    , m_core(std::make_unique<Core>(this))
{
    setObjectName(QStringLiteral("IQManager"));
    iqRegisterMetaTypes();
    m_core->set_periodic_interval(4000);
}

IQManager::~IQManager() = default;

IPCManager &IQManager::manager()
{
    return *m_core;
}

IQEndpointClient *IQManager::create_client(const QString &name)
{
    auto *client = new IQEndpointClient(name);
    if (!register_endpoint(name, client)) {
        delete client;
        return nullptr;
    }
    return client;
}

bool IQManager::register_endpoint(const QString &name, IPCEndpoint *endpoint)
{
    return m_core->register_endpoint(name.toUtf8().toStdString(), endpoint);
}

void IQManager::connect_client(QString protocol, QString transport, QString address, QString name)
{
    m_core->connect_text(protocol.toUtf8().toStdString(), transport.toUtf8().toStdString(),
                         address.toUtf8().toStdString(), name.toUtf8().toStdString());
}

void IQManager::remove_endpoint(QString name)
{
    m_core->remove_endpoint(name.toUtf8().toStdString());
}

void IQManager::disconnect_endpoint(QString name)
{
    m_core->disconnect_endpoint(name.toUtf8().toStdString());
}

void IQManager::event_loop_slot()
{
    IQDelivery::setLoopThread(true);
    m_core->event_loop();
    IQDelivery::setLoopThread(false);
    emit event_loop_stopped();
}

void IQManager::print_thread_id()
{
    IPC_LOG(LOGC_MANAGER, LOG_DEBUG, "IQManager thread id %p", static_cast<void *>(QThread::currentThreadId()));
}
