#pragma once

#include "tunnelinfo.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QVector>
#include <QWidget>

#include <deque>

/**
 * A small live graph of the tunnel: the last 60 samples of a few series on a
 * dark plot with its scale in a strip at the right. Drawn with QPainter on
 * each sample (about one a second).
 */
class Grapher : public QWidget
{
    Q_OBJECT

public:
    static constexpr int HistoryLength = 60;
    static constexpr int ScaleWidth = 40;

    explicit Grapher(QWidget *parent = nullptr);

    void clear();
    int sampleCount() const { return int(m_samples.size()); }
    /** Sample @p i, oldest first: one value per series. */
    const QVector<int> &sample(int i) const { return m_samples.at(size_t(i)); }
    /** The value at the top of the plot. */
    virtual int scaleMaximum() const = 0;
    QSize sizeHint() const override { return QSize(260, 120); }

protected:
    void addValues(const QVector<int> &values);
    virtual QColor seriesColour(int series) const = 0;
    /** Label at the top of the scale strip, and the one under it. */
    virtual QString scaleTop() const = 0;
    virtual QString scaleUnit() const { return QString(); }
    void paintEvent(QPaintEvent *event) override;

private:
    std::deque<QVector<int>> m_samples;
};

/** One direction's total rate per tunnel connection, kbit/s, coloured like its interface buttons. */
class UtilizationGrapher : public Grapher, public TunnelUtilizationGrapher
{
    Q_OBJECT

public:
    explicit UtilizationGrapher(QWidget *parent = nullptr);
    void addRates(const QList<int> &rates) override;
    int scaleMaximum() const override;

protected:
    QColor seriesColour(int series) const override;
    QString scaleTop() const override;
    QString scaleUnit() const override { return QStringLiteral("Kbps"); }
};

/** One direction's loss, late and recovery rates. */
class LossLateRecoveryGrapher : public Grapher, public TunnelGrapher
{
    Q_OBJECT

public:
    static const QColor LossColour;
    static const QColor LateColour;
    static const QColor RecoveryColour;

    explicit LossLateRecoveryGrapher(QWidget *parent = nullptr);
    void addSample(int lossRate, int lateRate, int recoveryRate) override;
    int scaleMaximum() const override { return 100; }

protected:
    QColor seriesColour(int series) const override;
    QString scaleTop() const override { return QStringLiteral("100%"); }
};
