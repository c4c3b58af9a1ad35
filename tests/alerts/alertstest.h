#pragma once

// A session for the alert tests whose state and records the test sets.

#include "ipcobject.h"
#include "message.h"

/** A session without a network: the test gives it its state and its records. */
class AlertProbe : public IPCObject
{
public:
    explicit AlertProbe(const QString &unit = QString(), const QString &address = QStringLiteral("10.0.0.5"),
                        quint16 port = 8080)
        : IPCObject(QUuid::createUuid())
    {
        setAddress(address, port);
        if (!unit.isEmpty()) {
            Message options("resp");
            options.set_string("seq", "sysOptions");
            options.set_string("unit_name", unit.toStdString());
            handleResponse(options);
        }
    }
    using IPCObject::setState;
};
