#pragma once

class QString;
class QWidget;

/**
 * Gives @p widget the style sheet @p sheet when it is first shown (at once
 * when it is on screen already). Restyling a widget restyles everything in
 * it: a box that may stay out of sight for good need not pay for that at
 * start-up.
 */
void setStyleSheetWhenShown(QWidget *widget, const QString &sheet);
