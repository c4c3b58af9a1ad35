#include "networkmanager.h"

#include "iqcommonapp.h"

#include <QMainWindow>

void startNetworkManager(QMainWindow *window)
{
    IQCommonApp *app = IQCommonApp::instance();
    if (window) {
        QObject::connect(window, &QObject::destroyed, app,
                         qOverload<QObject *>(&IQCommonApp::stop_manager));
    }
    app->start_manager();
}
