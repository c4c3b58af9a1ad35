#pragma once

#include <QString>

#include <optional>

/**
 * The application data folder: "Velmora" under the user's writable
 * configuration folder, holding the configuration file. Paths are computed on
 * every call, never cached, so a changed environment is seen at once.
 */
namespace AppFolder {

/** The base folder from the system (or the override); empty when there is none. */
QString basePath();

/** base + "/Velmora"; empty when the base is empty. */
QString folderPath();
QString folderPathFor(const QString &base);

/** folderPath() + "/pn-config.xml"; with an empty base the bare "/pn-config.xml". */
QString configFilePath();
QString configFilePathFor(const QString &base);

/** Creates the folder with all missing levels; true when it exists afterwards. */
bool ensureFolder();

/** Replaces the system's base folder (tests); std::nullopt restores the system's. */
void setBaseOverride(std::optional<QString> base);

} // namespace AppFolder
