// The tunnel pane: the delay slider's zones, the interface buttons' labels
// and colours, and against a simulated codec a tunnel call whose buttons
// come and go, whose delay is set with the slider and the automatic box,
// and whose updates from the codec never echo a command back.

#include "../device/simrig.h"
#include "weftline/delayslider.h"
#include "weftline/graphers.h"
#include "weftline/ifcbutton.h"
#include "tunnelinfo.h"
#include "weftline/weftlinestats.h"

#include <QCheckBox>
#include <QRadioButton>

namespace {

using State = IQEndpointClient::DEVICE_STATE;
const int Long = 20000; // generous: the machine may be busy

QStringList labels(WeftlineStats &pane, bool receive = false)
{
    QStringList out;
    const QString suffix = QStringLiteral("_rx");
    for (IFCButton *b : pane.findChildren<IFCButton *>()) {
        if (b->objectName().endsWith(suffix) == receive)
            out << QStringLiteral("%1 %2").arg(b->index()).arg(b->text());
    }
    out.sort();
    return out;
}

int visibleButtons(WeftlineStats &pane)
{
    int n = 0;
    for (IFCButton *b : pane.findChildren<IFCButton *>())
        n += b->isVisibleTo(&pane);
    return n;
}

std::vector<Message> maxDelays(const SimRig &rig)
{
    std::vector<Message> out;
    for (const Request &r : rig.requests()) {
        if (r.text == "setMaxDelay")
            out.push_back(r.message);
    }
    return out;
}

/** Drags @p slider to @p value and lets go, as the mouse would. */
void dragTo(QSlider *slider, int value)
{
    slider->setSliderDown(true);
    slider->setValue(value);
    slider->setSliderDown(false);
}

} // namespace

class WeftlineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceMetaTypes(); }
    void zones_data();
    void zones();
    void buttonLabelsAndColours_data();
    void buttonLabelsAndColours();
    void tunnelCall();
    void reselectingConnectsOnce();
};

void WeftlineTest::zones_data()
{
    QTest::addColumn<QList<int>>("points");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QList<int>>("zones");
    QTest::addColumn<QString>("right");
    QTest::newRow("even") << QList<int>{20, 40, 60, 80, 100} << 100 << QList<int>{20, 20, 20, 20, 20} << "100ms";
    QTest::newRow("codec's") << QList<int>{60, 120, 200, 300, 400} << 400 << QList<int>{15, 15, 20, 25, 25}
                             << "400ms";
    QTest::newRow("rounded down") << QList<int>{10, 20, 30, 40, 300} << 300 << QList<int>{3, 3, 3, 3, 88} << "300ms";
    QTest::newRow("scale 0 changes nothing") << QList<int>{0, 0, 0, 0, 0} << 0 << QList<int>{0, 0, 0, 0, 100}
                                             << "100ms";
}

void WeftlineTest::zones()
{
    QFETCH(QList<int>, points);
    QFETCH(int, scale);
    QFETCH(QList<int>, zones);
    QFETCH(QString, right);
    DelaySlider slider;
    slider.setDelayPoints({{points[0], points[1], points[2], points[3], points[4]}}, scale);
    QList<int> got;
    for (int z : slider.zones())
        got << z;
    QCOMPARE(got, zones);
    QCOMPARE(slider.scaleText(), right);
    QCOMPARE(slider.maximum(), scale > 0 ? scale : 100);
    slider.setMaxPacketDelay(scale / 4, scale);
    QCOMPARE(slider.marker(), scale > 0 ? 25 : 0);
}

void WeftlineTest::buttonLabelsAndColours_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("ldesc");
    QTest::addColumn<QByteArray>("rdesc");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("first") << 0 << QByteArray("Ethernet") << QByteArray("Fibre") << "(0) Ethernet>Fibre"
                           << QColor(204, 0, 204);
    QTest::newRow("no remote description") << 1 << QByteArray("Cellular") << QByteArray() << "Connection 1:2"
                                           << QColor(0, 0, 255);
    QTest::newRow("no descriptions") << 2 << QByteArray() << QByteArray() << "Connection 1:2" << QColor(0, 255, 0);
    QTest::newRow("sixth") << 5 << QByteArray("a") << QByteArray("b") << "(5) a>b" << QColor(221, 0, 0);
    QTest::newRow("seventh is black") << 6 << QByteArray("a") << QByteArray("b") << "(6) a>b" << QColor(Qt::black);
}

void WeftlineTest::buttonLabelsAndColours()
{
    QFETCH(int, index);
    QFETCH(QByteArray, ldesc);
    QFETCH(QByteArray, rdesc);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    QWidget container;
    IFCButton b(&container, index, "1:2", ldesc, rdesc);
    QCOMPARE(b.text(), text);
    QCOMPARE(b.textColour(), colour);
    QVERIFY(b.isFlat());
    QVERIFY(!b.isEnabled());
    b.setDescriptions("L", "R");
    QCOMPARE(b.text(), QStringLiteral("(%1) L>R").arg(index));
}

