#pragma once

#include <QFunctionPointer>
#include <QLibrary>
#include <QMutex>
#include <QString>
#include <QStringList>

/**
 * A back-end library the program loads on first use. The sound system and
 * the mail library bring in dozens of shared objects (audio server client,
 * decoders, TLS, Kerberos, LDAP) that opening the window never needs, so
 * they live in small modules beside the program rather than in it.
 *
 * "sound" is the file libquorvane-sound.so, looked for in the added folders,
 * then where the install puts it relative to the program, then in the
 * installed location itself.
 */
class BackendModule
{
public:
    explicit BackendModule(const QString &name);
    BackendModule(const BackendModule &) = delete;
    BackendModule &operator=(const BackendModule &) = delete;

    /** Loads the module on the first call (from any thread); null when it or @p symbol is missing (see errorString()). */
    QFunctionPointer resolve(const char *symbol);
    /** The file that would be loaded, without loading it; empty when there is none. */
    QString locate() const;
    /** Why the last resolve() failed. */
    QString errorString() const;
    /** The folders looked in, in order. */
    static QStringList searchDirs();
    /** Looks in @p dir before the usual places (tests point at the build tree). */
    static void addSearchDir(const QString &dir);

private:
    bool load();

    const QString m_fileName;
    mutable QMutex m_mutex;
    QLibrary m_library;
    bool m_tried = false;
    QString m_error;
};
