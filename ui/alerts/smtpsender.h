#pragma once

#include "alerts/backends/mailbackend.h"
#include "mailserversettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>

class BackendModule;

/** One plain-text mail to one recipient. */
struct OutgoingMail
{
    QString from;
    QString to;
    QString subject;
    QString body;
    QDateTime date;
};

/**
 * Hands one mail to an SMTP server through the mail module (libcurl, loaded
 * by the first mail). Blocking: call it from a worker thread, never from the
 * GUI thread.
 */
class SmtpSender
{
public:
    static constexpr int ConnectTimeoutSeconds = 15;
    static constexpr int TransferTimeoutSeconds = 60;

    /** Delivers @p mail; @p cancel (may be null) aborts a transfer in progress when it turns true. */
    static SmtpResult send(const MailServerSettings &server, const OutgoingMail &mail,
                           const std::atomic<bool> *cancel = nullptr);
    /** "smtp://host:port" (none, STARTTLS) or "smtps://host:port" (TLS). */
    static QString url(const MailServerSettings &server);
    /** The message as it goes on the wire: headers, a blank line and the body, CRLF line ends. */
    static QByteArray format(const OutgoingMail &mail);
    /** Whether @p address can stand in an envelope: non-empty, one "@", no blanks, brackets or controls. */
    static bool envelopeAddressOk(const QString &address);
    /** The mail module (libquorvane-mail.so), loaded by the first mail that goes out. */
    static BackendModule &module();
};
