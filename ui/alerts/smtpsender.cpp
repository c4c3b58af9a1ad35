#include "smtpsender.h"

#include "common/backendmodule.h"

#include <QLocale>
#include <QUuid>

namespace {

/** A header value on one line: a codec's name could carry a line break meant to add headers. */
QString headerSafe(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return out.simplified();
}

/** Plain ASCII as it is; anything else as UTF-8 encoded words of at most 45 bytes each. */
QByteArray encodeHeader(const QString &text)
{
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return text.toLatin1();
    QByteArrayList words;
    QByteArray chunk;
    for (int i = 0; i < text.size(); ++i) {
        // A surrogate pair stays in one word.
        const int n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = text.mid(i, n).toUtf8();
        i += n - 1;
        if (chunk.size() + bytes.size() > 45) {
            words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
            chunk.clear();
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty())
        words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
    return words.join("\r\n ");
}

QByteArray rfc2822Date(const QDateTime &when)
{
    const QDateTime local = (when.isValid() ? when : QDateTime::currentDateTime()).toLocalTime();
    const int offset = local.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
    return (QLocale::c().toString(local, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")) + zone).toLatin1();
}

} // namespace

BackendModule &SmtpSender::module()
{
    static BackendModule mail(QStringLiteral("mail"));
    return mail;
}

QString SmtpSender::url(const MailServerSettings &server)
{
    const QString scheme = server.security == MailServerSettings::Tls ? QStringLiteral("smtps") : QStringLiteral("smtp");
    QString host = server.host.trimmed();
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("%1://%2:%3").arg(scheme, host).arg(server.port);
}

bool SmtpSender::envelopeAddressOk(const QString &address)
{
    if (address.isEmpty() || address.count(QLatin1Char('@')) != 1)
        return false;
    for (QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c == QLatin1Char('<') || c == QLatin1Char('>'))
            return false;
    }
    return true;
}

QByteArray SmtpSender::format(const OutgoingMail &mail)
{
    QByteArray out;
    out += "Date: " + rfc2822Date(mail.date) + "\r\n";
    out += "From: <" + headerSafe(mail.from).toUtf8() + ">\r\n";
    out += "To: <" + headerSafe(mail.to).toUtf8() + ">\r\n";
    out += "Subject: " + encodeHeader(headerSafe(mail.subject)) + "\r\n";
    out += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + "@quorvane>\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: text/plain; charset=UTF-8\r\n";
    out += "Content-Transfer-Encoding: 8bit\r\n";
    out += "\r\n";
    QString body = mail.body;
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    out += body.toUtf8().replace("\n", "\r\n");
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    return out;
}

SmtpResult SmtpSender::send(const MailServerSettings &server, const OutgoingMail &mail, const std::atomic<bool> *cancel)
{
    SmtpResult result;
    if (!server.isConfigured()) {
        result.error = QStringLiteral("no mail server is set up");
        return result;
    }
    if (!envelopeAddressOk(mail.from) || !envelopeAddressOk(mail.to)) {
        result.error = QStringLiteral("not a usable address: \"%1\"").arg(envelopeAddressOk(mail.from) ? mail.to : mail.from);
        return result;
    }
    const auto transfer = reinterpret_cast<SmtpTransferFunction>(module().resolve(SmtpTransferSymbol));
    if (!transfer) {
        result.error = QStringLiteral("the mail module could not be loaded: %1").arg(module().errorString());
        return result;
    }
    SmtpTransfer t;
    t.url = url(server).toUtf8();
    t.from = "<" + mail.from.toUtf8() + ">";
    t.to = "<" + mail.to.toUtf8() + ">";
    t.user = server.user.toUtf8();
    t.password = server.password.toUtf8();
    t.payload = format(mail);
    t.startTls = server.security == MailServerSettings::StartTls;
    t.connectTimeoutSeconds = ConnectTimeoutSeconds;
    t.transferTimeoutSeconds = TransferTimeoutSeconds;
    t.cancel = cancel;
    transfer(t, result);
    return result;
}
