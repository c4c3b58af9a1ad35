#include "graphers.h"

#include "ifcbutton.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

const QColor Background(30, 30, 30);
const QColor Outline(128, 128, 128);
const QColor Grid(62, 62, 62);

/** 1, 2 or 5 times a power of ten, at least @p v. */
int roundUp(int v)
{
    int step = 1;
    while (true) {
        for (int m : {1, 2, 5}) {
            if (long(step) * m >= v)
                return step * m;
        }
        if (step > 100000000)
            return v;
        step *= 10;
    }
}

} // namespace

Grapher::Grapher(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(160, 80);
}

void Grapher::clear()
{
    m_samples.clear();
    update();
}

void Grapher::addValues(const QVector<int> &values)
{
    m_samples.push_back(values);
    while (m_samples.size() > size_t(HistoryLength))
        m_samples.pop_front();
    update();
}

void Grapher::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plot = QRectF(rect()).adjusted(1, 1, -ScaleWidth, -1);
    p.fillRect(plot, Background);

    p.setPen(QPen(Grid, 1));
    for (int i = 1; i < 4; ++i) {
        const qreal y = plot.top() + plot.height() * i / 4;
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }

    const int top = qMax(1, scaleMaximum());
    const qreal dx = plot.width() / (HistoryLength - 1);
    // Newest sample at the right edge.
    const qreal x0 = plot.right() - dx * (sampleCount() - 1);
    int series = 0;
    for (const QVector<int> &s : m_samples)
        series = qMax(series, s.size());
    p.save();
    p.setClipRect(plot.adjusted(1, 1, -1, -1));
    for (int k = 0; k < series; ++k) {
        QPainterPath path;
        bool started = false;
        for (int i = 0; i < sampleCount(); ++i) {
            const QVector<int> &s = sample(i);
            if (k >= s.size()) {
                started = false;
                continue;
            }
            const qreal v = qBound(0, s.at(k), top);
            const QPointF pt(x0 + dx * i, plot.bottom() - 2 - (plot.height() - 4) * v / top);
            if (started)
                path.lineTo(pt);
            else
                path.moveTo(pt);
            started = true;
        }
        p.setPen(QPen(seriesColour(k), 1.8));
        p.drawPath(path);
    }
    p.restore();

    p.setPen(QPen(Outline, 1.5));
    p.drawRect(plot);

    const QRectF strip(plot.right() + 4, plot.top(), ScaleWidth - 4, plot.height());
    p.setPen(palette().color(QPalette::WindowText));
    // Small enough that "100%" fits the strip.
    QFont f = font();
    f.setPixelSize(10);
    p.setFont(f);
    p.drawText(strip, Qt::AlignLeft | Qt::AlignTop, scaleTop());
    if (!scaleUnit().isEmpty())
        p.drawText(strip.adjusted(0, p.fontMetrics().height(), 0, 0), Qt::AlignLeft | Qt::AlignTop, scaleUnit());
    p.drawText(strip, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("0"));
}

UtilizationGrapher::UtilizationGrapher(QWidget *parent)
    : Grapher(parent)
{
}

void UtilizationGrapher::addRates(const QList<int> &rates)
{
    addValues(rates.toVector());
}

int UtilizationGrapher::scaleMaximum() const
{
    int most = 0;
    for (int i = 0; i < sampleCount(); ++i) {
        for (int v : sample(i))
            most = qMax(most, v);
    }
    return roundUp(qMax(100, most));
}

QColor UtilizationGrapher::seriesColour(int series) const
{
    return IFCButton::colourFor(series);
}

QString UtilizationGrapher::scaleTop() const
{
    return QStringLiteral("%1").arg(scaleMaximum());
}

const QColor LossLateRecoveryGrapher::LossColour(242, 70, 40);
const QColor LossLateRecoveryGrapher::LateColour(230, 200, 0);
const QColor LossLateRecoveryGrapher::RecoveryColour(70, 140, 240);

LossLateRecoveryGrapher::LossLateRecoveryGrapher(QWidget *parent)
    : Grapher(parent)
{
}

void LossLateRecoveryGrapher::addSample(int lossRate, int lateRate, int recoveryRate)
{
    addValues(QVector<int>{lossRate, lateRate, recoveryRate});
}

QColor LossLateRecoveryGrapher::seriesColour(int series) const
{
    switch (series) {
    case 0:
        return LossColour;
    case 1:
        return LateColour;
    default:
        return RecoveryColour;
    }
}
