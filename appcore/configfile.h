#pragma once

#include "mailserversettings.h"
#include "message.h"

#include <QMap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

/** The window part of the configuration (the "application" node). */
struct ConfigWindow
{
    QPoint position;              ///< "x", "y"; 0 when missing
    std::optional<QSize> size;    ///< "width" x "height"; absent when either is missing or not positive
    bool connectionAlerts = false; ///< "audio": "Play Connection Alerts"
    bool defaultSounds = false;   ///< "default-sounds": "Enable the Default Alert Sounds"
    bool alertEmails = false;     ///< "alert-emails": "Enable Alert Emails"

    bool operator==(const ConfigWindow &o) const
    {
        return position == o.position && size == o.size && connectionAlerts == o.connectionAlerts
            && defaultSounds == o.defaultSounds && alertEmails == o.alertEmails;
    }
};

/** The managed device (the first "remotes/remote" node). */
struct ConfigRemote
{
    QString address;
    int port = 0; ///< 0 when the file has none or one outside 1..65535
    QString password;
    bool metering = true;
    QMap<int, QString> alertSounds; ///< device event value -> sound file ("sound" children)
    QStringList emailAddresses;     ///< alert addresses in order ("email" children)

    bool operator==(const ConfigRemote &o) const
    {
        return address == o.address && port == o.port && password == o.password && metering == o.metering
            && alertSounds == o.alertSounds && emailAddresses == o.emailAddresses;
    }
};

/** Everything "pn-config.xml" holds, as plain values: the window applies it and fills it for a save. */
struct ConfigSettings
{
    std::optional<ConfigWindow> window; ///< absent: the window keeps its designed geometry and switches
    std::optional<ConfigRemote> remote; ///< absent: no device
    MailServerSettings mail;            ///< the "mail" node; defaults when absent

    bool operator==(const ConfigSettings &o) const
    {
        return window == o.window && remote == o.remote && mail == o.mail;
    }
    bool operator!=(const ConfigSettings &o) const { return !(*this == o); }
};

/**
 * Reads and writes the configuration file. Both take one program-wide mutex,
 * so a save and a load never overlap.
 *
 * A save writes a temporary file beside the target, flushes it and renames it
 * over the target: the old file stays whole when anything fails, and the new
 * one is readable by its owner only (it holds a codec password).
 *
 * A load refuses anything that is not a regular file or is larger than
 * MaxFileSize. A file that cannot be parsed is moved aside, never to be
 * replaced by a save: to "<path>.bad", or when that is taken to the first free
 * "<path>.bad.2" ... "<path>.bad.10"; with all of them taken the newest
 * corrupt file replaces "<path>.bad.10", so the first ones are always kept.
 */
class ConfigFile
{
public:
    static constexpr qint64 MaxFileSize = 1 << 20;
    static constexpr int MaxKeptBadFiles = 10;

    enum class LoadStatus {
        Loaded,  ///< settings hold the file's contents
        Missing, ///< no file: not an error, settings are the defaults
        Failed,  ///< error says why; settings are the defaults (the program starts empty)
    };

    struct LoadResult
    {
        LoadStatus status = LoadStatus::Missing;
        ConfigSettings settings;
        QString error;   ///< the text after "Error loading configuration: "
        QString keptAs;  ///< where an unparsable file was moved to (empty otherwise)
    };

    /** Reads the configuration file at @p path. */
    static LoadResult load(const QString &path);
    /** Writes @p settings to @p path; an empty text on success, else the text after "Error saving configuration: ". */
    static QString save(const QString &path, const ConfigSettings &settings);

    /** The file's tree for @p settings. */
    static Message toMessage(const ConfigSettings &settings);
    /** The settings a "config" tree holds; values that make no sense are skipped with a log line. */
    static ConfigSettings fromMessage(const Message &config);
};
