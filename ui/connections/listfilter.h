#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

/**
 * The filter of the peer and profile lists, without widgets: which rows stay
 * visible for a filter text and how the filter box is painted.
 */
namespace ListFilter {

/** The box with an empty filter. */
inline const char *const EmptyStyle = "background-color: #FFF;";
/** The box when at least one row matches. */
inline const char *const MatchStyle = "background-color: #FF6;";
/** The box when no row matches. */
inline const char *const NoMatchStyle = "background-color: #F64;";

/** Whether a row with @p texts stays visible: an empty filter keeps all, else any text contains it, ignoring case. */
bool matches(const QString &filter, const QStringList &texts);

struct Result {
    QVector<bool> visible; ///< per row, in the order given
    QString styleSheet;    ///< for the filter box
};

/** Applies @p filter to rows described by their searchable texts. */
Result apply(const QString &filter, const QVector<QStringList> &rows);

} // namespace ListFilter
