#pragma once

#include "message.h"

#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <mutex>

class IQEndpointClient;
class QThread;

/**
 * Hands endpoint callbacks ("cb_resp_*", "cb_unso_*" with a copied Message)
 * from the loop thread to the thread the endpoint lives in.
 *
 * One instance per receiving thread, living in it. The loop queues calls
 * during a turn and posts one Qt event per receiving thread before it waits
 * again, instead of one event (and one wake-up of the receiving thread) per
 * message: with a thousand codecs sending levels every 70 ms, the wake-ups
 * would cost more than everything else. State signals and failure reasons
 * raised on the loop thread travel the same queue, so the receiving thread
 * sees signals and callbacks in the order the loop produced them.
 */
class IQDelivery : public QObject
{
    Q_OBJECT
public:
    /** The instance for @p thread (created on first use; goes when the thread finishes). */
    static IQDelivery *forThread(QThread *thread);
    /** Posts the pending drains of every receiving thread (the loop, before it waits). */
    static void flushAll();
    /** Marks the calling thread as a manager loop, whose queued calls wait for flushAll(). */
    static void setLoopThread(bool loop);

    /**
     * Queues a call of @p methodIndex on @p endpoint: a slot taking
     * @p message (shared, never changed again), or (null message) a signal
     * without arguments, emitted there.
     */
    void enqueue(IQEndpointClient *endpoint, int methodIndex, std::shared_ptr<const Message> message);
    /** Queues the emission of the signal @p signalIndex taking one QString, with @p text. */
    void enqueueText(IQEndpointClient *endpoint, int signalIndex, const QString &text);
    /** Posts the drain now if calls are waiting for one. */
    void flush();
    /** Drops every call still queued for @p endpoint (it is being destroyed). */
    void forget(IQEndpointClient *endpoint);

private slots:
    void drain();

private:
    explicit IQDelivery(QThread *thread);

    struct Call {
        IQEndpointClient *endpoint;
        int methodIndex;
        std::shared_ptr<const Message> message;
        QString text; // the argument of a signal taking a QString (isNull() for the others)
    };

    void push(Call call);

    std::mutex m_mutex;
    std::deque<Call> m_queue;
    bool m_posted = false;      // a drain event is on its way
    bool m_needsPost = false;   // calls wait for the loop's flush
};
