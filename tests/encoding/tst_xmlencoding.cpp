// The XML form of a Message: exact writer output, and the reading rules.

#include "exception.h"
#include "ipcprotocol.h"
#include "message.h"
#include "messagecodec.h"

#include <QRandomGenerator>
#include <QtTest>

#include <limits>
#include <string>

using namespace std::string_literals;

namespace {

std::string wire(const Message &m)
{
    std::string out;
    IPCProtocolXMLS::encode_wire(m, out);
    return out;
}

std::string document(const Message &m, bool indent = false)
{
    std::string out;
    m.serialize(out, Message::Xml, indent);
    return out;
}

Message parsed(const std::string &text)
{
    Message m;
    m.parse(text);
    return m;
}

int depthOf(const Message &m)
{
    int depth = 1;
    const Message *p = &m;
    while (p->child_count() > 0) {
        p = &p->get_child(0);
        ++depth;
    }
    return depth;
}

} // namespace

class TestXmlEncoding : public QObject
{
    Q_OBJECT

private slots:
    void emptyElementOnTheWire()
    {
        // No declaration, no line feed, the empty-element form, then one 0x00.
        QCOMPARE(wire(Message("ping")), "<ping/>\0"s);
    }

    void documentFormKeepsWriterDeclarationAndFinalLineFeed()
    {
        QCOMPARE(document(Message("ping")), std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><ping/>\n"));
        // The wire form is the document with the declaration stripped, minus that line feed.
        Message m("resp");
        m.set_string("seq", "peerList");
        m.add_child("peer").set_int("id", 1);
        std::string doc = document(m);
        IPCProtocolXMLS::strip_declaration(doc);
        QCOMPARE(doc.back(), '\n');
        doc.back() = '\0';
        QCOMPARE(wire(m), doc);
    }

    void attributesInByteOrderWithTheirTextForms()
    {
        Message m("a");
        m.set_bool("b", true);
        m.set_float("a", 2.5f);
        m.set_int("ab", -3);
        m.set_uint("B", 4000000000u);
        m.set_string("_", "x");
        m.set_attr("n", AttrValue());
        m.set_float("z", std::numeric_limits<float>::infinity());
        QCOMPARE(wire(m), "<a B=\"4000000000\" _=\"x\" a=\"2.500000\" ab=\"-3\" b=\"true\" n=\"\" z=\"inf\"/>\0"s);
    }

    void childrenInRowOrder()
    {
        Message m("resp");
        m.add_child("b");
        m.add_child("a").add_child("c");
        m.add_child("b");
        m.setValue("not written");
        QCOMPARE(wire(m), "<resp><b/><a><c/></a><b/></resp>\0"s);
    }

    void writerEscapesAttributeValues()
    {
        Message m("a");
        m.set_string("v", "\"<>&\t\n\r'");
        QCOMPARE(wire(m), "<a v=\"&quot;&lt;&gt;&amp;&#9;&#10;&#13;'\"/>\0"s);
        // ...and the reader turns them back into the same bytes.
        const std::string text = wire(m);
        Message back = parsed(text.substr(0, text.size() - 1));
        QCOMPARE(back, m);
    }

    void indentedDocument()
    {
        Message m("config");
        m.add_child("device").set_string("addr", "127.0.0.1");
        Message &w = m.add_child("window");
        w.add_child("pos").set_int("x", 1);
        QCOMPARE(document(m, true), std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                "<config>\n"
                                                "    <device addr=\"127.0.0.1\"/>\n"
                                                "    <window>\n"
                                                "        <pos x=\"1\"/>\n"
                                                "    </window>\n"
                                                "</config>\n"));
    }

    void nonAsciiSurvives()
    {
        Message m(u8"gr\u00fc\u00dfe");
        m.set_string(u8"n\u00e4me", u8"caf\u00e9 \u4e2d \U0001F600");
        const std::string text = wire(m);
        QCOMPARE(parsed(text.substr(0, text.size() - 1)), m);
    }

    void wireWriterReuseMatchesFreshWriter()
    {
        // The wire writer is reused per thread: whatever the previous message
        // held (control characters the writer refuses, deep trees), the next
        // one must come out as a fresh writer writes it.
        Message odd("x");
        odd.set_string("c", std::string("\x01\x0b\x0c", 3));
        Message deep("d");
        Message *p = &deep;
        for (int i = 0; i < 50; ++i)
            p = &p->add_child("d");
        Message plain("ping");
        plain.set_string("seq", "ping");
        for (const Message *m : {&odd, &plain, &deep, &plain, &odd, &plain}) {
            std::string doc = document(*m);
            IPCProtocolXMLS::strip_declaration(doc);
            doc.back() = '\0';
            QCOMPARE(wire(*m), doc);
        }
    }

