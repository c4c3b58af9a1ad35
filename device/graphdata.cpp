#include "graphdata.h"

GraphData::GraphData(QObject *parent)
    : QObject(parent)
{
}

void GraphData::setCurrentKey(int key)
{
    if (key == m_currentKey)
        return;
    m_currentKey = key;
    emit dataChanged();
}

DelayGraphData::DelayGraphData(QObject *parent)
    : GraphData(parent)
{
}

void DelayGraphData::addSample(int key, int bufferDelay, int packetJitter, int bufferDesiredDelay)
{
    Series &s = m_series[key];
    push(s.samples, qMakePair(bufferDelay, packetJitter));
    push(s.desired, bufferDesiredDelay);
    emit dataChanged();
}

const DelayGraphData::Series *DelayGraphData::seriesFor(int key) const
{
    auto it = m_series.constFind(key);
    return it == m_series.constEnd() ? nullptr : &*it;
}

void DelayGraphData::clear()
{
    // Views repaint empty rather than keep showing a call that has ended.
    if (m_series.isEmpty())
        return;
    m_series.clear();
    emit dataChanged();
}

LossGraphData::LossGraphData(QObject *parent)
    : GraphData(parent)
{
}

void LossGraphData::addSample(int key, int frameLossRate, int remoteLoss, int correction)
{
    Series &s = m_series[key];
    push(s.frameLoss, frameLossRate);
    push(s.remoteLoss, remoteLoss);
    push(s.correction, correction);
    emit dataChanged();
}

const LossGraphData::Series *LossGraphData::seriesFor(int key) const
{
    auto it = m_series.constFind(key);
    return it == m_series.constEnd() ? nullptr : &*it;
}

void LossGraphData::clear()
{
    if (m_series.isEmpty())
        return;
    m_series.clear();
    emit dataChanged();
}
