#include "Display.h"

#include <QAbstractItemModelTester>
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
    void statusPresses_data();
    void statusPresses();
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
    d.add({1, 0, 1, 3, 3.0, "Zander", 3, at(23, 0)});
    d.add({1, -2, 1, 1, 1.0, "Kaiserschmarrn", std::nullopt, at(23, 30)});
    d.add({1, 12, 1, 1, 1.0, "ohne Zeit", 0, QDateTime()});
    d.add({2, 5, 1, 1, 1.0, "anderer Monitor", 0, at(9, 0)});
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    QAbstractItemModelTester tester(d.grid()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList cells = d.cells();
    cells.sort(); // the server sorts a missing status or time last, the file first
    QCOMPARE(cells, (QStringList{" | 12 | 1 | 1 | ohne Zeit | NEU", "09:05 | 12 | 1 | 2 | Käsespätzle | NEU",
                                 "21:40 | 3 | 0 | 0.5 | Suppe \"Haus\" | i.A.",
                                 "22:00 | 7 | 2 | 1 | Rinderbraten | OK", "23:00 | 0 | 1 | 3 | Zander | 3",
                                 "23:30 | -2 | 1 | 1 | Kaiserschmarrn | "}));
    // Table 0 stands for "no table chosen" too.
    QCOMPARE(d.tableCaptions(), (QStringList{"-2", "0 Detail", "3", "7", "12"}));
}

void TestForm1::presses_data() {
    QTest::addColumn<QStringList>("presses"); // table buttons by caption, column headers by #index
    QTest::addColumn<int>("filter");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<qint64>("selected");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("detail"); // the table in the detail window, -1 for none
    QTest::addColumn<QString>("message");
    const QStringList plain{"5", "12", "40000"};
    // clang-format off
    QTest::newRow("a table") << QStringList{"12"} << 12 << QList<qint64>{4, 1, 3} << qint64(4) << QStringList{"5", "12 Detail", "40000"} << -1 << "";
    QTest::newRow("the table again: its details") << QStringList{"12", "12 Detail"} << 12 << QList<qint64>{4, 1, 3} << qint64(4) << QStringList{"5", "12 Detail", "40000"} << 12 << "";
    QTest::newRow("all tables again") << QStringList{"12", "Alle Tische"} << 0 << QList<qint64>{2, 4, 1, 3, 5} << qint64(2) << plain << -1 << "";
    QTest::newRow("an empty button: table 0") << QStringList{"12", ""} << 0 << QList<qint64>{} << qint64(0) << plain << -1 << "";
    QTest::newRow("an empty button, no table chosen") << QStringList{""} << 0 << QList<qint64>{2, 3, 5, 4, 1} << qint64(2) << plain << 0 << "";
    QTest::newRow("a table beyond 16 bits") << QStringList{"5", "40000"} << 5 << QList<qint64>{2} << qint64(2) << QStringList{"5 Detail", "12", "40000"} << -1 << "Tisch 40000 kann nicht gewählt werden: Tischnummern reichen von -32768 bis 32767.";
    QTest::newRow("Zeit") << QStringList{"#0"} << 0 << QList<qint64>{1, 2, 3, 4, 5} << qint64(2) << plain << -1 << "";
    QTest::newRow("Tisch") << QStringList{"#1"} << 0 << QList<qint64>{2, 3, 4, 1, 5} << qint64(2) << plain << -1 << "";
    QTest::newRow("Status after Zeit") << QStringList{"#0", "#5"} << 0 << QList<qint64>{2, 3, 5, 4, 1} << qint64(2) << plain << -1 << "";
    QTest::newRow("Bezeichnung keeps the order") << QStringList{"#0", "#4"} << 0 << QList<qint64>{1, 2, 3, 4, 5} << qint64(2) << plain << -1 << "";
    // clang-format on
}

