// The address book, profiles and connections against simulated codecs over
// 127.0.0.1, checked from what the codecs received: the entry dialog's
// requests, the three ways a connect goes out, ending calls, the profile
// operations, copies to a second codec, and the lists following the device.

#include "../device/simrig.h"
#include "common/itemroles.h"
#include "connections/addentrydialog.h"
#include "connections/connectdialog.h"
#include "connections/connectionactions.h"
#include "connections/copytodevicesdialog.h"
#include "connections/peeractions.h"
#include "connections/peertree.h"
#include "connections/profileactions.h"
#include "connections/profilelist.h"
#include "sessiontable.h"
#include "uitest.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>

using State = IQEndpointClient::DEVICE_STATE;
using uitest::child;
using uitest::whenModal;

namespace {

const int Long = 20000; // generous: the machine may be busy

/** A request as the codec read it: "name a="1" b="x"", attributes sorted, "seq" included. */
QString describe(const Message &m)
{
    QStringList parts;
    for (const auto &a : m.attributes())
        parts << QString::fromStdString(a.first) + "=\"" + QString::fromStdString(a.second.toString()) + '"';
    std::sort(parts.begin(), parts.end());
    return (QStringList{QString::fromStdString(m.name())} + parts).join(' ');
}

/** @p text with "%1", "%2", ... replaced by @p values in turn (absent markers are skipped). */
QString fill(QString text, const QStringList &values)
{
    for (int i = 0; i < values.size(); ++i)
        text.replace(QStringLiteral("%%1").arg(i + 1), values[i]);
    return text;
}

/**
 * What @p codec received after its first @p from requests, up to a marker
 * sent now through @p s (requests on one connection arrive in order), as
 * describe() texts of the requests named in @p names.
 */
QStringList received(SimRig &rig, IPCObject *s, size_t from, const QStringList &names, int codec = 0)
{
    Message marker("getCodecList");
    marker.set_string("seq", "marker");
    const int before = rig.count("getCodecList/marker", codec);
    s->sendCommand(marker);
    if (!QTest::qWaitFor([&] { return rig.count("getCodecList/marker", codec) > before; }, Long))
        return {"(the marker never arrived)"};
    QStringList out;
    const std::vector<Request> all = rig.requests(codec);
    for (size_t i = from; i < all.size(); ++i) {
        if (names.contains(QString::fromStdString(all[i].message.name())))
            out << describe(all[i].message);
    }
    return out;
}

/** A session of codec @p codec once it is READY; null when it never gets there. */
IPCObject *ready(SimRig &rig, int codec = 0)
{
    IPCObject *s = rig.connect(codec);
    return QTest::qWaitFor([s] { return s->state() == State::READY; }, Long) ? s : nullptr;
}

PeerMetaPtr peerNamed(IPCObject *s, const QString &name)
{
    for (const PeerMetaPtr &p : s->allPeers()) {
        if (p->name == name)
            return p;
    }
    return {};
}

QString userProfile(IPCObject *s)
{
    for (const ProfileSummary &p : s->profiles()) {
        if (!p.factory && !p.isDefault)
            return p.id;
    }
    return {};
}

/** The window's two lists and filters, wired as the window wires them. */
struct Lists {
    QTreeWidget tree;
    QListWidget list;
    QLineEdit peerFilter, profileFilter;
    PeerTree peers{&tree, &peerFilter};
    ProfileList profiles{&list, &profileFilter};

    explicit Lists(IPCObject *s)
    {
        tree.setColumnCount(5);
        QObject::connect(&peers, &PeerTree::refilled, &profiles, &ProfileList::applyFilter);
        QObject::connect(&profiles, &ProfileList::refilled, &peers, &PeerTree::applyFilter);
        peers.setSession(s);
        profiles.setSession(s);
    }
    QTreeWidgetItem *peerRow(const QString &id)
    {
        for (int i = 0; i < tree.topLevelItemCount(); ++i) {
            if (tree.topLevelItem(i)->data(0, ItemRoles::PeerId).toString() == id)
                return tree.topLevelItem(i);
        }
        return nullptr;
    }
    QListWidgetItem *profileRow(const QString &id)
    {
        for (int i = 0; i < list.count(); ++i) {
            if (list.item(i)->data(ItemRoles::ProfileId).toString() == id)
                return list.item(i);
        }
        return nullptr;
    }
    void selectPeer(const QString &id) { tree.setCurrentItem(peerRow(id)); }
    void selectProfile(const QString &id) { list.setCurrentItem(profileRow(id)); }
};

void saveScreenshot(QWidget *w, const char *name)
{
    const QString folder = qEnvironmentVariable("QV_SCREENSHOTS");
    if (!folder.isEmpty())
        QVERIFY(w->grab().save(folder + '/' + name));
}

} // namespace

class UiConnectionsLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }

    void entryDialogStates_data();
    void entryDialogStates();
    void entryRequests_data();
    void entryRequests();
    void connectCases_data();
    void connectCases();
    void connectThroughTheDialog();
    void endingCalls();
    void profileOperations_data();
    void profileOperations();
    void copiesToASecondCodec();
    void listsFollowTheDevice();
};

void UiConnectionsLive::entryDialogStates_data()
{
    QTest::addColumn<bool>("oldFirmware");
    QTest::addColumn<int>("box");
    QTest::addColumn<bool>("macEnabled");

    QTest::newRow("unchecked") << false << int(Qt::Unchecked) << false;
    QTest::newRow("partly checked") << false << int(Qt::PartiallyChecked) << false;
    QTest::newRow("checked") << false << int(Qt::Checked) << true;
    QTest::newRow("checked on old firmware") << true << int(Qt::Checked) << false;
}

void UiConnectionsLive::entryDialogStates()
{
    QFETCH(bool, oldFirmware);
    QFETCH(int, box);
    QFETCH(bool, macEnabled);
    AddEntry d;
    auto *mac = child<QLineEdit>(&d, "macAddressLineEdit");
    QVERIFY(!mac->isEnabled()); // until the box is ticked
    QVERIFY(!d.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    if (oldFirmware)
        d.disableWeftline();
    auto *check = child<QCheckBox>(&d, "weftlineEnableCheckBox");
    check->setCheckState(Qt::CheckState(box));
    QCOMPARE(mac->isEnabled(), macEnabled);
    QCOMPARE(check->isEnabled(), !oldFirmware);
    QCOMPARE(d.values().weftline, box == Qt::Checked);
}

void UiConnectionsLive::entryRequests_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("addr");
    QTest::addColumn<bool>("tunnel");
    QTest::addColumn<bool>("oldFirmware");
    QTest::addColumn<QString>("expected");

    const QString plain = "addPeer addr=\"%1\" name=\"Desk 2\" password=\"s3\" seq=\"addPeer\"";
    const QString edited =
        "setPeerSettings addr=\"%1\" id=\"%2\" name=\"Desk 2\" password=\"s3\" unit=\"%3\" weftline=\"%4\"";
    QTest::newRow("add") << "add" << "10.0.0.77:9100" << false << false << plain;
    QTest::newRow("add through the tunnel")
        << "add" << "10.0.0.78" << true << false << plain + " unit=\"02:5E:00:00:00:42\" use_weftline=\"true\"";
    QTest::newRow("add, tunnel ticked on old firmware") << "add" << "10.0.0.79" << true << true << plain;
    QTest::newRow("edit keeps the port") << "edit" << "10.0.0.9:9000" << false << false << edited;
    QTest::newRow("edit keeps an IPv6 address whole") << "edit" << "[fe80::1]:5004" << false << false << edited;
    QTest::newRow("edit on old firmware sends unit and weftline") << "edit" << "10.0.0.80" << true << true << edited;
    QTest::newRow("remove") << "remove" << "10.0.0.81" << false << false << "removePeer id=\"%2\"";
}

