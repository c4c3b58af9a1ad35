// The compact binary form: exact bytes, kinds kept, and hostile buffers.

#include "exception.h"
#include "message.h"
#include "messagecodec.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <string>

namespace {

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

std::string compact(const Message &m)
{
    std::string out;
    m.serialize(out, Message::Compact);
    return out;
}

QString errorOf(const std::string &buffer)
{
    Message m;
    try {
        m.parse(buffer);
    } catch (const Exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// Every kind, a value, several children with repeated names, some nesting.
Message rich()
{
    Message m("resp");
    m.setValue("v");
    m.set_string("seq", "peerList");
    m.set_int("i", -2);
    m.set_uint("u", 3000000000u);
    m.set_float("f", -1.25f);
    m.set_bool("b", true);
    m.set_attr("n", AttrValue());
    for (int i = 0; i < 3; ++i) {
        Message &peer = m.add_child("peer");
        peer.set_int("id", i);
        peer.set_string("name", "Studio " + std::to_string(i));
        m.add_child("other").add_child("deeper").setValue("x");
    }
    return m;
}

} // namespace

class TestCompactEncoding : public QObject
{
    Q_OBJECT

private slots:
    void pingBytes()
    {
        std::string node;
        MessageCodec::writeCompact(Message("ping"), node);
        QCOMPARE(node, bytes({0x00, 0x04, 0x70, 0x69, 0x6E, 0x67, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
        QCOMPARE(compact(Message("ping")), bytes({0x00, 0x00, 0x04, 0x70, 0x69, 0x6E, 0x67, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    }

    void scalarAttributeBytes()
    {
        Message m("a");
        m.set_bool("b", true);
        m.set_int("i", 1);
        // 00 | name a | value "" | 2 attrs | b: kind 5, size 1, 01 | i: kind 2, size 4, 01 00 00 00 | 0 children
        QCOMPARE(compact(m), bytes({0x00, 0x00, 0x01, 'a', 0x00, 0x00, 0x00, 0x02,
                                    0x00, 0x01, 'b', 0x05, 0x00, 0x01, 0x01,
                                    0x00, 0x01, 'i', 0x02, 0x00, 0x04, 0x01, 0x00, 0x00, 0x00,
                                    0x00, 0x00}));
        Message more("a");
        more.set_uint("u", 0x01020304u);
        more.set_float("f", 1.0f);
        more.set_int("n", -2);
        more.set_string("s", "xy");
        more.set_attr("z", AttrValue());
        more.setValue("v");
        QCOMPARE(compact(more), bytes({0x00, 0x00, 0x01, 'a', 0x00, 0x01, 'v', 0x00, 0x05,
                                       0x00, 0x01, 'f', 0x04, 0x00, 0x04, 0x00, 0x00, 0x80, 0x3F,
                                       0x00, 0x01, 'n', 0x02, 0x00, 0x04, 0xFE, 0xFF, 0xFF, 0xFF,
                                       0x00, 0x01, 's', 0x01, 0x00, 0x02, 'x', 'y',
                                       0x00, 0x01, 'u', 0x03, 0x00, 0x04, 0x04, 0x03, 0x02, 0x01,
                                       0x00, 0x01, 'z', 0x00, 0x00, 0x00,
                                       0x00, 0x00}));
    }

    void lengthsAreBigEndian()
    {
        Message m(std::string(300, 'n'));
        const std::string out = compact(m);
        QCOMPARE(out.substr(0, 3), bytes({0x00, 0x01, 0x2C}));
    }

    void roundTripKeepsKindsAndIndex()
    {
        const Message m = rich();
        Message back;
        QCOMPARE(back.parse(compact(m)), 0);
        QCOMPARE(back, m);
        QCOMPARE(back.attr("n")->kind(), AttrValue::None);
        QCOMPARE(back.attr("u")->kind(), AttrValue::UInt);
        // children are found by name: the index holds their real names
        QCOMPARE(back.child_count("peer"), 3);
        QCOMPARE(back.get_child("peer", 2).get_string("name"), std::string("Studio 2"));
        QCOMPARE(back.get_child("other", 1).get_child("deeper").value(), std::string("x"));
        QCOMPARE(back.get_child(1).row(), 1);
        QCOMPARE(back.get_child(1).parent(), &back);
    }

    void nanAndInfinitySurvive()
    {
        Message m("a");
        m.set_float("nan", std::nanf(""));
        m.set_float("inf", -INFINITY);
        Message back;
        back.parse(compact(m));
        QVERIFY(std::isnan(back.get_float("nan")));
        QCOMPARE(back.get_float("inf"), -INFINITY);
    }

    void decodeAtAnOffset()
    {
        std::string node;
        MessageCodec::writeCompact(rich(), node);
        const std::string buffer = "junk" + node + "trailing";
        Message m;
        const size_t next = MessageCodec::readCompact(m, buffer.data(), 4, buffer.size());
        QCOMPARE(next, 4 + node.size());
        QCOMPARE(m, rich());
        // parse ignores what follows the root
        Message p;
        QCOMPARE(p.parse(std::string(1, '\0') + node + "trailing"), 0);
        QCOMPARE(p, rich());
    }

    void everyTruncationThrows()
    {
        const std::string full = compact(rich());
        const QRegularExpression family("^((get_ushort|get_uchar): message too short"
                                        "|parse_string_compact: message too short len=\\d+)$");
        for (size_t len = 1; len < full.size(); ++len) {
            Message m;
            try {
                m.parse(full.substr(0, len));
                QFAIL(qPrintable(QString("no error at length %1").arg(len)));
            } catch (const Exception &e) {
                QVERIFY2(family.match(e.what()).hasMatch(), e.what());
            }
            // the same through readCompact with an exact end inside a larger buffer
            Message r;
            QVERIFY_EXCEPTION_THROWN(MessageCodec::readCompact(r, full.data(), 1, len), Exception);
        }
    }

    void truncationTexts()
    {
        QCOMPARE(errorOf(bytes({0x00})), QString("get_ushort: message too short"));
        QCOMPARE(errorOf(bytes({0x00, 0x00})), QString("get_ushort: message too short"));
        // inside a string: the announced length is reported
        QCOMPARE(errorOf(bytes({0x00, 0x00, 0x05, 'a', 'b'})), QString("parse_string_compact: message too short len=5"));
        // attribute record missing its kind byte
        QCOMPARE(errorOf(bytes({0x00, 0x00, 0x01, 'a', 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 'k'})),
                 QString("get_uchar: message too short"));
        // scalar value bytes missing
        QCOMPARE(errorOf(bytes({0x00, 0x00, 0x01, 'a', 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 'k', 0x02, 0x00, 0x04, 0x01})),
                 QString("parse_string_compact: message too short len=4"));
    }

    void truncatedNodeKeepsWhatWasDecoded()
    {
        const std::string full = compact(rich());
        // cut inside the second child: the root keeps its attributes and first child
        std::string firstChild;
        MessageCodec::writeCompact(rich().get_child(0), firstChild);
        const size_t cut = full.find(firstChild) + firstChild.size() + 3;
        Message m;
        QVERIFY_EXCEPTION_THROWN(m.parse(full.substr(0, cut)), Exception);
        QCOMPARE(m.name(), std::string("resp"));
        QCOMPARE(m.attributes(), rich().attributes());
        QCOMPARE(m.child_count(), 1);
        QCOMPARE(m.get_child("peer"), rich().get_child(0));
    }

    void malformedAttributeRecordsAreRefused_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("size");
        QTest::newRow("kind above 5") << 6 << 4;
        QTest::newRow("kind 255") << 255 << 0;
        QTest::newRow("int of 8 bytes") << 2 << 8;
        QTest::newRow("int of 2 bytes") << 2 << 2;
        QTest::newRow("float of 65535 bytes") << 4 << 65535;
        QTest::newRow("bool of 4 bytes") << 5 << 4;
        QTest::newRow("bool of 0 bytes") << 5 << 0;
        QTest::newRow("none with bytes") << 0 << 1;
    }

    void malformedAttributeRecordsAreRefused()
    {
        QFETCH(int, kind);
        QFETCH(int, size);
        std::string buffer = bytes({0x00, 0x00, 0x01, 'a', 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 'k', kind, size >> 8, size & 0xFF});
        buffer += std::string(static_cast<size_t>(size), '\x7f');
        buffer += bytes({0x00, 0x00});
        QCOMPARE(errorOf(buffer), QString("parse_attr_compact: message too short len=%1").arg(size));
    }

    void repeatedKeyReplacesTheEarlierOne()
    {
        std::string buffer = bytes({0x00, 0x00, 0x01, 'a', 0x00, 0x00, 0x00, 0x03,
                                    0x00, 0x01, 'k', 0x01, 0x00, 0x01, 'x',
                                    0x00, 0x01, 'b', 0x05, 0x00, 0x01, 0x00,
                                    0x00, 0x01, 'k', 0x02, 0x00, 0x04, 0x07, 0x00, 0x00, 0x00,
                                    0x00, 0x00});
        Message m;
        QCOMPARE(m.parse(buffer), 0);
        QCOMPARE(m.attributes().size(), size_t(2));
        QCOMPARE(m.attr("k")->kind(), AttrValue::Int);
        QCOMPARE(m.get_int("k"), 7);
        QCOMPARE(m.attributes().begin()->first, std::string("b"));
    }

    void hostileDepthIsRefused()
    {
        // 300 nested nodes, each announcing one child
        std::string buffer(1, '\0');
        for (int i = 0; i < 300; ++i)
            buffer += bytes({0x00, 0x01, 'a', 0x00, 0x00, 0x00, 0x00, 0x00, 0x01});
        QCOMPARE(errorOf(buffer), QString("parse_compact: message nested deeper than %1 levels").arg(Message::MaxDepth));

        // the deepest accepted tree round-trips
        Message root("a");
        Message *p = &root;
        for (int i = 1; i < Message::MaxDepth; ++i)
            p = &p->add_child("a");
        Message back;
        QCOMPARE(back.parse(compact(root)), 0);
        QCOMPARE(back, root);
        p->add_child("a");
        QVERIFY_EXCEPTION_THROWN(compact(root), Exception);
    }

    void hugeCountsOnShortBuffersFailFast()
    {
        // 65535 attributes and children announced, none present
        QCOMPARE(errorOf(bytes({0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF})), QString("get_ushort: message too short"));
        QCOMPARE(errorOf(bytes({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF})),
                 QString("get_ushort: message too short"));
    }

    void encoderRefusesWhatSixteenBitsCannotSay()
    {
        const std::string before = "untouched";
        auto refuses = [&](const Message &m, const char *text) {
            std::string out = before;
            try {
                m.serialize(out, Message::Compact);
                QFAIL("no exception");
            } catch (const Exception &e) {
                QCOMPARE(QString(e.what()), QString(text));
            }
            QCOMPARE(out, before);
            std::string appended = before;
            QVERIFY_EXCEPTION_THROWN(MessageCodec::writeCompact(m, appended), Exception);
            QCOMPARE(appended, before);
        };
        refuses(Message(std::string(65536, 'n')), "serialize_compact: name of 65536 bytes exceeds 65535");
        Message value("a");
        value.setValue(std::string(70000, 'v'));
        refuses(value, "serialize_compact: value of 70000 bytes exceeds 65535");
        Message key("a");
        key.set_int(std::string(65536, 'k'), 1);
        refuses(key, "serialize_compact: attribute key of 65536 bytes exceeds 65535");
        Message str("a");
        str.set_string("k", std::string(65536, 's'));
        refuses(str, "serialize_compact: string value of 65536 bytes exceeds 65535");
        Message attrs("a");
        for (int i = 0; i < 65536; ++i)
            attrs.set_bool(std::to_string(1000000 + i), true);
        refuses(attrs, "serialize_compact: 65536 attributes exceed 65535");
        Message children("a");
        for (int i = 0; i < 65536; ++i)
            children.add_child("c");
        refuses(children, "serialize_compact: 65536 children exceed 65535");

        // exactly at the limits is fine
        Message edge(std::string(65535, 'n'));
        edge.set_string("k", std::string(65535, 's'));
        Message back;
        back.parse(compact(edge));
        QCOMPARE(back, edge);
    }
};

QTEST_APPLESS_MAIN(TestCompactEncoding)
#include "tst_compactencoding.moc"
