#include "graphwidget.h"

#include "graphdata.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

GraphWidget::GraphWidget(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(Samples * (BarWidth + BarGap) + 20, 120);
    setStyleSheet(QStringLiteral("GraphWidget{ background-color: #404040; border: grey solid 1px;}"));
}

void GraphWidget::enable()
{
    if (!m_enabled) {
        m_enabled = true;
        update();
    }
}

void GraphWidget::disable()
{
    if (m_enabled) {
        m_enabled = false;
        update();
    }
}

bool GraphWidget::setGraphData(GraphData *data)
{
    if (data == m_data)
        return false;
    if (m_data)
        disconnect(m_data, nullptr, this, nullptr);
    m_data = data;
    // A session's stores go with it: draw empty, not from freed memory.
    if (data)
        connect(data, &QObject::destroyed, this, qOverload<>(&QWidget::update));
    update();
    return true;
}

void GraphWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (!m_enabled || !m_data || !m_data->hasSeries(m_data->currentKey()))
        return;
    painter.setClipRegion(event->region());
    paintSeries(painter);
}

void GraphWidget::paintLabels(QPainter &painter, const QString &top, const QString &bottom)
{
    painter.setPen(Qt::white);
    painter.drawText(width() - LabelOffset, 14, top);
    painter.drawText(width() - LabelOffset, height() - 2, bottom);
}
