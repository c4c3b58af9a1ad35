#pragma once

// Message travels by value through queued signals and invocations by name;
// include this wherever a Message crosses a thread in a Qt signal. Declared
// here once, since the ipc library's own headers carry no Qt.

#include "message.h"

#include <QMetaType>

Q_DECLARE_METATYPE(Message)
