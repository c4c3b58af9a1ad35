#pragma once

#include "qvevent.h"

#include <QObject>
#include <QTimer>

#include <functional>

class IPCObject;

/**
 * Raises a session's presence events: "device online" when it becomes READY,
 * "device offline" when a session that was READY is lost (DISCONNECTED or
 * TIMED_OUT). A codec that flaps raises each kind at most once per hold-off
 * period; when a period ends with the codec in the other state than the one
 * last announced, the held-back event is raised then, so the last word is
 * always the codec's real state.
 */
class PresenceEvents : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 HoldOffMs = 30000;
    /** Monotonic milliseconds. */
    using Clock = std::function<qint64()>;

    explicit PresenceEvents(QObject *parent = nullptr);

    /**
     * A rule owned by @p session, fed by its ready(), disconnected() and
     * cnxn_timed_out() signals and raising its deviceEvent().
     */
    static PresenceEvents *attach(IPCObject *session);

    /** Replaces the clock (tests); the default is a monotonic timer. */
    void setClock(Clock clock);
    /** READY and not lost since. */
    bool isOnline() const { return m_online; }
    /** Whether an event waits for its hold-off to end. */
    bool isHolding() const { return m_timer.isActive(); }

public slots:
    /** The session entered READY. */
    void becameReady();
    /** The session entered DISCONNECTED or TIMED_OUT. */
    void wasLost();
    /** Raises the held-back event if it is still due and its hold-off is over (the timer calls it). */
    void releaseHeld();

signals:
    void raised(QV_EVENT event);

private:
    enum Announced { Nothing, Online, Offline };
    /** Announces @p kind now, or holds it until its hold-off ends. */
    void announce(Announced kind);
    qint64 now() const;

    Clock m_clock;
    QTimer m_timer;
    bool m_online = false;
    Announced m_announced = Nothing;
    qint64 m_lastOnline = 0;
    qint64 m_lastOffline = 0;
    bool m_raisedOnline = false;
    bool m_raisedOffline = false;
};
