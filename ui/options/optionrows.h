#pragma once

// What the option pages make of a codec's option description record: which
// editing page it gets, the text of its value in a tree, its number range.
// Plain rules over copies of device messages; no widgets.

#include <QList>
#include <QPair>
#include <QString>

class Message;

/** One choice of a "select": its display text and the value written. */
struct OptionChoice {
    QString name;
    QString value;
};

/** One encoder of the device's codec list as the codec page offers it. */
struct CodecChoice {
    QString id;
    QString text; ///< "%1: %2 %3" with code, mode and name
    QString descr;
    QString quality;
    QString delay;
};

/** The editing page an option gets. */
enum class OptionPage { Blank, Int, Bool, String, Select, Codec };

/** The codec's description of one editable setting, as the option pages read it. */
struct OptionDescription {
    QString name;
    QString displayName;
    QString type;
    QString defaultValue;
    QString descr;
    QString units;
    int minimum = 0;
    int maximum = 0;
    /** Both "label_true" and "label_false" were given (and read). */
    bool hasLabels = false;
    QString labelTrue;
    QString labelFalse;
    bool advanced = false;
    QList<OptionChoice> choices;

    /**
     * Reads an "option" element. @p defaultKey names the attribute holding
     * the default; @p withLabels whether "label_true"/"label_false" are read.
     */
    static OptionDescription read(const Message &option, const char *defaultKey = "default", bool withLabels = true);
};

namespace optionrows {

/** The page for an option type ("name" edits as text, "channel" and "peer" as a choice). */
OptionPage pageFor(const QString &type);

/** The "min"/"max" of an "int" record; a missing bound is the end of the int range. */
QPair<int, int> intRange(const Message &option);

/** A decimal number; anything else reads as 0. */
int intValue(const QString &text);

/** The word shown for a switch: the record's own labels when it has both, else "Enabled"/"Not Enabled". */
QString boolWord(const OptionDescription &option, bool on);

/** The caption of a switch's check box: the units when given, else "Enabled". */
QString checkCaption(const OptionDescription &option);

/** A number with its unit: "250 ms" (the unit may be empty). */
QString numberText(const QString &value, const QString &units);

/** The display name of the choice whose value is @p value; empty when none matches. */
QString choiceName(const QList<OptionChoice> &choices, const QString &value);

/** The encoders of a "codecList" element, in list order. */
QList<CodecChoice> codecChoices(const Message &codecList);

/** The value column of a tree row: encoder text, choice name, switch word or the value itself. */
QString valueText(const OptionDescription &option, const QString &value, const QList<CodecChoice> &codecs);

/** The value an editing page starts from: an empty value means the default, except for text. */
QString effectiveValue(const OptionDescription &option, const QString &value);

} // namespace optionrows
