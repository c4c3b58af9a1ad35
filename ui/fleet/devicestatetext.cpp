#include "devicestatetext.h"

QString connectionCountText(int activeConnections)
{
    if (activeConnections <= 0)
        return QStringLiteral("Ready");
    if (activeConnections == 1)
        return QStringLiteral("1 connected");
    return QString::number(activeConnections) + QStringLiteral(" connected");
}

QString deviceStateText(IQEndpointClient::DEVICE_STATE state, int activeConnections, const QString &previous)
{
    switch (state) {
    case IQEndpointClient::TIMED_OUT:
        return QStringLiteral("Timed Out");
    case IQEndpointClient::AUTH_FAILED:
        return QStringLiteral("Wrong Password");
    case IQEndpointClient::DISCONNECTED:
        return QStringLiteral("Not connected");
    case IQEndpointClient::CONNECTING:
        return QStringLiteral("Connecting");
    case IQEndpointClient::CONNECTED:
        return QStringLiteral("Logging in...");
    case IQEndpointClient::READY:
        return connectionCountText(activeConnections);
    case IQEndpointClient::CODE_UPLOAD:
        return QStringLiteral("Device is about to update");
    case IQEndpointClient::CODE_UPDATE:
        return QStringLiteral("Device is updating firmware");
    case IQEndpointClient::AUTHENTICATED:
        break;
    }
    return previous;
}
