#pragma once

#include <string>

namespace IpcPlatform {

/**
 * Replaces the file at @p path with @p bytes: writes a temporary file beside
 * it, flushes it to disk and renames it over the target, so a crash never
 * leaves a half-written file. On failure returns false with the system's text.
 */
bool writeFileAtomically(const std::string &path, const std::string &bytes, std::string &error);

/** Reads the whole file; on failure returns false with the system's text. */
bool readFile(const std::string &path, std::string &bytes, std::string &error);

} // namespace IpcPlatform
