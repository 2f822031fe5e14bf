#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "Form1.h"
#include "MessageSink.h"
#include "Screen.h"
#include "TestDb.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace ordisp;

namespace {

QDateTime at(int minute) {
    return QDateTime(QDate(2024, 5, 10), QTime(9, 0)).addSecs(60 * minute);
}

// Every signal by which a model tells a view to redo more than single cells, and single cells too.
struct ModelSpies {
    explicit ModelSpies(QAbstractItemModel* model)
        : reset(model, &QAbstractItemModel::modelReset)
        , layout(model, &QAbstractItemModel::layoutChanged)
        , changed(model, &QAbstractItemModel::dataChanged)
        , inserted(model, &QAbstractItemModel::rowsInserted)
        , removed(model, &QAbstractItemModel::rowsRemoved)
        , moved(model, &QAbstractItemModel::rowsMoved) {}
    int total() const {
        return int(reset.count() + layout.count() + changed.count() + inserted.count() + removed.count() +
                   moved.count());
    }
    QSignalSpy reset;
    QSignalSpy layout;
    QSignalSpy changed;
    QSignalSpy inserted;
    QSignalSpy removed;
    QSignalSpy moved;
};

// The main window on a file of 40 new lines of monitor 1, a minute apart, for tables 1 to 4; the
// refresh timer is driven by the test alone.
struct KitchenDisplay {
    TestDb file;
    Database db{QStringLiteral("RefreshStability")};
    AppConfig config{0, 1024, 768, 1, {}};
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    FixedClock clock{QDateTime(QDate(2024, 5, 10), QTime(14, 0))};
    std::unique_ptr<Form1> form;

    bool add(qint64 id, int minute, int status = 0) {
        TestDb::Order o;
        o.id = id;
        o.tisch = int(id % 4) + 1;
        o.status = status;
        o.insdate = at(minute);
        o.txt = QStringLiteral("Gericht %1").arg(id);
        return file.addOrder(o) == id;
    }

    bool start() {
        for (int i = 1; i <= 40; ++i) {
            if (!add(i, 10 * i))
                return false;
        }
        if (!file.isValid() || !db.open(file.settings()))
            return false;
        form = std::make_unique<Form1>(db, config, messages, screen, clock, nullptr);
        timer()->stop();
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    QTimer* timer() const { return form->findChild<QTimer*>(QStringLiteral("Timer1")); }
    DataGrid* grid() const { return form->findChild<DataGrid*>(QStringLiteral("DataGrid1")); }
    QScrollBar* scroll() const { return grid()->verticalScrollBar(); }
    void tick() const {
        form->Timer1_Timer();
        timer()->stop();
        QCoreApplication::processEvents();
    }

    int rowOf(qint64 id) const {
        const ResultSet& rs = form->listRs();
        const int column = rs.columnIndex(QStringLiteral("id"));
        for (int row = 0; row < rs.rowCount(); ++row) {
            if (rs.rows().at(row).at(column).toLongLong() == id)
                return row;
        }
        return -1;
    }
    void select(qint64 id) const {
        grid()->selectRow(rowOf(id));
        QCoreApplication::processEvents();
    }
    // The selected line's id, 0 when none; the grid's selection must agree with the current row.
    qint64 selected() const {
        const ResultSet& rs = form->listRs();
        const QModelIndexList rows = grid()->selectionModel()->selectedRows();
        if (rs.eof())
            return rows.isEmpty() ? 0 : -1;
        if (rows.size() != 1 || rows.first().row() != rs.currentRow())
            return -1;
        return FieldValue(rs, QStringLiteral("id")).toLongLong();
    }
    bool inView(qint64 id) const {
        const QRect rect = grid()->visualRect(grid()->model()->index(rowOf(id), 0));
        return rect.isValid() && rect.top() >= 0 && rect.bottom() < grid()->viewport()->height();
    }
    void showAtTop(qint64 id) const {
        grid()->scrollTo(grid()->model()->index(rowOf(id), 0), QAbstractItemView::PositionAtTop);
        QCoreApplication::processEvents();
    }
};

} // namespace

class TestRefreshStability : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unchangedRefreshTouchesNothing_data();
    void unchangedRefreshTouchesNothing();
    void selectedLinePushedOutComesBack_data();
    void selectedLinePushedOutComesBack();
    void changeElsewhereKeepsScroll_data();
    void changeElsewhereKeepsScroll();
};

