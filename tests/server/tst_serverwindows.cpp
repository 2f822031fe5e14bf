#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "Form1.h"
#include "ResultSetModel.h"
#include "ServerDisplay.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace ordisp;

namespace {

const QString kDeleteRefused = QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.");
const QString kNotSaved =
    QStringLiteral("Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.");

// The server process serving the connection: another one means a new login.
QVariant BackendPid(Database& db) {
    ResultData data;
    if (!db.select(QStringLiteral("SELECT pg_backend_pid()"), &data) || data.rows.isEmpty())
        return QVariant();
    return data.rows.first().first();
}

QDateTime at(int hour, int minute) {
    return QDateTime(QDate(2024, 5, 10), QTime(hour, minute));
}

struct Line {
    int table;
    int course;
    int guest;
    std::optional<int> status;
    QDateTime insdate;
    QString text;
    int monitor = 1;
    double quantity = 1.0;
};

// Lines of every kind the grid formats: each status (3 and NULL too), odd quantities, umlauts,
// another monitor's line and a line without a time.
const QList<Line> kLines = {
    {12, 1, 2, 0, at(9, 5), QStringLiteral("Käsespätzle"), 1, 2.0},
    {3, 0, 1, 1, at(21, 40), QStringLiteral("Suppe \"Haus\""), 1, 0.5},
    {7, 2, 1, 2, at(22, 0), QStringLiteral("Rinderbraten"), 1, 1.0},
    {8, 1, 3, 3, at(23, 0), QStringLiteral("Zander"), 1, 3.0},
    {9, 1, 1, std::nullopt, at(23, 30), QStringLiteral("Kaiserschmarrn"), 1, 1.0},
    {12, 0, 1, 0, at(9, 1), QStringLiteral("Salat"), 1, 1.0},
    {12, 3, 1, 0, at(9, 2), QStringLiteral("Eis"), 2, 1.0},
    {4, 1, 1, 0, QDateTime(), QStringLiteral("ohne Zeit"), 1, 1.0},
};

// The same lines in a database file, shown by a main window on it: the server's window must show
// exactly what the file's shows.
QStringList FileWindowCells(QList<qint64>* ids, QStringList* captions, int headerClick = -1) {
    TestDb file;
    for (const Line& line : kLines) {
        TestDb::Order order;
        order.monitornr = line.monitor;
        order.tisch = line.table;
        order.gang = line.course;
        order.gast = line.guest;
        order.menge = line.quantity;
        order.txt = line.text;
        order.status = line.status ? QVariant(*line.status) : QVariant();
        order.insdate = line.insdate.isValid() ? QVariant(line.insdate) : QVariant();
        if (file.addOrder(order) < 0)
            return {file.errorText()};
    }
    Database db(QStringLiteral("FileWindow"));
    if (!db.open(file.settings()))
        return {QStringLiteral("file does not open")};
    RecordingMessageSink messages;
    FixedScreen screen(15.0);
    FixedClock clock(at(14, 3));
    const AppConfig config{0, 1024, 768, 1, {}};
    Form1 form(db, config, messages, screen, clock, nullptr);
    if (headerClick >= 0)
        form.DataGrid1_HeadClick(headerClick);
    const ResultSet& rs = form.listRs();
    for (const ResultRow& row : rs.rows())
        ids->append(row.at(rs.columnIndex(QStringLiteral("id"))).toLongLong());
    for (int i = 1;; ++i) {
        auto* button = form.findChild<QPushButton*>(QStringLiteral("cmdTisch%1").arg(i));
        if (!button)
            break;
        if (!button->text().isEmpty())
            captions->append(button->text());
    }
    QStringList rows;
    const QAbstractItemModel* model = form.findChild<DataGrid*>(QStringLiteral("DataGrid1"))->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->data(model->index(row, column)).toString();
        rows << cells.join(QStringLiteral(" | "));
    }
    return rows;
}

} // namespace

class TestServerWindows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void listMatchesFileWindow_data();
    void listMatchesFileWindow();
    void statusActions();
    void tickFollowsOtherStations();
    void detailWindow();
    void refusedQueryIsNoLostConnection();

private:
    // A started display holding kLines.
    bool startWithLines(ServerDisplay& display);

    PgCluster m_cluster;
};

void TestServerWindows::initTestCase() {
    ORDISP_REQUIRE_PG(m_cluster);
}

bool TestServerWindows::startWithLines(ServerDisplay& display) {
    if (!display.prepare())
        return false;
    for (const Line& line : kLines) {
        if (display.add(line.table, line.course, line.guest, line.status, line.insdate, line.text,
                        line.monitor, line.quantity) < 0)
            return false;
    }
    return display.start();
}