void UiConnectionsLive::entryRequests()
{
    QFETCH(QString, action);
    QFETCH(QString, addr);
    QFETCH(bool, tunnel);
    QFETCH(bool, oldFirmware);
    QFETCH(QString, expected);
    codecsim::Options o;
    o.unversioned = oldFirmware;
    SimRig rig(o);
    QVERIFY(rig.ok());
    IPCObject *s = ready(rig);
    QVERIFY(s);
    Lists lists(s);
    SessionTable none;
    PeerActions actions(none, [s] { return s; });
    const QString mac = "02:5E:00:00:00:42";

    QString id;
    if (action != "add") {
        if (tunnel)
            s->addPeer("Desk 2", addr, "s3", mac);
        else
            s->addPeer("Desk 2", addr, "s3");
        QTRY_VERIFY_WITH_TIMEOUT(peerNamed(s, "Desk 2") && lists.peerRow(peerNamed(s, "Desk 2")->id), Long);
        id = peerNamed(s, "Desk 2")->id;
        lists.selectPeer(id);
    }
    const size_t mark = rig.requests().size();
    // What the dialog showed, checked once it is closed.
    QString title, shownAddr;
    bool tunnelBox = false, macBox = false;
    auto observe = [&](AddEntry *d) {
        title = d->windowTitle();
        shownAddr = child<QLineEdit>(d, "lineIPAddress")->text();
        tunnelBox = child<QCheckBox>(d, "weftlineEnableCheckBox")->isEnabled();
        macBox = child<QLineEdit>(d, "macAddressLineEdit")->isEnabled();
    };
    if (action == "add") {
        whenModal<AddEntry>([&](AddEntry *d) {
            child<QLineEdit>(d, "lineName")->setText("Desk 2");
            child<QLineEdit>(d, "lineIPAddress")->setText(addr);
            child<QLineEdit>(d, "linePassword")->setText("s3");
            child<QCheckBox>(d, "weftlineEnableCheckBox")->setChecked(tunnel);
            child<QLineEdit>(d, "macAddressLineEdit")->setText(mac);
            observe(d);
            child<QPushButton>(d, "buttonOK")->click();
        });
        QVERIFY(actions.addPeer(s, nullptr));
        QCOMPARE(title, QString("Add a remote Peer"));
        QCOMPARE(macBox, tunnel && !oldFirmware);
        QTRY_VERIFY_WITH_TIMEOUT(peerNamed(s, "Desk 2") && lists.peerRow(peerNamed(s, "Desk 2")->id), Long);
    } else if (action == "edit") {
        whenModal<AddEntry>([&](AddEntry *d) {
            observe(d);
            if (addr.startsWith('['))
                saveScreenshot(d, "peer-dialog.png");
            d->accept();
        });
        QVERIFY(actions.editPeer(s, lists.peers.selectedPeer(), nullptr));
        QCOMPARE(title, QString("Edit peer"));
        QCOMPARE(shownAddr, addr);
    } else {
        QVERIFY(PeerActions::removePeer(s, lists.peers.selectedPeer()));
        QTRY_VERIFY_WITH_TIMEOUT(!lists.peerRow(id), Long);
    }
    if (action != "remove")
        QCOMPARE(tunnelBox, !oldFirmware);
    expected = fill(expected, {addr, id, tunnel ? mac : QString(), tunnel ? "true" : "false"});
    QCOMPARE(received(rig, s, mark, {"addPeer", "setPeerSettings", "removePeer"}), QStringList{expected});
}

void UiConnectionsLive::connectCases_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("profile"); // "stored", "default", "" (none selected)
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("already on the profile") << "1" << "stored" << QStringList{"connect id=\"1\""};
    QTest::newRow("follows the default, default chosen") << "2" << "default" << QStringList{"connect id=\"2\""};
    QTest::newRow("another profile")
        << "1" << "default"
        << QStringList{"setPeerSettings id=\"1\" profile=\"%1\" seq=\"setPeerSettings\"",
                       "connect id=\"1\""};
    QTest::newRow("no profile selected") << "1" << "" << QStringList{};
}

void UiConnectionsLive::connectCases()
{
    QFETCH(QString, peer);
    QFETCH(QString, profile);
    QFETCH(QStringList, expected);
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = ready(rig);
    QVERIFY(s);
    const QString def = s->defaultProfileId();
    const QString other = userProfile(s);
    s->setPeerSettings(1, other.toInt());
    s->setPeerSettings(2, 0);
    QTRY_VERIFY_WITH_TIMEOUT(s->peersById().value(1)->profile == other.toInt() && s->peersById().value(2)->profile == 0,
                             Long);
    // Peer 2 may follow the default already: its request changes no list, so wait for it to arrive.
    QTRY_VERIFY_WITH_TIMEOUT(rig.count("setPeerSettings/setPeerSettings") >= 2, Long);
    Lists lists(s);
    lists.selectPeer(peer);
    if (!profile.isEmpty())
        lists.selectProfile(profile == "stored" ? other : def);

    const size_t mark = rig.requests().size();
    QCOMPARE(ConnectionActions::connectPeer(s, lists.peers.selectedPeer(), lists.profiles.selectedProfile()),
             !expected.isEmpty());
    if (!expected.isEmpty()) {
        // The row turns connected in place and keeps its selection.
        QTRY_VERIFY_WITH_TIMEOUT(lists.peerRow(peer)->data(0, ItemRoles::PeerConnected).toBool(), Long);
        QCOMPARE(lists.peers.selectedPeer().id, peer);
    }
    for (QString &e : expected)
        e = fill(e, {def});
    QCOMPARE(received(rig, s, mark, {"connect", "setPeerSettings"}), expected);
}

