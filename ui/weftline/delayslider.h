#pragma once

#include <QSlider>

#include <array>

class QLabel;

/**
 * The tunnel's maximum-delay slider: five coloured zones (red, orange,
 * yellow, green, grey) from the codec's delay points, a black marker at the
 * largest packet delay, "0ms" at the left and the scale at the right.
 */
class DelaySlider : public QSlider
{
    Q_OBJECT

public:
    explicit DelaySlider(QWidget *parent = nullptr);

    /** Marker at @p maxPacketDelay on a slider reaching @p scale ms; ignored for a scale of 0 or less. */
    void setMaxPacketDelay(int maxPacketDelay, int scale);
    /** Zones from five delay points on a slider reaching @p scale ms; ignored unless five points and a scale above 0. */
    void setDelayPoints(const std::array<int, 5> &points, int scale);

    /** Zone widths in percent, left to right. */
    const std::array<int, 5> &zones() const { return m_zones; }
    /** Marker position in percent. */
    int marker() const { return m_marker; }
    QString scaleText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setScale(int scale);

    std::array<int, 5> m_zones{{0, 0, 0, 0, 100}};
    int m_marker = 0;
    QLabel *m_left;
    QLabel *m_right;
};
