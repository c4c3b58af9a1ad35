// Delay and loss graphs: the scale rule and labels, and what a graph draws
// from its store (nothing without the selected key, the series colours with it).

#include "stats/delaygraph.h"
#include "graphdata.h"
#include "stats/graphscale.h"
#include "common/legendcolours.h"
#include "stats/lossgraph.h"

#include <QtTest>

#include <limits>
#include <memory>

namespace {

const QColor Background(0x40, 0x40, 0x40);

bool hasColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

} // namespace

class TestGraphs : public QObject
{
    Q_OBJECT

private slots:
    void scaleRule_data()
    {
        QTest::addColumn<int>("largest");
        QTest::addColumn<int>("scale");
        QTest::newRow("123: plus a sixteenth, rounded down") << 123 << 130;
        QTest::newRow("1600") << 1600 << 1700;
        QTest::newRow("15: nothing to add") << 15 << 15;
        QTest::newRow("zeros: at least 1") << 0 << 1;
        QTest::newRow("negative: at least 1") << -40 << 1;
        QTest::newRow("largest int: no overflow") << std::numeric_limits<int>::max() << std::numeric_limits<int>::max();
    }

    void scaleRule()
    {
        QFETCH(int, largest);
        QFETCH(int, scale);
        QCOMPARE(GraphScale::scaleMax(largest), scale);
    }

    void labels_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("123 tenths") << GraphScale::delayTopLabel(123) << "12.3ms";
        QTest::newRow("scale of zeros") << GraphScale::delayTopLabel(GraphScale::scaleMax(0)) << "0.1ms";
        QTest::newRow("whole") << GraphScale::delayTopLabel(1700) << "170.0ms";
        QTest::newRow("percent") << GraphScale::tenthsLabel(57, "%") << "5.7%";
        QTest::newRow("delay bottom") << GraphScale::delayBottomLabel() << "0ms";
        QTest::newRow("loss top") << GraphScale::lossTopLabel() << "100%";
        QTest::newRow("loss bottom") << GraphScale::lossBottomLabel() << "0%";
    }

    void labels()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void barHeight_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("height");
        QTest::newRow("half of a percentage") << 500 << 1000 << 60;
        QTest::newRow("the top") << 130 << 130 << 120;
        QTest::newRow("over the top stays inside") << 2000 << 1000 << 120;
        QTest::newRow("negative stays at the bottom") << -30 << 130 << 0;
        QTest::newRow("no 32-bit overflow") << 40000000 << 50000000 << 96;
    }

    void barHeight()
    {
        QFETCH(int, value);
        QFETCH(int, scale);
        QFETCH(int, height);
        QCOMPARE(GraphScale::barHeight(value, scale, 120), height);
    }

    void storeWithoutTheSelectedKeyDrawsNothing_data()
    {
        QTest::addColumn<bool>("delay");
        QTest::newRow("delay graph") << true;
        QTest::newRow("loss graph") << false;
    }

    void storeWithoutTheSelectedKeyDrawsNothing()
    {
        QFETCH(bool, delay);
        DelayGraphData delayStore;
        LossGraphData lossStore;
        delayStore.addSample(5, 400, 30, 450);
        lossStore.addSample(5, 500, 300, 200);
        std::unique_ptr<GraphWidget> graph, empty;
        if (delay) {
            auto *g = new DelayGraph;
            g->setData(&delayStore);
            graph.reset(g);
            empty.reset(new DelayGraph);
        } else {
            auto *g = new LossGraph;
            g->setData(&lossStore);
            graph.reset(g);
            empty.reset(new LossGraph);
        }
        QCOMPARE(graph->minimumSize(), QSize(200, 120));
        QCOMPARE(graph->styleSheet(), QString("GraphWidget{ background-color: #404040; border: grey solid 1px;}"));
        graph->resize(300, 150);
        empty->resize(300, 150);
        const QImage nothing = empty->grab().toImage();
        QCOMPARE(nothing.pixelColor(150, 75), Background);
        QCOMPARE(graph->grab().toImage(), nothing); // current key 0: no series

        GraphData &store = delay ? static_cast<GraphData &>(delayStore) : lossStore;
        store.setCurrentKey(5);
        QVERIFY(graph->grab().toImage() != nothing);
        graph->disable();
        QCOMPARE(graph->grab().toImage(), nothing);
    }

    void delayGraphDrawsItsSeries()
    {
        DelayGraphData store;
        DelayGraph graph;
        graph.setData(&store);
        graph.resize(379, 150); // plot 300 wide: step 10, bars 8
        store.addSample(0, 0, 0, 0); // a call just starting: scale 1, nothing to divide by zero
        QCOMPARE(graph.currentScale(), 1);
        QVERIFY(!graph.grab().isNull());
        store.addSample(0, 1200, 300, 1100);
        QCOMPARE(graph.currentScale(), 1275);
        const QImage image = graph.grab().toImage();
        // Newest sample at the right end of the plot: x 290..297; delay 1200 of 1275 in 150.
        const int top = 150 - GraphScale::barHeight(1200, 1275, 150);
        QCOMPARE(image.pixelColor(290, top + 2), LegendColours::Delay.color());
        QCOMPARE(image.pixelColor(290, 148), LegendColours::Delay.color());
        QCOMPARE(image.pixelColor(294, 148), LegendColours::Jitter.color());
        QCOMPARE(image.pixelColor(290, top - 4), Background);
        QVERIFY(hasColour(image, LegendColours::TargetPen.color()));
        QVERIFY(hasColour(image.copy(379 - 74, 0, 74, 16), Qt::white)); // "127.5ms"
    }

    void lossGraphDrawsItsSeries()
    {
        LossGraphData store;
        LossGraph graph;
        graph.setData(&store);
        graph.resize(379, 150);
        store.addSample(0, 500, 200, 800);
        store.addSample(0, 1000, 100, 700);
        const QImage image = graph.grab().toImage();
        QCOMPARE(image.pixelColor(292, 2), LegendColours::FrameLoss.color()); // 100% reaches the top
        QCOMPARE(image.pixelColor(282, 76), LegendColours::FrameLoss.color()); // 50%: half
        QCOMPARE(image.pixelColor(282, 72), Background);
        QVERIFY(hasColour(image, LegendColours::RemoteLoss.color()));
        QVERIFY(hasColour(image, LegendColours::Correction.color()));
    }

    void outlivesItsStore()
    {
        LossGraph graph;
        graph.resize(300, 150);
        auto *store = new LossGraphData;
        graph.setData(store);
        store->addSample(0, 300, 0, 0);
        delete store; // the session went away
        QVERIFY(!graph.graphData());
        QCOMPARE(graph.grab().toImage().pixelColor(150, 148), Background);
    }
};

QTEST_MAIN(TestGraphs)
#include "tst_ui_graphs.moc"