void WeftlineTest::tunnelCall()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.connect();
    QTRY_COMPARE_WITH_TIMEOUT(s->state(), State::READY, Long);
    TunnelInfo *info = s->tunnelInfo();
    WeftlineStats pane;
    pane.setDevice(s);
    QSignalSpy colours(&pane, &WeftlineStats::statusChanged);
    QSignalSpy delays(info, &TunnelInfo::sessionDelayUpdate);
    QSignalSpy stats(info, &TunnelInfo::sessionStatsUpdate);
    // The buttons as the first statistics of the tunnel leave them (no descriptions known yet).
    QStringList first;
    connect(info, &TunnelInfo::sessionStatsUpdate, &pane, [&] {
        if (first.isEmpty())
            first = labels(pane);
    });

    const PeerMetaPtr peer = s->peersById().value(3);
    QVERIFY(peer && peer->weftline);
    QVERIFY(s->connectPeer("3", QString::number(peer->profile)));
    QTRY_VERIFY_WITH_TIMEOUT(!first.isEmpty(), Long);
    QCOMPARE(first, (QStringList{"0 Connection 1:1", "1 Connection 2:1", "2 Connection 3:2"}));
    QTRY_COMPARE_WITH_TIMEOUT(labels(pane), (QStringList{"0 (0) Ethernet>Fibre", "1 (1) Cellular 1>Fibre",
                                                         "2 (2) Cellular 2>Cellular"}),
                              Long);
    QCOMPARE(visibleButtons(pane), 3);
    QTRY_VERIFY_WITH_TIMEOUT(colours.count() >= 1, Long);
    QVERIFY(QStringList({"green", "yellow", "red"}).contains(pane.status()));

    // Delay updates from the codec set the boxes and sliders without a word back.
    QTRY_VERIFY_WITH_TIMEOUT(delays.count() >= 1 && stats.count() >= 3, Long);
    auto *txAuto = pane.findChild<QCheckBox *>("txAuto");
    auto *rxAuto = pane.findChild<QCheckBox *>("rxAuto");
    auto *txSlider = pane.findChild<DelaySlider *>("txSlider");
    QVERIFY(txAuto->isChecked());
    QVERIFY(!txSlider->isEnabled());
    QCOMPARE(txSlider->value(), info->session()->tx.maxAllowedDelay);
    QCOMPARE(txSlider->scaleText(), QStringLiteral("%1ms").arg(info->session()->tx.delayPoints[4]));
    QVERIFY(maxDelays(rig).empty());

    // The operator takes the transmit delay over and drags it to 5: 10 goes out.
    const int sid = info->session()->id;
    txAuto->click();
    QVERIFY(txSlider->isEnabled());
    dragTo(txSlider, 5);
    QCOMPARE(txSlider->value(), 10);
    QTRY_COMPARE_WITH_TIMEOUT(int(maxDelays(rig).size()), 2, Long);
    const Message released = maxDelays(rig).back();
    QCOMPARE(released.get_int("sid"), sid);
    QVERIFY(!released.get_bool("remote"));
    QVERIFY(!released.get_bool("auto"));
    QCOMPARE(released.get_int("delay"), 10);
    // The codec's next statistics carry the new maximum, and the pane shows it.
    QTRY_COMPARE_WITH_TIMEOUT(info->session()->tx.maxAllowedDelay, 10, Long);
    QVERIFY(!info->session()->tx.delayModeAuto);
    QCOMPARE(txSlider->value(), 10);
    QVERIFY(!txAuto->isChecked());

    // Receive: the automatic box sends no delay.
    pane.findChild<QRadioButton *>("radioRx")->click();
    QCOMPARE(labels(pane, true).size(), 3);
    QCOMPARE(visibleButtons(pane), 3);
    QVERIFY(!txSlider->isVisibleTo(&pane));
    rxAuto->click(); // off: a delay
    rxAuto->click(); // on again
    QTRY_COMPARE_WITH_TIMEOUT(int(maxDelays(rig).size()), 4, Long);
    const Message automatic = maxDelays(rig).back();
    QVERIFY(automatic.get_bool("remote"));
    QVERIFY(automatic.get_bool("auto"));
    QVERIFY(!automatic.has_attribute("delay"));
    QVERIFY(maxDelays(rig).at(2).has_attribute("delay"));

    // Another device shown: the model holds none of the pane's parts; back again: buttons at once.
    pane.setDevice(nullptr);
    QVERIFY(!info->session()->tx.grapher && !info->session()->rxUtilization && !info->session()->interfaceWidget);
    QCOMPARE(labels(pane).size(), 0);
    pane.setDevice(s);
    QCOMPARE(labels(pane).size(), 3);
    QCOMPARE(info->session()->rx.grapher,
             static_cast<TunnelGrapher *>(pane.findChild<LossLateRecoveryGrapher *>("rxLoss")));

    // The call ends: the buttons go, the colour turns grey.
    s->disconnectPeer(3);
    QTRY_COMPARE_WITH_TIMEOUT(labels(pane).size(), 0, Long);
    QTRY_COMPARE_WITH_TIMEOUT(pane.status(), QStringLiteral("gray"), Long);
    QCOMPARE(int(maxDelays(rig).size()), 4);
}

void WeftlineTest::reselectingConnectsOnce()
{
    SimRig rig;
    QVERIFY(rig.ok());
    IPCObject *s = rig.session(); // never connected: nothing arrives on its own
    WeftlineStats pane;
    QSignalSpy colours(&pane, &WeftlineStats::statusChanged);
    pane.setDevice(s);
    pane.setDevice(s);
    QCOMPARE(colours.count(), 1);
    emit s->tunnelInfo()->weftlineStatus(QStringLiteral("red"));
    QCOMPARE(colours.count(), 2);
    QCOMPARE(pane.status(), QStringLiteral("red"));

    pane.setDevice(nullptr);
    QCOMPARE(colours.last().at(0).toString(), QStringLiteral("gray"));
    emit s->tunnelInfo()->weftlineStatus(QStringLiteral("green"));
    QCOMPARE(colours.count(), 3);
}

QTEST_MAIN(WeftlineTest)
#include "tst_ui_weftline.moc"