void TestRefreshStability::unchangedRefreshTouchesNothing_data() {
    QTest::addColumn<qint64>("select");
    QTest::addColumn<bool>("scrollAway"); // the cook scrolled to the end, away from the selection
    QTest::addColumn<QString>("focus");   // object name of the widget holding the focus
    QTest::addColumn<int>("table");       // table button pressed first; 0 for none
    QTest::addColumn<int>("headerClick"); // column header clicked first; -1 for none
    QTest::newRow("selection in view, grid focused") << qint64(20) << false << "DataGrid1" << 0 << -1;
    QTest::newRow("selection scrolled away") << qint64(3) << true << "DataGrid1" << 0 << -1;
    QTest::newRow("Fertig button focused") << qint64(20) << false << "cmdOK" << 0 << -1;
    QTest::newRow("first line selected") << qint64(1) << false << "DataGrid1" << 0 << -1;
    QTest::newRow("last line selected") << qint64(40) << false << "DataGrid1" << 0 << -1;
    QTest::newRow("one table shown") << qint64(22) << false << "DataGrid1" << 3 << -1;
    QTest::newRow("sorted by table") << qint64(20) << false << "DataGrid1" << 0 << 1;
}

void TestRefreshStability::unchangedRefreshTouchesNothing() {
    QFETCH(qint64, select);
    QFETCH(bool, scrollAway);
    QFETCH(QString, focus);
    QFETCH(int, table);
    QFETCH(int, headerClick);

    KitchenDisplay d;
    QVERIFY2(d.start(), qPrintable(d.file.errorText()));
    if (table > 0) {
        // Buttons 1.. carry the tables in ascending order: table 3 is button 3.
        d.form->cmdTisch_Click(table);
        QCOMPARE(d.form->tableFilter(), qint16(table));
    }
    if (headerClick >= 0)
        d.form->DataGrid1_HeadClick(headerClick);
    d.select(select);
    QCOMPARE(d.selected(), select);
    if (scrollAway)
        d.scroll()->setValue(d.scroll()->maximum());
    else
        d.showAtTop(select);
    QWidget* focused = d.form->findChild<QWidget*>(focus);
    QVERIFY(focused);
    focused->setFocus();
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), focused);
    const int scroll = d.scroll()->value();
    QVERIFY(scrollAway ? !d.inView(select) : d.inView(select));

    ModelSpies spies(d.grid()->model());
    QSignalSpy selection(d.grid()->selectionModel(), &QItemSelectionModel::selectionChanged);
    QSignalSpy current(d.grid()->selectionModel(), &QItemSelectionModel::currentChanged);
    d.tick();
    d.tick();
    QVERIFY(d.form->RefreshList(qint32(select)));
    QCoreApplication::processEvents();

    QCOMPARE(spies.total(), 0);
    QCOMPARE(selection.count(), 0);
    QCOMPARE(current.count(), 0);
    QCOMPARE(d.scroll()->value(), scroll);
    QCOMPARE(d.selected(), select);
    QCOMPARE(QApplication::focusWidget(), focused);
}

void TestRefreshStability::selectedLinePushedOutComesBack_data() {
    QTest::addColumn<qint64>("select");
    QTest::addColumn<QStringList>("statements"); // what other stations write meanwhile
    // Times before the first line sort above every line; the count stays, so the tick keeps the
    // selection on its line.
    QStringList above;
    QStringList aboveAndBelow;
    for (int i = 0; i < 10; ++i) {
        above << QStringLiteral("INSERT INTO ordisp (id, monitornr, tisch, status, txt, insdate) VALUES "
                                "(%1, 1, 1, 0, 'Neu %1', '2024-05-10 08:%2:00')")
                     .arg(100 + i)
                     .arg(i, 2, 10, QLatin1Char('0'));
        above << QStringLiteral("DELETE FROM ordisp WHERE id = %1").arg(40 - i);
        aboveAndBelow << QStringLiteral("DELETE FROM ordisp WHERE id = %1").arg(1 + i);
        aboveAndBelow << QStringLiteral(
                             "INSERT INTO ordisp (id, monitornr, tisch, status, txt, insdate) VALUES "
                             "(%1, 1, 1, 0, 'Neu %1', '2024-05-10 18:%2:00')")
                             .arg(100 + i)
                             .arg(i, 2, 10, QLatin1Char('0'));
    }
    QTest::newRow("lines added above it, as many gone below") << qint64(12) << above;
    QTest::newRow("lines gone above it, as many added below") << qint64(25) << aboveAndBelow;
    QTest::newRow("its status set by another station")
        << qint64(5) << QStringList{QStringLiteral("UPDATE ordisp SET status = 2 WHERE id = 5")};
}

