#include "smtpsender.h"

#include <QLocale>
#include <QUuid>

#include <curl/curl.h>

#include <cstring>
#include <mutex>

namespace {

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

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

struct Upload {
    QByteArray data;
    qsizetype offset = 0;
};

size_t readPayload(char *buffer, size_t size, size_t count, void *user)
{
    auto *upload = static_cast<Upload *>(user);
    const size_t room = size * count;
    const size_t left = size_t(upload->data.size() - upload->offset);
    const size_t n = left < room ? left : room;
    std::memcpy(buffer, upload->data.constData() + upload->offset, n);
    upload->offset += qsizetype(n);
    return n;
}

struct Replies {
    QString last;
    QString firstRefusal;
};

/** Keeps the server's first refusal and its last reply (libcurl shows replies as incoming headers). */
int watchReplies(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    if (type != CURLINFO_HEADER_IN)
        return 0;
    auto *replies = static_cast<Replies *>(user);
    const QString line = QString::fromUtf8(data, int(size)).trimmed();
    if (line.isEmpty())
        return 0;
    replies->last = line;
    // The "221 Bye" of the QUIT that follows a refusal is not the answer worth reporting.
    if (replies->firstRefusal.isEmpty() && (line.startsWith(QLatin1Char('4')) || line.startsWith(QLatin1Char('5'))))
        replies->firstRefusal = line;
    return 0;
}

int checkCancel(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *cancel = static_cast<const std::atomic<bool> *>(user);
    return cancel && cancel->load() ? 1 : 0;
}

} // namespace

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
    initialiseCurl();
    CURL *curl = curl_easy_init();
    if (!curl) {
        result.error = QStringLiteral("the mail library could not start");
        return result;
    }

    const QByteArray urlText = url(server).toUtf8();
    const QByteArray from = "<" + mail.from.toUtf8() + ">";
    const QByteArray to = "<" + mail.to.toUtf8() + ">";
    const QByteArray user = server.user.toUtf8();
    const QByteArray password = server.password.toUtf8();
    curl_slist *recipients = curl_slist_append(nullptr, to.constData());
    Upload upload{format(mail), 0};
    char errorText[CURL_ERROR_SIZE] = {0};
    Replies replies;

    curl_easy_setopt(curl, CURLOPT_URL, urlText.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(ConnectTimeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(TransferTimeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readPayload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    if (server.security == MailServerSettings::StartTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!server.user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    // The debug hook is how libcurl shows the server's replies.
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, watchReplies);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &replies);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkCancel);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, cancel);

    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);

    result.serverReply = replies.firstRefusal.isEmpty() ? replies.last : replies.firstRefusal;
    if (code == CURLE_OK) {
        result.ok = true;
        return result;
    }
    result.error = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
    if (!result.serverReply.isEmpty())
        result.error += QStringLiteral(" (server said: \"%1\")").arg(result.serverReply);
    return result;
}
