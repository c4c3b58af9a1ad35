// The message tree: typed attributes and their conversions, the name index,
// error texts, deep copies, parse entry points, dump and the exception type.

#include "exception.h"
#include "logger.h"
#include "message.h"

#include <QtTest>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

// Runs @p f and returns the text of the Exception it throws ("" when none).
template <typename F>
QString thrownText(F &&f)
{
    try {
        f();
    } catch (const Exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// printf's own rendering, the reference for the float text form.
std::string printfFloat(float f)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "%3f", static_cast<double>(f));
    return buf;
}

struct CapturedLine {
    int category;
    int level;
    std::string text;
};

// Collects library log lines for the lifetime of the object.
class LogCapture
{
public:
    LogCapture()
    {
        Logger::instance().setSink([this](int category, int level, const char *text) {
            lines.push_back({category, level, text});
        });
    }
    ~LogCapture() { Logger::instance().setSink({}); }
    std::vector<CapturedLine> lines;
};

std::string pointerText(const void *p)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

} // namespace

class TestMessage : public QObject
{
    Q_OBJECT

private slots:
    // --- attributes ---------------------------------------------------------
    void missingAttributesGiveTheDefault();
    void settersReplaceValueAndKind();
    void attributesIterateInByteOrder();
    void conversions_data();
    void conversions();
    void floatTextMatchesPrintf_data();
    void floatTextMatchesPrintf();
    void boolOfKindNoneGivesDefault();
    void removeAttributes();

    // --- children -----------------------------------------------------------
    void nameIndexAfterMixedAppends();
    void lookupErrorsHaveExactTexts();
    void failedLookupLeavesNodeUnchanged();
    void childByAttribute();
    void renamedChildIsFoundUnderItsNewName();
    void decodedTreesAreIndexed();

    // --- copies -------------------------------------------------------------
    void copyIsDeepAndIndependent();
    void copiedChildrenPointToTheirNewParent();
    void assignmentDiscardsOldContents();
    void selfAssignment();
    void assignOwnChild();
    void moveAssignOwnChild();
    void appendCopyIsIndependent();

    // --- parse entry points -------------------------------------------------
    void parseEmptyBuffer();
    void parseUnknownFirstByte();
    void parseClearsPreviousContent();
    void readMissingFile();

    // --- exception and dump -------------------------------------------------
    void exceptionTextIsCutAt4095();
    void exceptionTakesUserTextAsArgument();
    void dumpWritesOneLinePerNodeAndAttribute();
    void dumpBelowThresholdWritesNothing();
};

void TestMessage::missingAttributesGiveTheDefault()
{
    const Message m("x");
    QCOMPARE(qs(m.get_string("a", "dflt")), QString("dflt"));
    QCOMPARE(qs(m.get_string("a")), QString());
    QCOMPARE(m.get_int("a", -17), -17);
    QCOMPARE(m.get_uint("a", 99u), 99u);
    QCOMPARE(m.get_float("a", 1.25f), 1.25f);
    QCOMPARE(m.get_bool("a", true), true);
    QCOMPARE(m.get_bool("a", false), false);
    QVERIFY(!m.has_attribute("a"));
}

void TestMessage::settersReplaceValueAndKind()
{
    Message m;
    m.set_int("k", 5);
    QCOMPARE(m.attr("k")->kind(), AttrValue::Int);
    m.set_string("k", "text");
    QCOMPARE(m.attr("k")->kind(), AttrValue::String);
    QCOMPARE(qs(m.get_string("k")), QString("text"));
    m.set_bool("k", true);
    QCOMPARE(m.attr("k")->kind(), AttrValue::Bool);
    m.set_float("k", 0.5f);
    QCOMPARE(m.attr("k")->kind(), AttrValue::Float);
    m.set_uint("k", 3u);
    QCOMPARE(m.attr("k")->kind(), AttrValue::UInt);
    QCOMPARE(int(m.attributes().size()), 1);
}

