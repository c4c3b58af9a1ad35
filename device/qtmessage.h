#pragma once

// The Qt side of Message: its meta type, so that it travels by value through
// queued signals and invocations by name, and attribute access with Qt
// strings. Declared here once, since the ipc library's own headers carry no
// Qt; include this wherever a Message meets Qt.

#include "message.h"

#include <QMetaType>
#include <QString>

#include <string_view>

Q_DECLARE_METATYPE(Message)

/** The attribute's text form decoded from UTF-8, or @p def when it is missing. */
inline QString get_qstring(const Message &m, std::string_view key, const QString &def = QString())
{
    const AttrValue *a = m.attr(key);
    if (!a)
        return def;
    if (a->kind() == AttrValue::String)
        return QString::fromStdString(a->stringValue());
    return QString::fromStdString(a->toString());
}

/** Stores @p value as a UTF-8 string attribute, replacing any attribute of that name. */
inline void set_qstring(Message &m, std::string_view key, const QString &value)
{
    m.set_string(key, value.toStdString());
}
