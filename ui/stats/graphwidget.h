#pragma once

#include "graphdata.h"

#include <QPointer>
#include <QWidget>

class QPainter;

/**
 * A bar-and-line graph of the last samples of one series set of a sample
 * store: the newest at the right of the plot, older ones to the left, with a
 * top and a bottom label in white at the right. Draws nothing but its
 * background without a store, without a series for the store's current key,
 * or while disabled (the device is not ready). Repaints on the store's
 * dataChanged().
 */
class GraphWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Samples = 30;
    static constexpr int BarWidth = 4;
    static constexpr int BarGap = 2;
    /** What lies right of the plot: the labels' column. */
    static constexpr int LabelMargin = 79;
    static constexpr int LabelOffset = 74;

    explicit GraphWidget(QWidget *parent = nullptr);

    GraphData *graphData() const { return m_data; }
    bool isGraphEnabled() const { return m_enabled; }

public slots:
    void enable();
    void disable();

protected:
    /**
     * Draws from @p data from now on (null: none); the store may go away at
     * any time. False when it was the store already (nothing to connect).
     */
    bool setGraphData(GraphData *data);
    void paintEvent(QPaintEvent *event) override;

    /** Horizontal distance between samples: the plot width over Samples. */
    int step() const { return (width() - LabelMargin) / Samples; }
    /** Left edge of sample @p index (0 is the newest, at the right end of the plot). */
    int sampleX(int index) const { return (width() - LabelMargin) - step() * (index + 1); }
    /** Width of one bar. */
    int barWidth() const { return step() - BarGap; }
    /** Draws the series of the store's current key; the store has one. */
    virtual void paintSeries(QPainter &painter) = 0;
    /** The two labels at the right. */
    void paintLabels(QPainter &painter, const QString &top, const QString &bottom);

private:
    QPointer<GraphData> m_data;
    bool m_enabled = true;
};
