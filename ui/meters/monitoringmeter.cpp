#include "monitoringmeter.h"

#include "dbscale.h"
#include "meterwidget.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>

namespace {

constexpr int ScaleColumnWidth = 34;
constexpr int BarWidth = 16;

} // namespace

MonitoringMeter::MonitoringMeter(QWidget *parent)
    : QWidget(parent)
{
    setMinimumWidth(130);
    auto *grid = new QGridLayout(this);
    m_grid = grid;
    grid->setHorizontalSpacing(3);
    grid->setColumnMinimumWidth(0, ScaleColumnWidth);

    m_unit = new QLabel(QStringLiteral("dBFS"), this);
    m_unit->setObjectName(QStringLiteral("dbfsLabel"));
    m_unit->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    grid->addWidget(m_unit, 0, 0, 1, 2);

    // Receive pair, a gap, transmit pair.
    static const char *const Names[4] = {"rxl", "rxr", "txl", "txr"};
    static const int Columns[4] = {1, 2, 4, 5};
    for (int i = 0; i < 4; ++i) {
        m_bars[i] = new MeterWidget(this);
        m_bars[i]->setObjectName(QLatin1String(Names[i]));
        m_bars[i]->setMinimumWidth(BarWidth);
        m_bars[i]->setMaximumWidth(2 * BarWidth);
        grid->addWidget(m_bars[i], 1, Columns[i]);
    }
    grid->setColumnMinimumWidth(3, 6);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(6, 1);

    // Free-standing labels, right-aligned in the scale column; only their height moves.
    for (int i = 0; i < 5; ++i) {
        m_scale[i] = new QLabel(QString::number(ScaleDb[i]), this);
        m_scale[i]->setObjectName(QStringLiteral("scale%1").arg(-ScaleDb[i]));
        m_scale[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    fitToFont();
    connect(m_bars[0], &MeterWidget::resized, this, &MonitoringMeter::positionLabels);
}

void MonitoringMeter::fitToFont()
{
    const int labelHeight = fontMetrics().height();
    const int halfLabel = labelHeight / 2 + 1;
    // Room above and below the bars for the halves of the 0 and -72 labels.
    m_grid->setContentsMargins(4, 4, 4, halfLabel + 4);
    m_grid->setVerticalSpacing(halfLabel + 2);
    // 0, -6 and -12 dBFS are a twelfth of the bars apart: keep their labels apart.
    m_grid->setRowMinimumHeight(1, 12 * labelHeight);
    for (QLabel *label : m_scale)
        label->setGeometry(m_grid->contentsMargins().left(), label->y(), ScaleColumnWidth, labelHeight);
    positionLabels();
}

void MonitoringMeter::levels(float rxl, float rxr, float txl, float txr)
{
    const float dB[4] = {rxl, rxr, txl, txr};
    for (int i = 0; i < 4; ++i)
        m_bars[i]->setLevel(DbScale::fraction(dB[i]));
}

void MonitoringMeter::allLevels(float rxl, float rxr, float txl, float txr, float rxlPeak, float rxrPeak,
                                float txlPeak, float txrPeak)
{
    const float dB[4] = {rxl, rxr, txl, txr};
    const float peak[4] = {rxlPeak, rxrPeak, txlPeak, txrPeak};
    for (int i = 0; i < 4; ++i)
        m_bars[i]->setLevel(DbScale::fraction(dB[i]), DbScale::fraction(peak[i]));
}

void MonitoringMeter::reset()
{
    for (MeterWidget *bar : m_bars)
        bar->setLevel(0.0f, 0.0f);
}

void MonitoringMeter::positionLabels()
{
    const QRect bar = m_bars[0]->geometry();
    for (int i = 0; i < 5; ++i) {
        QLabel *label = m_scale[i];
        const int centre = bar.top() + qRound(bar.height() * (1.0f - DbScale::fraction(float(ScaleDb[i]))));
        label->move(label->x(), centre - label->height() / 2);
    }
}

void MonitoringMeter::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    positionLabels();
}

void MonitoringMeter::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The application style sheet may bring its font after the meter was built.
    if (event->type() == QEvent::FontChange)
        fitToFont();
}

void MonitoringMeter::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    positionLabels();
}
