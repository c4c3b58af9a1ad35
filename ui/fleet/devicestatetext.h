#pragma once

#include "iqendpointclient.h"

#include <QString>

/**
 * The words a device's state shows as (the tile's state label and the
 * details header). States without words of their own keep what was shown
 * before, so @p previous comes back for them. READY shows the number of
 * active connections: "Ready", "1 connected", "n connected".
 */
QString deviceStateText(IQEndpointClient::DEVICE_STATE state, int activeConnections, const QString &previous);

/** "Ready", "1 connected" or "n connected" for @p activeConnections (none before the first peer list). */
QString connectionCountText(int activeConnections);
