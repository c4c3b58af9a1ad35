// The option pages shared by the editors: the rules from an option record to
// its page, value text and range, and the editing panel's behaviour while
// the operator types.

#include "options/optioneditpanel.h"
#include "options/optionrows.h"
#include "qtmessage.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <limits>

namespace {

const int IntMin = std::numeric_limits<int>::min();
const int IntMax = std::numeric_limits<int>::max();

OptionDescription described(const char *type, const char *def = "", const char *units = "")
{
    OptionDescription d;
    d.name = QStringLiteral("x");
    d.type = QString::fromLatin1(type);
    d.defaultValue = QString::fromLatin1(def);
    d.units = QString::fromLatin1(units);
    d.minimum = 1;
    d.maximum = 500;
    return d;
}

} // namespace

class OptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void pageForType_data();
    void pageForType();
    void intRangeFillsMissingBounds_data();
    void intRangeFillsMissingBounds();
    void valueText_data();
    void valueText();
    void typingKeepsTheCursor();
    void numberWithoutBoundsIsEditable();
    void defaultButtonWritesTheDefault();
};

void OptionsTest::pageForType_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("page");
    QTest::newRow("int") << "int" << int(OptionPage::Int);
    QTest::newRow("bool") << "bool" << int(OptionPage::Bool);
    QTest::newRow("visible") << "visible" << int(OptionPage::Bool);
    QTest::newRow("string") << "string" << int(OptionPage::String);
    QTest::newRow("name") << "name" << int(OptionPage::String);
    QTest::newRow("select") << "select" << int(OptionPage::Select);
    QTest::newRow("channel") << "channel" << int(OptionPage::Select);
    QTest::newRow("peer") << "peer" << int(OptionPage::Select);
    QTest::newRow("codec") << "codec" << int(OptionPage::Codec);
    QTest::newRow("unknown") << "colour" << int(OptionPage::Blank);
}

void OptionsTest::pageForType()
{
    QFETCH(QString, type);
    QFETCH(int, page);
    QCOMPARE(int(optionrows::pageFor(type)), page);
}

void OptionsTest::intRangeFillsMissingBounds_data()
{
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("max");
    QTest::addColumn<int>("lo");
    QTest::addColumn<int>("hi");
    QTest::newRow("both") << "-20" << "20" << -20 << 20;
    QTest::newRow("no min") << "" << "20" << IntMin << 20;
    QTest::newRow("no max") << "10" << "" << 10 << IntMax;
    QTest::newRow("neither") << "" << "" << IntMin << IntMax;
}

void OptionsTest::intRangeFillsMissingBounds()
{
    QFETCH(QString, min);
    QFETCH(QString, max);
    QFETCH(int, lo);
    QFETCH(int, hi);
    Message o("option");
    if (!min.isEmpty())
        o.set_int("min", min.toInt());
    if (!max.isEmpty())
        o.set_int("max", max.toInt());
    QCOMPARE(optionrows::intRange(o), qMakePair(lo, hi));
    const OptionDescription d = OptionDescription::read(o);
    QCOMPARE(d.minimum, lo);
    QCOMPARE(d.maximum, hi);
}

void OptionsTest::valueText_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("labels");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("bool on") << "bool" << false << "true" << "Enabled";
    QTest::newRow("bool off") << "bool" << false << "false" << "Not Enabled";
    QTest::newRow("bool own words") << "bool" << true << "true" << "Answer";
    QTest::newRow("choice") << "select" << false << "b" << "Bee";
    QTest::newRow("no such choice") << "select" << false << "z" << "";
    QTest::newRow("codec") << "codec" << false << "2" << "OPUS: Mono 64 kbps";
    QTest::newRow("follow") << "codec" << false << "!follow" << "Follow local encoder";
    QTest::newRow("number") << "int" << false << "42" << "42";
    QTest::newRow("text") << "string" << false << "studio" << "studio";
}

void OptionsTest::valueText()
{
    QFETCH(QString, type);
    QFETCH(bool, labels);
    QFETCH(QString, value);
    QFETCH(QString, text);
    Message o("option");
    set_qstring(o, "type", type);
    if (labels) {
        o.set_string("label_true", "Answer");
        o.set_string("label_false", "Reject");
    }
    for (const char *v : {"a", "b"}) {
        Message &c = o.add_child("select");
        c.set_string("name", std::string(v) == "a" ? "Ay" : "Bee");
        c.set_string("value", v);
    }
    Message codecs("codecList");
    Message &c = codecs.add_child("codec");
    for (const auto &kv : {std::make_pair("id", "2"), std::make_pair("code", "OPUS"), std::make_pair("mode", "Mono"),
                           std::make_pair("name", "64 kbps")})
        c.set_string(kv.first, kv.second);
    QCOMPARE(optionrows::valueText(OptionDescription::read(o), value, optionrows::codecChoices(codecs)), text);
}

void OptionsTest::typingKeepsTheCursor()
{
    OptionEditPanel panel;
    QStringList edits;
    connect(&panel, &OptionEditPanel::valueEdited, [&](const QString &v) {
        edits << v;
        panel.showOption(panel.option(), v); // an editor redrawing after each keystroke
    });
    panel.showOption(described("string"), QStringLiteral("studio"));
    auto *line = panel.findChild<QLineEdit *>("lineValue");
    line->setCursorPosition(3);
    QTest::keyClicks(line, QStringLiteral("XY"));
    QCOMPARE(line->text(), QStringLiteral("stuXYdio"));
    QCOMPARE(line->cursorPosition(), 5);
    QCOMPARE(edits, (QStringList{"stuXdio", "stuXYdio"}));

    panel.findChild<QPushButton *>("buttonStringClear")->click();
    QCOMPARE(edits.last(), QString());
}

void OptionsTest::numberWithoutBoundsIsEditable()
{
    Message o("option");
    o.set_string("type", "int");
    o.set_string("default", "10");
    OptionEditPanel panel;
    QSignalSpy edits(&panel, &OptionEditPanel::valueEdited);
    panel.showOption(OptionDescription::read(o), QStringLiteral("70000"));
    auto *spin = panel.findChild<QSpinBox *>("spinValue");
    QCOMPARE(spin->value(), 70000);
    QCOMPARE(edits.count(), 0); // filling the page is not an edit
    spin->setValue(-5);
    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.last().at(0).toString(), QStringLiteral("-5"));
}

void OptionsTest::defaultButtonWritesTheDefault()
{
    OptionEditPanel panel;
    QSignalSpy edits(&panel, &OptionEditPanel::valueEdited);
    panel.showOption(described("bool", "true", "48 V Phantom"), QStringLiteral("false"));
    auto *check = panel.findChild<QCheckBox *>("checkValue");
    auto *button = panel.findChild<QPushButton *>("buttonDefault");
    QCOMPARE(check->text(), QStringLiteral("48 V Phantom"));
    QVERIFY(button->isEnabled());
    button->click();
    QVERIFY(check->isChecked());
    QCOMPARE(edits.count(), 1);
    QCOMPARE(panel.currentValue(), QStringLiteral("true"));
    QVERIFY(!button->isEnabled());

    // An empty number shows its default.
    panel.showOption(described("int", "250", "ms"), QString());
    QCOMPARE(panel.currentValue(), QStringLiteral("250"));
    QCOMPARE(panel.findChild<QSpinBox *>("spinValue")->suffix(), QStringLiteral(" ms"));
}

QTEST_MAIN(OptionsTest)
#include "tst_ui_options.moc"