void TestMessage::attributesIterateInByteOrder()
{
    Message m;
    for (const char *k : {"b", "ab", "a", "B", "ba", "_", "a0"})
        m.set_string(k, k);
    QStringList keys;
    for (const auto &entry : m.attributes())
        keys << qs(entry.first);
    // byte order: upper case before '_' before lower case; a prefix sorts first
    QCOMPARE(keys, QStringList({"B", "_", "a", "a0", "ab", "b", "ba"}));
}

// One attribute stored with a kind, read back as every kind.
void TestMessage::conversions_data()
{
    QTest::addColumn<int>("kind"); // the kind it is stored with
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("asString");
    QTest::addColumn<int>("asInt");
    QTest::addColumn<uint>("asUInt");
    QTest::addColumn<float>("asFloat");
    QTest::addColumn<bool>("asBool");

    const float inf = INFINITY;
    QTest::newRow("string 1 is not true") << int(AttrValue::String) << "1" << "1" << 1 << 1u << 1.0f << false;
    QTest::newRow("string TRUE is not true") << int(AttrValue::String) << "TRUE" << "TRUE" << 0 << 0u << 0.0f << false;
    QTest::newRow("string true") << int(AttrValue::String) << "true" << "true" << 0 << 0u << 0.0f << true;
    QTest::newRow("string 12abc") << int(AttrValue::String) << "12abc" << "12abc" << 12 << 12u << 12.0f << false;
    QTest::newRow("string abc") << int(AttrValue::String) << "abc" << "abc" << 0 << 0u << 0.0f << false;
    QTest::newRow("string blank and sign") << int(AttrValue::String) << " -42" << " -42" << -42 << 4294967254u
                                           << -42.0f << false;
    QTest::newRow("string inf") << int(AttrValue::String) << "inf" << "inf" << 0 << 0u << inf << false;
    QTest::newRow("string -inf") << int(AttrValue::String) << "-inf" << "-inf" << 0 << 0u << -inf << false;
    QTest::newRow("string 2.75") << int(AttrValue::String) << "2.75" << "2.75" << 2 << 2u << 2.75f << false;
    QTest::newRow("string 1e3") << int(AttrValue::String) << "1e3" << "1e3" << 1 << 1u << 1000.0f << false;
    QTest::newRow("empty string") << int(AttrValue::String) << "" << "" << 0 << 0u << 0.0f << false;
    QTest::newRow("int 7") << int(AttrValue::Int) << "7" << "7" << 7 << 7u << 7.0f << false;
    QTest::newRow("int -1") << int(AttrValue::Int) << "-1" << "-1" << -1 << 4294967295u << -1.0f << false;
    QTest::newRow("int min") << int(AttrValue::Int) << "-2147483648" << "-2147483648" << int(INT32_MIN)
                             << 2147483648u << -2147483648.0f << false;
    QTest::newRow("uint 7") << int(AttrValue::UInt) << "7" << "7" << 7 << 7u << 7.0f << false;
    QTest::newRow("uint max") << int(AttrValue::UInt) << "4294967295" << "4294967295" << -1 << 4294967295u
                              << 4294967296.0f << false;
    QTest::newRow("float 2.5") << int(AttrValue::Float) << "2.5" << "2.500000" << 2 << 2u << 2.5f << false;
    QTest::newRow("float -0.5") << int(AttrValue::Float) << "-0.5" << "-0.500000" << 0 << 0u << -0.5f << false;
    QTest::newRow("float inf") << int(AttrValue::Float) << "inf" << "inf" << 0 << 0u << inf << false;
    QTest::newRow("float -inf") << int(AttrValue::Float) << "-inf" << "-inf" << 0 << 0u << -inf << false;
    QTest::newRow("float above the largest") << int(AttrValue::Float) << "above" << "inf" << 0 << 0u << inf << false;
    QTest::newRow("float below the lowest") << int(AttrValue::Float) << "below" << "-inf" << 0 << 0u << -inf << false;
    QTest::newRow("bool true") << int(AttrValue::Bool) << "true" << "true" << 0 << 0u << 0.0f << true;
    QTest::newRow("bool false") << int(AttrValue::Bool) << "false" << "false" << 0 << 0u << 0.0f << false;
}

