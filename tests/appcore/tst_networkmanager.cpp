// The program's start-up seam for the network manager: destroying the owner
// (the main window) stops the loop and joins the manager thread before
// anything else happens.

#include "iqcommonapp.h"
#include "networkmanager.h"

#include <QThread>
#include <QtTest>

class TestNetworkManager : public QObject
{
    Q_OBJECT

private slots:
    void ownerDestructionStopsTheManager()
    {
        IQCommonApp *app = IQCommonApp::instance();
        auto *owner = new QObject;
        startNetworkManager(owner);
        QVERIFY(app->managerThread()->isRunning());
        QVERIFY(app->loopRunning());
        delete owner;
        QVERIFY(app->managerThread()->isFinished());
        QVERIFY(!app->loopRunning());
    }
};

QTEST_GUILESS_MAIN(TestNetworkManager)
#include "tst_networkmanager.moc"