    void skipsToTheFirstStartElement()
    {
        Message m;
        QCOMPARE(m.parse(std::string("<?xml version=\"1.0\"?>\n<!-- c --><?pi x?><!DOCTYPE r>\n<r k=\"v\"/>")), 1);
        QCOMPARE(m.name(), std::string("r"));
        QCOMPARE(m.get_string("k"), std::string("v"));
    }

    void noStartElementLeavesTheNodeEmpty()
    {
        Message m;
        QCOMPARE(m.parse(std::string("<!-- only a comment -->")), 1);
        QVERIFY(m.isEmpty());
        QCOMPARE(m.parse(std::string("<")), 1);
        QVERIFY(m.isEmpty());
    }

    void namesAndAttributesAsWritten()
    {
        // Namespace processing is off: prefixes stay, xmlns declarations are attributes.
        Message m = parsed("<p:a xmlns:p=\"urn:x\" xmlns=\"urn:y\" p:k=\"v\"><p:b/></p:a>");
        QCOMPARE(m.name(), std::string("p:a"));
        QCOMPARE(m.get_string("xmlns:p"), std::string("urn:x"));
        QCOMPARE(m.get_string("xmlns"), std::string("urn:y"));
        QCOMPARE(m.get_string("p:k"), std::string("v"));
        QCOMPARE(m.get_child(0).name(), std::string("p:b"));
        QCOMPARE(m.child_count("p:b"), 1);
    }

    void attributesAreStringsInKeyOrder()
    {
        Message m = parsed("<a z=\"1\" b=\"true\" a=\"2.5\"/>");
        QCOMPARE(m.attributes().size(), size_t(3));
        auto it = m.attributes().begin();
        QCOMPARE(it->first, std::string("a"));
        QCOMPARE((++it)->first, std::string("b"));
        QCOMPARE((++it)->first, std::string("z"));
        for (const auto &entry : m.attributes())
            QCOMPARE(entry.second.kind(), AttrValue::String);
        QCOMPARE(m.get_float("a"), 2.5f);
        QCOMPARE(m.get_bool("b"), true);
    }

