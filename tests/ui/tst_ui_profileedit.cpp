// The profile editor against a simulated codec over 127.0.0.1: what "Save"
// puts on the wire after each kind of edit, the remote rows, the advanced
// toggle and typing into a text setting.

#include "../device/simrig.h"
#include "connections/profileactions.h"
#include "connections/profileedit.h"
#include "uitest.h"

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

/** @p m as "name a=1 b=x" with its children after " | ", attributes sorted. */
QString describe(const Message &m)
{
    QStringList parts{QString::fromStdString(m.name())};
    for (const auto &a : m.attributes())
        parts << QString::fromStdString(a.first) + '=' + QString::fromStdString(a.second.toString());
    std::sort(parts.begin() + 1, parts.end());
    for (int i = 0; i < m.child_count(); ++i)
        parts << "| " + describe(m.get_child(i));
    return parts.join(' ');
}

QTreeWidgetItem *row(ProfileEdit &d, const QString &group, const QString &label)
{
    auto *tree = child<QTreeWidget>(&d, "treeProfileItems");
    const QList<QTreeWidgetItem *> found = tree->findItems(label, Qt::MatchExactly | Qt::MatchRecursive);
    for (QTreeWidgetItem *item : found) {
        if (item->parent() && item->parent()->text(0) == group)
            return item;
    }
    return nullptr;
}

QStringList groups(ProfileEdit &d)
{
    auto *tree = child<QTreeWidget>(&d, "treeProfileItems");
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0);
    return out;
}

} // namespace

class UiProfileEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_rig.reset(); }
    void savedOnTheWire_data();
    void savedOnTheWire();
    void remoteRows();
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
    /** The setProfile requests the codec received after request @p from (a marker closes the range). */
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

void UiProfileEdit::savedOnTheWire_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expected"); // "record option value"; empty: nothing sent

    const QString local = "Local Settings", remote = "Remote Settings", global = "Global Settings";
    QTest::newRow("Clear Text") << "Morning Show" << local << "Stream Label" << "clear" << "local stream_label ";
    QTest::newRow("text typed") << "Morning Show" << local << "Stream Label" << "type" << "local stream_label Breakfast!";
    QTest::newRow("number") << "Morning Show" << local << "Jitter Buffer" << "spin" << "local buffer_delay 700";
    QTest::newRow("Default after an edit") << "Morning Show" << local << "Jitter Buffer" << "default"
                                           << "local buffer_delay 250";
    QTest::newRow("choice") << "Morning Show" << local << "Error Correction" << "combo" << "local fec off";
    QTest::newRow("switch not in the record") << "Morning Show" << local << "Mono Sum" << "check"
                                              << "local mono_sum true";
    QTest::newRow("remote encoder") << "Morning Show" << remote << "Encoder" << "codec" << "remote encoder 1";
    QTest::newRow("first remote edit creates the record")
        << "Sports Commentary" << remote << "Buffer Mode" << "check" << "remote auto_buffer false";
    QTest::newRow("name") << "Sports Commentary" << global << "Profile Name" << "name" << "settings name Standby Line";
    QTest::newRow("Cancel") << "Morning Show" << local << "Jitter Buffer" << "cancel" << "";
}

void UiProfileEdit::savedOnTheWire()
{
    QFETCH(QString, profile);
    QFETCH(QString, group);
    QFETCH(QString, label);
    QFETCH(QString, action);
    QFETCH(QString, expected);
    const SelectedProfile selected = this->profile(profile);
    Message want;
    QVERIFY(m_s->findProfile(selected.id, want));
    const size_t mark = m_rig->requests().size();

    const bool creates = expected.startsWith("remote") && !want.find_child("remote");

    ProfileEdit editor;
    QString before;
    auto act = [&](ProfileEdit *d) {
        QTreeWidgetItem *item = row(*d, group, label);
        QVERIFY(item);
        before = item->text(1);
        d->findChild<QTreeWidget *>("treeProfileItems")->setCurrentItem(item);
        if (action == "type" || action == "name") {
            auto *line = child<QLineEdit>(d, "lineValue");
            line->setText(action == "name" ? "Standby Line" : "Breakfast");
            if (action == "type")
                QTest::keyClick(line, '!');
        } else if (action == "clear") {
            child<QPushButton>(d, "buttonStringClear")->click();
        } else if (action == "spin" || action == "default" || action == "cancel") {
            child<QSpinBox>(d, "spinValue")->setValue(700);
            if (action == "default")
                child<QPushButton>(d, "buttonDefault")->click();
        } else if (action == "combo") {
            auto *combo = child<QComboBox>(d, "comboValue");
            combo->setCurrentIndex(combo->findData("off"));
        } else if (action == "codec") {
            auto *combo = child<QComboBox>(d, "comboCodec");
            QCOMPARE(combo->itemData(0).toString(), QString("!follow")); // offered on the remote side
            combo->setCurrentIndex(combo->findData("1"));
        } else if (action == "check") {
            child<QCheckBox>(d, "checkValue")->click();
        }
    };
    uitest::whenModal<ProfileEdit>([&](ProfileEdit *d) {
        act(d); // closes the dialog even when a check above failed
        auto *buttons = child<QDialogButtonBox>(d, "buttonBox");
        buttons->button(action == "cancel" ? QDialogButtonBox::Cancel : QDialogButtonBox::Save)->click();
    });
    QCOMPARE(ProfileActions::edit(m_s, selected, editor), !expected.isEmpty());

    QStringList wire;
    if (!expected.isEmpty()) {
        const QStringList e = expected.split(' ');
        Message *record = want.find_child(e[0].toStdString());
        if (!record)
            record = &want.add_child(e[0].toStdString());
        record->set_string(e[1].toStdString(), e.mid(2).join(' ').toStdString());
        want.setName("setProfile");
        want.set_string("seq", "setProfile");
        wire << describe(want);
    }
    QCOMPARE(received(mark), wire);
    if (creates)
        QCOMPARE(before, QString("Automatic")); // the option's default shown before the record existed
    QCOMPARE(creates, label == "Buffer Mode");
}

