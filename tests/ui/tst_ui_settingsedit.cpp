// The settings pane against a simulated codec: an edit of each kind of group
// reaches the codec as its own request and the codec's pushed record shows
// on screen; a refused tunnel save and device refreshes leave the copies
// right; old firmware has no tunnel settings.

#include "../device/simrig.h"
#include "settings/settingsedit.h"
#include "settings/settingssession.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace {

using State = IQEndpointClient::DEVICE_STATE;
const int Long = 20000; // generous: the machine may be busy

QTreeWidgetItem *rowFor(SettingsEdit &edit, const QString &key)
{
    auto *tree = edit.findChild<QTreeWidget *>("treeSettings");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *group = tree->topLevelItem(i);
        for (int j = 0; j < group->childCount(); ++j) {
            if (group->child(j)->data(0, Qt::UserRole).toString() == key)
                return group->child(j);
        }
    }
    return nullptr;
}

QString shown(SettingsEdit &edit, const QString &key)
{
    QTreeWidgetItem *row = rowFor(edit, key);
    return row ? row->text(1) : QStringLiteral("<no row>");
}

bool marked(SettingsEdit &edit, const QString &key)
{
    QTreeWidgetItem *row = rowFor(edit, key);
    return row && row->font(1).weight() == 75;
}

/** Selects @p key's row and sets @p value the way the operator would on its page. */
bool editRow(SettingsEdit &edit, const QString &key, const QString &value)
{
    QTreeWidgetItem *row = rowFor(edit, key);
    if (!row)
        return false;
    edit.findChild<QTreeWidget *>("treeSettings")->setCurrentItem(row);
    const QString type = edit.model().record(key)->option.type;
    if (type == "int") {
        edit.findChild<QSpinBox *>("spinValue")->setValue(value.toInt());
    } else if (type == "string") {
        edit.findChild<QLineEdit *>("lineValue")->setText(value);
    } else {
        auto *combo = edit.findChild<QComboBox *>("comboValue");
        combo->setCurrentIndex(combo->findData(value));
    }
    return marked(edit, key);
}

/** "name" of @p key's value in the session's cache, as the codec last sent it. */
QString cached(IPCObject *s, const char *record, const char *child, const char *name)
{
    Message m;
    if (!s->cachedMessage(QLatin1String(record), m))
        return QString();
    const Message *node = &m;
    if (child) {
        node = nullptr;
        for (int i = 0; i < m.child_count(); ++i) {
            const Message &c = m.get_child(i);
            if (c.name() == child || (c.name() == "channel" && c.get_string("id") == child))
                node = &c;
        }
    }
    return node ? get_qstring(*node, name) : QString();
}

} // namespace

class SettingsEditTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }
    void changeReachesTheCodecAndComesBack_data();
    void changeReachesTheCodecAndComesBack();
    void refusedTunnelSaveReloadsTheGroup();
    void refreshKeepsAnUnsavedGroup();
    void oldFirmwareHasNoTunnelRows();
};

void SettingsEditTest::changeReachesTheCodecAndComesBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("child");
    QTest::addColumn<QString>("shownText");

    QTest::newRow("system") << "unit_name" << "Studio Nine" << "setSysOptions/setSysOptions"
                            << "sysOptions" << "" << "Studio Nine";
    QTest::newRow("system subgroup") << "input_source" << "usb" << "setSysOptions/setSysOptions"
                                     << "sysOptions" << "audio" << "USB";
    QTest::newRow("channel") << "2:udp_port" << "9555" << "setChannelSettings/setChannelSettings"
                             << "channelList" << "2" << "9555";
    QTest::newRow("directory server") << "server" << "dir7.example" << "setDirectoryServer/setDirectoryServer"
                                      << "directoryServer" << "" << "dir7.example";
    QTest::newRow("tunnel") << "weftline:mode" << "redundant" << "cfgSetOption/setWeftlineOptions"
                            << "weftlineSettings" << "" << "Redundant";
}

