#include "myqapplication.h"

#include <QException>

#include <exception>

MyQApplication::MyQApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool MyQApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const QException &e) {
        qCritical("%s", e.what());
    } catch (const std::exception &e) {
        qCritical("%s", e.what());
    } catch (...) {
        qCritical("An exception was raised.");
    }
    return false;
}
