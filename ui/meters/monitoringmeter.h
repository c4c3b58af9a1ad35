#pragma once

#include <QWidget>

class MeterWidget;
class QGridLayout;
class QLabel;

/**
 * The details pane's level meter: four vertical bars side by side (receive
 * left and right, transmit left and right) with a dBFS scale beside them.
 */
class MonitoringMeter : public QWidget
{
    Q_OBJECT
public:
    /** The levels the scale labels stand at, top to bottom. */
    static constexpr int ScaleDb[5] = {0, -6, -12, -36, -72};

    explicit MonitoringMeter(QWidget *parent = nullptr);

    MeterWidget *bar(int index) const { return m_bars[index]; }
    QLabel *scaleLabel(int index) const { return m_scale[index]; }

public slots:
    /** Receive left, receive right, transmit left, transmit right; no peaks. */
    void levels(float rxl, float rxr, float txl, float txr);
    /** The four levels, then the peaks of the same bars in the same order. */
    void allLevels(float rxl, float rxr, float txl, float txr, float rxlPeak, float rxrPeak, float txlPeak,
                   float txrPeak);
    /** Every bar empty, without a peak. */
    void reset();
    /** Moves each scale label so that its middle sits at its level on the bars. */
    void positionLabels();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    /** Margins, spacing and label heights follow the font's line height. */
    void fitToFont();

    QGridLayout *m_grid;
    MeterWidget *m_bars[4];
    QLabel *m_unit;
    QLabel *m_scale[5];
};
