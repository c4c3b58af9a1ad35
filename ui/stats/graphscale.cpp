#include "graphscale.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

int GraphScale::scaleMax(int largest)
{
    // 64-bit so that a huge sample cannot overflow past the top.
    const qint64 top = qint64(largest) + (largest >> 4);
    return int(std::clamp<qint64>(top, 1, std::numeric_limits<int>::max()));
}

int GraphScale::barHeight(int value, int scale, int height)
{
    if (value <= 0 || scale <= 0 || height <= 0)
        return 0;
    return int(std::min<qint64>(qint64(height) * value / scale, height));
}

QString GraphScale::tenthsLabel(int tenths, const QString &unit)
{
    const qint64 magnitude = qAbs(qint64(tenths));
    return QLatin1String(tenths < 0 ? "-" : "") + QString::number(magnitude / 10) + QLatin1Char('.')
         + QString::number(magnitude % 10) + unit;
}

QString GraphScale::delayTopLabel(int scale)
{
    return tenthsLabel(scale, QStringLiteral("ms"));
}

QString GraphScale::delayBottomLabel()
{
    return QStringLiteral("0ms");
}

QString GraphScale::lossTopLabel()
{
    return QStringLiteral("100%");
}

QString GraphScale::lossBottomLabel()
{
    return QStringLiteral("0%");
}
