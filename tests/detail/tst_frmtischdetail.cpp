#include "Display.h"

#include <QtTest>

namespace ordisp {

namespace {

const QString kOnlyDone = "Nur fertige Gerichte können aus der Liste gelöscht werden.";
const QString kNotSaved = "Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.";

// Each grid as shown: its caption, then "text status" of its rows.
QStringList Grids(const frmTischDetail& detail) {
    QStringList grids;
    for (int k = 0; k < frmTischDetail::kGridCount; ++k) {
        const QAbstractItemModel* model = detail.grid(k)->model();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 2).data().toString() + ' ' + model->index(row, 3).data().toString();
        grids << detail.grid(k)->caption() + ": " + rows.join(", ");
    }
    return grids;
}

void Click(const Display& d, int k, int row) {
    DataGrid* grid = d.detail->grid(k);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, 2)).center());
}

void Open(const Display& d, int table) {
    d.detail->Init(qint16(table));
    d.detail->showDetail();
}

void Press(const Display& d, const QString& button) {
    d.detail->findChild<QPushButton*>(button)->click();
}

} // namespace

class TestFrmTischDetail : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase_data() { AddBackends(); }
    void init() { ORDISP_REQUIRE_BACKEND(); }
    void courses();
    void presses_data();
    void presses();
    void outage_data();
    void outage();
    void reopen();
};

void TestFrmTischDetail::courses() {
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
    Open(d, 7);
    QCOMPARE(d.detail->windowTitle(), "Details - Tisch 7");
    QCOMPARE(Grids(*d.detail),
             (QStringList{"Gang  0: Salat i.A., Suppe NEU",
                          "Gang  1: ", "Gang  2: ", "Gang  3: ", "Gang  4: Braten OK",
                          "Gang  5: ", "Gang  6: ", "Gang  7: ", "Gang  8: Eis 3, Kaffee "}));
}

void TestFrmTischDetail::presses_data() {
    QTest::addColumn<bool>("focus"); // grid 2 chosen again by the keyboard, not by a click
    QTest::addColumn<QString>("button");
    QTest::addColumn<QVariant>("status"); // of the line pressed, before
    QTest::addColumn<QString>("stored");  // afterwards, empty when deleted
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("row"); // selected in grid 2 afterwards
    // clang-format off
    QTest::newRow("in Arbeit") << false << "cmdIA" << QVariant(0) << "1" << "" << 1;
    QTest::newRow("Fertig, the grid chosen by focus") << true << "cmdOK" << QVariant(1) << "2" << "" << 1;
    QTest::newRow("Löschen a done line") << false << "cmdDel" << QVariant(2) << "" << "" << 0;
    QTest::newRow("Löschen a new line") << false << "cmdDel" << QVariant(0) << "0" << kOnlyDone << 1;
    QTest::newRow("Löschen a line in progress") << false << "cmdDel" << QVariant(1) << "1" << kOnlyDone << 1;
    QTest::newRow("Löschen a line without status") << true << "cmdDel" << QVariant() << "null" << kOnlyDone << 1;
    // clang-format on
}

void TestFrmTischDetail::presses() {
    QFETCH(bool, focus);
    QFETCH(QString, button);
    QFETCH(QVariant, status);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    QFETCH(int, row);
    Display d(3);
    d.add(7, 0, 2, "eins", 1);
    const qint64 id =
        d.add(7, status.isValid() ? std::optional<int>(status.toInt()) : std::nullopt, 2, "zwei", 2);
    d.add(7, 0, 5, "fünf");
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    Open(d, 7);
    QApplication::setActiveWindow(d.detail.get());
    QVERIFY(QTest::qWaitForWindowActive(d.detail.get()));
    // The buttons act on the grid chosen last: line "zwei", then "fünf" in another grid, then back.
    Click(d, 2, 1);
    Click(d, 5, 0);
    if (focus)
        d.detail->grid(2)->setFocus(Qt::TabFocusReason);
    else
        Click(d, 2, 1);
    QTRY_COMPARE(d.detail->CurrentGrid(), qint16(2));
    Press(d, button);
    QCOMPARE(d.storedStatus(id), stored);
    QCOMPARE(d.messages.texts().join('\n'), message);
    QCOMPARE(d.detail->grid(2)->selectionModel()->selectedRows().value(0).row(), row);
    QCOMPARE(d.detail->CourseRows(2).currentRow(), row);
    QCOMPARE(d.storedStatus(id - 1) + d.storedStatus(id + 1), "00");
}

