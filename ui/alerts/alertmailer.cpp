#include "alertmailer.h"

#include "ipcobject.h"
#include "platform/clock.h"

#include <QMetaObject>
#include <QTimer>
#include <QtDebug>

AlertMailer::AlertMailer(QObject *parent)
    : QObject(parent)
    , m_cancel(std::make_shared<std::atomic<bool>>(false))
{
    m_pool.setMaxThreadCount(2);
}

AlertMailer::~AlertMailer()
{
    m_cancel->store(true);
    m_pool.clear();
    m_pool.waitForDone();
}

qint64 AlertMailer::now() const
{
    return m_clock ? m_clock() : qint64(IpcPlatform::monotonicMicros() / 1000);
}

void AlertMailer::alert(IPCObject *device, QV_EVENT event)
{
    if (!device || device->emailAddresses().isEmpty())
        return;
    alert(AlertMailFacts::of(device, event, QDateTime::currentDateTime()), device->emailAddresses());
}

void AlertMailer::alert(const AlertMailFacts &facts, const QStringList &recipients)
{
    if (recipients.isEmpty())
        return;
    AlertMailFacts f = facts;
    // After a loss the codec's records may be gone: keep the name it last told.
    if (f.codecName != f.codecAddress)
        m_knownNames.insert(f.codecAddress, f.codecName);
    else
        f.codecName = m_knownNames.value(f.codecAddress, f.codecName);

    const QString key = f.codecAddress + QLatin1Char('#') + QString::number(int(f.event));
    if (!m_limiter.admit(key, now(), &f.heldBack))
        return;
    if (!m_server.isConfigured()) {
        qWarning("Alert e-mail \"%s\" not sent: no mail server is set up.",
                 qPrintable(AlertMail::eventText(f.event)));
        emit mailFailed(recipients.join(QStringLiteral(", ")), AlertMail::compose(f).subject,
                        QStringLiteral("no mail server is set up"));
        return;
    }
    const AlertMail mail = AlertMail::compose(f);
    for (const QString &recipient : recipients) {
        // An address no server would take is not worth a retry.
        if (!SmtpSender::envelopeAddressOk(recipient.trimmed())) {
            qWarning("Alert e-mail not sent to \"%s\": not a usable address.", qPrintable(recipient));
            emit mailFailed(recipient, mail.subject, QStringLiteral("not a usable address"));
            continue;
        }
        Job job;
        job.server = m_server;
        job.mail = OutgoingMail{m_server.sender, recipient.trimmed(), mail.subject, mail.body, f.time};
        start(job);
    }
}

void AlertMailer::sendTestMail(const MailServerSettings &server, const QString &recipient)
{
    Job job;
    job.server = server;
    job.test = true;
    job.mail = OutgoingMail{server.sender, recipient.trimmed(), QStringLiteral("[Quorvane] Test mail"),
                            QStringLiteral("This test mail was sent by Quorvane to check its mail server settings.\n"),
                            QDateTime::currentDateTime()};
    start(job);
}

void AlertMailer::start(const Job &job)
{
    ++m_pending;
    std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    m_pool.start([this, job, cancel] {
        const SmtpResult result = SmtpSender::send(job.server, job.mail, cancel.get());
        if (cancel->load())
            return;
        // The destructor waits for this thread, so the object is alive here.
        QMetaObject::invokeMethod(this, [this, job, result] { finished(job, result); }, Qt::QueuedConnection);
    });
}

void AlertMailer::finished(const Job &job, const SmtpResult &result)
{
    --m_pending;
    if (job.test) {
        emit testMailFinished(result.ok, result.ok ? QStringLiteral("Test mail sent to %1.").arg(job.mail.to)
                                                   : result.error);
        return;
    }
    if (result.ok) {
        emit mailSent(job.mail.to, job.mail.subject);
        return;
    }
    qWarning("Alert e-mail to %s through %s failed (attempt %d of %d): %s", qPrintable(job.mail.to),
             qPrintable(SmtpSender::url(job.server)), job.attempt, Attempts, qPrintable(result.error));
    if (job.attempt < Attempts) {
        Job again = job;
        ++again.attempt;
        ++m_pending;
        QTimer::singleShot(m_retryDelayMs, this, [this, again] {
            --m_pending;
            start(again);
        });
        return;
    }
    emit mailFailed(job.mail.to, job.mail.subject, result.error);
}