void TestForm1::presses() {
    QFETCH(QStringList, presses);
    QFETCH(int, filter);
    QFETCH(QList<qint64>, ids);
    QFETCH(qint64, selected);
    QFETCH(QStringList, captions);
    QFETCH(int, detail);
    QFETCH(QString, message);
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
        const int column = press.mid(1).toInt();
        if (press.startsWith('#'))
            QTest::mouseClick(
                header->viewport(), Qt::LeftButton, {},
                {header->sectionViewportPosition(column) + 5, header->viewport()->height() / 2});
        else
            QTest::mouseClick(d.button(QStringLiteral("cmdTisch%1").arg(d.tableButton(press))),
                              Qt::LeftButton);
    }
    QCOMPARE(d.form->tableFilter(), qint16(filter));
    QCOMPARE(d.ids(), ids);
    QCOMPARE(d.selected(), selected);
    QCOMPARE(d.tableCaptions(), captions);
    QCOMPARE(d.detail->isVisible() ? int(d.detail->DetailTable()) : -1, detail);
    QCOMPARE(d.messages.texts().join('\n'), message);
}

void TestForm1::statusPresses_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QVariant>("status"); // of the pressed line, before
    QTest::addColumn<bool>("dropped");    // the connection dropped just before
    QTest::addColumn<QString>("stored");  // afterwards, empty when deleted
    QTest::addColumn<QString>("message");
    QTest::addColumn<qint64>("selected");
    // clang-format off
    QTest::newRow("in Arbeit") << "cmdIA" << QVariant(0) << false << "1" << "" << qint64(2);
    QTest::newRow("Fertig") << "cmdOK" << QVariant(1) << false << "2" << "" << qint64(2);
    QTest::newRow("Fertig, the connection dropped") << "cmdOK" << QVariant(0) << true << "2" << "" << qint64(2);
    QTest::newRow("löschen a done line") << "cmdDel" << QVariant(2) << false << "" << "" << qint64(1);
    QTest::newRow("löschen a new line") << "cmdDel" << QVariant(0) << false << "0" << kDeleteRefused << qint64(2);
    QTest::newRow("löschen a line in progress") << "cmdDel" << QVariant(1) << false << "1" << kDeleteRefused << qint64(2);
    QTest::newRow("löschen a line without status") << "cmdDel" << QVariant() << false << "null" << kDeleteRefused << qint64(2);
    // clang-format on
}

void TestForm1::statusPresses() {
    QFETCH(QString, button);
    QFETCH(QVariant, status);
    QFETCH(bool, dropped);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    QFETCH(qint64, selected);
    Display d;
    d.add(1, 0);
    d.add(2, status.isValid() ? std::optional<int>(status.toInt()) : std::nullopt);
    d.add(3, 1);
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    d.form->show();
    d.select(2);
    if (dropped)
        d.outcome.db->close();
    QTest::mouseClick(d.button(button), Qt::LeftButton);
    QCOMPARE(d.storedStatus(2), stored);
    QCOMPARE(d.messages.texts().join('\n'), message);
    QCOMPARE(d.selected(), selected);
    QCOMPARE(d.storedStatus(1) + d.storedStatus(3), "01");
}

