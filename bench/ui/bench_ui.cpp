// The selected device's meters and graphs under a live feed, on the offscreen
// platform: levels every 70 ms into a monitoring meter and a mini meter, one
// statistics update per second into both graphs. Prints the GUI thread's CPU
// share over the run and the time each widget takes to paint once.
//
//   bench_ui [--seconds N] [--shots DIR]
//
// --shots renders each widget with sample data into DIR as PNG and exits.

#include "stats/delaygraph.h"
#include "graphdata.h"
#include "stats/lossgraph.h"
#include "meters/meterwidget.h"
#include "meters/minimeter.h"
#include "meters/monitoringmeter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

double threadCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Counts paints of one widget.
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

// Levels that move like programme audio: a slow swell, a faster wobble, and
// a peak that holds above them.
struct LevelSource
{
    double t = 0;
    float level(int channel) const
    {
        return float(-30.0 + 18.0 * std::sin(t * 0.9 + channel) + 6.0 * std::sin(t * 7.3 + 2 * channel));
    }
    void next(float out[8])
    {
        t += 0.07;
        for (int i = 0; i < 4; ++i) {
            out[i] = level(i);
            out[4 + i] = std::min(0.0f, out[i] + 4.0f);
        }
    }
};

void addStatistics(DelayGraphData &delay, LossGraphData &loss, int n)
{
    const int delayTenths = 400 + int(150 * std::sin(n * 0.4)) + (n % 5) * 20;
    delay.addSample(0, delayTenths, 30 + (n * 37) % 90, 450);
    loss.addSample(0, (n * 53) % 220, 80 + int(60 * std::sin(n * 0.3)), 150 + (n * 29) % 120);
}

double paintMicroseconds(QWidget *w, int rounds)
{
    w->grab(); // first one builds the style sheet caches
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        w->grab();
    return double(timer.nsecsElapsed()) / 1000.0 / rounds;
}

int renderShots(const QString &dir, DelayGraphData &delay, LossGraphData &loss)
{
    QDir().mkpath(dir);
    MeterWidget vertical;
    vertical.resize(24, 160);
    vertical.setLevel(0.5f, 11.0f / 12.0f);
    MeterWidget horizontal;
    horizontal.setHorizontal();
    horizontal.resize(160, 14);
    horizontal.setLevel(0.75f, 11.0f / 12.0f);
    MiniMeter mini;
    mini.allLevels(-12.0f, -20.0f, -40.0f, -4.0f, -6.0f, -14.0f, -30.0f, -1.0f);
    MonitoringMeter meter;
    meter.resize(meter.minimumSizeHint());
    meter.show(); // lays the scale out
    QCoreApplication::processEvents();
    meter.allLevels(-12.0f, -20.0f, -40.0f, -4.0f, -6.0f, -14.0f, -30.0f, -1.0f);
    DelayGraph delayGraph;
    delayGraph.resize(420, 160);
    delayGraph.setData(&delay);
    LossGraph lossGraph;
    lossGraph.resize(420, 160);
    lossGraph.setData(&loss);
    const std::pair<QWidget *, const char *> shots[] = {
        {&vertical, "meter-vertical"}, {&horizontal, "meter-horizontal"}, {&mini, "minimeter"},
        {&meter, "monitoringmeter"},   {&delayGraph, "delaygraph"},       {&lossGraph, "lossgraph"},
    };
    for (const auto &shot : shots) {
        const QString path = dir + QLatin1Char('/') + QLatin1String(shot.second) + QStringLiteral(".png");
        if (!shot.first->grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption secondsOption("seconds", "Length of the run.", "N", "20");
    QCommandLineOption shotsOption("shots", "Render the widgets into DIR and exit.", "DIR");
    parser.addOptions({secondsOption, shotsOption});
    parser.process(app);

    DelayGraphData delay;
    LossGraphData loss;
    int update = 0;
    // A call under way: full histories from the start.
    for (; update < GraphData::DefaultCapacity; ++update)
        addStatistics(delay, loss, update);
    if (parser.isSet(shotsOption))
        return renderShots(parser.value(shotsOption), delay, loss);

    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *meter = new MonitoringMeter;
    auto *mini = new MiniMeter;
    auto *graphs = new QVBoxLayout;
    auto *delayGraph = new DelayGraph;
    auto *lossGraph = new LossGraph;
    delayGraph->setData(&delay);
    lossGraph->setData(&loss);
    layout->addWidget(meter);
    mini->setFixedSize(180, 50); // a tile's size
    layout->addWidget(mini, 0, Qt::AlignTop);
    graphs->addWidget(delayGraph);
    graphs->addWidget(lossGraph);
    layout->addLayout(graphs, 1);
    window.resize(900, 420);
    window.show();

    QWidget *const watched[] = {meter, mini, delayGraph, lossGraph};
    const char *const names[] = {"MonitoringMeter", "MiniMeter", "DelayGraph", "LossGraph"};
    // A meter's bars repaint, not the meter: count what is painted.
    PaintCounter counters[4];
    QList<QWidget *> painted[4] = {{}, {}, {delayGraph}, {lossGraph}};
    for (int i = 0; i < 4; ++i) {
        painted[0] << meter->bar(i);
        painted[1] << mini->bar(i);
    }

    LevelSource source;
    QTimer levels;
    levels.setInterval(70);
    QObject::connect(&levels, &QTimer::timeout, [&] {
        float l[8];
        source.next(l);
        mini->levels(l[0], l[1], l[2], l[3]);
        meter->allLevels(l[0], l[1], l[2], l[3], l[4], l[5], l[6], l[7]);
    });
    QTimer statistics;
    statistics.setInterval(1000);
    QObject::connect(&statistics, &QTimer::timeout, [&] { addStatistics(delay, loss, update++); });

    const int seconds = parser.value(secondsOption).toInt();
    // Start measuring once the window has been shown and painted.
    QTimer::singleShot(500, [&] {
        for (int i = 0; i < 4; ++i) {
            for (QWidget *w : painted[i])
                w->installEventFilter(&counters[i]);
        }
        const double cpu0 = threadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        levels.start();
        statistics.start();
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&, cpu0, wall] {
            const double cpu = threadCpuSeconds() - cpu0;
            const double elapsed = double(wall.nsecsElapsed()) / 1e9;
            levels.stop();
            statistics.stop();
            std::printf("GUI thread CPU: %.3f s over %.2f s wall = %.2f %% of one core\n", cpu, elapsed,
                        100.0 * cpu / elapsed);
            std::printf("Paint events (of the meters' bars):\n");
            for (int i = 0; i < 4; ++i)
                std::printf("  %-16s %5d (%.1f/s)\n", names[i], counters[i].count, counters[i].count / elapsed);
            std::printf("Paint once (grab, mean of 200):\n");
            for (int i = 0; i < 4; ++i)
                std::printf("  %-16s %8.1f us  (%dx%d)\n", names[i], paintMicroseconds(watched[i], 200),
                            watched[i]->width(), watched[i]->height());
            std::printf("  %-16s %8.1f us  (%dx%d)\n", "MeterWidget", paintMicroseconds(meter->bar(0), 200),
                        meter->bar(0)->width(), meter->bar(0)->height());
            app.quit();
        });
    });
    return app.exec();
}
