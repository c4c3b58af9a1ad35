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

/**
 * The state a view shows for a session. A session reports a time-out apart
 * (cnxn_timed_out()) and enters DISCONNECTED right after it; "Timed Out"
 * stays shown until the session tries again.
 */
class ShownState
{
public:
    /** The session reported a time-out. */
    void timedOut() { m_timedOut = true; }
    /** The state to show when the session reports @p reported. */
    IQEndpointClient::DEVICE_STATE shown(IQEndpointClient::DEVICE_STATE reported)
    {
        if (reported == IQEndpointClient::TIMED_OUT)
            m_timedOut = true;
        else if (reported != IQEndpointClient::DISCONNECTED)
            m_timedOut = false;
        return m_timedOut ? IQEndpointClient::TIMED_OUT : reported;
    }
    bool isTimedOut() const { return m_timedOut; }

private:
    bool m_timedOut = false;
};
