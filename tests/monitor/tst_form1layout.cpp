#include "Form1Layout.h"

#include <QtTest>

using namespace ordisp;

namespace {

constexpr std::array<double, 6> kDesignColumns{1005.17, 720.00, 750.05, 810.14, 5430.05, 810.14};

LayoutInput designInput(double clientWidth, double clientHeight) {
    LayoutInput in;
    in.clientWidth = clientWidth;
    in.clientHeight = clientHeight;
    in.gridTop = 2520;
    in.gridWidth = 10215;
    in.gridHeight = 6855;
    in.cmdOKWidth = 2175;
    in.cmdEscWidth = 975;
    in.columnWidths = kDesignColumns;
    return in;
}

// The state after the worked example (client 15240 x 10980) has been laid out.
LayoutInput afterWorkedExample(double clientWidth, double clientHeight) {
    LayoutInput in = designInput(clientWidth, clientHeight);
    in.gridWidth = 12565;
    in.gridHeight = 8460;
    in.columnWidths[4] = 7469.50;
    return in;
}

bool near(double a, double b) {
    return std::abs(a - b) < 0.005;
}

} // namespace

class TestForm1Layout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void workedExample();
    void edges_data();
    void edges();
};

void TestForm1Layout::workedExample() {
    const LayoutResult out = ComputeLayout(designInput(15240, 10980));
    QCOMPARE(out.gridHeight, 8460.0);
    QCOMPARE(out.gridWidth, 12565.0);
    QVERIFY2(near(out.descriptionWidth, 7469.50), qPrintable(QString::number(out.descriptionWidth, 'f', 4)));
    QCOMPARE(out.actionButtonsLeft, 12815.0);
    QCOMPARE(out.actionButtonsLeft + 2175, 14990.0);
    QCOMPARE(out.escLeft, 14265.0);
    QCOMPARE(out.escTop, 0.0);
    QVERIFY(out.gridHeightChanged && out.gridWidthChanged && out.descriptionWidthChanged);
}

void TestForm1Layout::edges_data() {
    QTest::addColumn<double>("clientWidth");
    QTest::addColumn<double>("clientHeight");
    QTest::addColumn<double>("gridWidth");
    QTest::addColumn<double>("gridHeight");
    QTest::addColumn<double>("description");
    QTest::addColumn<double>("actionLeft");
    QTest::addColumn<double>("escLeft");

    // Everything from the state the worked example left.
    QTest::newRow("minimised") << 0.0 << 0.0 << 12565.0 << 8460.0 << 7469.50 << 12815.0 << -975.0;
    QTest::newRow("height at the grid's top")
        << 15240.0 << 2520.0 << 12565.0 << 8460.0 << 7469.50 << 12815.0 << 14265.0;
    QTest::newRow("half a twip below the top")
        << 15240.0 << 2520.5 << 12565.0 << 8460.0 << 7469.50 << 12815.0 << 14265.0;
    QTest::newRow("one twip below the top")
        << 15240.0 << 2521.0 << 12565.0 << 1.0 << 7469.50 << 12815.0 << 14265.0;
    QTest::newRow("width at button + 500")
        << 2675.0 << 10980.0 << 12565.0 << 8460.0 << 7469.50 << 12815.0 << 1700.0;
    QTest::newRow("description would be negative")
        << 7000.0 << 10980.0 << 4325.0 << 8460.0 << 7469.50 << 4575.0 << 6025.0;
    QTest::newRow("description just below zero")
        << 7770.0 << 10980.0 << 5095.0 << 8460.0 << 7469.50 << 5345.0 << 6795.0;
    QTest::newRow("description just above zero")
        << 7771.0 << 10980.0 << 5096.0 << 8460.0 << 0.50 << 5346.0 << 6796.0;
    QTest::newRow("1500 wider") << 16740.0 << 10980.0 << 14065.0 << 8460.0 << 8969.50 << 14315.0 << 15765.0;
    QTest::newRow("only taller") << 15240.0 << 12000.0 << 12565.0 << 9480.0 << 7469.50 << 12815.0 << 14265.0;
}

void TestForm1Layout::edges() {
    QFETCH(double, clientWidth);
    QFETCH(double, clientHeight);
    QFETCH(double, gridWidth);
    QFETCH(double, gridHeight);
    QFETCH(double, description);
    QFETCH(double, actionLeft);
    QFETCH(double, escLeft);

    const LayoutResult out = ComputeLayout(afterWorkedExample(clientWidth, clientHeight));
    QCOMPARE(out.gridWidth, gridWidth);
    QCOMPARE(out.gridHeight, gridHeight);
    QVERIFY2(near(out.descriptionWidth, description),
             qPrintable(QString::number(out.descriptionWidth, 'f', 4)));
    QCOMPARE(out.actionButtonsLeft, actionLeft);
    QCOMPARE(out.escLeft, escLeft);
    QCOMPARE(out.escTop, 0.0);
}

QTEST_GUILESS_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
