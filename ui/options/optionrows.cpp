#include "optionrows.h"

#include "qtmessage.h"

#include <limits>

OptionDescription OptionDescription::read(const Message &option, const char *defaultKey, bool withLabels)
{
    OptionDescription d;
    d.name = get_qstring(option, "name");
    d.displayName = get_qstring(option, "display_name");
    d.type = get_qstring(option, "type");
    d.defaultValue = get_qstring(option, defaultKey);
    d.descr = get_qstring(option, "descr");
    d.units = get_qstring(option, "units");
    const QPair<int, int> range = optionrows::intRange(option);
    d.minimum = range.first;
    d.maximum = range.second;
    if (withLabels && option.has_attribute("label_true") && option.has_attribute("label_false")) {
        d.hasLabels = true;
        d.labelTrue = get_qstring(option, "label_true");
        d.labelFalse = get_qstring(option, "label_false");
    }
    d.advanced = option.get_bool("advanced");
    const int n = option.child_count("select");
    for (int i = 0; i < n; ++i) {
        const Message &s = option.get_child("select", i);
        d.choices.append(OptionChoice{get_qstring(s, "name"), get_qstring(s, "value")});
    }
    return d;
}

namespace optionrows {

OptionPage pageFor(const QString &type)
{
    if (type == QLatin1String("int"))
        return OptionPage::Int;
    if (type == QLatin1String("bool") || type == QLatin1String("visible"))
        return OptionPage::Bool;
    if (type == QLatin1String("string") || type == QLatin1String("name"))
        return OptionPage::String;
    if (type == QLatin1String("select") || type == QLatin1String("channel") || type == QLatin1String("peer"))
        return OptionPage::Select;
    if (type == QLatin1String("codec"))
        return OptionPage::Codec;
    return OptionPage::Blank;
}

QPair<int, int> intRange(const Message &option)
{
    // A record that leaves a bound out does not limit that side: 0 would make
    // the spin box refuse every value.
    const int lo = option.has_attribute("min") ? option.get_int("min") : std::numeric_limits<int>::min();
    const int hi = option.has_attribute("max") ? option.get_int("max") : std::numeric_limits<int>::max();
    return qMakePair(lo, hi);
}

int intValue(const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

QString boolWord(const OptionDescription &option, bool on)
{
    if (option.hasLabels)
        return on ? option.labelTrue : option.labelFalse;
    return on ? QStringLiteral("Enabled") : QStringLiteral("Not Enabled");
}

QString checkCaption(const OptionDescription &option)
{
    return option.units.isEmpty() ? QStringLiteral("Enabled") : option.units;
}

QString numberText(const QString &value, const QString &units)
{
    return QStringLiteral("%1 %2").arg(value, units);
}

QString choiceName(const QList<OptionChoice> &choices, const QString &value)
{
    for (const OptionChoice &c : choices) {
        if (c.value == value)
            return c.name;
    }
    return QString();
}

QList<CodecChoice> codecChoices(const Message &codecList)
{
    QList<CodecChoice> out;
    const int n = codecList.child_count("codec");
    for (int i = 0; i < n; ++i) {
        const Message &c = codecList.get_child("codec", i);
        CodecChoice choice;
        choice.id = get_qstring(c, "id");
        choice.text = QStringLiteral("%1: %2 %3")
                          .arg(get_qstring(c, "code"), get_qstring(c, "mode"), get_qstring(c, "name"));
        choice.descr = get_qstring(c, "descr");
        choice.quality = get_qstring(c, "quality");
        choice.delay = get_qstring(c, "delay");
        out.append(choice);
    }
    return out;
}

QString valueText(const OptionDescription &option, const QString &value, const QList<CodecChoice> &codecs)
{
    switch (pageFor(option.type)) {
    case OptionPage::Codec:
        if (value == QLatin1String("!follow"))
            return QStringLiteral("Follow local encoder");
        for (const CodecChoice &c : codecs) {
            if (c.id == value)
                return c.text;
        }
        return QString();
    case OptionPage::Select:
        return choiceName(option.choices, value);
    case OptionPage::Bool:
        return boolWord(option, value == QLatin1String("true"));
    default:
        return value;
    }
}

QString effectiveValue(const OptionDescription &option, const QString &value)
{
    if (value.isEmpty() && option.type != QLatin1String("string") && option.type != QLatin1String("name"))
        return option.defaultValue;
    return value;
}

} // namespace optionrows
