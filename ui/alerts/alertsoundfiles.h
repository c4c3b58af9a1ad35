#pragma once

#include "qvevent.h"

#include <QString>
#include <QStringList>

/**
 * Finds alert sound files. A relative path is looked up in the working
 * directory, then beside the program, then in the installed data folder
 * (<prefix>/share/quorvane, found from the program's folder and from the
 * configured prefix), so the built-in "wav/..." defaults play from a build
 * tree and from a packaged install alike.
 */
class AlertSoundFiles
{
public:
    /** The default search: working directory, program folder, installed data folder. */
    AlertSoundFiles() = default;
    /** Looks relative paths up in @p folders only, in order (tests). */
    explicit AlertSoundFiles(const QStringList &folders);

    /** The built-in sound of @p event, relative ("wav/d_conn.wav"); empty for "device online". */
    static QString defaultSound(QV_EVENT event);
    /** The installed data folder, "<prefix>/share/quorvane". */
    static QString installedDataFolder();

    /** The folders a relative path is looked up in, in order. */
    QStringList searchFolders() const;
    /** The existing file that @p path names; empty when there is none (or it is a folder). */
    QString resolve(const QString &path) const;

private:
    QStringList m_folders;
    bool m_custom = false;
};
