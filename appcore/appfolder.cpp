#include "appfolder.h"

#include <QDir>
#include <QStandardPaths>

namespace {

std::optional<QString> g_baseOverride;

} // namespace

namespace AppFolder {

QString basePath()
{
    if (g_baseOverride)
        return *g_baseOverride;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString folderPathFor(const QString &base)
{
    // No base, no folder: the configuration file then resolves to "/pn-config.xml".
    if (base.isEmpty())
        return QString();
    return base + QStringLiteral("/Velmora");
}

QString folderPath()
{
    return folderPathFor(basePath());
}

QString configFilePathFor(const QString &base)
{
    return folderPathFor(base) + QStringLiteral("/pn-config.xml");
}

QString configFilePath()
{
    return configFilePathFor(basePath());
}

bool ensureFolder()
{
    const QDir dir(folderPath());
    dir.mkpath(QStringLiteral("."));
    return dir.exists();
}

void setBaseOverride(std::optional<QString> base)
{
    g_baseOverride = std::move(base);
}

} // namespace AppFolder
