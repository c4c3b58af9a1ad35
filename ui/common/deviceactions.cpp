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

QList<QAction *> DeviceActions::withSeparators(IQEndpointClient::DEVICE_STATE state, bool metering) const
{
    QList<QAction *> actions = forDevice(state, metering);
    if (actions.size() >= 2)
        actions.insert(actions.size() - 2, nullptr);
    if (actions.size() >= 2)
        actions.insert(2, nullptr);
    return actions;
}

void DeviceActions::addToWithSeparators(QMenu *menu, IQEndpointClient::DEVICE_STATE state, bool metering) const
{
    for (QAction *action : withSeparators(state, metering)) {
        if (action)
            menu->addAction(action);
        else
            menu->addSeparator();
    }
}
