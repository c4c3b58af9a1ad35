#include "iqdelivery.h"

#include "iqendpointclient.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QThread>

#include <map>

namespace {

thread_local bool t_loopThread = false;

struct Registry {
    std::mutex mutex;
    std::map<QThread *, IQDelivery *> byThread;
};

Registry &registry()
{
    static Registry r;
    return r;
}

// The application is going: nothing will be delivered any more.
void destroyAll()
{
    Registry &r = registry();
    std::map<QThread *, IQDelivery *> all;
    {
        std::lock_guard<std::mutex> guard(r.mutex);
        all.swap(r.byThread);
    }
    for (auto &entry : all)
        delete entry.second;
}

} // namespace

IQDelivery::IQDelivery(QThread *thread)
{
    moveToThread(thread);
}

IQDelivery *IQDelivery::forThread(QThread *thread)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto it = r.byThread.find(thread);
    if (it != r.byThread.end())
        return it->second;
    auto *delivery = new IQDelivery(thread);
    if (r.byThread.empty() && QCoreApplication::instance())
        qAddPostRoutine(destroyAll);
    r.byThread[thread] = delivery;
    // A finished thread runs nothing more: forget its instance with it.
    QObject::connect(thread, &QThread::finished, [thread] {
        Registry &reg = registry();
        IQDelivery *d = nullptr;
        {
            std::lock_guard<std::mutex> g(reg.mutex);
            auto found = reg.byThread.find(thread);
            if (found == reg.byThread.end())
                return;
            d = found->second;
            reg.byThread.erase(found);
        }
        d->deleteLater();
    });
    return delivery;
}

void IQDelivery::flushAll()
{
    Registry &r = registry();
    // Flushing under the registry lock keeps the instances alive meanwhile.
    std::lock_guard<std::mutex> guard(r.mutex);
    for (const auto &entry : r.byThread)
        entry.second->flush();
}

void IQDelivery::setLoopThread(bool loop)
{
    t_loopThread = loop;
}

void IQDelivery::enqueue(IQEndpointClient *endpoint, int methodIndex, std::shared_ptr<const Message> message)
{
    push(Call{endpoint, methodIndex, std::move(message), QString()});
}

void IQDelivery::enqueueText(IQEndpointClient *endpoint, int signalIndex, const QString &text)
{
    // Never null, so drain() tells it from an argument-less signal.
    push(Call{endpoint, signalIndex, nullptr, text.isNull() ? QStringLiteral("") : text});
}

void IQDelivery::push(Call call)
{
    bool postNow = false;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_queue.push_back(std::move(call));
        if (!m_posted) {
            // The loop flushes before it waits; any other thread posts at once.
            if (t_loopThread) {
                m_needsPost = true;
            } else {
                m_posted = true;
                postNow = true;
            }
        }
    }
    if (postNow)
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void IQDelivery::flush()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_needsPost || m_posted)
            return;
        m_needsPost = false;
        m_posted = true;
    }
    QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void IQDelivery::forget(IQEndpointClient *endpoint)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->endpoint == endpoint)
            it = m_queue.erase(it);
        else
            ++it;
    }
}

void IQDelivery::drain()
{
    size_t budget;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_posted = false;
        m_needsPost = false;
        // What arrives from now on gets a drain of its own: other events of
        // this thread are not starved by a busy loop.
        budget = m_queue.size();
    }
    // One call at a time under the lock: a slot may destroy an endpoint, whose
    // remaining calls forget() then removes before they are reached.
    for (; budget > 0; --budget) {
        Call call;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_queue.empty())
                return;
            call = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const QMetaMethod method = call.endpoint->metaObject()->method(call.methodIndex);
        if (call.message)
            method.invoke(call.endpoint, Qt::DirectConnection, Q_ARG(Message, *call.message));
        else if (!call.text.isNull())
            method.invoke(call.endpoint, Qt::DirectConnection, Q_ARG(QString, call.text));
        else
            method.invoke(call.endpoint, Qt::DirectConnection);
    }
}
