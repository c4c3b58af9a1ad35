#include "mailratelimiter.h"

MailRateLimiter::MailRateLimiter(qint64 windowMs)
    : m_windowMs(windowMs)
{
}

bool MailRateLimiter::admit(const QString &key, qint64 nowMs, int *heldBack)
{
    auto it = m_entries.find(key);
    if (it != m_entries.end() && nowMs - it->lastSent < m_windowMs) {
        ++it->held;
        return false;
    }
    if (heldBack)
        *heldBack = it == m_entries.end() ? 0 : it->held;
    m_entries.insert(key, Entry{nowMs, 0});
    return true;
}
