#include "lossgraph.h"

#include "graphdata.h"
#include "graphscale.h"
#include "common/legendcolours.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

LossGraph::LossGraph(QWidget *parent)
    : GraphWidget(parent)
{
}

void LossGraph::setData(LossGraphData *data)
{
    if (setGraphData(data) && data)
        connect(data, &GraphData::dataChanged, this, &LossGraph::receiveLossUpdate);
}

void LossGraph::receiveLossUpdate()
{
    update();
}

void LossGraph::paintSeries(QPainter &painter)
{
    const auto *store = static_cast<const LossGraphData *>(graphData());
    const LossSeries &s = *store->seriesFor(store->currentKey());
    const int h = height();
    const int bar = barWidth();
    auto reach = [h](int tenths) { return GraphScale::barHeight(tenths, GraphScale::PercentTop, h); };

    const int count = std::min<int>(s.frameLoss.size(), Samples);
    for (int i = 0; i < count; ++i) {
        const int loss = reach(s.frameLoss[i]);
        painter.fillRect(sampleX(i), h - loss, bar, loss, LegendColours::FrameLoss.color());
    }

    auto line = [&](const QList<int> &values, const QPen &pen) {
        QPolygon points;
        const int n = std::min<int>(values.size(), Samples);
        for (int i = 0; i < n; ++i)
            points << QPoint(sampleX(i) + bar / 2, h - reach(values[i]));
        painter.setPen(pen);
        painter.drawPolyline(points);
    };
    line(s.remoteLoss, QPen(LegendColours::RemoteLoss.color(), 3));
    line(s.correction, QPen(LegendColours::Correction.color()));

    paintLabels(painter, GraphScale::lossTopLabel(), GraphScale::lossBottomLabel());
}
