#include "ctlpassword.h"

#include <QFile>
#include <QFileInfo>

namespace qvctl {

namespace {

// Longer than any password; a file of another kind ends here.
constexpr qint64 MaxLine = 4096;

bool takeLine(QIODevice &in, const QString &what, QString &password, QString &error)
{
    QByteArray line = in.readLine(MaxLine + 2);
    if (line.isEmpty() && in.atEnd()) {
        error = QStringLiteral("no password in %1").arg(what);
        return false;
    }
    if (line.endsWith('\n'))
        line.chop(1);
    else if (line.size() > MaxLine) {
        error = QStringLiteral("the first line of %1 is longer than %2 bytes").arg(what).arg(MaxLine);
        return false;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    password = QString::fromUtf8(line);
    return true;
}

} // namespace

bool readPasswordLine(QIODevice &in, QString &password, QString &error)
{
    return takeLine(in, QStringLiteral("standard input"), password, error);
}

bool readPasswordFile(const QString &path, QString &password, QString &error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("password file \"%1\" does not exist").arg(path);
        return false;
    }
    if (!info.isFile()) {
        error = QStringLiteral("password file \"%1\" is not a file").arg(path);
        return false;
    }
    // A secret that others can read is no secret: refuse rather than use it.
    if (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
        error = QStringLiteral("password file \"%1\" is readable by other users (chmod 600 it)").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read password file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return takeLine(file, QStringLiteral("password file \"%1\"").arg(path), password, error);
}

bool resolvePassword(Options &options, QIODevice &standardInput, QString &error)
{
    switch (options.passwordFrom) {
    case PasswordFrom::Text:
        return true;
    case PasswordFrom::StandardInput:
        return readPasswordLine(standardInput, options.password, error);
    case PasswordFrom::File:
        return readPasswordFile(options.passwordFile, options.password, error);
    case PasswordFrom::Default:
        if (qEnvironmentVariableIsSet(PasswordVariable))
            options.password = qEnvironmentVariable(PasswordVariable);
        return true;
    }
    return true;
}

} // namespace qvctl
