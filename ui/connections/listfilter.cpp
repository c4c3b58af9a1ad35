#include "listfilter.h"

namespace ListFilter {

bool matches(const QString &filter, const QStringList &texts)
{
    if (filter.isEmpty())
        return true;
    for (const QString &t : texts) {
        if (t.contains(filter, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

Result apply(const QString &filter, const QVector<QStringList> &rows)
{
    Result r;
    r.visible.reserve(rows.size());
    bool any = false;
    for (const QStringList &texts : rows) {
        const bool shown = matches(filter, texts);
        any = any || shown;
        r.visible.append(shown);
    }
    if (filter.isEmpty())
        r.styleSheet = QString::fromLatin1(EmptyStyle);
    else
        r.styleSheet = QString::fromLatin1(any ? MatchStyle : NoMatchStyle);
    return r;
}

} // namespace ListFilter
