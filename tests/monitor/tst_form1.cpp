#include "Display.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QtTest>

namespace ordisp {

namespace {
const QString kDeleteRefused = "Nur fertige Gerichte können aus der Liste gelöscht werden.";
const QString kNotSaved = "Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.";
} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase_data() { AddBackends(); }
    void init() { ORDISP_REQUIRE_BACKEND(); }
    void list();
    void presses_data();
    void presses();
    void refresh_data();
    void refresh();
    void outage_data();
    void outage();
};

void TestForm1::list() {
    Display d;
    const auto at = [](int hour, int minute) { return QDateTime(QDate(2024, 5, 10), QTime(hour, minute)); };
    // Each status (3 and none too), odd quantities, quotes and umlauts, a line without a time.
    d.add({1, 12, 1, 2, 2.0, "Käsespätzle", 0, at(9, 5)});
    d.add({1, 3, 0, 1, 0.5, "Suppe \"Haus\"", 1, at(21, 40)});
    d.add({1, 7, 2, 1, 1.0, "Rinderbraten", 2, at(22, 0)});
    d.add({1, -2, 1, 1, 1.0, "Kaiserschmarrn", std::nullopt, at(23, 30)});
    d.add({1, 12, 1, 1, 1.0, "ohne Zeit", 0, QDateTime()});
    d.add({2, 5, 1, 1, 1.0, "anderer Monitor", 0, at(9, 0)});
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    d.add({1, 0, 1, 3, 3.0, "Zander", 3, at(23, 0)});
    d.form->Timer1_Timer();
    QStringList cells = d.cells();
    cells.sort(); // the server sorts a missing status or time last, the file first
    QCOMPARE(cells, (QStringList{" | 12 | 1 | 1 | ohne Zeit | NEU", "09:05 | 12 | 1 | 2 | Käsespätzle | NEU",
                                 "21:40 | 3 | 0 | 0.5 | Suppe \"Haus\" | i.A.",
                                 "22:00 | 7 | 2 | 1 | Rinderbraten | OK", "23:00 | 0 | 1 | 3 | Zander | 3",
                                 "23:30 | -2 | 1 | 1 | Kaiserschmarrn | "}));
    // Table 0 stands for "no table chosen" too.
    QCOMPARE(d.tableCaptions(), (QStringList{"-2", "0 Detail", "3", "7", "12"}));
    d.form->cmdTisch_Click(1);
    QCOMPARE(d.cells(), QStringList{"23:30 | -2 | 1 | 1 | Kaiserschmarrn | "});
}

void TestForm1::presses_data() {
    QTest::addColumn<QStringList>("presses"); // buttons by name, #column a header, @id selects a line,
                                              // "drop" drops the connection
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<qint64>("selected");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("detail"); // the table in the detail window, -1 for none
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored"); // the statuses of lines 1 to 5
    const QStringList plain{"5", "12", "40000"};
    const QStringList chosen{"5", "12 Detail", "40000"};
    const QString kept = "2 0 0 1 0";
    // Buttons 1 to 3 show tables 5, 12 and 40000; the list is sorted by status and time at first.
    // clang-format off
    QTest::newRow("a table") << QStringList{"cmdTisch2"} << QList<qint64>{4, 1, 3} << qint64(4) << chosen << -1 << "" << kept;
    QTest::newRow("the table again: its details") << QStringList{"cmdTisch2", "cmdTisch2"} << QList<qint64>{4, 1, 3} << qint64(4) << chosen << 12 << "" << kept;
    QTest::newRow("all tables again") << QStringList{"cmdTisch2", "cmdTisch0"} << QList<qint64>{2, 4, 1, 3, 5} << qint64(2) << plain << -1 << "" << kept;
    QTest::newRow("an empty button: table 0") << QStringList{"cmdTisch2", "cmdTisch29"} << QList<qint64>{} << qint64(0) << plain << -1 << "" << kept;
    QTest::newRow("presses on an empty list") << QStringList{"cmdTisch2", "cmdTisch29", "cmdIA", "cmdOK", "cmdDel"} << QList<qint64>{} << qint64(0) << plain << -1 << "" << kept;
    QTest::newRow("an empty button, no table chosen") << QStringList{"cmdTisch29"} << QList<qint64>{2, 3, 5, 4, 1} << qint64(2) << plain << 0 << "" << kept;
    QTest::newRow("a table beyond 16 bits") << QStringList{"cmdTisch1", "cmdTisch3"} << QList<qint64>{2} << qint64(2) << QStringList{"5 Detail", "12", "40000"} << -1 << "Tisch 40000 kann nicht gewählt werden: Tischnummern reichen von -32768 bis 32767." << kept;
    QTest::newRow("Zeit") << QStringList{"#0"} << QList<qint64>{1, 2, 3, 4, 5} << qint64(2) << plain << -1 << "" << kept;
    QTest::newRow("Tisch") << QStringList{"#1"} << QList<qint64>{2, 3, 4, 1, 5} << qint64(2) << plain << -1 << "" << kept;
    QTest::newRow("Status after Zeit") << QStringList{"#0", "#5"} << QList<qint64>{2, 3, 5, 4, 1} << qint64(2) << plain << -1 << "" << kept;
    QTest::newRow("Bezeichnung keeps the order") << QStringList{"#0", "#4"} << QList<qint64>{1, 2, 3, 4, 5} << qint64(2) << plain << -1 << "" << kept;
    QTest::newRow("in Arbeit") << QStringList{"cmdIA"} << QList<qint64>{3, 5, 2, 4, 1} << qint64(2) << plain << -1 << "" << "2 1 0 1 0";
    QTest::newRow("Fertig") << QStringList{"@4", "cmdOK"} << QList<qint64>{2, 3, 5, 1, 4} << qint64(4) << plain << -1 << "" << "2 0 0 2 0";
    QTest::newRow("Fertig, the connection dropped") << QStringList{"@4", "drop", "cmdOK"} << QList<qint64>{2, 3, 5, 1, 4} << qint64(4) << plain << -1 << "" << "2 0 0 2 0";
    QTest::newRow("löschen a done line") << QStringList{"@1", "cmdDel"} << QList<qint64>{2, 3, 5, 4} << qint64(2) << plain << -1 << "" << "0 0 1 0";
    QTest::newRow("löschen a new line") << QStringList{"cmdDel"} << QList<qint64>{2, 3, 5, 4, 1} << qint64(2) << plain << -1 << kDeleteRefused << kept;
    QTest::newRow("löschen a line in progress") << QStringList{"@4", "cmdDel"} << QList<qint64>{2, 3, 5, 4, 1} << qint64(4) << plain << -1 << kDeleteRefused << kept;
    // clang-format on
}

