#pragma once

#include "message.h"
#include "options/optionrows.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

/** Where a setting lives on the codec, and so which request saves it. */
enum class SettingSource { System, DirectoryServer, Channel, Weftline };

/** An option description record with what the settings editor adds to it. */
struct SettingRecord {
    QString key; ///< "name", "channel:name" or "weftline:name"
    OptionDescription option;
    SettingSource source = SettingSource::System;
    QString group;      ///< "group" of a system option, "channelList" or "netmgr.tunnel"
    QString groupTitle; ///< the tree's group row
    QString subgroup;   ///< child of "sysOptions" holding the value (may be empty)
    QString channel;    ///< channel id of a channel option
    bool peerPicker = false; ///< a "peer" option offered as a choice of peers
};

/** One peer of the session's peer list, offered by a "peer" option. */
struct PeerChoice {
    QString id;
    QString name;
    QString address;
};

/** Copies of the device records the editor works from, by cache key. */
struct SettingsSources {
    /** "systemOpts", "sysOptions", "channelOpts", "channelList", "codecList", "directoryServer", "weftlineSettings". */
    QMap<QString, Message> records;
    /** False for old firmware: no tunnel settings. */
    bool versioned = true;
    /** The peers a "peer" option offers (none unless the session is ready). */
    QList<PeerChoice> peers;
};

/** One setting row of the tree. */
struct SettingRow {
    QString key;
    QString displayName;
    QString value;     ///< the value as text
    QString valueText; ///< what the value column shows
    bool advanced = false;
    bool edited = false; ///< changed here and not saved yet
};

/** One group row of the tree with its settings, sorted by display name. */
struct SettingGroup {
    QString title;
    QList<SettingRow> rows;
};

/**
 * The settings editor without its widgets: records in (the four description
 * sources and the device's values), rows out, edits into working copies of
 * the device's messages, and a save that gives the complete requests of the
 * groups that changed.
 */
class SettingsModel
{
public:
    /**
     * Files the records and takes working copies. Groups with unsaved
     * changes keep their copies (a device refresh must not wipe an edit).
     * Logs "missing systemOpts", "missing channelOpts", "missing weftlineSettings".
     */
    void load(const SettingsSources &sources);
    /** Takes every working copy from @p sources again and forgets every change. */
    void discard(const SettingsSources &sources);
    /** Forgets everything (another device). */
    void clear();
    bool isLoaded() const { return m_loaded; }

    /** New choices for the "peer" options ("(No Peer)" last, value "0"). */
    void setPeers(const QList<PeerChoice> &peers);

    /** The tree: groups by title, settings by display name. Empty without records or "sysOptions". */
    QList<SettingGroup> groups() const;
    const SettingRecord *record(const QString &key) const;
    /** The setting's current value in the working copies. */
    QString value(const QString &key) const;
    const QList<CodecChoice> &codecs() const { return m_codecs; }

    /** Writes @p value into the working copy of the setting's group; false for an unknown key. */
    bool setValue(const QString &key, const QString &value);
    bool hasChanges() const;

    /**
     * The requests of every changed group, complete (name and "seq" set), in
     * the order directory server, system, tunnel, channels by id; the groups
     * count as unchanged afterwards.
     */
    QList<Message> save();

    /**
     * The codec's answer to a tunnel save: its "option" values go into the
     * tunnel copy; an answer carrying "fail" reloads the copy from
     * @p described (the cached "weftlineSettings").
     */
    void confirmWeftline(const Message &answer, const Message &described);

    // Working copies, as the requests will carry them.
    const Message &sysOptions() const { return m_sysOptions; }
    const Message &directoryServer() const { return m_directoryServer; }
    const Message &weftline() const { return m_weftline; }
    const QMap<QString, Message> &channels() const { return m_channels; }

    /** The copy of @p group with the setting of @p record set to @p value (an edit of one group). */
    static Message withValue(const Message &group, const SettingRecord &record, const QString &value);

private:
    void fileRecords(const SettingsSources &sources);
    void takeCopies(const SettingsSources &sources, bool keepEdits);
    void forget(SettingSource source);
    QList<OptionChoice> peerChoices() const;

    QMap<QString, SettingRecord> m_records;
    Message m_sysOptions;
    Message m_directoryServer;
    Message m_weftline;
    QMap<QString, Message> m_channels; // by id; "dirty" marks an unsaved one
    QList<CodecChoice> m_codecs;
    QList<PeerChoice> m_peers;
    bool m_versioned = true;
    bool m_loaded = false;
    bool m_sysChanged = false;
    bool m_dsChanged = false;
    bool m_weftlineChanged = false;
    QSet<QString> m_editedKeys;
};