void TestMessage::conversions()
{
    QFETCH(int, kind);
    QFETCH(QString, stored);
    QFETCH(QString, asString);
    QFETCH(int, asInt);
    QFETCH(uint, asUInt);
    QFETCH(float, asFloat);
    QFETCH(bool, asBool);

    Message m;
    const std::string text = stored.toStdString();
    switch (kind) {
    case AttrValue::String:
        m.set_string("v", text);
        break;
    case AttrValue::Int:
        m.set_int("v", static_cast<int32_t>(std::stoll(text)));
        break;
    case AttrValue::UInt:
        m.set_uint("v", static_cast<uint32_t>(std::stoull(text)));
        break;
    case AttrValue::Float:
        if (text == "above")
            m.set_float("v", FLT_MAX * 2.0f);
        else if (text == "below")
            m.set_float("v", -FLT_MAX * 2.0f);
        else
            m.set_float("v", std::stof(text));
        break;
    case AttrValue::Bool:
        m.set_bool("v", text == "true");
        break;
    }
    // the kind is kept as stored; reading converts
    QCOMPARE(int(m.attr("v")->kind()), kind);
    QCOMPARE(qs(m.get_string("v", "unused")), asString);
    QCOMPARE(m.get_int("v", 12345), asInt);
    QCOMPARE(m.get_uint("v", 12345u), asUInt);
    QCOMPARE(m.get_float("v", 3.0f), asFloat);
    QCOMPARE(m.get_bool("v", !asBool), asBool);
}

void TestMessage::floatTextMatchesPrintf_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("2.5") << 2.5f;
    QTest::newRow("one third") << 1.0f / 3.0f;
    QTest::newRow("0.1") << 0.1f;
    QTest::newRow("rounds up at the 7th decimal") << 0.0000015f;
    QTest::newRow("rounds down at the 7th decimal") << 0.0000004f;
    QTest::newRow("2.0000005") << 2.0000005f;
    QTest::newRow("large") << 123456789.0f;
    QTest::newRow("largest finite") << FLT_MAX;
    QTest::newRow("lowest finite") << -FLT_MAX;
    QTest::newRow("smallest normal") << FLT_MIN;
    QTest::newRow("negative zero") << -0.0f;
    QTest::newRow("-99.9999995") << -99.9999995f;
}

// The float text is printf "%3f" of the value, whatever the locale.
void TestMessage::floatTextMatchesPrintf()
{
    QFETCH(float, value);
    Message m;
    m.set_float("f", value);
    QCOMPARE(qs(m.get_string("f")), qs(printfFloat(value)));
    // and it reads back within the six decimals
    QVERIFY(std::fabs(m.get_float("f") - value) <= 0.0000005f * std::max(1.0f, std::fabs(value)));
}

void TestMessage::boolOfKindNoneGivesDefault()
{
    Message m;
    m.set_attr("n", AttrValue());
    QVERIFY(m.has_attribute("n"));
    QCOMPARE(m.get_bool("n", true), true);
    QCOMPARE(m.get_bool("n", false), false);
    // the other getters read the empty text form
    QCOMPARE(qs(m.get_string("n", "dflt")), QString());
    QCOMPARE(m.get_int("n", 9), 0);
    QCOMPARE(m.get_float("n", 9.0f), 0.0f);
}

void TestMessage::removeAttributes()
{
    Message m;
    m.set_int("a", 1);
    m.set_string("b", "x");
    m.add_child("c").set_int("d", 2);
    m.remove_attributes();
    QVERIFY(!m.has_attribute("a"));
    QVERIFY(!m.has_attribute("b"));
    QCOMPARE(m.child_count(), 1);
    QCOMPARE(m.get_child("c").get_int("d"), 2);
}

void TestMessage::nameIndexAfterMixedAppends()
{
    Message m("root");
    m.add_child("a").set_int("row", 0);
    m.add_child("b").set_int("row", 1);
    Message third("a");
    third.set_int("row", 2);
    m.append_copy(third);

    QCOMPARE(m.child_count(), 3);
    QCOMPARE(m.child_count("a"), 2);
    QCOMPARE(m.child_count("b"), 1);
    QCOMPARE(m.child_count("c"), 0);
    QCOMPARE(m.get_child("a", 0).get_int("row"), 0);
    QCOMPARE(m.get_child("a", 1).get_int("row"), 2);
    QCOMPARE(m.get_child("a", 1).row(), 2);
    QCOMPARE(m.get_child("b").get_int("row"), 1);
    QCOMPARE(&m.get_child("a", 1), &m.get_child(2));
    QCOMPARE(m.get_child(2).parent(), &m);
}

