#include "Display.h"

#include <QRegularExpression>
#include <QtTest>

namespace ordisp {

namespace {

const QString kOnlyDone = "Nur fertige Gerichte können aus der Liste gelöscht werden.";

// The window as shown: its title, then each grid that holds lines or a note, its caption and
// "text status" of its rows, the one the buttons act on marked "*".
QString Shown(const frmTischDetail& detail) {
    QStringList shown{detail.isLoaded() ? detail.windowTitle() : "closed"};
    for (int k = 0; detail.isLoaded() && k < frmTischDetail::kGridCount; ++k) {
        const QAbstractItemModel* model = detail.grid(k)->model();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row) {
            const bool current = k == detail.CurrentGrid() && detail.CourseRows(k).currentRow() == row &&
                                 detail.grid(k)->selectionModel()->isRowSelected(row);
            rows << (current ? "*" : "") + model->index(row, 2).data().toString() + ' ' +
                        model->index(row, 3).data().toString();
        }
        if (!rows.isEmpty() || detail.grid(k)->caption() != QStringLiteral("Gang  %1").arg(k))
            shown << detail.grid(k)->caption() + ": " + rows.join(", ");
    }
    return shown.join(" / ");
}

// "k:r" clicks row r of grid k, "open t" opens table t; else a button by name, or Esc.
void Do(const Display& d, const QString& step) {
    const int n = step.section(QRegularExpression("[: ]"), -1).toInt();
    if (step.contains(':')) {
        DataGrid* grid = d.detail->grid(step.section(':', 0, 0).toInt());
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(n, 2)).center());
    } else if (step.startsWith("open")) {
        d.detail->Init(qint16(n));
        d.detail->showDetail();
    } else if (step == "Esc") {
        QTest::keyClick(d.detail.get(), Qt::Key_Escape);
    } else {
        d.detail->findChild<QPushButton*>(step)->click();
    }
}

} // namespace

class TestFrmTischDetail : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase_data() { AddBackends(); }
    void init() { ORDISP_REQUIRE_BACKEND(); }
    void presses_data();
    void presses();
};

void TestFrmTischDetail::presses_data() {
    QTest::addColumn<QStringList>("steps"); // as Do takes them, on table 7 opened
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored"); // the statuses of all lines
    const QString opened =
        "Details - Tisch 7 / Gang  0: *Salat i.A., Suppe NEU / Gang  4: Braten OK / Gang  8: Eis 3, Kaffee ";
    const QString kept = "0 1 2 3 null 0 0 0 0 0";
    // clang-format off
    QTest::newRow("opened") << QStringList{} << "" << opened << kept;
    QTest::newRow("in Arbeit") << QStringList{"0:1", "cmdIA"} << "" << "Details - Tisch 7 / Gang  0: Salat i.A., *Suppe i.A. / Gang  4: Braten OK / Gang  8: Eis 3, Kaffee " << "1 1 2 3 null 0 0 0 0 0";
    QTest::newRow("Fertig on the grid chosen last") << QStringList{"0:1", "8:0", "cmdOK"} << "" << "Details - Tisch 7 / Gang  0: Salat i.A., Suppe NEU / Gang  4: Braten OK / Gang  8: *Eis OK, Kaffee " << "0 1 2 2 null 0 0 0 0 0";
    QTest::newRow("Löschen a done line") << QStringList{"4:0", "cmdDel"} << "" << "Details - Tisch 7 / Gang  0: Salat i.A., Suppe NEU / Gang  8: Eis 3, Kaffee " << "0 1 3 null 0 0 0 0 0";
    QTest::newRow("Löschen a new line") << QStringList{"0:1", "cmdDel"} << kOnlyDone << "Details - Tisch 7 / Gang  0: Salat i.A., *Suppe NEU / Gang  4: Braten OK / Gang  8: Eis 3, Kaffee " << kept;
    QTest::newRow("Löschen a line in progress") << QStringList{"0:0", "cmdDel"} << kOnlyDone << opened << kept;
    QTest::newRow("Löschen a line without status") << QStringList{"8:1", "cmdDel"} << kOnlyDone << "Details - Tisch 7 / Gang  0: Salat i.A., Suppe NEU / Gang  4: Braten OK / Gang  8: Eis 3, *Kaffee " << kept;
    QTest::newRow("another table while open") << QStringList{"open 8"} << "" << opened << kept;
    QTest::newRow("a table without lines") << QStringList{"Esc", "open 9", "cmdIA", "cmdOK", "cmdDel"} << "" << "Details - Tisch 9" << kept;
    QTest::newRow("Esc") << QStringList{"8:0", "Esc"} << "" << "closed" << kept;
    QTest::newRow("opened again: grid 0 chosen") << QStringList{"8:0", "Esc", "open 8"} << "" << "Details - Tisch 8 / Gang  0: *anderer Tisch NEU" << kept;
    QTest::newRow("opened again: Fertig on grid 0") << QStringList{"8:0", "Esc", "open 7", "cmdOK"} << "" << "Details - Tisch 7 / Gang  0: *Salat OK, Suppe NEU / Gang  4: Braten OK / Gang  8: Eis 3, Kaffee " << "0 2 2 3 null 0 0 0 0 0";
    // clang-format on
}

void TestFrmTischDetail::presses() {
    QFETCH(QStringList, steps);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    Display d(3);
    d.add(7, 0, 0, "Suppe", 3);
    d.add(7, 1, 0, "Salat", 1);
    d.add(7, 2, 4, "Braten");
    d.add(7, 3, 8, "Eis");
    d.add(7, std::nullopt, 8, "Kaffee", 2);
    d.add(7, 0, 9, "Gang neun");
    d.add(7, 0, -1, "Gang minus eins");
    d.add(7, 0, 0, "anderer Monitor", 2, 4);
    d.add(8, 0, 0, "anderer Tisch");
    d.add(-7, 0, 0, "Tisch -7");
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    Do(d, "open 7");
    for (const QString& step : steps)
        Do(d, step);
    QTRY_COMPARE(Shown(*d.detail), shown);
    QCOMPARE(d.messages.texts().join('\n'), message);
    QCOMPARE(d.statuses(), stored);
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestFrmTischDetail)
#include "tst_frmtischdetail.moc"
