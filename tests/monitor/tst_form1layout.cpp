#include "Display.h"

#include <QtTest>

namespace ordisp {

// Both windows on screens of several sizes and resolutions.
class TestForm1Layout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layout_data();
    void layout();
};

void TestForm1Layout::layout_data() {
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<QRect>("area");         // of the screen, free for windows
    QTest::addColumn<QString>("settings");   // [ORDISP] of ZALPOS.INI
    QTest::addColumn<QRect>("outer");        // of the main window, its frame of 2 pixels included
    QTest::addColumn<QRect>("grid");         // of the main window: below the buttons, down to the bottom
    QTest::addColumn<double>("description"); // its "Bezeichnung" in twips: what the other columns leave
    QTest::addColumn<QRect>("detailGrid");   // the detail window's first; empty where it is scaled
    // Too large, a window is scaled as a whole and moved onto the free area.
    // clang-format off
    QTest::newRow("1024x768") << 15.0 << QRect(0, 0, 1024, 768) << "" << QRect(0, 0, 1024, 768) << QRect(8, 168, 842, 596) << 7529.5 << QRect();
    QTest::newRow("1920x1080") << 15.0 << QRect(0, 0, 1920, 1080) << "" << QRect(0, 0, 1024, 768) << QRect(8, 168, 842, 596) << 7529.5 << QRect(8, 8, 377, 209);
    QTest::newRow("a second screen") << 15.0 << QRect(0, 0, 3840, 2160) << "LEFT=1280\nWIDTH=1280\nHEIGHT=1024\n" << QRect(1280, 0, 1280, 1024) << QRect(8, 168, 1098, 852) << 11369.5 << QRect(8, 8, 377, 209);
    QTest::newRow("800x600, LEFT=300") << 15.0 << QRect(0, 0, 800, 600) << "LEFT=300\n" << QRect(0, 0, 800, 600) << QRect(6, 131, 657, 465) << 7535.5 << QRect();
    QTest::newRow("a panel above") << 15.0 << QRect(0, 40, 1024, 728) << "" << QRect(0, 40, 971, 728) << QRect(8, 159, 798, 565) << 7535.5 << QRect();
    QTest::newRow("144 dpi") << 10.0 << QRect(0, 0, 2560, 1440) << "WIDTH=1536\nHEIGHT=1152\n" << QRect(0, 0, 1536, 1152) << QRect(12, 252, 1264, 896) << 7549.5 << QRect(12, 12, 566, 314);
    QTest::newRow("1024x768 at 120 dpi") << 12.0 << QRect(0, 0, 1024, 768) << "" << QRect(0, 0, 1024, 768) << QRect(10, 210, 797, 554) << 4469.5 << QRect();
    QTest::newRow("1600x600, the height decides") << 15.0 << QRect(0, 0, 1600, 600) << "" << QRect(0, 0, 800, 600) << QRect(6, 131, 657, 465) << 7535.5 << QRect();
    // clang-format on
}

void TestForm1Layout::layout() {
    QFETCH(double, twipsPerPixel);
    QFETCH(QRect, area);
    QFETCH(QString, settings);
    QFETCH(QRect, outer);
    QFETCH(QRect, grid);
    QFETCH(double, description);
    QFETCH(QRect, detailGrid);
    Display d(1, "file");
    d.screen = FixedScreen(twipsPerPixel, area);
    QVERIFY2(d.start(settings), qPrintable(d.errorText()));
    d.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.form.get()));
    QTRY_COMPARE(d.form->frameGeometry(), outer);
    QCOMPARE(d.grid()->geometry(), grid);
    QCOMPARE(d.grid()->columnWidthTwips(4), description);
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
    QCOMPARE(detail.grid(0)->geometry(), detailGrid.isValid() ? detailGrid : detail.grid(0)->geometry());
    QVERIFY(detailGrid.isValid() ? factor == 1.0
                                 : factor < 1.0 && (detail.frameGeometry().width() == area.width() ||
                                                    detail.frameGeometry().height() == area.height()));
    QVERIFY(detail.rect().contains(detail.grid(8)->geometry()));
    for (QPushButton* button : detail.findChildren<QPushButton*>()) {
        QVERIFY(detail.rect().contains(button->geometry()));
        QCOMPARE(button->font().pointSizeF(), 12.0 * factor);
    }
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestForm1Layout)
#include "tst_form1layout.moc"
