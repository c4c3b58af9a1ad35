#pragma once

#include <QColor>
#include <QString>

/**
 * The colours of the delay and loss graphs' series. The statistics labels of
 * the main window double as the graphs' legends and are painted in the same
 * colours (the target's label is a shade lighter than its pen).
 */
namespace LegendColours {

inline const QColor Delay(70, 140, 240, 255);
inline const QColor Jitter(50, 240, 180, 255);
inline const QColor TargetLabel(220, 228, 0, 255);
inline const QColor TargetPen(232, 224, 0, 255);
inline const QColor FrameLoss(242, 70, 40, 255);
inline const QColor RemoteLoss(150, 230, 70, 255);
inline const QColor Correction(230, 200, 0, 255);

/** The style sheet that paints a legend label's text in @p colour. */
inline QString labelStyleSheet(const QColor &colour)
{
    return QStringLiteral("color: rgba(%1, %2, %3, %4);")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

} // namespace LegendColours
