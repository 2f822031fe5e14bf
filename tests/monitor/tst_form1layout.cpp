#include "Display.h"
#include "Form1Layout.h"

#include <QtTest>

namespace ordisp {

class TestForm1Layout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void computeLayout_data();
    void computeLayout();
    void tableNumber_data();
    void tableNumber();
    void windows_data();
    void windows();
};

void TestForm1Layout::computeLayout_data() {
    QTest::addColumn<double>("clientWidth");
    QTest::addColumn<double>("clientHeight");
    QTest::addColumn<double>("gridWidth");
    QTest::addColumn<double>("gridHeight");
    QTest::addColumn<double>("description");
    QTest::addColumn<double>("actionLeft");
    QTest::addColumn<double>("escLeft");
    // From the design: grid 10215 x 6855 at 2520, "Bezeichnung" 5430.05, the other columns 4095.5.
    // clang-format off
    QTest::newRow("the worked example") << 15240.0 << 10980.0 << 12565.0 << 8460.0 << 7469.50 << 12815.0 << 14265.0;
    QTest::newRow("minimised") << 0.0 << 0.0 << 10215.0 << 6855.0 << 5430.05 << 10465.0 << -975.0;
    QTest::newRow("height at the grid's top") << 15240.0 << 2520.0 << 12565.0 << 6855.0 << 7469.50 << 12815.0 << 14265.0;
    QTest::newRow("half a twip below the top") << 15240.0 << 2520.5 << 12565.0 << 6855.0 << 7469.50 << 12815.0 << 14265.0;
    QTest::newRow("one twip below the top") << 15240.0 << 2521.0 << 12565.0 << 1.0 << 7469.50 << 12815.0 << 14265.0;
    QTest::newRow("width at button + 500") << 2675.0 << 10980.0 << 10215.0 << 8460.0 << 5430.05 << 10465.0 << 1700.0;
    QTest::newRow("description just below zero") << 7770.0 << 10980.0 << 5095.0 << 8460.0 << 5430.05 << 5345.0 << 6795.0;
    QTest::newRow("description just above zero") << 7771.0 << 10980.0 << 5096.0 << 8460.0 << 0.50 << 5346.0 << 6796.0;
    QTest::newRow("1500 wider") << 16740.0 << 10980.0 << 14065.0 << 8460.0 << 8969.50 << 14315.0 << 15765.0;
    // clang-format on
}

void TestForm1Layout::computeLayout() {
    QFETCH(double, clientWidth);
    QFETCH(double, clientHeight);
    QFETCH(double, gridWidth);
    QFETCH(double, gridHeight);
    QFETCH(double, description);
    QFETCH(double, actionLeft);
    QFETCH(double, escLeft);
    const LayoutResult out = ComputeLayout({clientWidth,
                                            clientHeight,
                                            2520,
                                            10215,
                                            6855,
                                            2175,
                                            975,
                                            {1005.17, 720.00, 750.05, 810.14, 5430.05, 810.14}});
    QCOMPARE(out.gridWidth, gridWidth);
    QCOMPARE(out.gridHeight, gridHeight);
    QVERIFY2(std::abs(out.descriptionWidth - description) < 0.005,
             qPrintable(QString::number(out.descriptionWidth)));
    QCOMPARE(out.actionButtonsLeft, actionLeft);
    QCOMPARE(out.escLeft, escLeft);
    QCOMPARE(out.escTop, 0.0);
}

void TestForm1Layout::tableNumber_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QVariant>("table"); // none outside 16 bits
    // clang-format off
    QTest::newRow("chosen") << "12 Detail" << QVariant(12);
    QTest::newRow("empty") << "" << QVariant(0);
    QTest::newRow("leading blanks, negative") << "  -3 Detail" << QVariant(-3);
    QTest::newRow("words") << "Alle Tische" << QVariant(0);
    QTest::newRow("a sign alone") << "- 5" << QVariant(0);
    QTest::newRow("half, to even below") << "12.5 Detail" << QVariant(12);
    QTest::newRow("half, to even above") << "13.5" << QVariant(14);
    QTest::newRow("largest") << "32767" << QVariant(32767);
    QTest::newRow("rounds above the largest") << "32767.5" << QVariant();
    QTest::newRow("smallest") << "-32768" << QVariant(-32768);
    QTest::newRow("below the smallest") << "-32769" << QVariant();
    // clang-format on
}

void TestForm1Layout::tableNumber() {
    QFETCH(QString, caption);
    QFETCH(QVariant, table);
    const std::optional<qint16> number = TableNumber(CaptionNumber(caption));
    QCOMPARE(number ? QVariant(int(*number)) : QVariant(), table);
}