void UiConnectionsLive::connectThroughTheDialog()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = ready(rig);
    QVERIFY(s);
    SessionTable none;
    ConnectionActions actions(none, [s] { return s; });
    const QString def = s->defaultProfileId();
    const PeerMetaPtr first = s->addressPeers().first();
    const size_t mark = rig.requests().size();
    QString title, firstRow;
    int rows = 0;
    QList<bool> okEnabled; // none chosen, a peer alone (would connect with profile 0), both
    whenModal<ConnectionDialog>([&](ConnectionDialog *d) {
        title = d->windowTitle();
        auto *peers = child<QListWidget>(d, "peerList");
        auto *profiles = child<QListWidget>(d, "profileList");
        rows = peers->count();
        firstRow = peers->item(0)->text();
        QPushButton *ok = child<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok);
        okEnabled << ok->isEnabled();
        peers->setCurrentRow(0);
        okEnabled << ok->isEnabled();
        for (int i = 0; i < profiles->count(); ++i) {
            if (profiles->item(i)->data(ItemRoles::ProfileId).toString() == def)
                profiles->setCurrentRow(i);
        }
        okEnabled << ok->isEnabled();
        ok->isEnabled() ? ok->click() : d->reject();
    });
    QVERIFY(actions.showConnectDialog(s, nullptr));
    QCOMPARE(title, QString("Connection setup"));
    QCOMPARE(rows, s->allPeers().size());
    QCOMPARE(firstRow, QString("%1 (%2)").arg(first->name, first->host));
    QCOMPARE(okEnabled, (QList<bool>{false, false, true}));
    QTRY_VERIFY_WITH_TIMEOUT(s->peersById().value(first->numericId())->active, Long);
    QCOMPARE(received(rig, s, mark, {"connect"}), QStringList{"connect id=\"" + first->id + "\""});
}