void TestRefreshStability::selectedLinePushedOutComesBack() {
    QFETCH(qint64, select);
    QFETCH(QStringList, statements);

    KitchenDisplay d;
    QVERIFY2(d.start(), qPrintable(d.file.errorText()));
    d.select(select);
    d.showAtTop(select);
    QVERIFY(d.inView(select));
    const int count = d.form->listRs().rowCount();
    const int rowBefore = d.rowOf(select);
    const int rowsInView = d.grid()->viewport()->height() / d.grid()->rowHeight(0);
    for (const QString& sql : statements)
        QVERIFY2(d.file.exec(sql), qPrintable(d.file.errorText()));

    ModelSpies spies(d.grid()->model());
    d.tick();

    QCOMPARE(d.form->listRs().rowCount(), count);
    QCOMPARE(d.selected(), select);
    // Where it stood before, the view now shows other lines only.
    QVERIFY(qAbs(d.rowOf(select) - rowBefore) >= rowsInView);
    QVERIFY(d.inView(select));
    // Told in place, not by a reset that would rebuild the whole grid.
    QCOMPARE(spies.reset.count(), 0);
    QVERIFY(spies.total() > 0);
}

void TestRefreshStability::changeElsewhereKeepsScroll_data() {
    QTest::addColumn<qint64>("select");
    QTest::addColumn<bool>("scrollAway");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<bool>("quiet"); // the grid is told nothing at all
    const QString newLine =
        QStringLiteral("INSERT INTO ordisp (id, monitornr, tisch, status, txt, insdate) VALUES "
                       "(100, 1, 1, 0, 'Neu', '2024-05-10 18:00:00')");
    QTest::newRow("line added and one gone below the view")
        << qint64(10) << false << QStringList{newLine, QStringLiteral("DELETE FROM ordisp WHERE id = 38")}
        << false;
    QTest::newRow("text of a line in view changed")
        << qint64(10) << false
        << QStringList{QStringLiteral("UPDATE ordisp SET txt = 'anders' WHERE id = 11")} << false;
    QTest::newRow("selection scrolled away, a line in view changed")
        << qint64(3) << true << QStringList{QStringLiteral("UPDATE ordisp SET status = 1 WHERE id = 38")}
        << false;
    QTest::newRow("another monitor's line added")
        << qint64(10) << false
        << QStringList{QStringLiteral(
               "INSERT INTO ordisp (id, monitornr, tisch, status, txt, insdate) VALUES "
               "(100, 2, 1, 0, 'Neu', '2024-05-10 08:00:00')")}
        << true;
}

void TestRefreshStability::changeElsewhereKeepsScroll() {
    QFETCH(qint64, select);
    QFETCH(bool, scrollAway);
    QFETCH(QStringList, statements);
    QFETCH(bool, quiet);

    KitchenDisplay d;
    QVERIFY2(d.start(), qPrintable(d.file.errorText()));
    d.select(select);
    if (scrollAway)
        d.scroll()->setValue(d.scroll()->maximum());
    else
        d.showAtTop(select);
    const int scroll = d.scroll()->value();
    QCOMPARE(d.inView(select), !scrollAway);
    for (const QString& sql : statements)
        QVERIFY2(d.file.exec(sql), qPrintable(d.file.errorText()));

    ModelSpies spies(d.grid()->model());
    d.tick();

    QCOMPARE(d.selected(), select);
    QCOMPARE(d.scroll()->value(), scroll);
    QCOMPARE(spies.reset.count(), 0);
    QCOMPARE(spies.total() == 0, quiet);
}

QTEST_MAIN(TestRefreshStability)
#include "tst_refreshstability.moc"