void TestForm1::presses() {
    QFETCH(QStringList, presses);
    QFETCH(QList<qint64>, ids);
    QFETCH(qint64, selected);
    QFETCH(QStringList, captions);
    QFETCH(int, detail);
    QFETCH(QString, message);
    QFETCH(QString, stored);
    Display d;
    d.add(12, 2);
    d.add(5);
    d.add(12, 0, 2);
    d.add(12, 1);
    d.add(40000);
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    d.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.form.get()));
    QHeaderView* header = d.grid()->horizontalHeader();
    for (const QString& press : presses) {
        const int n = press.mid(1).toInt();
        if (press.startsWith('#'))
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              {header->sectionViewportPosition(n) + 5, 5});
        else if (press.startsWith('@'))
            d.select(n);
        else if (press == "drop")
            d.outcome.db->close();
        else
            QTest::mouseClick(d.button(press), Qt::LeftButton);
    }
    d.form->Timer1_Timer(); // a tick changes nothing
    QCOMPARE(d.ids(), ids);
    QCOMPARE(d.selected(), selected);
    QCOMPARE(d.tableCaptions(), captions);
    QCOMPARE(d.detail->isVisible() ? int(d.detail->DetailTable()) : -1, detail);
    QCOMPARE(d.messages.texts().join('\n'), message);
    QCOMPARE(d.statuses(), stored);
}

void TestForm1::refresh_data() {
    QTest::addColumn<QStringList>("statements"); // of other stations before the tick
    QTest::addColumn<qint64>("selected");        // after the tick; line 25 before
    QTest::addColumn<bool>("told");              // whether the grid heard of a change
    // The new line's text needs more lines than a row shows at first.
    const QString added = "INSERT INTO ordisp (monitornr, tisch, status, txt) VALUES (%1, 1, 2, 'neu" +
                          QString(" Salat").repeated(40) + "')";
    // clang-format off
    QTest::newRow("nothing changed") << QStringList{} << qint64(25) << false;
    QTest::newRow("another monitor's line came") << QStringList{added.arg(2)} << qint64(25) << false;
    QTest::newRow("the selected line's status set") << QStringList{"UPDATE ordisp SET status = 2 WHERE id = 25"} << qint64(25) << true;
    QTest::newRow("a line's text changed") << QStringList{"UPDATE ordisp SET txt = 'anders' WHERE id = 3"} << qint64(25) << true;
    QTest::newRow("ten lines went below, ten came above") << QStringList{"DELETE FROM ordisp WHERE id > 30", "INSERT INTO ordisp (monitornr, tisch, status, txt, insdate) SELECT monitornr, tisch, 0, txt, insdate FROM ordisp WHERE id <= 10"} << qint64(25) << true;
    QTest::newRow("a line came") << QStringList{added.arg(1)} << qint64(1) << true;
    QTest::newRow("a line went") << QStringList{"DELETE FROM ordisp WHERE id = 2"} << qint64(1) << true;
    QTest::newRow("the selected line went, another came") << QStringList{"DELETE FROM ordisp WHERE id = 25", added.arg(1)} << qint64(0) << true;
    // clang-format on
}

