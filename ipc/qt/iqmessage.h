#pragma once

#include "message.h"

#include <QMetaType>

// Messages cross threads by value in queued calls under the type name "Message".
Q_DECLARE_METATYPE(Message)

/** Registers "Message" and "IQEndpointClient::DEVICE_STATE" for queued calls (idempotent, thread-safe). */
void iqRegisterMetaTypes();
