#pragma once

// Helpers of the window tests: driving modal dialogs from the event loop and
// finding widgets by their object names.

#include "appfolder.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

namespace uitest {

/**
 * Runs @p action on the first modal dialog of type T that the event loop
 * shows (polled, so it may be opened later than this call). The returned
 * flag turns true once the action ran.
 */
template <typename T>
std::shared_ptr<bool> whenModal(std::function<void(T *)> action, int timeoutMs = 30000)
{
    auto done = std::make_shared<bool>(false);
    auto *timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, done, waited, timeoutMs] {
        if (T *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *done = true;
            action(dialog);
            return;
        }
        *waited += timer->interval();
        if (*waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    return done;
}

/** The child of @p parent named @p name; fails the test when there is none. */
template <typename T>
T *child(QObject *parent, const char *name)
{
    T *w = parent->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qWarning("no %s named %s", T::staticMetaObject.className(), name);
    return w;
}

/**
 * Points the configuration folder (XDG_CONFIG_HOME) at a fresh temporary
 * folder while it exists, so that windows under test read and write their
 * own "pn-config.xml", never the user's.
 */
class ConfigSandbox
{
public:
    ConfigSandbox()
        : m_old(qgetenv("XDG_CONFIG_HOME"))
        , m_had(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        AppFolder::ensureFolder();
    }
    ~ConfigSandbox()
    {
        if (m_had)
            qputenv("XDG_CONFIG_HOME", m_old);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    ConfigSandbox(const ConfigSandbox &) = delete;
    ConfigSandbox &operator=(const ConfigSandbox &) = delete;

    QString base() const { return m_dir.path(); }
    /** The configuration file the window uses now. */
    static QString configPath() { return AppFolder::configFilePath(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_had;
};

} // namespace uitest
