#pragma once

#include <QHash>
#include <QString>

/**
 * At most one mail per key (a codec and a kind of event) per window; the
 * mail that goes out next learns how many were held back in between.
 */
class MailRateLimiter
{
public:
    static constexpr qint64 DefaultWindowMs = 60000;

    explicit MailRateLimiter(qint64 windowMs = DefaultWindowMs);

    /**
     * Whether a mail for @p key may go out at @p nowMs (monotonic). When it
     * may, @p heldBack receives the number held back since the last one and
     * the count starts again; when not, this one is counted.
     */
    bool admit(const QString &key, qint64 nowMs, int *heldBack);
    /** Mails of @p key held back so far. */
    int heldBack(const QString &key) const { return m_entries.value(key).held; }

private:
    struct Entry {
        qint64 lastSent = 0;
        int held = 0;
    };
    qint64 m_windowMs;
    QHash<QString, Entry> m_entries;
};