void TestForm1Layout::windows_data() {
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<QRect>("area");       // of the screen, free for windows
    QTest::addColumn<QString>("settings"); // [ORDISP] of ZALPOS.INI
    QTest::addColumn<QRect>("outer");      // of the main window
    QTest::addColumn<QRect>("grid");       // of the main window
    QTest::addColumn<QRect>("detailGrid"); // the detail window's first; empty where it is scaled
    const QRect large(0, 0, 3840, 2160);
    // Too large, a window is scaled as a whole and moved onto the free area.
    // clang-format off
    QTest::newRow("1024x768") << 15.0 << QRect(0, 0, 1024, 768) << "" << QRect(0, 0, 1024, 768) << QRect(8, 168, 842, 596) << QRect();
    QTest::newRow("1920x1080") << 15.0 << QRect(0, 0, 1920, 1080) << "" << QRect(0, 0, 1024, 768) << QRect(8, 168, 842, 596) << QRect(8, 8, 377, 209);
    QTest::newRow("a second screen") << 15.0 << large << "LEFT=1280\nWIDTH=1280\nHEIGHT=1024\n" << QRect(1280, 0, 1280, 1024) << QRect(8, 168, 1098, 852) << QRect(8, 8, 377, 209);
    QTest::newRow("800x600, LEFT=300") << 15.0 << QRect(0, 0, 800, 600) << "LEFT=300\n" << QRect(0, 0, 800, 600) << QRect(6, 131, 657, 465) << QRect();
    QTest::newRow("a panel above") << 15.0 << QRect(0, 40, 1024, 728) << "" << QRect(0, 40, 971, 728) << QRect(8, 159, 798, 565) << QRect();
    QTest::newRow("144 dpi") << 10.0 << QRect(0, 0, 2560, 1440) << "WIDTH=1536\nHEIGHT=1152\n" << QRect(0, 0, 1536, 1152) << QRect(12, 252, 1264, 896) << QRect(12, 12, 566, 314);
    QTest::newRow("1024x768 at 120 dpi") << 12.0 << QRect(0, 0, 1024, 768) << "" << QRect(0, 0, 1024, 768) << QRect(10, 210, 797, 554) << QRect();
    QTest::newRow("1600x600, the height decides") << 15.0 << QRect(0, 0, 1600, 600) << "" << QRect(0, 0, 800, 600) << QRect(6, 131, 657, 465) << QRect();
    // clang-format on
}

void TestForm1Layout::windows() {
    QFETCH(double, twipsPerPixel);
    QFETCH(QRect, area);
    QFETCH(QString, settings);
    QFETCH(QRect, outer);
    QFETCH(QRect, grid);
    QFETCH(QRect, detailGrid);
    Display d(1, "file");
    d.screen = FixedScreen(twipsPerPixel, area);
    QVERIFY2(d.startup(d.databaseLines() + "[ORDISP]\n" + settings), qPrintable(d.errorText()));
    d.openWindows();
    d.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.form.get()));
    QTRY_COMPARE(d.form->frameGeometry(), outer);
    QCOMPARE(d.grid()->geometry(), grid);
    QCOMPARE(d.button("cmdOK")->font().pointSizeF(), 12.0 * d.form->scaleFactor());
    QCOMPARE(d.button("cmdEsc")->geometry().right(), d.form->width() - 1);
    QVERIFY(d.form->rect().contains(d.button("cmdTisch29")->geometry()));

    // The detail window, scaled again once its frame is known, fits whole and centred.
    frmTischDetail& detail = *d.detail;
    detail.Init(7);
    detail.showDetail();
    QTRY_VERIFY(area.contains(detail.frameGeometry()) &&
                (detail.frameGeometry().center() - area.center()).manhattanLength() <= 2);
    const double factor = detail.scaleFactor();
    QCOMPARE(factor == 1.0, detailGrid.isValid());
    QCOMPARE(detail.grid(0)->geometry(), detailGrid.isValid() ? detailGrid : detail.grid(0)->geometry());
    QVERIFY(detailGrid.isValid() || detail.frameGeometry().width() == area.width() ||
            detail.frameGeometry().height() == area.height());
    QVERIFY(detail.rect().contains(detail.grid(8)->geometry()));
    QCOMPARE(detail.grid(8)->font().pointSizeF(), 9.75 * factor);
    QStringList captions;
    for (QPushButton* button : detail.findChildren<QPushButton*>()) {
        QVERIFY(detail.rect().contains(button->geometry()));
        QCOMPARE(button->font().pointSizeF(), 12.0 * factor);
        captions << button->text();
    }
    QCOMPARE(captions, (QStringList{"Schließen", "in Arbeit", "Fertig", "Löschen"}));
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestForm1Layout)
#include "tst_form1layout.moc"
