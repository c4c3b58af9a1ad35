#pragma once

#include "graphwidget.h"

class LossGraphData;

/**
 * Frame loss (bars), remote loss and correction (lines) of one peer, in
 * tenths of a percent from 0% at the bottom to 100% at the top.
 */
class LossGraph : public GraphWidget
{
    Q_OBJECT
public:
    explicit LossGraph(QWidget *parent = nullptr);

    /** The store to draw (null: none, until a device is selected). */
    void setData(LossGraphData *data);

public slots:
    void receiveLossUpdate();

protected:
    void paintSeries(QPainter &painter) override;
};
