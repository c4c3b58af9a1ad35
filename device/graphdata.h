#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>

/**
 * Sample store behind a graph: per key (a peer id) a few series of integer
 * samples, newest first, each at most capacity() long. Views draw the series
 * of currentKey() and repaint on dataChanged().
 */
class GraphData : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultCapacity = 30;

    explicit GraphData(QObject *parent = nullptr);

    int capacity() const { return m_capacity; }
    int currentKey() const { return m_currentKey; }
    /** Selects the series to show; views repaint. */
    void setCurrentKey(int key);
    /** Keys that have series. */
    virtual QList<int> keys() const = 0;
    bool hasSeries(int key) const { return keys().contains(key); }
    /** Drops every series of every key. */
    virtual void clear() = 0;

signals:
    void dataChanged();

protected:
    /** Puts @p value first and drops the oldest beyond the capacity. */
    template<typename T>
    void push(QList<T> &list, const T &value) const
    {
        list.prepend(value);
        while (list.size() > m_capacity)
            list.removeLast();
    }

private:
    int m_capacity = DefaultCapacity;
    int m_currentKey = 0;
};

/** Receive buffer delay and jitter per peer, with the delay the codec aims at. */
class DelayGraphData : public GraphData
{
    Q_OBJECT
public:
    struct Series {
        QList<QPair<int, int>> samples; ///< (bufferDelay, packetJitter)
        QList<int> desired;             ///< bufferDesiredDelay
    };

    explicit DelayGraphData(QObject *parent = nullptr);

    void addSample(int key, int bufferDelay, int packetJitter, int bufferDesiredDelay);
    const QMap<int, Series> &series() const { return m_series; }
    /** The series of @p key, or null. */
    const Series *seriesFor(int key) const;
    QList<int> keys() const override { return m_series.keys(); }
    void clear() override;

private:
    QMap<int, Series> m_series;
};

/** Frame loss, remote loss and correction rates per peer. */
class LossGraphData : public GraphData
{
    Q_OBJECT
public:
    struct Series {
        QList<int> frameLoss;  ///< frameLossRate
        QList<int> remoteLoss; ///< remoteLoss
        QList<int> correction; ///< corrUpRate + corrDownRate
    };

    explicit LossGraphData(QObject *parent = nullptr);

    void addSample(int key, int frameLossRate, int remoteLoss, int correction);
    const QMap<int, Series> &series() const { return m_series; }
    const Series *seriesFor(int key) const;
    QList<int> keys() const override { return m_series.keys(); }
    void clear() override;

private:
    QMap<int, Series> m_series;
};