void TestForm1::refresh_data() {
    QTest::addColumn<QStringList>("statements"); // of other stations before the tick
    QTest::addColumn<qint64>("selected");        // after the tick; line 25 before
    QTest::addColumn<bool>("told");              // whether the grid heard of a change
    const QString added = "INSERT INTO ordisp (monitornr, tisch, status, txt) VALUES (%1, 1, 2, 'neu')";
    const QString above =
        "INSERT INTO ordisp (monitornr, tisch, status, txt, insdate) SELECT monitornr, tisch, 0, "
        "txt, insdate FROM ordisp WHERE id <= 10";
    // clang-format off
    QTest::newRow("nothing changed") << QStringList{} << qint64(25) << false;
    QTest::newRow("another monitor's line came") << QStringList{added.arg(2)} << qint64(25) << false;
    QTest::newRow("the selected line's status set") << QStringList{"UPDATE ordisp SET status = 2 WHERE id = 25"} << qint64(25) << true;
    QTest::newRow("a line's text changed") << QStringList{"UPDATE ordisp SET txt = 'anders' WHERE id = 3"} << qint64(25) << true;
    QTest::newRow("ten lines went below, ten came above") << QStringList{"DELETE FROM ordisp WHERE id > 30", above} << qint64(25) << true;
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
    int reset = 0;
    int heard = 0;
    const auto* model = d.grid()->model();
    connect(model, &QAbstractItemModel::modelReset, this, [&] { ++reset; });
    connect(model, &QAbstractItemModel::layoutChanged, this, [&] { ++heard; });
    connect(model, &QAbstractItemModel::dataChanged, this, [&] { ++heard; });
    connect(model, &QAbstractItemModel::rowsInserted, this, [&] { ++heard; });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [&] { ++heard; });
    connect(d.grid()->selectionModel(), &QItemSelectionModel::selectionChanged, this, [&] { ++heard; });
    d.form->Timer1_Timer();
    QCoreApplication::processEvents();

    QCOMPARE(d.selected(), selected);
    QCOMPARE(reset, 0); // never the whole grid built anew
    QCOMPARE(heard > 0, told);
    QVERIFY(told || d.grid()->verticalScrollBar()->value() == scroll);
    const QRect row = d.grid()->visualRect(model->index(int(d.ids().indexOf(selected)), 0));
    QVERIFY(selected == 0 || d.grid()->viewport()->rect().contains(row));
}

void TestForm1::outage_data() {
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("banner");
    // clang-format off
    QTest::newRow("out of reach") << "lost" << "Keine Verbindung zur Datenbank seit 14:03:07";
    QTest::newRow("the list's query refused") << "refused" << "Datenbankfehler seit 14:03:07: ";
    QTest::newRow("the file locked by another program") << "lock" << "Datenbank belegt seit 14:03:07";
    // clang-format on
}

void TestForm1::outage() {
    QFETCH(QString, cause);
    QFETCH(QString, banner);
    Display d;
    if (cause == "lock" && d.isServer())
        QSKIP("a lock of the file");
    d.add(1);
    d.add(2);
    QVERIFY2(d.start(), qPrintable(d.errorText()));
    d.form->show();
    d.select(2);
    const QStringList cells = d.cells();
    std::unique_ptr<FileLock> lock;
    const auto trouble = [&](bool on) {
        if (cause == "lost")
            return d.cutOff(on);
        if (cause == "refused")
            return d.exec(on ? "ALTER TABLE ordisp RENAME COLUMN status TO zustand"
                             : "ALTER TABLE ordisp RENAME COLUMN zustand TO status");
        lock = on ? std::make_unique<FileLock>(d.file()->path()) : nullptr;
        return !lock || lock->isHeld();
    };
    QVERIFY2(trouble(true), qPrintable(d.errorText()));
    // Ticks in a row: a lock is told by the third; the banner tells when the trouble began.
    for (int second : {7, 9, 11}) {
        d.clock.set(QDateTime(QDate(2024, 5, 10), QTime(14, 3, second)));
        d.form->Timer1_Timer();
    }
    QVERIFY2(d.banner()->isVisible() && d.banner()->text().startsWith(banner),
             qPrintable(d.banner()->text()));
    QCOMPARE(d.form->isConnectionLost(), cause == "lost");
    QCOMPARE(d.cells(), cells);
    QCOMPARE(d.selected(), 2);
    QVERIFY(d.messages.shown().isEmpty());
    d.form->cmdOK_Click();
    QCOMPARE(d.messages.texts(), QStringList{kNotSaved});

    QVERIFY2(trouble(false), qPrintable(d.errorText()));
    d.form->Timer1_Timer();
    QVERIFY(!d.banner()->isVisible());
    QCOMPARE(d.storedStatus(2), "0"); // nothing kept for later
    QTest::mouseClick(d.button("cmdEsc"), Qt::LeftButton);
    QVERIFY(!d.form->isVisible() && !d.outcome.db->isOpen());
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestForm1)
#include "tst_form1.moc"
