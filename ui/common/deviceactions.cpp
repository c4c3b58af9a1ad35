#include "deviceactions.h"

#include <QMenu>

QList<QAction *> DeviceActions::forDevice(IQEndpointClient::DEVICE_STATE state, bool metering) const
{
    const QList<QAction *> candidates = {
        connect,
        disconnectAll,
        state == IQEndpointClient::AUTH_FAILED ? inputPassword : nullptr,
        state == IQEndpointClient::READY ? copyNodeId : nullptr,
        setSounds,
        metering ? disableMetering : enableMetering,
        addDevice,
        removeDevice,
    };
    QList<QAction *> actions;
    for (QAction *action : candidates) {
        if (action)
            actions.append(action);
    }
    return actions;
}

void DeviceActions::addTo(QMenu *menu, IQEndpointClient::DEVICE_STATE state, bool metering) const
{
    menu->addActions(forDevice(state, metering));
}
