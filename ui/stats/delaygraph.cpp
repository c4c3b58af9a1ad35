#include "delaygraph.h"

#include "graphdata.h"
#include "graphscale.h"
#include "common/legendcolours.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

const DelaySeries *shownSeries(const GraphData *data)
{
    const auto *store = static_cast<const DelayGraphData *>(data);
    return store ? store->seriesFor(store->currentKey()) : nullptr;
}

} // namespace

DelayGraph::DelayGraph(QWidget *parent)
    : GraphWidget(parent)
{
}

void DelayGraph::setData(DelayGraphData *data)
{
    if (setGraphData(data) && data)
        connect(data, &GraphData::dataChanged, this, &DelayGraph::receiveDelayUpdate);
}

void DelayGraph::receiveDelayUpdate()
{
    update();
}

int DelayGraph::currentScale() const
{
    int largest = 0;
    if (const DelaySeries *s = shownSeries(graphData())) {
        for (const QPair<int, int> &sample : s->samples)
            largest = std::max({largest, sample.first, sample.second});
        for (int desired : s->desired)
            largest = std::max(largest, desired);
    }
    return GraphScale::scaleMax(largest);
}

void DelayGraph::paintSeries(QPainter &painter)
{
    const DelaySeries &s = *shownSeries(graphData());
    const int scale = currentScale();
    const int h = height();
    const int bar = barWidth();
    // Jitter stands in front of the delay bar, half as wide, so both heights show.
    const int jitterWidth = std::max(1, bar / 2);
    const int count = std::min<int>(s.samples.size(), Samples);
    for (int i = 0; i < count; ++i) {
        const int x = sampleX(i);
        const int delay = GraphScale::barHeight(s.samples[i].first, scale, h);
        const int jitter = GraphScale::barHeight(s.samples[i].second, scale, h);
        painter.fillRect(x, h - delay, bar, delay, LegendColours::Delay.color());
        painter.fillRect(x + (bar - jitterWidth) / 2, h - jitter, jitterWidth, jitter, LegendColours::Jitter.color());
    }

    QPolygon target;
    const int targets = std::min<int>(s.desired.size(), Samples);
    for (int i = 0; i < targets; ++i)
        target << QPoint(sampleX(i) + bar / 2, h - GraphScale::barHeight(s.desired[i], scale, h));
    painter.setPen(QPen(LegendColours::TargetPen.color(), 3));
    painter.drawPolyline(target);

    paintLabels(painter, GraphScale::delayTopLabel(scale), GraphScale::delayBottomLabel());
}