void TestFrmTischDetail::outage_data() {
    QTest::addColumn<QString>("cause"); // or the column renamed away
    QTest::addColumn<bool>("told");     // that the change was not saved
    QTest::addColumn<QString>("note");  // after the course caption
    // clang-format off
    QTest::newRow("out of reach") << "lost" << true << " – keine Verbindung";
    QTest::newRow("the file locked by another program") << "lock" << true << " – Datenbank belegt";
    QTest::newRow("the change refused") << "status" << true << "";
    QTest::newRow("the course query refused") << "gast" << false << " – Datenbankfehler";
    // clang-format on
}

void TestFrmTischDetail::outage() {
    QFETCH(QString, cause);
    QFETCH(bool, told);
    QFETCH(QString, note);
    Display d(3);
    if (cause == "lock" && d.isServer())
        QSKIP("a lock of the file");
    d.add(7, 2, 2, "eins");
    const qint64 id = d.add(7, 0, 2, "zwei", 2);
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    Open(d, 7);
    Click(d, 2, 1);
    std::unique_ptr<FileLock> lock;
    const auto trouble = [&](bool on) {
        if (cause == "lost")
            return d.cutOff(on);
        if (cause == "lock")
            lock = on ? std::make_unique<FileLock>(d.file()->path()) : nullptr;
        if (cause == "lock")
            return !lock || lock->isHeld();
        const QString away = cause + "_weg";
        return d.exec(QStringLiteral("ALTER TABLE ordisp RENAME COLUMN %1 TO %2")
                          .arg(on ? cause : away, on ? away : cause));
    };
    QVERIFY2(trouble(true), qPrintable(d.errorText()));
    Press(d, "cmdIA");
    QCOMPARE(d.messages.texts(), told ? QStringList{kNotSaved} : QStringList());
    // The rows stay as they were read; the caption tells why.
    QCOMPARE(d.detail->CourseRows(2).rowCount(), 2);
    QCOMPARE(d.detail->grid(2)->caption() + " | " + d.detail->grid(1)->caption(),
             "Gang  2" + note + " | Gang  1");
    d.detail->close();
    Open(d, 7); // every grid tells it when opened meanwhile
    QCOMPARE(d.detail->grid(8)->caption(), "Gang  8" + note);

    QVERIFY2(trouble(false), qPrintable(d.errorText()));
    QCOMPARE(d.storedStatus(id), told ? "0" : "1");
    d.detail->close();
    Open(d, 7);
    Click(d, 2, 1);
    Press(d, "cmdOK");
    QCOMPARE(Grids(*d.detail).at(2), "Gang  2: eins OK, zwei OK");
}

void TestFrmTischDetail::reopen() {
    Display d(3);
    d.add(5, 0, 6, "Tisch fünf");
    const qint64 seven = d.add(7, 0, 0, "Tisch sieben");
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    Open(d, 5);
    Click(d, 6, 0);
    QCOMPARE(d.detail->CurrentGrid(), qint16(6));
    Open(d, 7); // while open, the window stays with table 5
    QCOMPARE(d.detail->windowTitle(), "Details - Tisch 5");
    QTest::keyClick(d.detail.get(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!d.detail->isVisible() && !d.detail->isLoaded() && d.detail->findChildren<DataGrid*>().isEmpty());
    d.detail->showDetail();
    QCOMPARE(Grids(*d.detail).first(), "Gang  0: Tisch sieben NEU");
    // The grid chosen before is out of sight: the buttons start on grid 0.
    Press(d, "cmdOK");
    QCOMPARE(d.storedStatus(seven), "2");
    QVERIFY(d.detail->close() && !d.detail->isLoaded()); // the title bar's close box
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestFrmTischDetail)
#include "tst_frmtischdetail.moc"
