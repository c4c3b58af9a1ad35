#pragma once

#include "message.h"

#include <QString>
#include <QVector>

/** One setting row of the profile editor's tree. */
struct ProfileRow {
    QString label;   ///< the setting's display name
    QString value;   ///< what the value column shows
    QString raw;     ///< the value as text (the side's entry, else the option's default)
    QString option;  ///< the key in the group's record ("name" and "channel" in "settings")
    QString channel;
    QString type;    ///< "int", "bool", "string", "select", "codec", "name" or "channel"
    QString group;   ///< "settings", "local" or "remote"

    /** The selection key: group followed by option name. */
    QString key() const { return group + option; }
};

/** A top-level row of the tree and its settings. */
struct ProfileGroup {
    QString label;
    QString description;
    QVector<ProfileRow> rows;
};

/** What the tree is built from: copies of the device's records. */
struct ProfileTreeInput {
    Message profile;     ///< a "profile" of the "profileList"
    Message channelOpts; ///< "option" children
    Message channelList; ///< "channel" children
    Message codecList;   ///< "codec" children
    bool advanced = false;
};

/** Where a row sits: its group's index and its index in the group (-1 when none). */
struct ProfileRowPath {
    int group = -1;
    int row = -1;
    bool isValid() const { return group >= 0 && row >= 0; }
    bool operator==(const ProfileRowPath &o) const { return group == o.group && row == o.row; }
};

/**
 * The profile editor's tree, without widgets: "Global Settings" (name and
 * channel), "Local Settings" and, when the profile's channel has remote
 * settings, "Remote Settings", each with one row per profile option of the
 * channel (advanced ones only when asked for). A side without its record
 * shows the options' defaults.
 */
namespace ProfileRows {

QVector<ProfileGroup> build(const ProfileTreeInput &input);

/** The row with selection key @p key; invalid when there is none. */
ProfileRowPath find(const QVector<ProfileGroup> &groups, const QString &key);
/** The row to select after a rebuild: the one with @p key, else the first row of the first group. */
ProfileRowPath rowToSelect(const QVector<ProfileGroup> &groups, const QString &key);

/** A "bool" option's word for @p value: "label_true"/"label_false" when both exist, else "Enabled"/"Not Enabled". */
QString boolWord(const Message &option, bool value);

/**
 * A copy of @p profile with @p option of its @p group record ("settings",
 * "local" or "remote") set to @p value as text; the record is created when
 * the profile has none.
 */
Message withValue(const Message &profile, const QString &group, const QString &option, const QString &value);

} // namespace ProfileRows
