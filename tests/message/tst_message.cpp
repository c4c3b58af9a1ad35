#include "exception.h"
#include "message.h"

#include <QtTest>

class TestMessage : public QObject
{
    Q_OBJECT

private slots:
    void smoke()
    {
        Message m("peerList");
        m.add_child("peer").set_int("id", 3);
        m.add_child("other");
        m.add_child("peer").set_string("id", "5");
        QCOMPARE(m.get_child("peer", 1).get_int("id"), 5);
        QCOMPARE(m.child_count("peer"), 2);
        std::string xml;
        m.serialize(xml, Message::Xml);
        Message back;
        QCOMPARE(back.parse(xml), 1);
        QCOMPARE(back.get_child("peer", 0).get_string("id"), std::string("3"));
        std::string compact;
        m.serialize(compact, Message::Compact);
        Message back2;
        QCOMPARE(back2.parse(compact), 0);
        QVERIFY(back2 == m);
    }
};

QTEST_APPLESS_MAIN(TestMessage)
#include "tst_message.moc"
