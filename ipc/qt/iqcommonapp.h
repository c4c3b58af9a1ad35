#pragma once

#include <QObject>

#include <future>

class QThread;
class IQManager;

/**
 * Owns the network manager, the thread its Qt object lives in and the
 * pooled task that runs its event loop.
 *
 * The program has one, reachable through instance(); tests may create their
 * own, each with its own manager.
 */
class IQCommonApp : public QObject
{
    Q_OBJECT
public:
    explicit IQCommonApp(QObject *parent = nullptr);
    ~IQCommonApp() override;

    /** The process-wide instance (static storage, built before main). */
    static IQCommonApp *instance();

    IQManager *manager() const { return m_manager; }
    QThread *managerThread() const { return m_thread; }
    /** True between start_manager() and the return of the loop. */
    bool loopRunning() const;

signals:
    void manager_thread_stopped();

public slots:
    /**
     * Moves the manager to its thread, starts the loop on the global thread
     * pool and the thread with the caller's priority. Once only.
     */
    void start_manager();
    /**
     * Stops the loop and the manager thread and waits for both, so the
     * program never exits with either still running.
     */
    void stop_manager();
    /** For a window's destroyed(QObject*). */
    void stop_manager(QObject *);
    /** The manager thread has finished. */
    virtual void handle_manager_thread_stop();

private:
    IQManager *m_manager;
    QThread *m_thread;
    std::shared_future<void> m_loop;
    bool m_started = false;
    bool m_stopped = false;
};
