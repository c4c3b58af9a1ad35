#include "presenceevents.h"

#include "ipcobject.h"
#include "platform/clock.h"


PresenceEvents::PresenceEvents(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &PresenceEvents::releaseHeld);
}

PresenceEvents *PresenceEvents::attach(IPCObject *session)
{
    auto *rule = new PresenceEvents(session);
    connect(session, &IQEndpointClient::ready, rule, &PresenceEvents::becameReady);
    connect(session, &IQEndpointClient::disconnected, rule, &PresenceEvents::wasLost);
    connect(session, &IQEndpointClient::cnxn_timed_out, rule, &PresenceEvents::wasLost);
    connect(rule, &PresenceEvents::raised, session, [session](QV_EVENT event) {
        // A session being removed by the operator is not a codec going away.
        if (!session->isClosing())
            emit session->deviceEvent(session, event);
    });
    return rule;
}

void PresenceEvents::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

qint64 PresenceEvents::now() const
{
    return m_clock ? m_clock() : qint64(IpcPlatform::monotonicMicros() / 1000);
}

void PresenceEvents::becameReady()
{
    if (m_online)
        return;
    m_online = true;
    announce(Online);
}

void PresenceEvents::wasLost()
{
    if (!m_online)
        return;
    m_online = false;
    announce(Offline);
}

void PresenceEvents::announce(Announced kind)
{
    // Flapped back to what was last said: a held event is no longer due.
    if (kind == m_announced) {
        m_timer.stop();
        return;
    }
    const bool raisedBefore = kind == Online ? m_raisedOnline : m_raisedOffline;
    const qint64 last = kind == Online ? m_lastOnline : m_lastOffline;
    const qint64 t = now();
    if (raisedBefore && t - last < HoldOffMs) {
        m_timer.start(int(last + HoldOffMs - t));
        return;
    }
    m_timer.stop();
    m_announced = kind;
    if (kind == Online) {
        m_raisedOnline = true;
        m_lastOnline = t;
        emit raised(QV_EVENT_DEVICE_ONLINE);
    } else {
        m_raisedOffline = true;
        m_lastOffline = t;
        emit raised(QV_EVENT_DEVICE_OFFLINE);
    }
}

void PresenceEvents::releaseHeld()
{
    if (m_announced == Nothing && !m_online)
        return;
    announce(m_online ? Online : Offline);
}
