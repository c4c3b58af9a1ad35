#pragma once

// Helpers of the window tests: driving modal dialogs from the event loop and
// finding widgets by their object names.

#include <QApplication>
#include <QDialog>
#include <QPointer>
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

} // namespace uitest
