// The compiled-in images and the registry of the seven shared icons.

#include "common/sharedicons.h"

#include <QtTest>

#include <QFile>
#include <QIcon>
#include <QImage>

class TestSharedIcons : public QObject
{
    Q_OBJECT

private slots:
    void imagesAreCompiledIn_data();
    void imagesAreCompiledIn();
    void sharedIconsLoadOnceAndShare();
};

void TestSharedIcons::imagesAreCompiledIn_data()
{
    QTest::addColumn<QString>("path");
    for (int i = 0; i < SharedIcons::Count; ++i)
        QTest::newRow(SharedIcons::resourcePath(SharedIcons::Id(i))) << SharedIcons::resourcePath(SharedIcons::Id(i));
    QTest::newRow("edit_add") << ":/icons/edit_add.png";
    QTest::newRow("alert") << ":/icons/alert.png";
    QTest::newRow("backbend arrow") << ":/icons/yellow backbend arrow.png";
}

void TestSharedIcons::imagesAreCompiledIn()
{
    QFETCH(QString, path);
    QVERIFY(QFile::exists(path));
    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(16, 16));
    QVERIFY(image.hasAlphaChannel());
    // drawn on a transparent ground, with something opaque in the middle
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            opaque += qAlpha(image.pixel(x, y)) == 255;
    QVERIFY2(opaque >= 20, qPrintable(QString::number(opaque)));
}

void TestSharedIcons::sharedIconsLoadOnceAndShare()
{
    // the asterisks use three leading characters, the others two
    QCOMPARE(QString(SharedIcons::resourcePath(SharedIcons::AsteriskRed)), QString("://icons/asterisk_red.png"));
    QCOMPARE(QString(SharedIcons::resourcePath(SharedIcons::AsteriskGray)), QString("://icons/asterisk_gray.png"));
    QCOMPARE(QString(SharedIcons::resourcePath(SharedIcons::GreenCheck)), QString(":/icons/green_check.png"));
    QCOMPARE(QString(SharedIcons::resourcePath(SharedIcons::Key)), QString(":/icons/key.png"));

    QVERIFY(!SharedIcons::isLoaded(SharedIcons::AsteriskRed));
    QVERIFY(SharedIcons::icon(SharedIcons::AsteriskRed).isNull());

    SharedIcons::load();
    const QIcon *addresses[SharedIcons::Count];
    for (int i = 0; i < SharedIcons::Count; ++i) {
        const auto id = SharedIcons::Id(i);
        QVERIFY(SharedIcons::isLoaded(id));
        QVERIFY(!SharedIcons::icon(id).isNull());
        QVERIFY(!SharedIcons::icon(id).pixmap(16, 16).isNull());
        addresses[i] = &SharedIcons::icon(id);
    }
    SharedIcons::load(); // once only: the same objects
    for (int i = 0; i < SharedIcons::Count; ++i)
        QCOMPARE(&SharedIcons::icon(SharedIcons::Id(i)), addresses[i]);

    SharedIcons::releaseSummaryIcons();
    for (auto id : {SharedIcons::GreenCheck, SharedIcons::RedX, SharedIcons::Key}) {
        QVERIFY(!SharedIcons::isLoaded(id));
        QVERIFY(SharedIcons::icon(id).isNull());
    }
    for (auto id : {SharedIcons::AsteriskRed, SharedIcons::AsteriskYellow, SharedIcons::AsteriskGreen,
                    SharedIcons::AsteriskGray}) {
        QVERIFY(SharedIcons::isLoaded(id));
        QCOMPARE(&SharedIcons::icon(id), addresses[id]);
    }
    SharedIcons::releaseSummaryIcons(); // a second release is harmless
    QVERIFY(!SharedIcons::isLoaded(SharedIcons::Count));
    QVERIFY(SharedIcons::icon(SharedIcons::Count).isNull());
}

QTEST_MAIN(TestSharedIcons)
#include "tst_sharedicons.moc"
