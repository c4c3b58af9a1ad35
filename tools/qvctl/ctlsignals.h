#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace qvctl {

/**
 * Turns SIGINT and SIGTERM into a Qt signal on the thread that owns the
 * watcher: the handler only writes the signal number to a pipe, which a
 * socket notifier reads from the event loop. One watcher per process.
 */
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    /** Installs the handlers; false with @p error when the pipe or a handler cannot be set up. */
    bool install(QString &error);

signals:
    void interrupted(int signalNumber);

private:
    void readPipe();

    int m_fds[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
    bool m_installed = false;
};

} // namespace qvctl
