#pragma once

#include "alertmail.h"
#include "mailratelimiter.h"
#include "mailserversettings.h"
#include "qvevent.h"
#include "smtpsender.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

class IPCObject;

/**
 * Mails device events to each codec's address list through one SMTP server.
 * Qt Core only. Every call returns at once: deliveries run on worker threads
 * and their results come back to this object's thread by queued call. A
 * failed delivery is logged with the server's answer and tried once more;
 * at most one mail per codec and kind of event goes out per minute, and the
 * next one says how many were held back.
 */
class AlertMailer : public QObject
{
    Q_OBJECT

public:
    static constexpr int Attempts = 2;
    static constexpr int DefaultRetryDelayMs = 20000;
    /** Monotonic milliseconds. */
    using Clock = std::function<qint64()>;

    explicit AlertMailer(QObject *parent = nullptr);
    /** Aborts the deliveries in progress and waits for their threads. */
    ~AlertMailer() override;

    void setServer(const MailServerSettings &server) { m_server = server; }
    const MailServerSettings &server() const { return m_server; }
    /** Replaces the clock of the rate limit (tests). */
    void setClock(Clock clock) { m_clock = std::move(clock); }
    /** The pause before the second attempt of a failed delivery. */
    void setRetryDelay(int ms) { m_retryDelayMs = ms; }

    /** Mails @p event of @p device to the device's addresses (application thread). */
    void alert(IPCObject *device, QV_EVENT event);
    /** Mails the event @p facts describe to @p recipients, under the rate limit of the codec and event. */
    void alert(const AlertMailFacts &facts, const QStringList &recipients);
    /** Sends one test mail through @p server, once; the answer comes by testMailFinished(). */
    void sendTestMail(const MailServerSettings &server, const QString &recipient);

    /** Deliveries started and not yet finished (a retry waiting counts). */
    int pending() const { return m_pending; }

signals:
    void mailSent(const QString &recipient, const QString &subject);
    /** Both attempts failed; @p error carries the server's answer. */
    void mailFailed(const QString &recipient, const QString &subject, const QString &error);
    void testMailFinished(bool ok, const QString &detail);

private:
    struct Job {
        MailServerSettings server;
        OutgoingMail mail;
        int attempt = 1;
        bool test = false;
    };
    void start(const Job &job);
    void finished(const Job &job, const SmtpResult &result);
    qint64 now() const;

    MailServerSettings m_server;
    Clock m_clock;
    MailRateLimiter m_limiter;
    QHash<QString, QString> m_knownNames; // codec address -> last unit name it told
    int m_retryDelayMs = DefaultRetryDelayMs;
    int m_pending = 0;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    QThreadPool m_pool;
};