void TestMessage::lookupErrorsHaveExactTexts()
{
    Message m("peerList");
    m.add_child("peer").set_int("id", 1);
    m.add_child("peer").set_int("id", 2);
    const Message &cm = m;

    QCOMPARE(thrownText([&] { m.get_child("peer", 2); }), QString("get_child: Failed to find 'peer' #2"));
    QCOMPARE(thrownText([&] { cm.get_child("peer", 2); }), QString("get_child: Failed to find 'peer' #2"));
    QCOMPARE(thrownText([&] { m.get_child("none"); }), QString("get_child: Failed to find 'none' #0"));
    QCOMPARE(thrownText([&] { m.get_child("peer", -1); }), QString("get_child: Failed to find 'peer' #-1"));
    QCOMPARE(thrownText([&] { m.get_child(5); }), QString("get_child: Child row 5 out of range"));
    QCOMPARE(thrownText([&] { m.get_child(-1); }), QString("get_child: Child row -1 out of range"));
    QCOMPARE(thrownText([&] { m.get_child(2); }), QString("get_child: Child row 2 out of range"));
    QCOMPARE(thrownText([&] { cm.get_child(5); }), QString("get_child: Child index 5 out of range"));
    QCOMPARE(thrownText([&] { m.get_child_by_attribute("peer", "id", "9"); }),
             QString("get_child_by_attribute: Failed to find 'peer' where 'id' = '9'"));
    QCOMPARE(thrownText([&] { cm.get_child_by_attribute("x", "k", "v"); }),
             QString("get_child_by_attribute: Failed to find 'x' where 'k' = 'v'"));
    // names are data, not format: a '%' in them is printed as it is
    QCOMPARE(thrownText([&] { m.get_child("%s%n", 0); }), QString("get_child: Failed to find '%s%n' #0"));
    // an Exception is a std::exception
    try {
        m.get_child(7);
        QFAIL("no exception");
    } catch (const std::exception &e) {
        QCOMPARE(QString(e.what()), QString("get_child: Child row 7 out of range"));
    }
}

void TestMessage::failedLookupLeavesNodeUnchanged()
{
    Message m("n");
    m.set_int("a", 1);
    m.add_child("c");
    const Message before = m;
    thrownText([&] { m.get_child("c", 1); });
    thrownText([&] { m.get_child(3); });
    thrownText([&] { m.get_child_by_attribute("c", "k", "v"); });
    QVERIFY(m == before);
    QCOMPARE(m.child_count("c"), 1);
}

void TestMessage::childByAttribute()
{
    Message m("peerList");
    m.add_child("peer").set_string("name", "first");
    Message &second = m.add_child("peer");
    second.set_int("id", 7);
    second.set_string("name", "second");
    m.add_child("other").set_int("id", 8);
    Message &fourth = m.add_child("peer");
    fourth.set_int("id", 7);

    // first in row order; an int attribute is compared through its text form
    QCOMPARE(&m.get_child_by_attribute("peer", "id", "7"), &second);
    // a missing attribute reads as empty
    QCOMPARE(qs(m.get_child_by_attribute("peer", "id", "").get_string("name")), QString("first"));
    // only children of that name
    QCOMPARE(thrownText([&] { m.get_child_by_attribute("peer", "id", "8"); }),
             QString("get_child_by_attribute: Failed to find 'peer' where 'id' = '8'"));
    const Message &cm = m;
    QCOMPARE(&cm.get_child_by_attribute("other", "id", "8"), &m.get_child(2));
}

