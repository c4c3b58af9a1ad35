// An icon of image files read on first need: its sizes without reading,
// and then exactly the pixmaps of an icon given the same files.

#include "lazyiconengine.h"

#include <QtTest>

#include <QIcon>
#include <QImage>
#include <QPixmap>

class TestLazyIconEngine : public QObject
{
    Q_OBJECT

private slots:
    void readsNothingUntilAPixmapIsNeeded();
    void drawsAsTheFilesDo_data();
    void drawsAsTheFilesDo();

private:
    static LazyIconEngine::Files files();
};

LazyIconEngine::Files TestLazyIconEngine::files()
{
    LazyIconEngine::Files out;
    for (int size : {16, 32, 256})
        out.append({QStringLiteral(":/appicon/quorvane-%1.png").arg(size), QSize(size, size)});
    return out;
}

void TestLazyIconEngine::readsNothingUntilAPixmapIsNeeded()
{
    auto *engine = new LazyIconEngine(files());
    const QIcon icon(engine);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {256, 256}}));
    QVERIFY(icon.availableSizes(QIcon::Disabled).isEmpty());
    QVERIFY(!engine->isLoaded());
    QVERIFY(!icon.pixmap(32, 32).isNull());
    QVERIFY(engine->isLoaded());
    QVERIFY(LazyIconEngine::icon({}).isNull());
}

void TestLazyIconEngine::drawsAsTheFilesDo_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("modeValue");
    QTest::newRow("exact") << 32 << int(QIcon::Normal);
    QTest::newRow("between: scaled down") << 100 << int(QIcon::Normal);
    QTest::newRow("largest") << 256 << int(QIcon::Normal);
    QTest::newRow("disabled") << 16 << int(QIcon::Disabled);
}

void TestLazyIconEngine::drawsAsTheFilesDo()
{
    QFETCH(int, size);
    QFETCH(int, modeValue);
    const auto mode = QIcon::Mode(modeValue);
    QIcon eager;
    for (const auto &[path, fileSize] : files())
        eager.addFile(path, fileSize);
    const QIcon lazy = LazyIconEngine::icon(files());
    QCOMPARE(lazy.actualSize(QSize(size, size), mode), eager.actualSize(QSize(size, size), mode));
    QCOMPARE(lazy.pixmap(size, mode).toImage(), eager.pixmap(size, mode).toImage());
}

QTEST_MAIN(TestLazyIconEngine)
#include "tst_lazyiconengine.moc"
