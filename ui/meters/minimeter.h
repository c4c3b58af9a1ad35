#pragma once

#include <QWidget>

class MeterWidget;

/**
 * Four small horizontal bars for a tile or a summary row: receive left and
 * right over transmit left and right. Levels in dBFS.
 */
class MiniMeter : public QWidget
{
    Q_OBJECT
public:
    explicit MiniMeter(QWidget *parent = nullptr);

    /** The bars in the order levels() takes them: rxl, rxr, txl, txr. */
    MeterWidget *bar(int index) const { return m_bars[index]; }

public slots:
    /** Receive left, receive right, transmit left, transmit right; no peaks. */
    void levels(float rxl, float rxr, float txl, float txr);
    /** The four levels, then the peaks of the same bars in the same order. */
    void allLevels(float rxl, float rxr, float txl, float txr, float rxlPeak, float rxrPeak, float txlPeak,
                   float txrPeak);
    /** Every bar empty, without a peak. */
    void reset();

private:
    MeterWidget *m_bars[4];
};
