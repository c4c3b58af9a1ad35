// The mail module: SMTP through libcurl, loaded on the first alert mail so
// that the program starts without the TLS, Kerberos and LDAP libraries
// libcurl brings in.

#include "mailbackend.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>
#include <type_traits>

namespace {

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Upload {
    const QByteArray &data;
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

extern "C" Q_DECL_EXPORT void quorvane_smtp_transfer(const SmtpTransfer &transfer, SmtpResult &result)
{
    result = SmtpResult();
    initialiseCurl();
    CURL *curl = curl_easy_init();
    if (!curl) {
        result.error = QStringLiteral("the mail library could not start");
        return;
    }

    curl_slist *recipients = curl_slist_append(nullptr, transfer.to.constData());
    Upload upload{transfer.payload, 0};
    char errorText[CURL_ERROR_SIZE] = {0};
    Replies replies;

    curl_easy_setopt(curl, CURLOPT_URL, transfer.url.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, transfer.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, transfer.transferTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, transfer.from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readPayload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    if (transfer.startTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!transfer.user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, transfer.user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, transfer.password.constData());
    }
    // The debug hook is how libcurl shows the server's replies.
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, watchReplies);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &replies);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkCancel);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, transfer.cancel);

    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);

    result.serverReply = replies.firstRefusal.isEmpty() ? replies.last : replies.firstRefusal;
    if (code == CURLE_OK) {
        result.ok = true;
        return;
    }
    result.error = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
    if (!result.serverReply.isEmpty())
        result.error += QStringLiteral(" (server said: \"%1\")").arg(result.serverReply);
}

// The program looks the function up by name: keep the name and the type together.
static_assert(std::is_same<decltype(&quorvane_smtp_transfer), SmtpTransferFunction>::value, "");
