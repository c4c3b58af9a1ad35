#pragma once

#include "graphwidget.h"

class DelayGraphData;

/**
 * Receive buffer delay (bars), packet jitter (narrower bars in front of
 * them) and the delay the codec aims at (a line) of one peer, scaled to the
 * largest of them plus a sixteenth and labelled in milliseconds.
 */
class DelayGraph : public GraphWidget
{
    Q_OBJECT
public:
    explicit DelayGraph(QWidget *parent = nullptr);

    /** The store to draw (null: none, until a device is selected). */
    void setData(DelayGraphData *data);
    /** The scale top for what the store holds now (1 without samples). */
    int currentScale() const;

public slots:
    void receiveDelayUpdate();

protected:
    void paintSeries(QPainter &painter) override;
};
