#pragma once

#include <QColor>
#include <QString>

/** One series colour of the graphs, also shown by its legend label. */
struct LegendColour
{
    int red;
    int green;
    int blue;

    QColor color() const { return QColor(red, green, blue); }
    /** The legend label's style sheet: "color: rgba(r, g, b, 255);". */
    QString labelStyleSheet() const
    {
        return QStringLiteral("color: rgba(%1, %2, %3, 255);").arg(red).arg(green).arg(blue);
    }
};

/** The colours of the delay and loss graphs and of their six legend labels. */
namespace LegendColours {

inline constexpr LegendColour Delay{70, 140, 240};
inline constexpr LegendColour Jitter{50, 240, 180};
/** The target as a legend label; the graph's target pen is TargetPen. */
inline constexpr LegendColour Target{220, 228, 0};
inline constexpr LegendColour TargetPen{232, 224, 0};
inline constexpr LegendColour FrameLoss{242, 70, 40};
inline constexpr LegendColour RemoteLoss{150, 230, 70};
inline constexpr LegendColour Correction{230, 200, 0};

} // namespace LegendColours