void TestMessage::renamedChildIsFoundUnderItsNewName()
{
    Message m("root");
    m.add_child("a");
    m.add_child("x");
    m.add_child("a");
    m.get_child(1).setName("a");
    QCOMPARE(m.child_count("a"), 3);
    QCOMPARE(m.child_count("x"), 0);
    QCOMPARE(m.get_child("a", 1).row(), 1);
    QCOMPARE(m.get_child("a", 2).row(), 2);

    m.get_child(0).setName("b");
    QCOMPARE(m.child_count("a"), 2);
    QCOMPARE(m.get_child("a", 0).row(), 1);
    QCOMPARE(m.get_child("b").row(), 0);

    // assigning over a child renames it too
    Message replacement("c");
    m.get_child(2) = replacement;
    QCOMPARE(m.child_count("a"), 1);
    QCOMPARE(m.get_child("c").row(), 2);
    m.get_child(2) = Message("b");
    QCOMPARE(m.child_count("b"), 2);
    QCOMPARE(m.get_child("b", 1).row(), 2);
}

// Decoders name children after appending them; the index must follow.
void TestMessage::decodedTreesAreIndexed()
{
    Message m("peerList");
    m.add_child("peer").set_int("id", 3);
    m.add_child("other");
    m.add_child("peer").set_string("id", "5");

    for (int format : {int(Message::Compact), int(Message::Xml)}) {
        std::string bytes;
        m.serialize(bytes, format);
        Message back;
        QCOMPARE(back.parse(bytes), format);
        QCOMPARE(back.child_count("peer"), 2);
        QCOMPARE(back.child_count("other"), 1);
        QCOMPARE(back.child_count(""), 0);
        QCOMPARE(back.get_child("peer", 1).get_int("id"), 5);
        QCOMPARE(back.get_child("other").row(), 1);
    }
}

void TestMessage::copyIsDeepAndIndependent()
{
    Message original("root");
    original.setValue("v");
    original.set_int("n", 1);
    Message &child = original.add_child("child");
    child.set_string("s", "orig");
    child.add_child("grand").set_bool("b", true);

    Message copy(original);
    QVERIFY(copy == original);
    QCOMPARE(copy.parent(), nullptr);

    copy.set_int("n", 2);
    copy.setValue("w");
    copy.get_child("child").set_string("s", "changed");
    copy.get_child("child").get_child("grand").set_bool("b", false);
    copy.add_child("extra");

    QCOMPARE(original.get_int("n"), 1);
    QCOMPARE(qs(original.value()), QString("v"));
    QCOMPARE(qs(original.get_child("child").get_string("s")), QString("orig"));
    QCOMPARE(original.get_child("child").get_child("grand").get_bool("b"), true);
    QCOMPARE(original.child_count(), 1);
    QCOMPARE(original.child_count("extra"), 0);

    // a copy of a child is detached
    Message detached(child);
    QCOMPARE(detached.parent(), nullptr);
    QCOMPARE(child.parent(), &original);
}

void TestMessage::copiedChildrenPointToTheirNewParent()
{
    Message original("root");
    original.add_child("a").add_child("b");
    original.add_child("c");
    Message copy = original;
    QCOMPARE(copy.get_child(0).parent(), &copy);
    QCOMPARE(copy.get_child(1).parent(), &copy);
    QCOMPARE(copy.get_child(0).get_child(0).parent(), &copy.get_child(0));
    QVERIFY(&copy.get_child(0) != &original.get_child(0));
    QCOMPARE(copy.get_child("c").row(), 1);

    Message assigned;
    assigned = original;
    QCOMPARE(assigned.get_child(0).parent(), &assigned);
    QCOMPARE(assigned.get_child(0).get_child(0).parent(), &assigned.get_child(0));
}

void TestMessage::assignmentDiscardsOldContents()
{
    Message target("old");
    target.setValue("oldValue");
    target.set_int("oldAttr", 1);
    target.add_child("oldChild");
    target.add_child("shared");

    Message source("new");
    source.set_int("newAttr", 2);
    source.add_child("shared").set_int("x", 1);

    target = source;
    QCOMPARE(qs(target.name()), QString("new"));
    QCOMPARE(qs(target.value()), QString());
    QVERIFY(!target.has_attribute("oldAttr"));
    QCOMPARE(target.get_int("newAttr"), 2);
    QCOMPARE(target.child_count(), 1);
    QCOMPARE(target.child_count("oldChild"), 0);
    QCOMPARE(target.child_count("shared"), 1);
    QCOMPARE(target.get_child("shared").get_int("x"), 1);
    QVERIFY(target == source);
}

