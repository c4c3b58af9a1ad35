#include "delayslider.h"

#include <QLabel>
#include <QPainter>
#include <QStyleOptionSlider>

namespace {

const QColor ZoneColours[5] = {QColor(255, 0, 0), QColor(255, 187, 0), QColor(255, 255, 0), QColor(0, 255, 0),
                               QColor(238, 238, 238)};
const int LabelHeight = 16;
const int ZoneHeight = 14;

} // namespace

DelaySlider::DelaySlider(QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
    , m_left(new QLabel(QStringLiteral("0ms"), this))
    , m_right(new QLabel(QStringLiteral("100ms"), this))
{
    setMinimumHeight(60);
    setRange(0, 100);
    m_right->setFixedWidth(60);
    m_right->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_left->setObjectName(QStringLiteral("delayMinimumLabel"));
    m_right->setObjectName(QStringLiteral("delayScaleLabel"));
}

QString DelaySlider::scaleText() const
{
    return m_right->text();
}

void DelaySlider::setScale(int scale)
{
    setMaximum(scale);
    m_right->setText(QStringLiteral("%1ms").arg(scale));
}

void DelaySlider::setMaxPacketDelay(int maxPacketDelay, int scale)
{
    if (scale <= 0)
        return;
    m_marker = maxPacketDelay * 100 / scale;
    setScale(scale);
    update();
}

void DelaySlider::setDelayPoints(const std::array<int, 5> &points, int scale)
{
    if (scale <= 0)
        return;
    m_zones[0] = points[0] * 100 / scale;
    for (size_t i = 1; i < 4; ++i)
        m_zones[i] = (points[i] - points[i - 1]) * 100 / scale;
    m_zones[4] = 100 - m_zones[0] - m_zones[1] - m_zones[2] - m_zones[3];
    setScale(scale);
    update();
}

void DelaySlider::resizeEvent(QResizeEvent *event)
{
    QSlider::resizeEvent(event);
    const int y = height() - LabelHeight;
    m_left->setGeometry(0, y, 60, LabelHeight);
    m_right->setGeometry(width() - m_right->width(), y, m_right->width(), LabelHeight);
}

void DelaySlider::paintEvent(QPaintEvent *)
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    QPainter p(this);

    // Zones across the groove, the handle's travel.
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int left = groove.left() + handle.width() / 2;
    const int span = qMax(1, groove.width() - handle.width());
    const int top = groove.center().y() - ZoneHeight / 2;
    int x = left;
    int done = 0;
    for (int i = 0; i < 5; ++i) {
        done += qMax(0, m_zones[size_t(i)]);
        const int end = i == 4 ? left + span : left + span * qMin(done, 100) / 100;
        if (end > x)
            p.fillRect(QRect(x, top, end - x, ZoneHeight), ZoneColours[i]);
        x = qMax(x, end);
    }
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(left, top, span, ZoneHeight).adjusted(0, 0, -1, -1));

    const int mx = left + span * qBound(0, m_marker, 100) / 100;
    p.setPen(QPen(Qt::black, 3));
    p.drawLine(mx, top - 4, mx, top + ZoneHeight + 4);

    // The normal handle on top.
    opt.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
}
