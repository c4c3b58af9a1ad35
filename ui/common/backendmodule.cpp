#include "backendmodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

namespace {

QStringList &addedDirs()
{
    static QStringList dirs;
    return dirs;
}

QMutex &addedDirsMutex()
{
    static QMutex mutex;
    return mutex;
}

} // namespace

BackendModule::BackendModule(const QString &name)
    : m_fileName(QStringLiteral("libquorvane-%1.so").arg(name))
{
}

QStringList BackendModule::searchDirs()
{
    QStringList dirs;
    {
        QMutexLocker lock(&addedDirsMutex());
        dirs = addedDirs();
    }
    // The build tree lays the modules out as the install does, so one rule finds both.
    if (QCoreApplication::instance())
        dirs.append(QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                                    + QStringLiteral(QV_MODULE_RELATIVE_DIR)));
    dirs.append(QStringLiteral(QV_MODULE_INSTALL_DIR));
    dirs.removeDuplicates();
    return dirs;
}

void BackendModule::addSearchDir(const QString &dir)
{
    QMutexLocker lock(&addedDirsMutex());
    if (!addedDirs().contains(dir))
        addedDirs().prepend(dir);
}

QString BackendModule::locate() const
{
    for (const QString &dir : searchDirs()) {
        const QFileInfo file(dir + QLatin1Char('/') + m_fileName);
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}

QFunctionPointer BackendModule::resolve(const char *symbol)
{
    QMutexLocker lock(&m_mutex);
    if (!load())
        return nullptr;
    const QFunctionPointer function = m_library.resolve(symbol);
    if (!function)
        m_error = QStringLiteral("%1 has no %2").arg(m_library.fileName(), QLatin1String(symbol));
    return function;
}

QString BackendModule::errorString() const
{
    QMutexLocker lock(&m_mutex);
    return m_error;
}

bool BackendModule::load()
{
    if (m_library.isLoaded())
        return true;
    // One attempt: a missing module stays missing, and each use must not search the disk again.
    if (m_tried)
        return false;
    m_tried = true;
    const QString path = locate();
    if (path.isEmpty()) {
        m_error = QStringLiteral("%1 not found in %2").arg(m_fileName, searchDirs().join(QStringLiteral(", ")));
        return false;
    }
    m_library.setFileName(path);
    if (!m_library.load()) {
        m_error = m_library.errorString();
        return false;
    }
    return true;
}