void TestMessage::selfAssignment()
{
    Message m("self");
    m.set_int("a", 1);
    m.add_child("c").add_child("d");
    const Message before = m;
    Message &alias = m;
    m = alias;
    QVERIFY(m == before);
    QCOMPARE(m.get_child("c").parent(), &m);
    m = std::move(alias);
    QVERIFY(m == before);
    QCOMPARE(m.get_child("c").get_child("d").parent(), &m.get_child("c"));
}

void TestMessage::assignOwnChild()
{
    Message m("root");
    m.set_int("rootAttr", 1);
    Message &child = m.add_child("child");
    child.set_int("childAttr", 2);
    child.add_child("grand").set_int("g", 3);
    m.add_child("sibling");

    m = m.get_child(0);
    QCOMPARE(qs(m.name()), QString("child"));
    QVERIFY(!m.has_attribute("rootAttr"));
    QCOMPARE(m.get_int("childAttr"), 2);
    QCOMPARE(m.child_count(), 1);
    QCOMPARE(m.get_child("grand").get_int("g"), 3);
    QCOMPARE(m.get_child("grand").parent(), &m);
}

void TestMessage::moveAssignOwnChild()
{
    Message m("root");
    Message &child = m.add_child("child");
    child.set_int("childAttr", 2);
    child.add_child("grand").set_int("g", 3);
    m.add_child("sibling");

    m = std::move(m.get_child(0));
    QCOMPARE(qs(m.name()), QString("child"));
    QCOMPARE(m.get_int("childAttr"), 2);
    QCOMPARE(m.child_count(), 1);
    QCOMPARE(m.get_child("grand").get_int("g"), 3);
    QCOMPARE(m.get_child("grand").parent(), &m);
}

void TestMessage::appendCopyIsIndependent()
{
    Message source("item");
    source.add_child("sub").set_int("v", 1);
    Message list("list");
    Message &added = list.append_copy(source);
    QCOMPARE(added.parent(), &list);
    QCOMPARE(added.get_child("sub").parent(), &added);
    added.get_child("sub").set_int("v", 2);
    QCOMPARE(source.get_child("sub").get_int("v"), 1);
    // appending a node to itself copies it as it was
    Message &self = list.append_copy(list);
    QCOMPARE(self.child_count(), 1);
    QCOMPARE(list.child_count(), 2);
}

void TestMessage::parseEmptyBuffer()
{
    Message m;
    QCOMPARE(m.parse(std::string()), 1);
    QVERIFY(m.isEmpty());
    QCOMPARE(m.parse(nullptr, 0), 1);
    QVERIFY(m.isEmpty());
}

void TestMessage::parseUnknownFirstByte()
{
    Message m;
    QCOMPARE(m.parse(std::string("{\"name\": 1}")), 123);
    QCOMPARE(m.child_count(), 0);
    QVERIFY(m.attributes().empty());
    QCOMPARE(m.parse(std::string("\xff", 1)), 255);
    QCOMPARE(m.parse(std::string("\x02junk", 5)), 2);
    QVERIFY(m.isEmpty());
}

void TestMessage::parseClearsPreviousContent()
{
    Message m("keep");
    m.setValue("value");
    m.set_int("a", 1);
    m.add_child("c");
    QCOMPARE(m.parse(std::string("{")), 123);
    QVERIFY(m.attributes().empty());
    QCOMPARE(m.child_count(), 0);
    QCOMPARE(m.child_count("c"), 0);
    // nothing was decoded, so name and value stay
    QCOMPARE(qs(m.name()), QString("keep"));
    QCOMPARE(qs(m.value()), QString("value"));

    m.add_child("c");
    m.set_int("a", 1);
    QCOMPARE(m.parse(std::string()), 1);
    QCOMPARE(m.child_count(), 0);
    QVERIFY(!m.has_attribute("a"));
}

