// The per-device event log: capacity, signals, clearing, time stamps, and the
// queued hand-over of lines to another thread.

#include "devicelog.h"

#include <QtTest>

#include <QRegularExpression>
#include <QThread>

class TestDeviceLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linesAreNewestFirstWithTimeStamp();
    void levelShorthands();
    void lineBeyondCapacityReplacesTheOldest();
    void clearEmitsNothingAndStartsOver();
    void lineCrossesThreadsByQueuedSignal();
};

void TestDeviceLog::initTestCase()
{
    qRegisterMetaType<LogLine>("LogLine");
}

void TestDeviceLog::linesAreNewestFirstWithTimeStamp()
{
    DeviceLog log;
    QSignalSpy added(&log, &DeviceLog::lineAdded);
    QSignalSpy replaced(&log, &DeviceLog::lineReplaced);

    const QTime before = QTime::currentTime();
    log.add0("Audio connection started. Active peers: studio");
    log.add0("Audio connection ended. Disconnected peers: studio");
    const QTime after = QTime::currentTime();

    QCOMPARE(log.count(), 2);
    QCOMPARE(added.count(), 2);
    QCOMPARE(replaced.count(), 0);

    const QRegularExpression stamped("^(\\d\\d:\\d\\d:\\d\\d) (.*)$");
    const auto first = stamped.match(log.lines().at(0).text());
    QVERIFY2(first.hasMatch(), qPrintable(log.lines().at(0).text()));
    QCOMPARE(first.captured(2), QString("Audio connection ended. Disconnected peers: studio"));
    QVERIFY(stamped.match(log.lines().at(1).text()).hasMatch());
    QVERIFY(log.lines().at(1).text().endsWith("Active peers: studio"));

    // the stamp is the local time of day when the line was added
    const QTime stamp = QTime::fromString(first.captured(1), Qt::TextDate);
    QVERIFY(stamp.isValid());
    if (before <= after) // not across midnight
        QVERIFY(stamp >= QTime(before.hour(), before.minute(), before.second()) && stamp <= after);

    // the signal carries the stored line
    const LogLine signalled = added.at(1).at(0).value<LogLine>();
    QCOMPARE(signalled.text(), log.lines().at(0).text());
    QCOMPARE(signalled.level(), 0);
}

void TestDeviceLog::levelShorthands()
{
    DeviceLog log;
    log.addMinus1("a");
    log.add0("b");
    log.add1("c");
    log.add2("d");
    log.addLine("e", 7);
    QCOMPARE(log.count(), 5);
    const QList<int> levels = {7, 2, 1, 0, -1};
    for (int i = 0; i < levels.size(); ++i)
        QCOMPARE(log.lines().at(i).level(), levels.at(i));
    QVERIFY(log.lines().at(0).text().endsWith(" e"));
}

void TestDeviceLog::lineBeyondCapacityReplacesTheOldest()
{
    DeviceLog log;
    QSignalSpy added(&log, &DeviceLog::lineAdded);
    QSignalSpy replaced(&log, &DeviceLog::lineReplaced);

    for (int i = 1; i <= DeviceLog::MaxLines; ++i)
        log.add0(QString("line %1").arg(i));
    QCOMPARE(log.count(), 1000);
    QCOMPARE(added.count(), 1000);
    QCOMPARE(replaced.count(), 0);
    QVERIFY(log.lines().last().text().endsWith(" line 1"));

    log.add0("line 1001");
    QCOMPARE(log.count(), 1000);
    QCOMPARE(added.count(), 1000);
    QCOMPARE(replaced.count(), 1);
    const LogLine newLine = replaced.at(0).at(0).value<LogLine>();
    QVERIFY(newLine.text().endsWith(" line 1001"));
    QVERIFY(log.lines().first().text().endsWith(" line 1001"));
    QVERIFY(log.lines().last().text().endsWith(" line 2"));

    log.add0("line 1002");
    QCOMPARE(log.count(), 1000);
    QCOMPARE(replaced.count(), 2);
    QVERIFY(log.lines().last().text().endsWith(" line 3"));
}

void TestDeviceLog::clearEmitsNothingAndStartsOver()
{
    DeviceLog log;
    for (int i = 0; i < DeviceLog::MaxLines + 5; ++i)
        log.add0("x");
    QSignalSpy added(&log, &DeviceLog::lineAdded);
    QSignalSpy replaced(&log, &DeviceLog::lineReplaced);

    log.clear();
    QCOMPARE(log.count(), 0);
    QVERIFY(log.lines().isEmpty());
    QCOMPARE(added.count(), 0);
    QCOMPARE(replaced.count(), 0);

    log.add0("after reset");
    QCOMPARE(log.count(), 1);
    QCOMPARE(added.count(), 1);
    QCOMPARE(replaced.count(), 0);
}

// A session adds lines where it handles messages; the window appends them on
// its own thread through an automatic (here: queued) connection.
void TestDeviceLog::lineCrossesThreadsByQueuedSignal()
{
    QThread worker;
    worker.start();
    auto *log = new DeviceLog;
    log->moveToThread(&worker);

    QStringList received;
    QObject receiver;
    connect(log, &DeviceLog::lineAdded, &receiver, [&received](const LogLine &line) {
        QVERIFY(QThread::currentThread() == qApp->thread());
        received << line.text();
    });
    QMetaObject::invokeMethod(log, [log] {
        log->add0("from the worker");
        log->add2("second");
    });

    QTRY_COMPARE(received.size(), 2);
    QVERIFY(received.at(0).endsWith(" from the worker"));
    QVERIFY(received.at(1).endsWith(" second"));

    worker.quit();
    QVERIFY(worker.wait(10000));
    delete log; // its thread has finished

}

QTEST_GUILESS_MAIN(TestDeviceLog)
#include "tst_devicelog.moc"