void UiConnectionsLive::endingCalls()
{
    codecsim::Options o;
    o.count = 3;
    o.activePeers = 2;
    SimRig rig(o);
    QVERIFY(rig.ok());
    SessionTable table;
    IPCObject *one = ready(rig, 0);
    IPCObject *two = ready(rig, 1);
    QVERIFY(one && two);
    IPCObject *refused = rig.connect(2, "wrong");
    for (IPCObject *s : {one, two, refused})
        table.insert(s);
    QTRY_COMPARE_WITH_TIMEOUT(refused->state(), State::AUTH_FAILED, Long);
    ConnectionActions actions(table, [one] { return one; });
    const QString a = QString::number(one->activePeerIds().at(0));
    const QString b = QString::number(one->activePeerIds().at(1));

    // One call by the selected row, one by the id a statistics row carries, then all of the second codec's.
    Lists lists(one);
    lists.selectPeer(a);
    size_t mark = rig.requests(0).size();
    QVERIFY(ConnectionActions::disconnectPeer(one, lists.peers.selectedPeer()));
    QVERIFY(ConnectionActions::disconnectPeerById(one, b.toInt()));
    QTRY_VERIFY_WITH_TIMEOUT(one->activePeers().isEmpty(), Long);
    QCOMPARE(received(rig, one, mark, {"disconnect"}), (QStringList{"disconnect id=\"" + a + '"', "disconnect id=\"" + b + '"'}));
    mark = rig.requests(1).size();
    QVERIFY(ConnectionActions::disconnectAll(two));
    QTRY_VERIFY_WITH_TIMEOUT(two->activePeers().isEmpty(), Long);
    QCOMPARE(received(rig, two, mark, {"disconnect"}, 1), QStringList{"disconnect"});

    // The fleet: every ready codec, the refused one skipped.
    QVERIFY(one->connectPeer(a, one->defaultProfileId()));
    QTRY_VERIFY_WITH_TIMEOUT(!one->activePeers().isEmpty(), Long);
    const size_t mark0 = rig.requests(0).size(), mark1 = rig.requests(1).size();
    QCOMPARE(actions.disconnectAllFleet(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(one->activePeers().isEmpty(), Long);
    QCOMPARE(received(rig, one, mark0, {"disconnect"}), QStringList{"disconnect"});
    QCOMPARE(received(rig, two, mark1, {"disconnect"}, 1), QStringList{"disconnect"});
    QCOMPARE(rig.count("disconnect", 2), 0);
}

void UiConnectionsLive::profileOperations_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("expected"); // %1 the default's id, %2 its name, %3 another user profile's id

    QTest::newRow("duplicate the default") << "duplicate" << "copyProfile id=\"%1\" name=\"%2 (Copy)\"";
    QTest::newRow("set default") << "default" << "setProfile default=\"true\" id=\"%3\" seq=\"setProfile\"";
    QTest::newRow("remove, answered yes") << "remove yes" << "deleteProfile id=\"%3\"";
    QTest::newRow("remove, answered no") << "remove no" << "";
    const QString assign = "setPeerSettings id=\"1\" profile=\"%1\" seq=\"setPeerSettings\"";
    QTest::newRow("assign to the peer") << "assign" << assign.arg("%3");
    QTest::newRow("assign the default") << "assign default" << assign.arg("0");
}

void UiConnectionsLive::profileOperations()
{
    QFETCH(QString, operation);
    QFETCH(QString, expected);
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = ready(rig);
    QVERIFY(s);
    Lists lists(s);
    const QString def = s->defaultProfileId();
    const QString user = userProfile(s);
    const QString defName = lists.profileRow(def)->data(ItemRoles::ProfileName).toString();
    QCOMPARE(lists.profileRow(def)->text(), '<' + defName + '>');
    lists.selectPeer("1");
    lists.selectProfile(operation == "duplicate" ? def : user);

    const size_t mark = rig.requests().size();
    const SelectedProfile profile = lists.profiles.selectedProfile();
    if (operation == "duplicate") {
        QVERIFY(ProfileActions::duplicate(s, profile));
        QTRY_VERIFY_WITH_TIMEOUT(!lists.list.findItems(defName + " (Copy)", Qt::MatchExactly).isEmpty(), Long);
    } else if (operation == "default") {
        QVERIFY(ProfileActions::setDefault(s, profile));
        QTRY_COMPARE_WITH_TIMEOUT(lists.profileRow(user)->text(), '<' + profile.name + '>', Long);
        QCOMPARE(lists.profiles.selectedProfile().id, user); // the refill keeps the selection
    } else if (operation.startsWith("remove")) {
        const bool yes = operation.endsWith("yes");
        QString question;
        whenModal<QMessageBox>([&](QMessageBox *box) {
            question = box->windowTitle() + ": " + box->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QCOMPARE(ProfileActions::remove(s, profile, nullptr), yes);
        QCOMPARE(question, QString("Remove Profile: Do you want to remove this profile?"));
        if (yes)
            QTRY_VERIFY_WITH_TIMEOUT(!lists.profileRow(user), Long);
    } else if (operation == "assign") {
        QVERIFY(ProfileActions::assign(s, lists.peers.selectedPeer(), profile));
        QTRY_COMPARE_WITH_TIMEOUT(lists.peerRow("1")->data(0, ItemRoles::PeerProfile).toString(), user, Long);
    } else {
        QVERIFY(ProfileActions::assignDefault(s, lists.peers.selectedPeer()));
    }
    const QStringList names = {"copyProfile", "setProfile", "deleteProfile", "setPeerSettings"};
    const QStringList want = expected.isEmpty() ? QStringList{} : QStringList{fill(expected, {def, defName, user})};
    QCOMPARE(received(rig, s, mark, names), want);
}

void UiConnectionsLive::copiesToASecondCodec()
{
    // The codecs send only the keys their firmware uses ("pw", "weftline").
    codecsim::Options o;
    o.count = 2;
    o.shortPeerKeys = true;
    SimRig rig(o);
    QVERIFY(rig.ok());
    SessionTable table;
    IPCObject *from = ready(rig, 0);
    IPCObject *to = ready(rig, 1);
    QVERIFY(from && to);
    table.insert(from);
    table.insert(to);
    from->addPeer("Relay", "10.0.0.66:9001", "secret", "02:5E:00:00:00:66");
    QTRY_VERIFY_WITH_TIMEOUT(peerNamed(from, "Relay"), Long);
    Lists lists(from);
    lists.selectPeer(peerNamed(from, "Relay")->id);
    lists.selectProfile(from->defaultProfileId());
    const QString name = lists.profiles.selectedProfile().name;
    const QString targetDefault = to->defaultProfileId();
    const size_t mark0 = rig.requests(0).size(), mark1 = rig.requests(1).size();

    auto sameName = [&] {
        return std::count_if(to->profiles().begin(), to->profiles().end(),
                             [&](const ProfileSummary &p) { return p.name == name; });
    };
    const auto namedBefore = sameName();

    QStringList offered; // each dialog's rows as "text/check state"
    auto chooseTheOther = [&](SendDialog *d) {
        auto *rows = child<QListWidget>(d, "deviceList");
        for (int i = 0; i < rows->count(); ++i)
            offered << rows->item(i)->text() + '/' + QString::number(rows->item(i)->checkState());
        rows->item(0)->setCheckState(Qt::Checked);
        saveScreenshot(d, "copy-dialog.png");
        d->accept();
    };
    whenModal<SendDialog>(chooseTheOther);
    QCOMPARE(PeerActions(table, [from] { return from; }).copyToDevices(from, lists.peers.selectedPeer(), nullptr), 1);
    whenModal<SendDialog>(chooseTheOther);
    QCOMPARE(ProfileActions(table).copyToDevices(from, lists.profiles.selectedProfile(), nullptr), 1);
    const QString row = to->unitName() + " : 127.0.0.1/0";
    QCOMPARE(offered, (QStringList{row, row}));

    QTRY_VERIFY_WITH_TIMEOUT(peerNamed(to, "Relay"), Long);
    QTRY_COMPARE_WITH_TIMEOUT(sameName(), namedBefore + 1, Long);
    const PeerMetaPtr copy = peerNamed(to, "Relay");
    QCOMPARE(copy->password, QString("secret"));
    QVERIFY(copy->weftline);
    QCOMPARE(copy->addr, QString("10.0.0.66:9001"));
    QCOMPARE(to->defaultProfileId(), targetDefault); // a copy, not the other codec's new default
    const QStringList got = received(rig, to, mark1, {"addPeer", "addProfile", "setProfile"}, 1);
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[0], QString("addPeer addr=\"10.0.0.66:9001\" name=\"Relay\" password=\"secret\" "
                             "unit=\"02:5E:00:00:00:66\" use_weftline=\"true\""));
    QCOMPARE(got[1], QString("addProfile seq=\"addProfile\""));
    QVERIFY(got[2].startsWith("setProfile default=\"false\" id="));
    QCOMPARE(received(rig, from, mark0, {"addPeer", "addProfile", "setProfile"}), QStringList{});
}

void UiConnectionsLive::listsFollowTheDevice()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = ready(rig);
    QVERIFY(s);
    Lists lists(s);
    QCOMPARE(lists.tree.topLevelItemCount(), s->allPeers().size());
    const PeerMetaPtr kept = s->addressPeers().at(1);
    lists.selectPeer(kept->id);
    QTreeWidgetItem *row = lists.peerRow(kept->id);
    lists.peerFilter.setText(kept->name.toUpper());
    QCOMPARE(lists.peerFilter.styleSheet(), QString("background-color: #FF6;"));
    lists.profileFilter.setText("(Copy)");
    QCOMPARE(lists.profileFilter.styleSheet(), QString("background-color: #F64;"));

    // A new entry: updated in place, the selected row kept, the new one filtered out.
    s->addPeer("Newcomer", "10.9.9.9", "");
    QTRY_VERIFY_WITH_TIMEOUT(peerNamed(s, "Newcomer") && lists.peerRow(peerNamed(s, "Newcomer")->id), Long);
    QCOMPARE(lists.peerRow(kept->id), row);
    QVERIFY(row->isSelected() && !row->isHidden());
    QVERIFY(lists.peerRow(peerNamed(s, "Newcomer")->id)->isHidden());
    QCOMPARE(lists.tree.topLevelItemCount(), s->allPeers().size());

    // A new profile list: the profile filter applies to the rebuilt rows.
    lists.selectProfile(s->defaultProfileId());
    QVERIFY(ProfileActions::duplicate(s, lists.profiles.selectedProfile()));
    QTRY_COMPARE_WITH_TIMEOUT(lists.profileFilter.styleSheet(), QString("background-color: #FF6;"), Long);
    int shown = 0;
    for (int i = 0; i < lists.list.count(); ++i)
        shown += !lists.list.item(i)->isHidden();
    QCOMPARE(shown, 1);
    lists.peerFilter.clear();
    QCOMPARE(lists.peerFilter.styleSheet(), QString("background-color: #FFF;"));
    QVERIFY(!lists.peerRow(peerNamed(s, "Newcomer")->id)->isHidden());
}

QTEST_MAIN(UiConnectionsLive)
#include "tst_ui_connections_live.moc"
