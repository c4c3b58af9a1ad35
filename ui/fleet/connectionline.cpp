#include "connectionline.h"

namespace {

bool transmitting(const PeerMeta &peer)
{
    return peer.channel && peer.channel->transmitting;
}

bool receiving(const PeerMeta &peer)
{
    return peer.channel && peer.channel->receiving;
}

QString singleToolTip(const PeerMeta &peer)
{
    const bool tx = transmitting(peer);
    const bool rx = receiving(peer);
    if (tx && rx)
        return QStringLiteral("Device is transmitting to and receiving from ") + peer.host;
    if (tx)
        return QStringLiteral("Device is transmitting to ") + peer.host;
    if (rx)
        return QStringLiteral("Device is receiving from ") + peer.host;
    return QStringLiteral("Device is connected, but NOT transmitting OR receiving from ") + peer.host;
}

const char *prefix(const PeerMeta &peer)
{
    const bool tx = transmitting(peer);
    const bool rx = receiving(peer);
    if (tx && rx)
        return "RX+TX: ";
    if (rx)
        return "RX: ";
    if (tx)
        return "TX: ";
    return "???: ";
}

} // namespace

ConnectionLine connectionLine(const QList<PeerMetaPtr> &active)
{
    if (active.isEmpty())
        return {QStringLiteral("[idle]"), QStringLiteral("Device is not connected to any peer.")};
    if (active.size() == 1)
        return {active.first()->name, singleToolTip(*active.first())};
    ConnectionLine line;
    line.text = QStringLiteral("(%1 devices connected)").arg(active.size());
    for (const PeerMetaPtr &peer : active)
        line.toolTip += QLatin1String(prefix(*peer)) + peer->name + QStringLiteral(" (") + peer->host
                      + QStringLiteral(")\n");
    return line;
}
