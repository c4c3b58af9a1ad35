#pragma once

#include "iqendpointclient.h"

#include <QList>

class QAction;
class QMenu;

/**
 * The actions a device's menu may offer (the tile's, the summary row's and
 * the window header's), owned elsewhere (the main window's form). A null
 * action is not offered by that menu.
 */
struct DeviceActions {
    QAction *connect = nullptr;
    QAction *disconnectAll = nullptr;
    QAction *inputPassword = nullptr;
    QAction *copyNodeId = nullptr;
    QAction *setSounds = nullptr;
    QAction *enableMetering = nullptr;
    QAction *disableMetering = nullptr;
    QAction *addDevice = nullptr;
    QAction *removeDevice = nullptr;

    /**
     * The menu of a device in @p state, in order and without separators:
     * connect, disconnect all, the password prompt only while the password is
     * refused, the MAC address only when ready, the alert sounds, the metering
     * switch that fits @p metering, then adding and removing devices.
     */
    QList<QAction *> forDevice(IQEndpointClient::DEVICE_STATE state, bool metering) const;

    /** Appends forDevice(@p state, @p metering) to @p menu. */
    void addTo(QMenu *menu, IQEndpointClient::DEVICE_STATE state, bool metering) const;

    /**
     * forDevice() as the tile and the summary show it: a separator inserted
     * before the last two actions, then another at position 2. Null entries
     * stand for the separators.
     */
    QList<QAction *> withSeparators(IQEndpointClient::DEVICE_STATE state, bool metering) const;
    /** Appends withSeparators(@p state, @p metering) to @p menu. */
    void addToWithSeparators(QMenu *menu, IQEndpointClient::DEVICE_STATE state, bool metering) const;
};