    void lastTextRunWins_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("plain") << QByteArray("<a>text</a>") << QByteArray("text");
        QTest::newRow("entities in one run") << QByteArray("<a>x&amp;y&#65;&lt;</a>") << QByteArray("x&yA<");
        QTest::newRow("between children") << QByteArray("<a>one<b/>two<c/></a>") << QByteArray("two");
        QTest::newRow("whitespace after last child") << QByteArray("<a>one<b/>\n  </a>") << QByteArray("\n  ");
        QTest::newRow("cdata is its own run") << QByteArray("<a>one<![CDATA[<two>]]></a>") << QByteArray("<two>");
        QTest::newRow("no text") << QByteArray("<a><b>x</b></a>") << QByteArray("");
    }

    void lastTextRunWins()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QByteArray, value);
        Message m = parsed(xml.toStdString());
        QCOMPARE(QByteArray::fromStdString(m.value()), value);
    }

    void valueKeptWhenElementHasNoText()
    {
        // parse replaces the name, the value only when there is text.
        Message m("old");
        m.setValue("kept");
        m.set_int("gone", 1);
        m.add_child("gone");
        m.parse(std::string("<new/>"));
        QCOMPARE(m.name(), std::string("new"));
        QCOMPARE(m.value(), std::string("kept"));
        QCOMPARE(m.attributes().size(), size_t(0));
        QCOMPARE(m.child_count(), 0);
    }

    void readerErrorKeepsWhatWasRead()
    {
        Message m = parsed("<resp seq=\"peerList\"><peer id=\"1\"/><peer id=\"2\">x<bad attr=></peer><peer id=\"3\"/></resp>");
        QCOMPARE(m.name(), std::string("resp"));
        QCOMPARE(m.get_string("seq"), std::string("peerList"));
        QCOMPARE(m.child_count("peer"), 2);
        QCOMPARE(m.get_child("peer", 1).value(), std::string("x"));

        // A start tag the reader refuses (attribute given twice) is not taken.
        Message dup = parsed("<a><b x=\"1\" x=\"2\"/><c/></a>");
        QCOMPARE(dup.name(), std::string("a"));
        QCOMPARE(dup.child_count(), 0);

        // Undeclared entity: error, the text before it is not a complete run.
        Message ent = parsed("<a k=\"v\">&nope;</a>");
        QCOMPARE(ent.get_string("k"), std::string("v"));

        // Truncated in the middle of the root start tag: nothing.
        QVERIFY(parsed("<resp seq=\"pe").isEmpty());
    }

    void documentEndsAtTheRootsEndTag()
    {
        Message m = parsed("<a/><b/>garbage<");
        QCOMPARE(m.name(), std::string("a"));
        QCOMPARE(m.child_count(), 0);
    }

    void hostileDepthStopsAtTheLimit()
    {
        std::string deep;
        for (int i = 0; i < 100000; ++i)
            deep += "<a>";
        Message m = parsed(deep);
        QCOMPARE(depthOf(m), Message::MaxDepth);
        // Copying and destroying such a tree is safe, and so is writing it.
        Message copy(m);
        QCOMPARE(copy, m);
        QVERIFY(wire(copy).size() > 0);
    }

    void noDocumentChangesHowTheNextReads()
    {
        // The reader is reused per thread; entities declared by one document
        // must not resolve in the next.
        Message first = parsed("<!DOCTYPE a [<!ENTITY foo \"bar\">]><a>&foo;</a>");
        QCOMPARE(first.value(), std::string("bar"));
        Message second = parsed("<a k=\"v\">&foo;</a>");
        QCOMPARE(second.get_string("k"), std::string("v"));
        QCOMPARE(second.value(), std::string());
        // nor those of a DTD that broke off
        QVERIFY(parsed("<!DOCTYPE a [<!ENTITY foo \"bar\"> <garbage").isEmpty());
        QCOMPARE(parsed("<a k=\"v\">&foo;</a>").value(), std::string());
        QVERIFY(parsed("<!DOCTYPE a [<!ENTITY foo \"bar\"> ]> junk").isEmpty());
        QCOMPARE(parsed("<a k=\"v\">&foo;</a>").value(), std::string());
        // nor those of a DTD where none may stand
        QCOMPARE(parsed("<r><!DOCTYPE a [<!ENTITY foo \"bar\">]><a>&foo;</a></r>").name(), std::string("r"));
        QCOMPARE(parsed("<a k=\"v\">&foo;</a>").value(), std::string());
        // a large document read before a small one
        std::string big = "<a>";
        for (int i = 0; i < 5000; ++i)
            big += "<peer id=\"" + std::to_string(i) + "\"/>";
        QCOMPARE(parsed(big + "</a>").child_count(), 5000);
        QCOMPARE(parsed("<b>t</b>").value(), std::string("t"));
        // and a broken one before a good one
        QCOMPARE(parsed("<a><b x=\"").name(), std::string("a"));
        QCOMPARE(parsed("<c/>").name(), std::string("c"));
    }

    void firstByteSelectsTheFormat()
    {
        Message m;
        QCOMPARE(m.parse(std::string("\x01<a/>")), 1); // handed to the reader, which refuses it
        QVERIFY(m.isEmpty());
        QCOMPARE(m.parse(std::string("{\"a\":1}")), int('{'));
        QVERIFY(m.isEmpty());
        QCOMPARE(m.parse(std::string()), 1);
    }

    void utf8ConversionMatchesQt()
    {
        // Random UTF-16, lone surrogates included, against QString::toUtf8.
        QRandomGenerator rng(12345);
        for (int round = 0; round < 2000; ++round) {
            const int n = rng.bounded(0, 40);
            std::u16string s;
            for (int i = 0; i < n; ++i) {
                switch (rng.bounded(6)) {
                case 0: s.push_back(char16_t(rng.bounded(0x80))); break;
                case 1: s.push_back(char16_t(rng.bounded(0x80, 0x800))); break;
                case 2: s.push_back(char16_t(rng.bounded(0xD800, 0xE000))); break;
                case 3: s.push_back(char16_t(0xD83D)); s.push_back(char16_t(0xDE00)); break;
                case 4: s.push_back(char16_t(rng.bounded(0xFFF0, 0x10000))); break;
                default: s.push_back(char16_t(rng.bounded(0x800, 0x10000))); break;
                }
            }
            std::string mine = "prefix";
            MessageCodec::appendUtf8(mine, s.data(), s.size());
            const QByteArray qt = QString(reinterpret_cast<const QChar *>(s.data()), int(s.size())).toUtf8();
            QCOMPARE(mine, "prefix" + qt.toStdString());
        }
    }
};

QTEST_APPLESS_MAIN(TestXmlEncoding)
#include "tst_xmlencoding.moc"