void TestForm1::refresh() {
    QFETCH(QStringList, statements);
    QFETCH(qint64, selected);
    QFETCH(bool, told);
    Display d;
    for (int table = 1; table <= 40; ++table)
        d.add(table, 1);
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    QCOMPARE(d.tableCaptions().last(), "29"); // buttons for the lowest 29 tables
    d.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.form.get()));
    d.select(25);
    const int scroll = d.grid()->verticalScrollBar()->value();
    for (const QString& sql : statements)
        QVERIFY2(d.exec(sql), qPrintable(d.errorText()));
    const auto* model = d.grid()->model();
    const QPersistentModelIndex first = model->index(0, 0); // lost when the grid is built anew
    int heard = 0;
    connect(model, &QAbstractItemModel::layoutChanged, this, [&] { ++heard; });
    connect(model, &QAbstractItemModel::dataChanged, this, [&] { ++heard; });
    connect(model, &QAbstractItemModel::rowsInserted, this, [&] { ++heard; });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [&] { ++heard; });
    d.form->Timer1_Timer();
    QCoreApplication::processEvents();

    QCOMPARE(d.selected(), selected);
    QVERIFY(first.isValid());
    QCOMPARE(heard > 0, told);
    QVERIFY(told || d.grid()->verticalScrollBar()->value() == scroll);
    const QRect row = d.grid()->visualRect(model->index(int(d.ids().indexOf(selected)), 0));
    QVERIFY(selected == 0 || d.grid()->viewport()->rect().contains(row));
    // Every row as high as its text needs: measuring them all anew changes none.
    QList<int> heights;
    for (int r = 0; r < model->rowCount(); ++r)
        heights << d.grid()->rowHeight(r);
    d.grid()->applyMetrics();
    for (int r = 0; r < model->rowCount(); ++r)
        QCOMPARE(d.grid()->rowHeight(r), heights.at(r));
}

void TestForm1::outage_data() {
    QTest::addColumn<QString>("cause");  // as Display::trouble takes it
    QTest::addColumn<QString>("banner"); // over the list
    QTest::addColumn<QString>("note");   // after the detail window's course caption
    QTest::addColumn<bool>("told");      // that neither press was saved
    // clang-format off
    QTest::newRow("out of reach") << "lost" << "Keine Verbindung zur Datenbank seit 14:03:07" << " – keine Verbindung" << true;
    QTest::newRow("the file locked by another program") << "lock" << "Datenbank belegt seit 14:03:07" << " – Datenbank belegt" << true;
    QTest::newRow("the status column gone") << "status" << "Datenbankfehler seit 14:03:07: " << "" << true;
    QTest::newRow("the guest column gone") << "gast" << "" << " – Datenbankfehler" << false;
    // clang-format on
}

void TestForm1::outage() {
    QFETCH(QString, cause);
    QFETCH(QString, banner);
    QFETCH(QString, note);
    QFETCH(bool, told);
    Display d;
    if (cause == "lock" && d.role)
        QSKIP("a lock of the file");
    d.add(1);
    d.add(2, 0, 0);
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    d.form->show();
    d.select(2);
    d.detail->Init(2);
    d.detail->showDetail();
    const QStringList cells = d.cells();
    QVERIFY2(d.trouble(cause, true), qPrintable(d.errorText()));
    // Ticks in a row: a lock is told by the third; the banner tells when the trouble began.
    for (int second : {7, 9, 11}) {
        d.clock.set(QDateTime(QDate(2024, 5, 10), QTime(14, 3, second)));
        d.form->Timer1_Timer();
    }
    QCOMPARE(d.banner()->isVisible(), !banner.isEmpty());
    QCOMPARE(d.banner()->text().left(banner.size()), banner);
    QCOMPARE(d.cells(), cells);
    QCOMPARE(d.selected(), 2);
    QVERIFY(d.messages.shown().isEmpty());
    // A press in each window; the detail window keeps its rows, its caption tells why.
    d.form->cmdOK_Click();
    d.detail->cmdIA_Click();
    QCOMPARE(d.messages.texts(), told ? QStringList(2, kNotSaved) : QStringList());
    QCOMPARE(d.detail->grid(0)->caption() + " " + QString::number(d.detail->CourseRows(0).rowCount()),
             "Gang  0" + note + " 1");
    d.detail->close();
    d.detail->showDetail();
    QCOMPARE(d.detail->grid(8)->caption(), "Gang  8" + note);

    QVERIFY2(d.trouble(cause, false), qPrintable(d.errorText()));
    QCOMPARE(d.statuses(), told ? "0 0" : "0 1"); // nothing kept for later
    d.form->Timer1_Timer();
    QVERIFY(!d.banner()->isVisible());
    d.detail->close();
    d.detail->showDetail();
    d.detail->cmdOK_Click();
    QCOMPARE(d.detail->grid(0)->caption() + " " + d.statuses(), "Gang  0 0 2");
    QTest::mouseClick(d.button("cmdEsc"), Qt::LeftButton);
    QVERIFY(!d.form->isVisible() && !d.outcome.db->isOpen());
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestForm1)
#include "tst_form1.moc"
