// Level meters: the dBFS mapping, the bar's style and pixels, the mini and
// monitoring meters' structure, and a bar repainting only when it changes.

#include "meters/dbscale.h"
#include "meters/meterwidget.h"
#include "meters/minimeter.h"
#include "meters/monitoringmeter.h"

#include <QtTest>

#include <QLabel>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

const QColor Cover(64, 64, 64);
const QColor Peak(100, 170, 255);

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

} // namespace

class TestMeters : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data()
    {
        QTest::addColumn<float>("dBFS");
        QTest::addColumn<float>("fraction");
        const float inf = std::numeric_limits<float>::infinity();
        QTest::newRow("0 dBFS: full") << 0.0f << 1.0f;
        QTest::newRow("+3 dBFS: full") << 3.0f << 1.0f;
        QTest::newRow("-36 dBFS: half") << -36.0f << 0.5f;
        QTest::newRow("-6 dBFS") << -6.0f << 11.0f / 12.0f;
        QTest::newRow("-72 dBFS: empty") << -72.0f << 0.0f;
        QTest::newRow("-100 dBFS: empty") << -100.0f << 0.0f;
        QTest::newRow("missing attribute: empty") << 1.1754944e-38f << 0.0f;
        QTest::newRow("NaN: empty") << std::numeric_limits<float>::quiet_NaN() << 0.0f;
        QTest::newRow("+inf: empty") << inf << 0.0f;
        QTest::newRow("-inf: empty") << -inf << 0.0f;
    }

    void mapping()
    {
        QFETCH(float, dBFS);
        QFETCH(float, fraction);
        QVERIFY2(std::fabs(DbScale::fraction(dBFS) - fraction) < 1e-6f, qPrintable(QString::number(DbScale::fraction(dBFS))));
    }

    void styleSheets()
    {
        QCOMPARE(MeterWidget::verticalStyleSheet(),
                 QString("background: qlineargradient( x1:0 y2:0, x2:0 y1:1, stop:0 #0c2, stop:0.5 #3d0, stop:0.75 "
                         "#ee0, stop:0.833333 #df0, stop:0.916667 #ea0, stop:0.92 #f00);"));
        QCOMPARE(MeterWidget::horizontalStyleSheet(),
                 QString("background: qlineargradient( x1:0 y2:0, x2:1 y1:0, stop:0 #0c2, stop:0.5 #2e1, stop:0.75 "
                         "#ee0, stop:0.833333 #df0, stop:0.916667 #ea0, stop:0.92 #f00);"));
        MeterWidget meter;
        QCOMPARE(meter.styleSheet(), MeterWidget::verticalStyleSheet());
        meter.setHorizontal();
        QCOMPARE(meter.styleSheet(), MeterWidget::horizontalStyleSheet());
    }

    void peakStripAtOneTwelfth_data()
    {
        QTest::addColumn<bool>("horizontal");
        QTest::newRow("vertical") << false;
        QTest::newRow("horizontal: a vertical strip") << true;
    }

    void peakStripAtOneTwelfth()
    {
        QFETCH(bool, horizontal);
        MeterWidget meter;
        meter.setHorizontal(horizontal);
        meter.resize(horizontal ? QSize(120, 24) : QSize(24, 120));
        meter.setLevel(DbScale::fraction(-36.0f), DbScale::fraction(-6.0f));
        QImage image = meter.grab().toImage();
        // Along the bar from its empty end: 0 is the bottom, or the left end.
        auto at = [&](int along, int across) {
            return horizontal ? image.pixelColor(along, across) : image.pixelColor(across, 119 - along);
        };
        for (int across : {0, 12, 23}) {
            // -6 dBFS: 2 pixels at 1/12 of the length from the full end.
            const int strip = horizontal ? 110 : 109;
            const int inward = horizontal ? 1 : -1;
            QCOMPARE(at(strip, across), Peak);
            QCOMPARE(at(strip + inward, across), Peak);
            QCOMPARE(at(strip + 2 * inward, across), Cover);
            QCOMPARE(at(strip - inward, across), Cover);
            // -36 dBFS: the dark cover from half the bar on, the gradient below.
            QCOMPARE(at(61, across), Cover);
            QVERIFY(at(58, across) != Cover);
        }
        // A zero peak (reset) leaves no strip on either kind of bar.
        meter.setLevel(0.0f, 0.0f);
        image = meter.grab().toImage();
        for (int along = 0; along < 120; ++along)
            QCOMPARE(at(along, 12), Cover);
    }

    void miniMeter()
    {
        MiniMeter mini;
        QCOMPARE(mini.objectName(), QString("MiniMeter"));
        QCOMPARE(mini.size(), QSize(180, 50));
        QCOMPARE(mini.minimumSize(), QSize(90, 25));
        QCOMPARE(mini.maximumSize(), QSize(180, 60));
        QCOMPARE(mini.layout()->spacing(), 2);
        QCOMPARE(mini.layout()->contentsMargins(), QMargins(1, 1, 1, 1));
        const char *const bars[4] = {"rxl", "rxr", "txl", "txr"};
        for (int i = 0; i < 4; ++i) {
            auto *box = mini.findChild<QWidget *>(QString::fromLatin1(bars[i]).left(2));
            QVERIFY(box && qobject_cast<QVBoxLayout *>(box->layout()));
            QCOMPARE(box->styleSheet(), QString("background-color: grey;"));
            QCOMPARE(box->layout()->spacing(), 1);
            QCOMPARE(box->layout()->contentsMargins(), QMargins(2, 1, 2, 1));
            QCOMPARE(box->findChild<MeterWidget *>(bars[i]), mini.bar(i));
            QVERIFY(mini.bar(i)->isHorizontal());
        }

        mini.levels(0.0f, -36.0f, -72.0f, 1.1754944e-38f);
        const float levels[4] = {1.0f, 0.5f, 0.0f, 0.0f};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(mini.bar(i)->level(), levels[i]);
        QVERIFY(!mini.bar(0)->hasPeak());
        mini.allLevels(-36.0f, -36.0f, -36.0f, -36.0f, -6.0f, 0.0f, -72.0f, -36.0f);
        const float peaks[4] = {11.0f / 12.0f, 1.0f, 0.0f, 0.5f};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(mini.bar(i)->peak(), peaks[i]);
        mini.reset();
        for (int i = 0; i < 4; ++i)
            QVERIFY(mini.bar(i)->level() == 0.0f && mini.bar(i)->peak() == 0.0f);
    }

    void monitoringMeterScale()
    {
        MonitoringMeter meter;
        meter.resize(200, 300);
        meter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&meter));
        QVERIFY(meter.findChild<QLabel *>("dbfsLabel"));
        QCOMPARE(meter.findChild<QLabel *>("dbfsLabel")->text(), QString("dBFS"));
        const QStringList texts{"0", "-6", "-12", "-36", "-72"};
        for (int size : {300, 420}) {
            meter.resize(200, size);
            const QRect bar = meter.bar(0)->geometry();
            QTRY_COMPARE(meter.bar(0)->height(), bar.height());
            for (int i = 0; i < 5; ++i) {
                QLabel *label = meter.scaleLabel(i);
                QCOMPARE(label->text(), texts[i]);
                const int centre = bar.top() + qRound(bar.height() * (1.0f - DbScale::fraction(float(MonitoringMeter::ScaleDb[i]))));
                QTRY_VERIFY(qAbs(label->geometry().center().y() - centre) <= 1);
                QVERIFY(label->geometry().right() < bar.left());
            }
        }
        meter.allLevels(-36.0f, -36.0f, -72.0f, 0.0f, -6.0f, -6.0f, -72.0f, 0.0f);
        QCOMPARE(meter.bar(1)->level(), 0.5f);
        QCOMPARE(meter.bar(3)->peak(), 1.0f);
        QVERIFY(!meter.bar(0)->isHorizontal());
    }

    void barRepaintsOnlyWhenItsPixelsChange()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *quiet = new MeterWidget;
        auto *moving = new MeterWidget;
        layout->addWidget(quiet);
        layout->addWidget(moving);
        window.resize(40, 240);
        quiet->setLevel(0.5f);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PaintCounter quietPaints;
        PaintCounter movingPaints;
        quiet->installEventFilter(&quietPaints);
        moving->installEventFilter(&movingPaints);
        // Let the first whole-window paints pass.
        moving->setLevel(0.1f);
        QTRY_VERIFY(movingPaints.count > 0);
        quietPaints.count = movingPaints.count = 0;

        // The same level, and one that lands on the same pixel row: no repaint.
        // The other bar's repaint in the same window shows the event loop got there.
        quiet->setLevel(0.5f);
        quiet->setLevel(0.5f + 0.1f / quiet->height());
        moving->setLevel(0.8f);
        QTRY_COMPARE(movingPaints.count, 1);
        QCOMPARE(quietPaints.count, 0);

        quiet->setLevel(0.25f);
        QTRY_COMPARE(quietPaints.count, 1);
    }
};

QTEST_MAIN(TestMeters)
#include "tst_ui_meters.moc"