void TestMessage::readMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string path = (dir.path() + "/missing.xml").toStdString();
    Message m;
    QCOMPARE(thrownText([&] { m.read_from_file(path); }), QString("read_from_file: No such file or directory"));
}

void TestMessage::exceptionTextIsCutAt4095()
{
    const std::string longText(5000, 'x');
    Exception e("%s", longText.c_str());
    QCOMPARE(int(std::strlen(e.what())), Exception::TextSize - 1);
    QCOMPARE(std::string(e.what()), longText.substr(0, 4095));

    Exception exact("%s", std::string(4095, 'y').c_str());
    QCOMPARE(int(std::strlen(exact.what())), 4095);

    // a long name in a lookup error is cut the same way
    Message m;
    const std::string longName(5000, 'n');
    const QString text = thrownText([&] { m.get_child(longName); });
    QCOMPARE(text.size(), 4095);
    QVERIFY(text.startsWith("get_child: Failed to find 'nnn"));
}

void TestMessage::exceptionTakesUserTextAsArgument()
{
    const char *userText = "100%s %d %n %%";
    Exception e("%s: %s", "op", userText);
    QCOMPARE(QString(e.what()), QString("op: 100%s %d %n %%"));
    Exception plain("no arguments, 50%% done");
    QCOMPARE(QString(plain.what()), QString("no arguments, 50% done"));
}

void TestMessage::dumpWritesOneLinePerNodeAndAttribute()
{
    Message root("root");
    root.set_int("b", 2);
    root.set_string("a", "x");
    Message &child = root.add_child("child");
    child.setValue("text");
    child.set_float("f", 2.5f);
    Message &grand = child.add_child("grand");

    Logger &log = Logger::instance();
    const int saved = log.threshold(LOGC_MESSAGE);
    log.setThreshold(LOGC_MESSAGE, LOG_DEBUG);
    LogCapture capture;
    root.dump(LOG_DEBUG, LOGC_MESSAGE, 0);
    log.setThreshold(LOGC_MESSAGE, saved);

    const std::vector<std::string> expected = {
        "root\t\t\t(this=" + pointerText(&root) + ", parent=" + pointerText(nullptr) + ", row=-1, level=0)",
        " a=x",
        " b=2",
        " child: text\t\t\t(this=" + pointerText(&child) + ", parent=" + pointerText(&root) + ", row=0, level=1)",
        "  f=2.500000",
        "  grand\t\t\t(this=" + pointerText(&grand) + ", parent=" + pointerText(&child) + ", row=0, level=2)",
    };
    QCOMPARE(int(capture.lines.size()), int(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(qs(capture.lines[i].text), qs(expected[i]));
        QCOMPARE(capture.lines[i].category, int(LOGC_MESSAGE));
        QCOMPARE(capture.lines[i].level, int(LOG_DEBUG));
    }

    // a sub-tree dumped on its own keeps its row and starts at the given depth
    LogCapture sub;
    log.setThreshold(LOGC_MESSAGE, LOG_INFO);
    grand.dump(LOG_INFO, LOGC_MESSAGE, 3);
    log.setThreshold(LOGC_MESSAGE, saved);
    QCOMPARE(int(sub.lines.size()), 1);
    QCOMPARE(qs(sub.lines[0].text), qs("   grand\t\t\t(this=" + pointerText(&grand) + ", parent="
                                       + pointerText(&child) + ", row=0, level=3)"));
}

void TestMessage::dumpBelowThresholdWritesNothing()
{
    Message root("root");
    root.set_int("a", 1);
    Logger &log = Logger::instance();
    const int saved = log.threshold(LOGC_MESSAGE);
    log.setThreshold(LOGC_MESSAGE, LOG_WARNING);
    LogCapture capture;
    root.dump(LOG_DEBUG, LOGC_MESSAGE, 0);
    root.dump(LOG_NONE, LOGC_MESSAGE, 0);
    log.setThreshold(LOGC_MESSAGE, saved);
    QVERIFY(capture.lines.empty());
}

QTEST_APPLESS_MAIN(TestMessage)
#include "tst_message.moc"
