#include "meterpane.h"

#include "ipcobject.h"
#include "monitoringmeter.h"

#include <QHBoxLayout>

MeterPane::MeterPane(QWidget *parent)
    : QWidget(parent)
    , m_meter(new MonitoringMeter(this))
{
    m_meter->setObjectName(QStringLiteral("meter"));
    m_meter->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_meter);
    layout->addStretch(1);
}

void MeterPane::setSession(IPCObject *session)
{
    if (!m_binding.bind(session))
        return;
    m_meter->reset();
    if (!session)
        return;
    m_binding << connect(session, &IPCObject::recvAllLevels, m_meter, &MonitoringMeter::allLevels)
              << connect(session, &IPCObject::changedState, m_meter,
                         [this](QUuid, IQEndpointClient::DEVICE_STATE state) {
                             if (state != IQEndpointClient::READY)
                                 m_meter->reset();
                         });
}
