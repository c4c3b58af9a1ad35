#pragma once

#include <QWidget>

/**
 * One level bar. The style sheet paints a green-to-red gradient over the
 * whole bar; painting then covers what lies beyond the level in dark grey, so
 * the gradient shows up to the level only. An optional peak shows as a
 * 2-pixel light blue strip. Vertical by default.
 *
 * A level change repaints this bar alone, and nothing when the bar would look
 * the same.
 */
class MeterWidget : public QWidget
{
    Q_OBJECT
public:
    explicit MeterWidget(QWidget *parent = nullptr);

    /** The vertical and horizontal gradient style sheets. */
    static QString verticalStyleSheet();
    static QString horizontalStyleSheet();

    float level() const { return m_level; }
    float peak() const { return m_peak; }
    bool hasPeak() const { return m_hasPeak; }
    bool isHorizontal() const { return m_horizontal; }

public slots:
    /** Sets the fill fraction (0..1) and drops the peak. */
    void setLevel(float fraction);
    /** Sets the fill and the peak fractions (0..1). */
    void setLevel(float fraction, float peak);
    /** Switches to the horizontal style and painting (fill grows to the right). */
    void setHorizontal(bool horizontal = true);

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void apply(float level, float peak, bool hasPeak);
    QRect coverRect(float level) const;
    QRect peakRect(float peak) const;

    float m_level = 0.0f;
    float m_peak = 0.0f;
    bool m_hasPeak = false;
    bool m_horizontal = false;
};