void TestServerWindows::listMatchesFileWindow_data() {
    QTest::addColumn<int>("headerClick");
    QTest::newRow("status, insdate") << -1;
    QTest::newRow("Zeit clicked") << 0;
    QTest::newRow("Tisch clicked") << 1;
}

void TestServerWindows::listMatchesFileWindow() {
    QFETCH(int, headerClick);
    ServerDisplay display(m_cluster, QStringLiteral("ordisp_t_list"));
    QVERIFY2(startWithLines(display), qPrintable(display.errorText()));
    QAbstractItemModelTester tester(display.grid()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    if (headerClick >= 0)
        display.form->DataGrid1_HeadClick(headerClick);

    QList<qint64> fileIds;
    QStringList fileCaptions;
    QStringList fileCells = FileWindowCells(&fileIds, &fileCaptions, headerClick);
    // PostgreSQL sorts NULL last where SQL Server and the file sort it first; apart from the lines
    // with a NULL status or time the order is the same.
    const QList<qint64> withNull = {5, 8};
    const auto withoutNull = [&](QList<qint64> ids) {
        ids.removeIf([&](qint64 id) { return withNull.contains(id); });
        return ids;
    };
    QCOMPARE(withoutNull(display.ids()), withoutNull(fileIds));
    QStringList cells = display.cells();
    cells.sort();
    fileCells.sort();
    QCOMPARE(cells, fileCells);
    QCOMPARE(display.tableCaptions(), fileCaptions);
    QVERIFY(display.messages.shown().isEmpty());
    // Spot checks, so that a fault both windows share cannot hide.
    QVERIFY(cells.contains(QStringLiteral("23:30 | 9 | 1 | 1 | Kaiserschmarrn | ")));
    QVERIFY(cells.contains(QStringLiteral("09:05 | 12 | 1 | 2 | Käsespätzle | NEU")));
    QVERIFY(cells.contains(QStringLiteral("21:40 | 3 | 0 | 0.5 | Suppe \"Haus\" | i.A.")));
    QVERIFY(cells.contains(QStringLiteral("23:00 | 8 | 1 | 3 | Zander | 3")));
    QCOMPARE(display.tableCaptions(), (QStringList{"3", "4", "7", "8", "9", "12"}));
}

void TestServerWindows::statusActions() {
    ServerDisplay display(m_cluster, QStringLiteral("ordisp_t_actions"));
    QVERIFY2(startWithLines(display), qPrintable(display.errorText()));
    const qint64 spaetzle = 1; // the first line inserted

    display.select(spaetzle);
    display.form->cmdIA_Click();
    QCOMPARE(display.storedStatus(spaetzle), QStringLiteral("1"));
    QCOMPARE(display.selected(), spaetzle);

    display.form->cmdDel_Click();
    QCOMPARE(display.messages.texts(), QStringList{kDeleteRefused});
    QCOMPARE(display.storedStatus(spaetzle), QStringLiteral("1"));

    display.form->cmdOK_Click();
    QCOMPARE(display.storedStatus(spaetzle), QStringLiteral("2"));
    QCOMPARE(display.selected(), spaetzle);

    display.form->cmdDel_Click();
    QCOMPARE(display.storedStatus(spaetzle), QString());
    QVERIFY(!display.ids().contains(spaetzle));
    QCOMPARE(display.messages.shown().size(), 1);
    QVERIFY(!display.form->isConnectionLost());
}

void TestServerWindows::tickFollowsOtherStations() {
    ServerDisplay display(m_cluster, QStringLiteral("ordisp_t_tick"));
    QVERIFY2(startWithLines(display), qPrintable(display.errorText()));
    const int before = int(display.ids().size());

    const qint64 added = display.add(5, 1, 1, 0, at(14, 2), QStringLiteral("Forelle"));
    QVERIFY(added > 0);
    QVERIFY(display.role.exec(QStringLiteral("UPDATE ordisp SET status = 2 WHERE txt = 'Zander'")));
    display.form->Timer1_Timer();
    QCOMPARE(display.ids().size(), before + 1);
    QVERIFY(display.ids().contains(added));
    QVERIFY(display.cells().contains(QStringLiteral("23:00 | 8 | 1 | 3 | Zander | OK")));
    QVERIFY(display.tableCaptions().contains(QStringLiteral("5")));
    QVERIFY(display.messages.shown().isEmpty());
}

void TestServerWindows::detailWindow() {
    ServerDisplay display(m_cluster, QStringLiteral("ordisp_t_detail"));
    QVERIFY2(display.prepare(), qPrintable(display.errorText()));
    // Table 12: course 1 with three guests out of order, course 4, another monitor's line.
    const qint64 guest3 = display.add(12, 1, 3, 0, at(9, 0), QStringLiteral("Gast drei"));
    const qint64 guest1 = display.add(12, 1, 1, 0, at(9, 1), QStringLiteral("Gast eins"));
    const qint64 guest2 = display.add(12, 1, 2, 1, at(9, 2), QStringLiteral("Gast zwei"));
    const qint64 dessert = display.add(12, 4, 1, 2, at(9, 3), QStringLiteral("Dessert"));
    display.add(12, 1, 1, 0, at(9, 4), QStringLiteral("anderer Monitor"), 2);
    display.add(5, 1, 1, 0, at(9, 5), QStringLiteral("anderer Tisch"));
    QVERIFY2(display.start(), qPrintable(display.errorText()));
    display.form->show();

    // First press filters, second opens the detail window.
    const int button = display.tableButton(QStringLiteral("12"));
    QVERIFY(button > 0);
    display.form->cmdTisch_Click(button);
    QCOMPARE(display.form->tableFilter(), qint16(12));
    display.form->cmdTisch_Click(display.tableButton(QStringLiteral("12 Detail")));
    frmTischDetail& detail = *display.detail;
    QVERIFY(detail.isLoaded());
    QVERIFY(detail.isVisible());
    QCOMPARE(detail.DetailTable(), qint16(12));

    const auto texts = [&](int k) {
        QStringList result;
        for (const ResultRow& row : detail.CourseRows(k).rows())
            result << row.at(detail.CourseRows(k).columnIndex(QStringLiteral("txt"))).toString();
        return result;
    };
    QCOMPARE(texts(1), (QStringList{"Gast eins", "Gast zwei", "Gast drei"}));
    QCOMPARE(texts(4), QStringList{"Dessert"});
    for (int k : {0, 2, 3, 5, 6, 7, 8})
        QVERIFY2(texts(k).isEmpty(), qPrintable(QString::number(k)));
    QCOMPARE(detail.grid(1)->caption(), QStringLiteral("Gang  1"));

    // The buttons act on the clicked grid's current line.
    DataGrid* grid1 = detail.grid(1);
    QVERIFY(QTest::qWaitForWindowExposed(&detail));
    const QRect cell = grid1->visualRect(grid1->model()->index(1, 2));
    QTest::mouseClick(grid1->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(detail.CurrentGrid(), qint16(1));
    detail.cmdOK_Click();
    QCOMPARE(display.storedStatus(guest2), QStringLiteral("2"));
    QCOMPARE(FieldValue(detail.CourseRows(1), QStringLiteral("id")).toLongLong(), guest2);
    detail.cmdDel_Click();
    QCOMPARE(display.storedStatus(guest2), QString());
    QCOMPARE(texts(1), (QStringList{"Gast eins", "Gast drei"}));

    detail.cmdDel_Click(); // the first line, new: refused
    QCOMPARE(display.messages.texts(), QStringList{kDeleteRefused});
    QCOMPARE(display.storedStatus(guest1), QStringLiteral("0"));
    QCOMPARE(display.storedStatus(guest3), QStringLiteral("0"));
    QCOMPARE(display.storedStatus(dessert), QStringLiteral("2"));

    // The main list follows at its next tick.
    display.form->Timer1_Timer();
    QVERIFY(!display.ids().contains(guest2));
    QCOMPARE(display.ids().size(), 3);
}

void TestServerWindows::refusedQueryIsNoLostConnection() {
    ServerDisplay display(m_cluster, QStringLiteral("ordisp_t_refused"));
    QVERIFY2(startWithLines(display), qPrintable(display.errorText()));
    const QList<qint64> ids = display.ids();
    const QVariant backend = BackendPid(display.db());
    QVERIFY(backend.isValid());

    // A table made otherwise, without the column the list sorts by: the server refuses the query.
    QVERIFY2(display.role.exec(QStringLiteral("ALTER TABLE ordisp RENAME COLUMN status TO zustand")),
             qPrintable(display.role.errorText()));
    display.form->Timer1_Timer();
    QVERIFY(!display.banner()->isHidden());
    const QString banner = display.banner()->text();
    QVERIFY2(banner.startsWith(QLatin1String("Datenbankfehler seit 14:03:07: ")) &&
                 banner.contains(QLatin1String("status")),
             qPrintable(banner));
    QVERIFY(!display.form->isConnectionLost());
    QCOMPARE(display.ids(), ids);
    display.select(ids.first());
    display.form->cmdOK_Click();
    QCOMPARE(display.messages.texts(), QStringList{kNotSaved});
    QCOMPARE(BackendPid(display.db()), backend); // no new login was tried

    QVERIFY(display.role.exec(QStringLiteral("ALTER TABLE ordisp RENAME COLUMN zustand TO status")));
    display.form->Timer1_Timer();
    QVERIFY(display.banner()->isHidden());
    QCOMPARE(BackendPid(display.db()), backend);
}

QTEST_MAIN(TestServerWindows)
#include "tst_serverwindows.moc"
