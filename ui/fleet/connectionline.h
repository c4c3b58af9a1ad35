#pragma once

#include "peermeta.h"

#include <QList>
#include <QString>

/** What a device tile says about the device's live connections. */
struct ConnectionLine
{
    QString text;    ///< "[idle]", the one peer's name, or "(n devices connected)"
    QString toolTip; ///< who is sent to and received from
};

/**
 * The connection line for the active connections @p active, in list order.
 * Several connections give one tool tip line each, prefixed by "RX+TX: ",
 * "RX: ", "TX: " or "???: ".
 */
ConnectionLine connectionLine(const QList<PeerMetaPtr> &active);
