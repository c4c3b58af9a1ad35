// A pane's binding to the device session it shows: the same session twice
// listens once, another session or none drops every connection, and a
// destroyed session reads as none.

#include "common/sessionbinding.h"
#include "ipcobject.h"

#include <QtTest>

#include <memory>

class UiSessionBinding : public QObject
{
    Q_OBJECT

private slots:
    void sameSessionListensOnce();
    void anotherSessionOrNoneDropsTheOld();
    void destroyedSessionReadsAsNone();

private:
    // Binds @p s the way a pane does and counts its peer lists in @p heard.
    bool bindCounting(SessionBinding &binding, IPCObject *s, int &heard)
    {
        const bool fresh = binding.bind(s);
        if (fresh && s)
            binding << connect(s, &IPCObject::recvPeerList, this, [&heard] { ++heard; });
        return fresh;
    }
};

void UiSessionBinding::sameSessionListensOnce()
{
    IPCObject a(QUuid::createUuid());
    SessionBinding binding;
    int heard = 0;
    QVERIFY(bindCounting(binding, &a, heard));
    QVERIFY(!bindCounting(binding, &a, heard));
    QVERIFY(!bindCounting(binding, &a, heard));
    QCOMPARE(binding.session(), &a);
    QCOMPARE(binding.connectionCount(), 1);
    emit a.recvPeerList(a.uuid());
    QCOMPARE(heard, 1);
}

void UiSessionBinding::anotherSessionOrNoneDropsTheOld()
{
    IPCObject a(QUuid::createUuid());
    IPCObject b(QUuid::createUuid());
    SessionBinding binding;
    int heard = 0;
    bindCounting(binding, &a, heard);
    QVERIFY(bindCounting(binding, &b, heard));
    emit a.recvPeerList(a.uuid());
    QCOMPARE(heard, 0);
    emit b.recvPeerList(b.uuid());
    QCOMPARE(heard, 1);

    QVERIFY(binding.bind(nullptr));
    QVERIFY(!binding.bind(nullptr)); // none again changes nothing
    QCOMPARE(binding.connectionCount(), 0);
    emit b.recvPeerList(b.uuid());
    QCOMPARE(heard, 1);

    bindCounting(binding, &a, heard);
    binding.unbind();
    QVERIFY(!binding.session());
    emit a.recvPeerList(a.uuid());
    QCOMPARE(heard, 1);
}

void UiSessionBinding::destroyedSessionReadsAsNone()
{
    SessionBinding binding;
    int heard = 0;
    auto a = std::make_unique<IPCObject>(QUuid::createUuid());
    bindCounting(binding, a.get(), heard);
    a.reset();
    QVERIFY(!binding.session());
    // Its connections were still held: binding none now is a change.
    QVERIFY(binding.bind(nullptr));
    QCOMPARE(binding.connectionCount(), 0);

    // Another session may take the place of the destroyed one in memory.
    auto b = std::make_unique<IPCObject>(QUuid::createUuid());
    QVERIFY(bindCounting(binding, b.get(), heard));
    emit b->recvPeerList(b->uuid());
    QCOMPARE(heard, 1);
}

QTEST_GUILESS_MAIN(UiSessionBinding)
#include "tst_ui_sessionbinding.moc"
