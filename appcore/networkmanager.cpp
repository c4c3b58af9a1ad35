#include "networkmanager.h"

#include "iqcommonapp.h"

void startNetworkManager(QObject *owner)
{
    IQCommonApp *app = IQCommonApp::instance();
    if (owner) {
        QObject::connect(owner, &QObject::destroyed, app, qOverload<QObject *>(&IQCommonApp::stop_manager));
    }
    app->start_manager();
}
