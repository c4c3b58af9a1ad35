#include "meterwidget.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace {

const QColor CoverColour(64, 64, 64);
const QColor PeakColour(100, 170, 255);

// The stops at -12 and -6 dBFS, with 6 significant digits as the style sheet writes them.
QString gradient(const char *axis, const char *midGreen)
{
    return QStringLiteral("background: qlineargradient( %1, stop:0 #0c2, stop:0.5 %2, stop:0.75 #ee0, "
                          "stop:%3 #df0, stop:%4 #ea0, stop:0.92 #f00);")
        .arg(QLatin1String(axis), QLatin1String(midGreen), QString::number(60.0 / 72.0, 'g', 6),
             QString::number(66.0 / 72.0, 'g', 6));
}

float clamped(float fraction)
{
    // NaN compares false both ways: it lands on 0.
    return fraction > 0.0f ? std::min(fraction, 1.0f) : 0.0f;
}

} // namespace

MeterWidget::MeterWidget(QWidget *parent)
    : QWidget(parent)
{
    // The gradient and the cover fill every pixel: a level change need not
    // repaint the widgets underneath.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setStyleSheet(verticalStyleSheet());
}

QString MeterWidget::verticalStyleSheet()
{
    return gradient("x1:0 y2:0, x2:0 y1:1", "#3d0");
}

QString MeterWidget::horizontalStyleSheet()
{
    return gradient("x1:0 y2:0, x2:1 y1:0", "#2e1");
}

void MeterWidget::setLevel(float fraction)
{
    apply(clamped(fraction), 0.0f, false);
}

void MeterWidget::setLevel(float fraction, float peak)
{
    apply(clamped(fraction), clamped(peak), true);
}

void MeterWidget::setHorizontal(bool horizontal)
{
    if (horizontal == m_horizontal)
        return;
    m_horizontal = horizontal;
    setStyleSheet(horizontal ? horizontalStyleSheet() : verticalStyleSheet());
    update();
}

void MeterWidget::apply(float level, float peak, bool hasPeak)
{
    // Levels come every 70 ms; most of them move no pixel.
    const bool sameCover = coverRect(level) == coverRect(m_level);
    const bool samePeak = hasPeak == m_hasPeak && (!hasPeak || peakRect(peak) == peakRect(m_peak));
    m_level = level;
    m_peak = peak;
    m_hasPeak = hasPeak;
    if (!sameCover || !samePeak)
        update();
}

QRect MeterWidget::coverRect(float level) const
{
    if (m_horizontal) {
        const int x = qRound(width() * level);
        return QRect(x, 0, width() - x, height());
    }
    return QRect(0, 0, width(), qRound(height() * (1.0f - level)));
}

QRect MeterWidget::peakRect(float peak) const
{
    // A horizontal bar's peak is a point along its width: a vertical strip,
    // kept inside the bar at full scale. No peak at all shows nothing, as the
    // vertical strip of a zero peak lies below the bar.
    if (m_horizontal)
        return peak > 0.0f ? QRect(std::min(qRound(width() * peak), width() - 2), 0, 2, height()) : QRect();
    return QRect(0, qRound(height() * (1.0f - peak)), width(), 2);
}

void MeterWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    painter.fillRect(coverRect(m_level), CoverColour);
    if (m_hasPeak)
        painter.fillRect(peakRect(m_peak), PeakColour);
}

void MeterWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    emit resized();
}
