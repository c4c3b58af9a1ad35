#pragma once

#include "ctlformat.h"
#include "ctloptions.h"
#include "ctloutput.h"
#include "ipcobject.h"
#include "qvevent.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUuid>

class IPCObject;
class IQManager;

namespace qvctl {


/**
 * Runs one command against one codec: opens a device session through the
 * manager, waits (at most the time-out) until it is READY, runs the command
 * on the session's tables and cache, prints the result and finishes with the
 * exit status. Every wait has a deadline, except watch without --seconds,
 * which runs until interrupted.
 */
class CommandRunner : public QObject
{
    Q_OBJECT
public:
    CommandRunner(const Options &options, Output &output, IQManager *manager, QObject *parent = nullptr);
    ~CommandRunner() override;

    /** Opens the session and connects; the outcome comes with finished(). */
    void start();
    bool isFinished() const { return m_finished; }
    int exitStatus() const { return m_status; }

    /** The state's name as the enumeration spells it ("READY", "AUTH_FAILED", ...). */
    static QString stateName(IQEndpointClient::DEVICE_STATE state);

public slots:
    /** SIGINT or SIGTERM: the end of a watch (status 0), otherwise an interruption. */
    void interrupt();

signals:
    void finished(int status);

private:
    enum class Phase { Connecting, WaitingResult, Watching, Done };

    void onStateChanged(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void onDeadline();
    void onConnectionFailed(const QString &reason);
    void onRequestFailed(QUuid uuid, const QString &key, const QString &code, const QString &text);
    void onFrameRejected(const QString &reason);
    void onPeerList();
    void onDeviceEvent(IPCObject *device, QV_EVENT event);
    void onLevels(float rmlf, float rmrf, float tmlf, float tmrf, float rmls, float rmrs, float tmls, float tmrs);
    void flushLevels();

    void runCommand();
    void printStatus();
    void printPeers();
    void printProfiles();
    void printRecord();
    void startConnect();
    void startDisconnect();
    void startWatch();
    /** Whether the last peer list shows what the connect or disconnect asked for. */
    bool resultReached() const;
    QList<Connection> activeConnections() const;
    void connectionLost(const QString &reason);
    void finish(int status, const QString &error = QString());

    QString codecText() const;
    QString currentStateName() const;
    int timeoutMs() const;
    static QString now();

    Options m_options;
    Output &m_output;
    Formatter m_format;
    IQManager *m_manager;
    QPointer<IPCObject> m_session;

    Phase m_phase = Phase::Connecting;
    bool m_finished = false;
    int m_status = ExitOk;
    bool m_reachedConnected = false;
    QString m_failure; // the reason of the last connection failure

    QTimer m_deadline;
    QTimer m_watchEnd;

    // watch: levels at most ten lines a second, the latest one held back
    RateLimiter m_levelLimiter{10};
    QElapsedTimer m_clock;
    QTimer m_levelTimer;
    Levels m_pendingLevels{};
    bool m_levelsPending = false;
};

} // namespace qvctl
