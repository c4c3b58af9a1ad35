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

/** Keeps one series record per key; the concrete stores say what a record holds. */
template<typename SeriesT>
class SeriesGraphData : public GraphData
{
public:
    using Series = SeriesT;

    explicit SeriesGraphData(QObject *parent = nullptr)
        : GraphData(parent)
    {
    }

    const QMap<int, Series> &series() const { return m_series; }
    /** The series of @p key, or null. */
    const Series *seriesFor(int key) const
    {
        auto it = m_series.constFind(key);
        return it == m_series.constEnd() ? nullptr : &*it;
    }
    QList<int> keys() const override { return m_series.keys(); }
    void clear() override
    {
        // Views repaint empty rather than keep showing a call that has ended.
        if (m_series.isEmpty())
            return;
        m_series.clear();
        emit dataChanged();
    }

protected:
    QMap<int, Series> m_series;
};

struct DelaySeries {
    QList<QPair<int, int>> samples; ///< (bufferDelay, packetJitter)
    QList<int> desired;             ///< bufferDesiredDelay
};

/** Receive buffer delay and jitter per peer, with the delay the codec aims at. */
class DelayGraphData : public SeriesGraphData<DelaySeries>
{
    Q_OBJECT
public:
    explicit DelayGraphData(QObject *parent = nullptr);

    void addSample(int key, int bufferDelay, int packetJitter, int bufferDesiredDelay);
};

struct LossSeries {
    QList<int> frameLoss;  ///< frameLossRate
    QList<int> remoteLoss; ///< remoteLoss
    QList<int> correction; ///< corrUpRate + corrDownRate
};

/** Frame loss, remote loss and correction rates per peer. */
class LossGraphData : public SeriesGraphData<LossSeries>
{
    Q_OBJECT
public:
    explicit LossGraphData(QObject *parent = nullptr);

    void addSample(int key, int frameLossRate, int remoteLoss, int correction);
};
