// The manager's thread and pooled loop: start, stop, two side by side, and
// where the queued connect of a client runs.

#include "ipcmanager.h"
#include "iqcommonapp.h"
#include "iqmanager.h"
#include "transporttest.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

class TestTransportApp : public QObject
{
    Q_OBJECT

private slots:
    void startAndStop()
    {
        IQCommonApp app;
        QVERIFY(app.manager() != IQCommonApp::instance()->manager());
        QCOMPARE(app.manager()->manager().periodic_interval(), 4000u);
        SignalCounter loopStopped(app.manager(), &IQManager::event_loop_stopped);
        SignalCounter threadStopped(&app, &IQCommonApp::manager_thread_stopped);
        app.start_manager();
        QVERIFY(app.managerThread()->isRunning());
        QVERIFY(app.loopRunning());
        QCOMPARE(app.manager()->thread(), app.managerThread());
        app.stop_manager();
        QVERIFY(app.managerThread()->isFinished());
        QVERIFY(!app.loopRunning());
        QTRY_COMPARE(loopStopped.count(), 1);
        QTRY_COMPARE(threadStopped.count(), 1);
        app.stop_manager(); // twice is harmless
    }

    void twoManagersSideBySide()
    {
        IQCommonApp a;
        IQCommonApp b;
        a.start_manager();
        b.start_manager();
        QVERIFY(a.loopRunning());
        QVERIFY(b.loopRunning());
        a.stop_manager();
        QVERIFY(b.loopRunning());
        b.stop_manager();
    }

    void connectClientRunsOnTheManagerThread()
    {
        IQCommonApp app;
        app.start_manager();
        QMetaObject::invokeMethod(app.manager(), "connect_client", Qt::QueuedConnection, Q_ARG(QString, "xmls"),
                                  Q_ARG(QString, "stream"), Q_ARG(QString, "127.0.0.1:1"), Q_ARG(QString, "dev"));
        QTRY_COMPARE(app.manager()->manager().endpoint_count(), size_t(1));
        app.stop_manager();
    }
};

QTEST_GUILESS_MAIN(TestTransportApp)
#include "tst_transport_app.moc"
