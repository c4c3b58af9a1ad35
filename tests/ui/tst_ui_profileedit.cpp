// The profile editor against a simulated codec over 127.0.0.1: what "Save"
// puts on the wire after each kind of edit, the remote rows, the advanced
// toggle and typing into a text setting.

#include "../device/simrig.h"
#include "connections/profileactions.h"
#include "connections/profileedit.h"
#include "uitest.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>

using uitest::child;

namespace {

const int Long = 20000;

/** @p m as "name a=1 b=x | child ...", attributes sorted. */
QString describe(const Message &m)
{
    QStringList attrs;
    for (const auto &a : m.attributes())
        attrs << QString::fromStdString(a.first) + '=' + QString::fromStdString(a.second.toString());
    attrs.sort();
    QStringList parts = QStringList{QString::fromStdString(m.name())} + attrs;
    for (int i = 0; i < m.child_count(); ++i)
        parts << "| " + describe(m.get_child(i));
    return parts.join(' ');
}

QTreeWidget *tree(ProfileEdit *d) { return child<QTreeWidget>(d, "treeProfileItems"); }

/** Selects the row @p label under @p group (the group row itself when @p label is empty). */
QTreeWidgetItem *select(ProfileEdit *d, const QString &group, const QString &label = QString())
{
    for (QTreeWidgetItem *item : tree(d)->findItems(label.isEmpty() ? group : label, Qt::MatchRecursive)) {
        if (label.isEmpty() ? !item->parent() : item->parent() && item->parent()->text(0) == group) {
            tree(d)->setCurrentItem(item);
            return item;
        }
    }
    return nullptr;
}

} // namespace

class UiProfileEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_rig.reset(); }
    void remoteRows();
    void savedOnTheWire_data();
    void savedOnTheWire();
    void typingKeepsTheCursor();
    void advancedToggleKeepsSelection_data();
    void advancedToggleKeepsSelection();
    void screenshots();

private:
    SelectedProfile profile(const QString &name) const
    {
        for (const ProfileSummary &p : m_s->profiles()) {
            if (p.name == name)
                return SelectedProfile{p.id, p.name, p.factory, p.isDefault};
        }
        return {};
    }
    /** The "setProfile" requests the codec received after its first @p from (up to a marker sent now). */
    QStringList received(size_t from)
    {
        Message marker("getCodecList");
        marker.set_string("seq", "marker");
        const int before = m_rig->count("getCodecList/marker");
        m_s->sendCommand(marker);
        if (!QTest::qWaitFor([&] { return m_rig->count("getCodecList/marker") > before; }, Long))
            return {"(the marker never arrived)"};
        QStringList out;
        const std::vector<Request> all = m_rig->requests();
        for (size_t i = from; i < all.size(); ++i) {
            if (all[i].text == "getCodecList/marker")
                break;
            if (all[i].message.name() == "setProfile")
                out << describe(all[i].message);
        }
        return out;
    }

    std::unique_ptr<SimRig> m_rig;
    IPCObject *m_s = nullptr;
};

void UiProfileEdit::initTestCase()
{
    registerDeviceMetaTypes();
    m_rig = std::make_unique<SimRig>();
    QVERIFY(m_rig->ok());
    m_s = m_rig->connect();
    QTRY_COMPARE_WITH_TIMEOUT(m_s->state(), IQEndpointClient::READY, Long);
}

void UiProfileEdit::remoteRows()
{
    ProfileEdit d;
    QVERIFY(d.load(m_s, profile("Sports Commentary").id)); // no "remote" record, its channel allows one
    QVERIFY(!d.profile().find_child("remote"));
    QCOMPARE(select(&d, "Remote Settings", "Buffer Mode")->text(1), QString("Automatic")); // the defaults
    QCOMPARE(select(&d, "Remote Settings", "Jitter Buffer")->text(1), QString("250"));
    select(&d, "Remote Settings", "Encoder");
    QCOMPARE(child<QComboBox>(&d, "comboCodec")->itemData(0).toString(), QString("!follow"));

    QVERIFY(d.load(m_s, profile("Backup Line").id)); // its channel has no remote settings
    QCOMPARE(tree(&d)->topLevelItemCount(), 2);

    QVERIFY(d.load(m_s, profile("Morning Show").id));
    QCOMPARE(tree(&d)->topLevelItemCount(), 3);
    select(&d, "Global Settings", "Channel");
    auto *channels = child<QComboBox>(&d, "comboValue");
    QCOMPARE(channels->itemText(2), QString("Cellular Bonding (advanced feature)"));
    channels->setCurrentIndex(channels->findData("2"));
    QCOMPARE(tree(&d)->topLevelItemCount(), 2);
    QCOMPARE(d.selectionKey(), QString("settingschannel"));
}

