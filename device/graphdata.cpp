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
    : SeriesGraphData(parent)
{
}

void DelayGraphData::addSample(int key, int bufferDelay, int packetJitter, int bufferDesiredDelay)
{
    Series &s = m_series[key];
    push(s.samples, qMakePair(bufferDelay, packetJitter));
    push(s.desired, bufferDesiredDelay);
    emit dataChanged();
}

LossGraphData::LossGraphData(QObject *parent)
    : SeriesGraphData(parent)
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

