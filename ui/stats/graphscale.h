#pragma once

#include <QString>

/** Scales and labels of the delay and loss graphs. */
namespace GraphScale {

/** A percentage series counts in tenths of a percent: 1000 is the top. */
constexpr int PercentTop = 1000;

/**
 * The delay graph's top: the largest sample plus a sixteenth of it, rounded
 * down, and at least 1. A call just starting (all zeros) or negative samples
 * still give a scale to divide by.
 */
int scaleMax(int largest);

/** How high a sample reaches in a plot @p height high with @p scale at the top, between 0 and height. */
int barHeight(int value, int scale, int height);

/** @p tenths as whole part, ".", tenth digit, then @p unit: 123 and "ms" give "12.3ms". */
QString tenthsLabel(int tenths, const QString &unit);

/** The delay graph's labels: the scale top in milliseconds ("12.3ms"), and "0ms". */
QString delayTopLabel(int scale);
QString delayBottomLabel();

/** The loss graph's labels: "100%" and "0%". */
QString lossTopLabel();
QString lossBottomLabel();

} // namespace GraphScale