void UiProfileEdit::remoteRows()
{
    ProfileEdit d;
    QVERIFY(d.load(m_s, profile("Backup Line").id)); // its channel has no remote settings
    QCOMPARE(groups(d), (QStringList{"Global Settings", "Local Settings"}));

    QVERIFY(d.load(m_s, profile("Morning Show").id));
    QCOMPARE(groups(d), (QStringList{"Global Settings", "Local Settings", "Remote Settings"}));
    d.findChild<QTreeWidget *>("treeProfileItems")->setCurrentItem(row(d, "Global Settings", "Channel"));
    auto *channels = child<QComboBox>(&d, "comboValue");
    QCOMPARE(channels->itemText(2), QString("Cellular Bonding (advanced feature)"));
    channels->setCurrentIndex(channels->findData("2"));
    QCOMPARE(groups(d), (QStringList{"Global Settings", "Local Settings"}));
    QCOMPARE(d.selectionKey(), QString("settingschannel"));
    QCOMPARE(row(d, "Global Settings", "Channel")->text(1), QString("Ethernet 2 (local only)"));
}

void UiProfileEdit::typingKeepsTheCursor()
{
    ProfileEdit d;
    QVERIFY(d.load(m_s, profile("Morning Show").id));
    d.findChild<QTreeWidget *>("treeProfileItems")->setCurrentItem(row(d, "Local Settings", "Stream Label"));
    auto *line = child<QLineEdit>(&d, "lineValue");
    line->setText("Breakfast");
    line->setCursorPosition(3);
    QTest::keyClicks(line, "XY");
    QCOMPARE(line->text(), QString("BreXYakfast"));
    QCOMPARE(line->cursorPosition(), 5);
    QCOMPARE(get_qstring(*d.profile().find_child("local"), "stream_label"), QString("BreXYakfast"));
    QCOMPARE(row(d, "Local Settings", "Stream Label")->text(1), QString("BreXYakfast")); // the tree was rebuilt
}

void UiProfileEdit::advancedToggleKeepsSelection_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("after"); // the selection key once advanced settings are hidden again

    QTest::newRow("plain setting") << "Remote Settings" << "Jitter Buffer" << "remotebuffer_delay";
    QTest::newRow("advanced setting") << "Local Settings" << "Frame Size" << "settingsname";
    QTest::newRow("group row") << "Local Settings" << "" << "Local Settings";
}

void UiProfileEdit::advancedToggleKeepsSelection()
{
    QFETCH(QString, group);
    QFETCH(QString, label);
    QFETCH(QString, after);
    ProfileEdit d;
    QVERIFY(d.load(m_s, profile("Morning Show").id));
    auto *advanced = child<QCheckBox>(&d, "checkAdvanced");
    advanced->setChecked(true);
    auto *tree = d.findChild<QTreeWidget *>("treeProfileItems");
    QTreeWidgetItem *item = label.isEmpty() ? tree->findItems(group, Qt::MatchExactly).value(0) : row(d, group, label);
    QVERIFY(item);
    tree->setCurrentItem(item);
    const QString key = d.selectionKey();
    advanced->setChecked(false);
    QCOMPARE(d.selectionKey(), after);
    QCOMPARE(child<QWidget>(&d, "groupEdit")->isEnabled(), !label.isEmpty());
    advanced->setChecked(true);
    QCOMPARE(d.selectionKey(), after == "settingsname" ? after : key);
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
    auto *tree = d.findChild<QTreeWidget *>("treeProfileItems");
    tree->setCurrentItem(row(d, "Local Settings", "Stream Label"));
    QVERIFY(d.grab().save(folder + "/profile-edit-string.png"));
    tree->setCurrentItem(row(d, "Local Settings", "Error Correction"));
    QVERIFY(d.grab().save(folder + "/profile-edit-select.png"));
}

QTEST_MAIN(UiProfileEdit)
#include "tst_ui_profileedit.moc"