void UiProfileEdit::savedOnTheWire_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("row");      // group/label
    QTest::addColumn<QString>("steps");    // "widget=value" sets a value, "widget" clicks
    QTest::addColumn<QString>("expected"); // "record option value"; empty: Cancel, nothing sent

    const QString show = "Morning Show", local = "Local Settings/";
    QTest::newRow("Clear Text") << show << local + "Stream Label" << "buttonStringClear" << "local stream_label ";
    QTest::newRow("text") << show << local + "Stream Label" << "lineValue=Breakfast!" << "local stream_label Breakfast!";
    QTest::newRow("number") << show << local + "Jitter Buffer" << "spinValue=700" << "local buffer_delay 700";
    QTest::newRow("Default") << show << local + "Jitter Buffer" << "spinValue=710 buttonDefault"
                             << "local buffer_delay 250";
    QTest::newRow("choice") << show << local + "Error Correction" << "comboValue=off" << "local fec off";
    QTest::newRow("switch not set yet") << show << local + "Mono Sum" << "checkValue" << "local mono_sum true";
    QTest::newRow("remote encoder") << show << "Remote Settings/Encoder" << "comboCodec=1" << "remote encoder 1";
    QTest::newRow("first remote edit makes the record")
        << "Sports Commentary" << "Remote Settings/Buffer Mode" << "checkValue" << "remote auto_buffer false";
    QTest::newRow("name") << "Backup Line" << "Global Settings/Profile Name" << "lineValue=Standby"
                          << "settings name Standby";
    QTest::newRow("Cancel") << show << local + "Jitter Buffer" << "spinValue=720" << "";
}

void UiProfileEdit::savedOnTheWire()
{
    QFETCH(QString, profile);
    QFETCH(QString, row);
    QFETCH(QString, steps);
    QFETCH(QString, expected);
    const SelectedProfile selected = this->profile(profile);
    Message want;
    QVERIFY(m_s->findProfile(selected.id, want));
    const size_t mark = m_rig->requests().size();

    uitest::whenModal<ProfileEdit>([&](ProfileEdit *d) {
        select(d, row.section('/', 0, 0), row.section('/', 1));
        for (const QString &step : steps.split(' ')) {
            QWidget *w = child<QWidget>(d, step.section('=', 0, 0).toLatin1().constData());
            const QString value = step.section('=', 1);
            if (auto *line = qobject_cast<QLineEdit *>(w))
                line->setText(value);
            else if (auto *spin = qobject_cast<QSpinBox *>(w))
                spin->setValue(value.toInt());
            else if (auto *combo = qobject_cast<QComboBox *>(w))
                combo->setCurrentIndex(combo->findData(value));
            else if (auto *button = qobject_cast<QAbstractButton *>(w))
                button->click();
        }
        auto *buttons = child<QDialogButtonBox>(d, "buttonBox");
        buttons->button(expected.isEmpty() ? QDialogButtonBox::Cancel : QDialogButtonBox::Save)->click();
    });
    ProfileEdit editor;
    QCOMPARE(ProfileActions::edit(m_s, selected, editor), !expected.isEmpty());

    QStringList wire;
    if (!expected.isEmpty()) {
        const QStringList e = expected.split(' ');
        Message *record = want.find_child(e[0].toStdString());
        (record ? *record : want.add_child(e[0].toStdString())).set_string(e[1].toStdString(), e[2].toStdString());
        want.setName("setProfile");
        want.set_string("seq", "setProfile");
        wire << describe(want);
    }
    QCOMPARE(received(mark), wire);
}

void UiProfileEdit::typingKeepsTheCursor()
{
    ProfileEdit d;
    QVERIFY(d.load(m_s, profile("Morning Show").id));
    select(&d, "Local Settings", "Stream Label");
    auto *line = child<QLineEdit>(&d, "lineValue");
    line->setText("Breakfast");
    line->setCursorPosition(3);
    QTest::keyClicks(line, "XY");
    QCOMPARE(line->text(), QString("BreXYakfast"));
    QCOMPARE(line->cursorPosition(), 5);
    QCOMPARE(get_qstring(*d.profile().find_child("local"), "stream_label"), QString("BreXYakfast"));
    QCOMPARE(tree(&d)->currentItem()->text(1), QString("BreXYakfast")); // a rebuilt tree
}

void UiProfileEdit::advancedToggleKeepsSelection_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("hidden"); // the selection key while advanced settings are hidden

    QTest::newRow("plain setting") << "Remote Settings" << "Jitter Buffer" << "remotebuffer_delay";
    QTest::newRow("advanced setting") << "Local Settings" << "Frame Size" << "settingsname";
    QTest::newRow("group row") << "Local Settings" << "" << "Local Settings";
}

void UiProfileEdit::advancedToggleKeepsSelection()
{
    QFETCH(QString, group);
    QFETCH(QString, label);
    QFETCH(QString, hidden);
    ProfileEdit d;
    QVERIFY(d.load(m_s, profile("Morning Show").id));
    auto *advanced = child<QCheckBox>(&d, "checkAdvanced");
    advanced->setChecked(true);
    QVERIFY(select(&d, group, label));
    const QString shown = d.selectionKey();
    advanced->setChecked(false);
    QCOMPARE(d.selectionKey(), hidden);
    QCOMPARE(child<QWidget>(&d, "groupEdit")->isEnabled(), !label.isEmpty());
    advanced->setChecked(true);
    QCOMPARE(d.selectionKey(), hidden == "settingsname" ? hidden : shown);
}

void UiProfileEdit::screenshots()
{
    const QString folder = qEnvironmentVariable("QV_SCREENSHOTS");
    if (folder.isEmpty())
        QSKIP("QV_SCREENSHOTS names no folder");
    ProfileEdit d;
    QVERIFY(d.load(m_s, profile("Morning Show").id));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    select(&d, "Local Settings", "Stream Label");
    QVERIFY(d.grab().save(folder + "/profile-edit-string.png"));
    select(&d, "Local Settings", "Error Correction");
    QVERIFY(d.grab().save(folder + "/profile-edit-select.png"));
}

QTEST_MAIN(UiProfileEdit)
#include "tst_ui_profileedit.moc"
