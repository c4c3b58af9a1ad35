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

/**
 * A record's value @p name, which codecs send either way: the text of the
 * child element @p name when there is one with text, else the attribute
 * @p name, else @p def ("<version><version>8.6</version></version>" and
 * "<version version=\"8.6\"/>" both give "8.6").
 */
inline QString get_field_qstring(const Message &record, std::string_view name, const QString &def = QString())
{
    if (const Message *child = record.find_child(name)) {
        if (!child->value().empty())
            return QString::fromStdString(child->value());
    }
    return get_qstring(record, name, def);
}

/** Stores @p value as a UTF-8 string attribute, replacing any attribute of that name. */
inline void set_qstring(Message &m, std::string_view key, const QString &value)
{
    m.set_string(key, value.toStdString());
}
