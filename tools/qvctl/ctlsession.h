#pragma once

#include "ipcobject.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <mutex>

namespace qvctl {

/**
 * The device session as the desktop program runs it, plus one thing a
 * command-line client must notice that the session itself lets pass: frames
 * that are not messages at all. They are reported, then handed to the
 * session as usual.
 */
class CtlSession : public IPCObject
{
    Q_OBJECT
public:
    explicit CtlSession(const QUuid &uuid, IQManager *manager);

signals:
    /** A frame that did not parse into a message. Loop thread. */
    void garbageReceived();

protected:
    void handleUnsolicited(const Message &message) override;
};

/**
 * Listens to the network library's log for what the states do not carry:
 * why a connection failed, and what was wrong with a frame that was not a
 * message. Installs itself as the log's sink for its lifetime.
 */
class TransportWatch : public QObject
{
    Q_OBJECT
public:
    explicit TransportWatch(QObject *parent = nullptr);
    ~TransportWatch() override;

    /** The last complaint about a received frame (empty when none). */
    QString lastFrameComplaint() const;

signals:
    /** A socket failed, with the transport's reason ("remote disconnect", "Connection refused", ...). */
    void socketFailed(QString reason);

private:
    void take(int category, int level, const char *text);

    mutable std::mutex m_mutex;
    QString m_frameComplaint;
    int m_oldSocketThreshold;
};

} // namespace qvctl
