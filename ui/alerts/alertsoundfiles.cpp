#include "alertsoundfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef QV_DATA_DIR
#define QV_DATA_DIR "/usr/local/share/quorvane"
#endif

AlertSoundFiles::AlertSoundFiles(const QStringList &folders)
    : m_folders(folders)
    , m_custom(true)
{
}

QString AlertSoundFiles::defaultSound(QV_EVENT event)
{
    switch (event) {
    case QV_EVENT_AUDIO_CONNECTION_STARTED:
        return QStringLiteral("wav/d_conn.wav");
    case QV_EVENT_AUDIO_CONNECTION_ENDED:
        return QStringLiteral("wav/d_disc.wav");
    case QV_EVENT_DEVICE_ONLINE:
        return QString();
    case QV_EVENT_DEVICE_OFFLINE:
        return QStringLiteral("wav/cnn_lost.wav");
    }
    return QString();
}

QString AlertSoundFiles::installedDataFolder()
{
    return QStringLiteral(QV_DATA_DIR);
}

QStringList AlertSoundFiles::searchFolders() const
{
    if (m_custom)
        return m_folders;
    // Asked each time: the working directory can change while the program runs.
    QStringList folders{QDir::currentPath()};
    if (QCoreApplication::instance()) {
        const QString programFolder = QCoreApplication::applicationDirPath();
        folders << programFolder;
        // An install moved to another prefix: <prefix>/bin/quorvane beside <prefix>/share/quorvane.
        const QString relocated = QDir::cleanPath(programFolder + QStringLiteral("/../share/quorvane"));
        if (relocated != installedDataFolder())
            folders << relocated;
    }
    folders << installedDataFolder();
    return folders;
}

QString AlertSoundFiles::resolve(const QString &path) const
{
    if (path.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(path))
        return QFileInfo(path).isFile() ? path : QString();
    for (const QString &folder : searchFolders()) {
        const QString candidate = QDir(folder).filePath(path);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}
