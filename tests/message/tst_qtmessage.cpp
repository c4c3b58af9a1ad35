// Message where it meets Qt: attributes as Qt strings, and the meta type that
// carries a Message by value through queued calls between threads.

#include "qtmessage.h"

#include <QtTest>

#include <QThread>

namespace {

class Receiver : public QObject
{
    Q_OBJECT

public:
    Message last;
    QThread *thread = nullptr;

public slots:
    void take(const Message &m)
    {
        last = m;
        thread = QThread::currentThread();
    }
};

} // namespace

class TestQtMessage : public QObject
{
    Q_OBJECT

private slots:
    void qtStringsAreUtf8();
    void qtStringOfOtherKinds();
    void messageIsCopiedThroughQueuedCalls();
};

void TestQtMessage::qtStringsAreUtf8()
{
    Message m;
    const QString text = QString::fromUtf8("Z\xc3\xbcrich \xe2\x86\x92 \xe6\x9d\xb1\xe4\xba\xac");
    set_qstring(m, "name", text);
    QCOMPARE(m.attr("name")->kind(), AttrValue::String);
    QCOMPARE(m.get_string("name"), std::string("Z\xc3\xbcrich \xe2\x86\x92 \xe6\x9d\xb1\xe4\xba\xac"));
    QCOMPARE(get_qstring(m, "name"), text);
    QCOMPARE(get_qstring(m, "missing", "fallback"), QString("fallback"));
    QCOMPARE(get_qstring(m, "missing"), QString());
    set_qstring(m, "name", QString());
    QCOMPARE(get_qstring(m, "name", "fallback"), QString());
}

void TestQtMessage::qtStringOfOtherKinds()
{
    Message m;
    m.set_int("i", -3);
    m.set_float("f", 2.5f);
    m.set_bool("b", true);
    QCOMPARE(get_qstring(m, "i"), QString("-3"));
    QCOMPARE(get_qstring(m, "f"), QString("2.500000"));
    QCOMPARE(get_qstring(m, "b"), QString("true"));
}

void TestQtMessage::messageIsCopiedThroughQueuedCalls()
{
    qRegisterMetaType<Message>("Message");
    QThread worker;
    worker.start();
    Receiver receiver;
    receiver.moveToThread(&worker);

    Message m("peerList");
    m.add_child("peer").set_string("name", "studio");
    QVERIFY(QMetaObject::invokeMethod(&receiver, "take", Qt::QueuedConnection, Q_ARG(Message, m)));
    m.get_child("peer").set_string("name", "changed after sending");

    // the slot runs on the worker; its thread ends after it, so the result can be read here
    QMetaObject::invokeMethod(&receiver, [&worker] { worker.quit(); }, Qt::QueuedConnection);
    QVERIFY(worker.wait(10000));
    QCOMPARE(receiver.thread, &worker);
    QCOMPARE(receiver.last.get_child("peer").get_string("name"), std::string("studio"));
    QCOMPARE(receiver.last.get_child("peer").parent(), &receiver.last);
}

QTEST_GUILESS_MAIN(TestQtMessage)
#include "tst_qtmessage.moc"
