#pragma once

#include "common/sessionbinding.h"

#include <QWidget>

class IPCObject;
class MonitoringMeter;

/**
 * The "Meters" tab: the selected device's levels on the monitoring meter
 * (object name "meter", with a custom context menu). The bars empty when
 * another device is shown and whenever the device leaves the ready state.
 */
class MeterPane : public QWidget
{
    Q_OBJECT

public:
    explicit MeterPane(QWidget *parent = nullptr);

    /** Shows the levels of @p session (or none); the same session again changes nothing. */
    void setSession(IPCObject *session);
    MonitoringMeter *meter() const { return m_meter; }

private:
    MonitoringMeter *m_meter;
    SessionBinding m_binding;
};