void SettingsEditTest::changeReachesTheCodecAndComesBack()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, request);
    QFETCH(QString, record);
    QFETCH(QString, child);
    QFETCH(QString, shownText);

    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    SettingsEdit edit;
    connect(&edit, &SettingsEdit::saveRequested, s, [s](const Message &m) { sendUpdatedSettings(s, m); });
    edit.setSession(s);
    edit.setSession(s);
    QVERIFY(rowFor(edit, key));
    QVERIFY(shown(edit, key) != shownText);

    QVERIFY(editRow(edit, key, value));
    QCOMPARE(shown(edit, key), shownText);
    auto *save = edit.findChild<QPushButton *>("buttonSave");
    QVERIFY(save->isEnabled());
    save->click();

    // The first save after the login goes out, under the request's own name and seq.
    QTRY_COMPARE_WITH_TIMEOUT(rig.count(request.toStdString()), 1, Long);
    const std::vector<std::string> sent = rig.requestTexts();
    const int saves = int(std::count_if(sent.begin(), sent.end(), [](const std::string &t) {
        return t.rfind("set", 0) == 0 || t.rfind("cfgSetOption", 0) == 0;
    }));
    QCOMPARE(saves, 1);

    // What the codec then pushes is what the pane shows, unmarked.
    if (record == "weftlineSettings") {
        QTRY_VERIFY_WITH_TIMEOUT(s->cachedMessage("setWeftlineOptions").child_count("option") > 0, Long);
        QTRY_COMPARE_WITH_TIMEOUT(edit.model().value(key), value, Long);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(cached(s, record.toLatin1(), child.isEmpty() ? nullptr : child.toLatin1().constData(),
                                         key.section(':', -1).toLatin1()),
                                  value, Long);
    }
    QTRY_COMPARE_WITH_TIMEOUT(shown(edit, key), shownText, Long);
    QVERIFY(!marked(edit, key));
    QVERIFY(!save->isEnabled());
    QVERIFY(edit.model().save().isEmpty());
}

void SettingsEditTest::refusedTunnelSaveReloadsTheGroup()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    SettingsEdit edit;
    connect(&edit, &SettingsEdit::saveRequested, s, [s](const Message &m) { sendUpdatedSettings(s, m); });
    edit.setSession(s);
    const QString before = shown(edit, "weftline:max_delay");
    QVERIFY(!before.isEmpty());

    // A value the codec refuses (not a number) reaches it, and comes back refused.
    QVERIFY(edit.model().setValue("weftline:max_delay", "soon"));
    QSignalSpy refused(s, &IPCObject::requestFailed);
    edit.saveClicked();
    QTRY_COMPARE_WITH_TIMEOUT(rig.count("cfgSetOption/setWeftlineOptions"), 1, Long);
    QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, Long);
    QCOMPARE(refused.at(0).at(1).toString(), QStringLiteral("setWeftlineOptions"));
    QTRY_COMPARE_WITH_TIMEOUT(shown(edit, "weftline:max_delay"), before, Long);
    QCOMPARE(edit.model().value("weftline:max_delay"), before);
}

void SettingsEditTest::refreshKeepsAnUnsavedGroup()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    SettingsEdit edit;
    edit.setSession(s);
    QVERIFY(editRow(edit, "location", "Control room"));

    // Another console changes the directory server: that group follows, the edit stays.
    Message ds("setDirectoryServer");
    ds.set_string("seq", "setDirectoryServer");
    ds.set_string("server", "elsewhere.example");
    s->sendCommand(ds);
    QTRY_COMPARE_WITH_TIMEOUT(shown(edit, "server"), QStringLiteral("elsewhere.example"), Long);
    QCOMPARE(shown(edit, "location"), QStringLiteral("Control room"));
    QVERIFY(marked(edit, "location"));

    // "Discard Changes" takes the codec's values back.
    edit.findChild<QPushButton *>("buttonDiscard")->click();
    QCOMPARE(shown(edit, "location"), cached(s, "sysOptions", nullptr, "location"));
    QVERIFY(!marked(edit, "location"));
    QVERIFY(!edit.findChild<QPushButton *>("buttonSave")->isEnabled());

    // A session that goes away takes its settings off the screen.
    s->destroySession();
    QTRY_VERIFY_WITH_TIMEOUT(!rowFor(edit, "location"), Long);
    QVERIFY(!edit.session());
}

void SettingsEditTest::oldFirmwareHasNoTunnelRows()
{
    codecsim::Options old;
    old.unversioned = true;
    SimRig rig(old);
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    SettingsEdit edit;
    connect(&edit, &SettingsEdit::saveRequested, s, [s](const Message &m) { sendUpdatedSettings(s, m); });
    edit.setSession(s);
    QVERIFY(rowFor(edit, "unit_name"));
    auto *tree = edit.findChild<QTreeWidget *>("treeSettings");
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        QVERIFY(tree->topLevelItem(i)->text(0) != QLatin1String("Weftline"));
    QVERIFY(editRow(edit, "unit_name", "Old Desk"));
    edit.saveClicked();
    QTRY_COMPARE_WITH_TIMEOUT(cached(s, "sysOptions", nullptr, "unit_name"), QStringLiteral("Old Desk"), Long);
    QCOMPARE(rig.count("cfgSetOption/setWeftlineOptions"), 0);
}

QTEST_MAIN(SettingsEditTest)
#include "tst_ui_settingsedit.moc"
