// The "xmls" framing: splitting received bytes at 0x00, the buffer limits,
// and a protocol object driven re-entrantly by its host.

#include "exception.h"
#include "ipcprotocol.h"
#include "logger.h"
#include "message.h"
#include "protocolhost.h"
#include "sendbuffer.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

using Host = HostStub;

std::string frame(const std::string &xml)
{
    return xml + std::string(1, '\0');
}

Message parsed(const std::string &text)
{
    Message m;
    m.parse(text);
    return m;
}

// Four messages, an empty one among them, and an unfinished tail.
const std::string g_stream = frame("<resp seq=\"peerList\"><peer id=\"1\" name=\"a&amp;b\"/></resp>")
    + frame("") + frame("<unso id=\"metering\"><levels rmlf=\"-3.500000\"/></unso>") + frame("<ping/>")
    + "<resp seq=\"tai";

std::vector<Message> expectedOfStream()
{
    return {parsed("<resp seq=\"peerList\"><peer id=\"1\" name=\"a&amp;b\"/></resp>"), Message(),
            parsed("<unso id=\"metering\"><levels rmlf=\"-3.500000\"/></unso>"), parsed("<ping/>")};
}

} // namespace

class TestXmlsFraming : public QObject
{
    Q_OBJECT

private slots:
    void twoMessagesInOneRead()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        const std::string bytes = frame("<a x=\"1\"/>") + frame("<b/>");
        p.receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.delivered.size(), size_t(2));
        QCOMPARE(host.delivered[0].name(), std::string("a"));
        QCOMPARE(host.delivered[1].name(), std::string("b"));
        QCOMPARE(p.buffered(), size_t(0));
    }

    void oneMessageOverThreeReads()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        const std::string bytes = frame("<resp seq=\"x\"><peer id=\"1\"/></resp>");
        p.receive_data(bytes.data(), 5);
        p.receive_data(bytes.data() + 5, 10);
        QCOMPARE(host.delivered.size(), size_t(0));
        QCOMPARE(p.buffered(), size_t(15));
        p.receive_data(bytes.data() + 15, bytes.size() - 15);
        QCOMPARE(host.delivered.size(), size_t(1));
        QCOMPARE(host.delivered[0].get_child("peer").get_int("id"), 1);
        QCOMPARE(p.buffered(), size_t(0));
    }

    void everyChunkingGivesTheSameMessages()
    {
        // Every split into three reads, and one byte at a time.
        const std::vector<Message> expected = expectedOfStream();
        const size_t n = g_stream.size();
        for (size_t a = 0; a <= n; ++a) {
            for (size_t b = a; b <= n; b += (a % 7 == 0 ? 1 : 5)) {
                Host host;
                IPCProtocolXMLS p(&host);
                p.receive_data(g_stream.data(), a);
                p.receive_data(g_stream.data() + a, b - a);
                p.receive_data(g_stream.data() + b, n - b);
                QCOMPARE(host.delivered, expected);
                QCOMPARE(p.buffered(), size_t(14));
                QVERIFY(host.failures.empty());
            }
        }
        Host host;
        IPCProtocolXMLS p(&host);
        for (char c : g_stream)
            p.receive_data(&c, 1);
        QCOMPARE(host.delivered, expected);
    }

    void messageDeliveredOnlyAfterItsTerminator()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        const std::string bytes = frame("<a/>");
        for (size_t i = 0; i + 1 < bytes.size(); ++i) {
            p.receive_data(bytes.data() + i, 1);
            QCOMPARE(host.delivered.size(), size_t(0));
        }
        p.receive_data("\0", 1);
        QCOMPARE(host.delivered.size(), size_t(1));
    }

    void consecutiveTerminatorsDeliverEmptyMessages()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        p.receive_data("\0\0<a/>\0\0", 8);
        QCOMPARE(host.delivered.size(), size_t(4));
        QVERIFY(host.delivered[0].isEmpty());
        QVERIFY(host.delivered[1].isEmpty());
        QCOMPARE(host.delivered[2].name(), std::string("a"));
        QVERIFY(host.delivered[3].isEmpty());
    }

    void stretchNotStartingWithAngleBracket()
    {
        // Not XML: an empty message is delivered, the frame is reported with
        // a cleaned sample, and the stream goes on.
        Host host;
        IPCProtocolXMLS p(&host);
        QStringList lines;
        Logger::instance().setSink([&](int, int, const char *text) { lines << QString::fromUtf8(text); });
        const std::string bytes = frame("hello <a/>") + frame("\x01<b/>") + frame(" <c/>") + frame("<d/>");
        p.receive_data(bytes.data(), bytes.size());
        Logger::instance().setSink(nullptr);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("xmls: (unknown): unreadable frame (10 bytes, element none, not XML): \"hello <a/>\""));
        QVERIFY2(lines[1].endsWith(QStringLiteral("\"?<b/>\"")), qPrintable(lines[1]));
        QCOMPARE(host.rejected.size(), size_t(3));
        QCOMPARE(QString::fromStdString(host.rejected[2]), lines[2].mid(int(std::strlen("xmls: (unknown): "))));
        QCOMPARE(host.delivered.size(), size_t(4));
        QVERIFY(host.delivered[0].isEmpty());
        QVERIFY(host.delivered[1].isEmpty());
        QVERIFY(host.delivered[2].isEmpty());
        QCOMPARE(host.delivered[3].name(), std::string("d"));
        QVERIFY(host.failures.empty());
    }

    void latin1FrameIsReadAsLatin1()
    {
        // Older firmware writes ISO-8859-1: such a frame is read again as
        // that, logged once per connection; UTF-8 still reads as UTF-8.
        Host host;
        IPCProtocolXMLS p(&host);
        QStringList lines;
        Logger::instance().setSink([&](int, int, const char *text) { lines << QString::fromUtf8(text); });
        const std::string bytes = frame("<resp seq=\"sysOptions\" unit_name=\"Caf\xe9 N\xb0 1\"/>")
            + frame("<unso id=\"x\"><x n=\"\xe9\"/></unso>") + frame("<a n=\"\xc3\xa9\"/>");
        p.receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.delivered.size(), size_t(3));
        QCOMPARE(QString::fromStdString(host.delivered[0].get_string("unit_name")), QString::fromUtf8("Caf\u00e9 N\u00b0 1"));
        QCOMPARE(host.delivered[1].get_child(0).get_string("n"), std::string("\xc3\xa9"));
        QCOMPARE(host.delivered[2].get_string("n"), std::string("\xc3\xa9"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains(QStringLiteral("frame <resp> is not UTF-8")), qPrintable(lines[0]));
        QVERIFY(host.rejected.empty());
        // a new connection logs it again; a frame that fails either way is rejected
        p.state_changed(0);
        const std::string broken = frame("<resp seq=\"x\" n=\"\xe9\" <<");
        p.receive_data(broken.data(), broken.size());
        p.receive_data(bytes.data(), bytes.size());
        Logger::instance().setSink(nullptr);
        QCOMPARE(host.rejected.size(), size_t(1));
        QVERIFY2(QString::fromStdString(host.rejected[0]).contains(QStringLiteral("element <resp>")),
                 host.rejected[0].c_str());
        QVERIFY2(QString::fromStdString(host.rejected[0]).endsWith(QStringLiteral("n=\"?\" <<\"")), host.rejected[0].c_str());
        QCOMPARE(lines.size(), 3);
    }

    void malformedXmlDeliversWhatWasRead()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        const std::string bytes = frame("<resp seq=\"x\"><peer id=\"1\"/><peer") + frame("<ok/>");
        p.receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.delivered.size(), size_t(2));
        QCOMPARE(host.delivered[0].child_count("peer"), 1);
        QCOMPARE(host.delivered[1].name(), std::string("ok"));
        QVERIFY(host.failures.empty());
        // reported, not failed
        QCOMPARE(host.rejected.size(), size_t(1));
        QVERIFY(QString::fromStdString(host.rejected[0]).startsWith(QStringLiteral("unreadable frame (33 bytes, element <resp>, ")));
    }

    void receiveLimit()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        // exactly the limit of unframed bytes is still accepted
        const std::string big(IPCProtocolXMLS::BufferLimit - 1, 'x');
        p.receive_data("<", 1);
        p.receive_data(big.data(), big.size());
        QCOMPARE(p.buffered(), IPCProtocolXMLS::BufferLimit);
        QVERIFY(host.failures.empty());
        // one more byte, even a terminator: failed, nothing parsed
        p.receive_data("\0", 1);
        QCOMPARE(host.failures, std::vector<std::string>{"IPCProtocolXMLS::receive_data buffer overflow"});
        QCOMPARE(host.delivered.size(), size_t(0));
        QCOMPARE(p.buffered(), size_t(0));
        // the rest of that connection is not framed
        p.receive_data("<a/>\0", 5);
        QCOMPARE(host.delivered.size(), size_t(0));
        // a new connection starts clean
        p.state_changed(0);
        p.receive_data("<a/>\0", 5);
        QCOMPARE(host.delivered.size(), size_t(1));
    }

    void oversizedSingleChunkIsRefusedWhole()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        std::string chunk = frame("<a/>") + std::string(IPCProtocolXMLS::BufferLimit, 'x');
        p.receive_data(chunk.data(), chunk.size());
        QCOMPARE(host.failures.size(), size_t(1));
        QCOMPARE(host.delivered.size(), size_t(0));
    }

    void sendIsTheWireForm()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        Message m("ping");
        m.set_string("seq", "ping");
        QVERIFY(p.send(m));
        p.send(Message("pong"));
        QCOMPARE(host.sentText(), "<ping seq=\"ping\"/>\0<pong/>\0"s);
    }

    void zeroBytesNeverSplitAFrame()
    {
        // A name or key holding 0x00 (possible from a compact file) must not
        // end the frame early: the rest would arrive as a message of its own.
        Message m(std::string("a\0<login/>", 10));
        m.set_string(std::string("k\0", 2), std::string("v\0w", 3));
        Host host;
        IPCProtocolXMLS p(&host);
        p.send(m);
        QCOMPARE(host.sentText(), "<a<login/> k=\"vw\"/>\0"s);
    }

    void awkwardAttributeSurvivesTheWire()
    {
        Host host;
        IPCProtocolXMLS sender(&host);
        Message m("setPeerSettings");
        m.set_string("name", "say \"hi\" <now> & then\ttab\nline\r\nend");
        m.set_string("plain", "x");
        sender.send(m);
        Host receiver;
        IPCProtocolXMLS p(&receiver);
        p.receive_data(host.sent.data(), host.sent.size());
        QCOMPARE(receiver.delivered.size(), size_t(1));
        QCOMPARE(receiver.delivered[0], m);
    }

    void sendLimit()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        Message m("bulk");
        m.set_string("data", std::string(100000, 'd'));
        std::string one;
        IPCProtocolXMLS::encode_wire(m, one);
        const size_t fits = SendBuffer::DefaultLimit / one.size();
        for (size_t i = 0; i < fits; ++i)
            p.send(m);
        QVERIFY(host.failures.empty());
        QCOMPARE(host.sent.size(), fits * one.size());
        p.send(m);
        QCOMPARE(host.failures, std::vector<std::string>{"IPCConn::send_data buffer overflow"});
        QVERIFY(host.sent.size() <= SendBuffer::DefaultLimit);
    }

    void sendBufferBookkeeping()
    {
        SendBuffer b(10);
        QVERIFY(b.append("0123456789", 10));
        QVERIFY(!b.append("x", 1)); // 11 bytes would be too many
        QCOMPARE(b.size(), size_t(10));
        b.consume(4);
        QCOMPARE(std::string(b.data(), b.size()), std::string("456789"));
        QVERIFY(b.append("abcd", 4));
        QVERIFY(!b.append("e", 1));
        QCOMPARE(std::string(b.data(), b.size()), std::string("456789abcd"));
        b.consume(100);
        QVERIFY(b.empty());
        QVERIFY(b.append("0123456789", 10));

        // long runs of small writes keep the order of the bytes
        SendBuffer big;
        std::string all;
        for (int i = 0; i < 100000; ++i)
            all += std::to_string(i) + ",";
        QVERIFY(big.append(all.data(), all.size()));
        std::string out;
        while (!big.empty()) {
            const size_t n = std::min<size_t>(big.size(), 777);
            out.append(big.data(), n);
            big.consume(n);
        }
        QCOMPARE(out, all);
    }

    void throwingHandlerFailsAndTheScanGoesOn()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        host.onDeliver = [](const Message &m) {
            if (m.name() == "bad")
                throw Exception("%s: refused", "handler");
        };
        const std::string bytes = frame("<a/>") + frame("<bad/>") + frame("<c/>");
        p.receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.failures, std::vector<std::string>{"handler: refused"});
        QCOMPARE(host.delivered.size(), size_t(3));
        QCOMPARE(host.delivered[2].name(), std::string("c"));
    }

    void handlerSendsReentrantly()
    {
        // Every delivery is answered from inside the handler, and every send
        // is echoed from inside send_appended: nested sends while the first
        // is still being handed to the host.
        Host host;
        IPCProtocolXMLS p(&host);
        int echoes = 0;
        struct Echo : Host {
            IPCProtocolXMLS *p = nullptr;
            int *echoes = nullptr;
            void send_appended(size_t size) override
            {
                Host::send_appended(size);
                if ((*echoes)++ < 3) {
                    Message m("echo");
                    m.set_int("n", *echoes);
                    p->send(m);
                }
            }
        } echo;
        IPCProtocolXMLS q(&echo);
        echo.p = &q;
        echo.echoes = &echoes;
        echo.onDeliver = [&](const Message &m) { q.send(m); };
        const std::string bytes = frame("<a/>") + frame("<b/>");
        q.receive_data(bytes.data(), bytes.size());
        QCOMPARE(echo.delivered.size(), size_t(2));
        QCOMPARE(echo.sentText(), "<a/>\0<echo n=\"1\"/>\0<echo n=\"2\"/>\0<echo n=\"3\"/>\0<b/>\0"s);
        Q_UNUSED(p);
    }

    void handlerFailsTheConnection()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        host.onDeliver = [&](const Message &) { host.fail("closing"); };
        const std::string bytes = frame("<a/>") + frame("<b/>");
        p.receive_data(bytes.data(), bytes.size());
        // fail only records: the scan goes on until the transport closes
        QCOMPARE(host.delivered.size(), size_t(2));
        QCOMPARE(host.failures.size(), size_t(2));
    }

    void hostResetsFromInsideTheHandler()
    {
        // fail() closing the connection at once: the rest of the chunk belongs
        // to a connection that no longer exists.
        Host host;
        IPCProtocolXMLS p(&host);
        host.onDeliver = [&](const Message &m) {
            if (m.name() == "b")
                p.state_changed(0);
        };
        std::string bytes = frame("<a/>") + frame("<b/>") + frame("<c/>") + "<d";
        p.receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.delivered.size(), size_t(2));
        QCOMPARE(p.buffered(), size_t(0));
        // the same with bytes already pending before the chunk (the buffered path)
        host.delivered.clear();
        p.receive_data("<a", 2);
        bytes = frame("/>") + frame("<b/>") + frame("<c/>") + "<d";
        p.receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.delivered.size(), size_t(2));
        QCOMPARE(p.buffered(), size_t(0));
        p.receive_data("<e/>\0", 5);
        QCOMPARE(host.delivered.back().name(), std::string("e"));
    }

    void handlerFeedsBytesReentrantly()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        host.onDeliver = [&](const Message &m) {
            if (m.name() == "a")
                p.receive_data("/>\0<x/>\0<y", 10);
        };
        const std::string bytes = frame("<a/>") + frame("<b/>") + "<c";
        p.receive_data(bytes.data(), bytes.size());
        // the fed bytes follow the whole chunk being framed, its tail included
        p.receive_data("/>\0", 3);
        QStringList names;
        for (const Message &m : host.delivered)
            names << QString::fromStdString(m.name());
        QCOMPARE(names, QStringList({"a", "b", "c", "x", "y"}));
    }

    void handlerDestroysTheProtocol()
    {
        Host host;
        auto *p = new IPCProtocolXMLS(&host);
        host.onDeliver = [&](const Message &) {
            delete p;
            p = nullptr;
        };
        const std::string bytes = frame("<a/>") + frame("<b/>");
        p->receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.delivered.size(), size_t(1));
        QVERIFY(!p);

        // destroyed, then the handler throws: nothing of it is touched
        auto *q = new IPCProtocolXMLS(&host);
        host.onDeliver = [&](const Message &) {
            delete q;
            throw Exception("gone");
        };
        q->receive_data(bytes.data(), bytes.size());
        QCOMPARE(host.delivered.size(), size_t(2));
        QVERIFY(host.failures.empty());
    }

    void nonStandardExceptionPropagatesAndLeavesTheProtocolUsable()
    {
        Host host;
        IPCProtocolXMLS p(&host);
        host.onDeliver = [](const Message &m) {
            if (m.name() == "a")
                throw 42;
        };
        bool caught = false;
        try {
            p.receive_data("<a/>\0", 5);
        } catch (int) {
            caught = true;
        }
        QVERIFY(caught);
        p.receive_data("<b/>\0", 5);
        QCOMPARE(host.delivered.size(), size_t(2));
    }

    void stripDeclaration_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("declaration") << QByteArray("<?xml version=\"1.0\"?>\n<a/>") << QByteArray("<a/>");
        QTest::newRow("none") << QByteArray("<a/>") << QByteArray("<a/>");
        QTest::newRow("leading blank") << QByteArray(" <?xml?><a/>") << QByteArray(" <?xml?><a/>");
        QTest::newRow("unterminated") << QByteArray("<?xml <a/>") << QByteArray("<?xml <a/>");
        QTest::newRow("nothing after") << QByteArray("<?xml?>  ") << QByteArray("");
        QTest::newRow("first ?> counts") << QByteArray("<?a?>x?><b/>") << QByteArray("<b/>");
    }

    void stripDeclaration()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        std::string text = in.toStdString();
        IPCProtocolXMLS::strip_declaration(text);
        QCOMPARE(QByteArray::fromStdString(text), out);
    }
};

QTEST_APPLESS_MAIN(TestXmlsFraming)
#include "tst_xmlsframing.moc"
