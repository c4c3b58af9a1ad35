#pragma once

#include "ctloptions.h"

#include <QString>

class QIODevice;

namespace qvctl {

/** The environment variable that gives the password when no option does. */
constexpr const char PasswordVariable[] = "QVCTL_PASSWORD";

/**
 * Fills Options::password from where the options say: one line of
 * @p standardInput (--password -), the first line of Options::passwordFile,
 * or QVCTL_PASSWORD when no option names a password; --password TEXT and the
 * default are left as they are. False with @p error set when the password
 * cannot be read.
 */
bool resolvePassword(Options &options, QIODevice &standardInput, QString &error);

/**
 * The first line of the file @p path, without its line end. Refused when
 * the file may be read by its group or by others.
 */
bool readPasswordFile(const QString &path, QString &password, QString &error);

/** One line of @p in, without its line end; refused when @p in ends first. */
bool readPasswordLine(QIODevice &in, QString &password, QString &error);

} // namespace qvctl
