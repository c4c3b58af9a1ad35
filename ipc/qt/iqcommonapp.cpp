#include "iqcommonapp.h"

#include "ipcmanager.h"
#include "iqmanager.h"
#include "logger.h"

#include <QThread>
#include <QThreadPool>

#include <chrono>
#include <memory>

namespace {

// Waiting for the loop or the thread: a turn ends at once when woken, so this
// only runs out when a queued slot (a host name lookup) hangs.
constexpr int StopWaitMs = 10000;

IQCommonApp g_commonApp;

} // namespace

IQCommonApp *IQCommonApp::instance()
{
    return &g_commonApp;
}

IQCommonApp::IQCommonApp(QObject *parent)
    : QObject(parent)
    , m_manager(new IQManager)
    , m_thread(new QThread)
{
    setObjectName(QStringLiteral("IQCommonApp"));
    m_thread->setObjectName(QStringLiteral("IQManager thread"));
    connect(m_thread, &QThread::finished, this, &IQCommonApp::handle_manager_thread_stop);
}

IQCommonApp::~IQCommonApp()
{
    if (m_started)
        stop_manager();
    // The manager outlives its thread's event loop; delete it from here, but
    // never under a loop that failed to stop.
    if (!loopRunning())
        delete m_manager;
    if (!m_thread->isRunning())
        delete m_thread;
}

bool IQCommonApp::loopRunning() const
{
    return m_loop.valid() && m_loop.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

void IQCommonApp::start_manager()
{
    if (m_started)
        return;
    m_started = true;
    m_manager->moveToThread(m_thread);
    m_manager->manager().set_running(true);

    auto done = std::make_shared<std::promise<void>>();
    m_loop = done->get_future().share();
    QThreadPool *pool = QThreadPool::globalInstance();
    // The loop keeps its pooled thread for good: add one so others keep theirs.
    pool->setMaxThreadCount(pool->maxThreadCount() + 1);
    IQManager *manager = m_manager;
    pool->start([manager, done] {
        manager->event_loop_slot();
        done->set_value();
    });

    QMetaObject::invokeMethod(m_manager, "print_thread_id", Qt::QueuedConnection);
    m_thread->start(QThread::InheritPriority);
}

void IQCommonApp::stop_manager()
{
    if (!m_started || m_stopped)
        return;
    m_stopped = true;
    m_manager->manager().stop();
    m_thread->quit();
    if (m_loop.valid() && m_loop.wait_for(std::chrono::milliseconds(StopWaitMs)) != std::future_status::ready)
        IPC_LOG(LOGC_MANAGER, LOG_ERROR, "IQCommonApp: event loop did not stop");
    else {
        QThreadPool *pool = QThreadPool::globalInstance();
        pool->setMaxThreadCount(pool->maxThreadCount() - 1);
    }
    if (!m_thread->wait(StopWaitMs))
        IPC_LOG(LOGC_MANAGER, LOG_ERROR, "IQCommonApp: manager thread did not stop");
}

void IQCommonApp::stop_manager(QObject *)
{
    stop_manager();
}

void IQCommonApp::handle_manager_thread_stop()
{
    emit manager_thread_stopped();
}
