#include "Screen.h"
#include "Twips.h"

#include <QtTest>

using namespace ordisp;

class TestTwips : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundHalfEven_data();
    void roundHalfEven();
    void snapToPixelX_data();
    void snapToPixelX();
    void snapToPixelYUsesVerticalFactor();
    void twipsToPixels_data();
    void twipsToPixels();
};

void TestTwips::roundHalfEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("half down to even") << 1032.5 << 1032.0;
    QTest::newRow("half up to even") << 1033.5 << 1034.0;
    QTest::newRow("zero point five") << 0.5 << 0.0;
    QTest::newRow("one point five") << 1.5 << 2.0;
    QTest::newRow("negative half") << -2.5 << -2.0;
    QTest::newRow("negative odd half") << -3.5 << -4.0;
    QTest::newRow("below half") << 7469.49 << 7469.0;
    QTest::newRow("above half") << 7469.51 << 7470.0;
    QTest::newRow("whole") << 12565.0 << 12565.0;
}

void TestTwips::roundHalfEven() {
    QFETCH(double, value);
    QFETCH(double, expected);
    QCOMPARE(RoundHalfEven(value), expected);
    QCOMPARE(RoundHalfEvenToInt(value), qint32(expected));
}

void TestTwips::snapToPixelX_data() {
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("931 at 15") << 15.0 << 931 << 930;
    QTest::newRow("15 at 15") << 15.0 << 15 << 15;
    QTest::newRow("14 at 15") << 15.0 << 14 << 0;
    QTest::newRow("-1 at 15") << 15.0 << -1 << -15;
    QTest::newRow("column pitch 1032 at 15") << 15.0 << 1032 << 1020;
    QTest::newRow("row pitch 798 at 15") << 15.0 << 798 << 795;
    QTest::newRow("button height 728 at 15") << 15.0 << 728 << 720;
    QTest::newRow("931 at 12") << 12.0 << 931 << 924;
    QTest::newRow("zero") << 12.0 << 0 << 0;
}

void TestTwips::snapToPixelX() {
    QFETCH(double, twipsPerPixel);
    QFETCH(int, value);
    QFETCH(int, expected);
    const FixedScreen screen(twipsPerPixel, 99.0);
    qint32 length = value;
    QCOMPARE(SnapToPixelX(length, screen), expected);
    QCOMPARE(length, expected); // written back
}

void TestTwips::snapToPixelYUsesVerticalFactor() {
    const FixedScreen screen(15.0, 12.0);
    qint32 length = 931;
    QCOMPARE(SnapToPixelY(length, screen), 924);
    QCOMPARE(length, 924);
}

void TestTwips::twipsToPixels_data() {
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<int>("expected");
    QTest::newRow("Zeit column") << 1005.17 << 15.0 << 67;
    QTest::newRow("half pixel to even, down") << 7.5 << 15.0 << 0;
    QTest::newRow("one and a half pixels to even, up") << 22.5 << 15.0 << 2;
    QTest::newRow("design grid width") << 10215.0 << 15.0 << 681;
    QTest::newRow("at 120 dpi") << 10215.0 << 12.0 << 851;
}

void TestTwips::twipsToPixels() {
    QFETCH(double, twips);
    QFETCH(double, twipsPerPixel);
    QFETCH(int, expected);
    QCOMPARE(TwipsToPixels(twips, twipsPerPixel), expected);
}

QTEST_GUILESS_MAIN(TestTwips)
#include "tst_twips.moc"
