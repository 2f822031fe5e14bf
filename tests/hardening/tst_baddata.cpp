// Bad data from the terminals: both windows on real SQLite files holding lines no terminal should
// write. The grids must show something sensible, nothing may crash, and the display may write
// nothing but what its buttons say; triggers log every write to prove it.

#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "Form1.h"
#include "MessageSink.h"
#include "ResultSetModel.h"
#include "Screen.h"
#include "Startup.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace ordisp;

namespace {

const QString kRefused = QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.");

// Nine columns, none a key, none typed but insdate: any value a terminal sends is kept as sent.
const QString kLooseTable = QStringLiteral(
    "CREATE TABLE ordisp (id, monitornr, tisch, gang, gast, menge, txt, status, insdate DATETIME)");

// The time a terminal would store for 10 May 2024 at h:m local time, as Unix seconds.
qint64 unixTime(int h, int m, int dayOffset = 0) {
    return QDateTime(QDate(2024, 5, 10).addDays(dayOffset), QTime(h, m)).toSecsSinceEpoch();
}

QString julianDay(int h, int m, int dayOffset = 0) {
    return QString::number(double(unixTime(h, m, dayOffset)) / 86400.0 + 2440587.5, 'f', 10);
}

// Both windows of one display on a database file; messages recorded, clock and screen pinned.
class KitchenDisplay {
public:
    explicit KitchenDisplay(TestDb& file, qint32 monitorNr = 1)
        : m_file(file)
        , m_db(QStringLiteral("BadData%1").arg(++s_count)) {
        m_config = AppConfig{0, 1024, 768, monitorNr, {}};
    }
    ~KitchenDisplay() {
        form.reset();
        detail.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    bool start() {
        DbError error;
        if (!m_file.isValid() || !m_db.open(m_file.settings(), &error)) {
            qWarning() << m_file.errorText() << error.description;
            return false;
        }
        m_file.clearWrites();
        m_schema = m_file.schema();
        detail = std::make_unique<frmTischDetail>(m_db, m_config.monitorNr, messages, m_screen);
        form = std::make_unique<Form1>(m_db, m_config, messages, m_screen, m_clock, detail.get());
        return true;
    }

    DataGrid* grid() const { return form->findChild<DataGrid*>(QStringLiteral("DataGrid1")); }
    QPushButton* button(const QString& name) const { return form->findChild<QPushButton*>(name); }

    // The grid's cells as given to the view, row by row, columns joined by '|'.
    QStringList rows(const DataGrid* g) const {
        QStringList result;
        const QAbstractItemModel* model = g->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model->columnCount(); ++c)
                cells << model->data(model->index(r, c)).toString();
            result << cells.join(QLatin1Char('|'));
        }
        return result;
    }
    QStringList rows() const { return rows(grid()); }

    int rowWithText(const DataGrid* g, int column, const QString& text) const {
        const QAbstractItemModel* model = g->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->data(model->index(r, column)).toString() == text)
                return r;
        }
        return -1;
    }

    int tableButton(const QString& caption) const {
        for (int i = 1; i < 30; ++i) {
            if (button(QStringLiteral("cmdTisch%1").arg(i))->text() == caption)
                return i;
        }
        return -1;
    }

    // Selects the table, then opens its detail window, as two presses of its button do.
    bool openDetail(const QString& table) {
        const int first = tableButton(table);
        if (first < 0)
            return false;
        form->cmdTisch_Click(first);
        const int second = tableButton(table + QStringLiteral(" Detail"));
        if (second < 0)
            return false;
        form->cmdTisch_Click(second);
        return detail->isLoaded();
    }

    void clickDetailRow(int k, int row) const {
        DataGrid* g = detail->grid(k);
        const QRect cell = g->visualRect(g->model()->index(row, 2));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

    void press(const QString& window, const QString& action) {
        if (window == QLatin1String("main")) {
            if (action == QLatin1String("IA"))
                form->cmdIA_Click();
            else if (action == QLatin1String("OK"))
                form->cmdOK_Click();
            else
                form->cmdDel_Click();
        } else {
            if (action == QLatin1String("IA"))
                detail->cmdIA_Click();
            else if (action == QLatin1String("OK"))
                detail->cmdOK_Click();
            else
                detail->cmdDel_Click();
        }
    }

    // Whatever happened, nothing may have changed the tables themselves.
    bool schemaUnchanged() { return m_file.schema() == m_schema; }

    RecordingMessageSink messages;
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;

private:
    static inline int s_count = 0;
    TestDb& m_file;
    Database m_db;
    AppConfig m_config;
    FixedScreen m_screen{15.0};
    FixedClock m_clock{QDateTime(QDate(2024, 5, 10), QTime(14, 3, 7))};
    QString m_schema;
};

} // namespace

class TestBadData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oddLinesShowSensibly_data();
    void oddLinesShowSensibly();
    void tableOutside16Bits_data();
    void tableOutside16Bits();
    void statusActionsOnOddLines_data();
    void statusActionsOnOddLines();
    void lineWithoutUsableId_data();
    void lineWithoutUsableId();
    void duplicateIds();
    void impossibleTimeStaysNoTime_data();
    void impossibleTimeStaysNoTime();
    void valueChangesTypeBetweenRefreshes_data();
    void valueChangesTypeBetweenRefreshes();
    void detailWindowWithOddLines();
    void purgeComparesStoredTimes_data();
    void purgeComparesStoredTimes();
    void systemTableWithSeveralRows();
};

void TestBadData::oddLinesShowSensibly_data() {
    QTest::addColumn<QString>("values"); // monitornr, tisch, gang, gast, menge, txt, status, insdate
    QTest::addColumn<QString>("shown");  // Zeit|Tisch|Gang|Menge|Bezeichnung|Status
    const QString emoji = QStringLiteral("\u0007Suppe\t\U0001F35C\r\n\u001B[31m\u202Eettuppes");

    QTest::newRow("null in every column") << "1, NULL, NULL, NULL, NULL, NULL, NULL, NULL"
                                          << "|||||";
    QTest::newRow("status 3") << "1, 4, 1, 1, 1, 'Suppe', 3, '2024-05-10 09:05:00'"
                              << "09:05|4|1|1|Suppe|3";
    QTest::newRow("status -1") << "1, 4, 1, 1, 1, 'Suppe', -1, '2024-05-10 09:05:00'"
                               << "09:05|4|1|1|Suppe|-1";
    QTest::newRow("txt of 10000 characters")
        << "1, 4, 1, 1, 1, replace(hex(zeroblob(5000)), '00', 'xy'), 0, '2024-05-10 09:05:00'"
        << "09:05|4|1|1|" + QStringLiteral("xy").repeated(5000) + "|NEU";
    QTest::newRow("control characters and emoji")
        << "1, 4, 1, 1, 1, char(7) || 'Suppe' || char(9) || char(127836) || char(13) || char(10) || char(27) "
           "|| "
           "'[31m' || char(8238) || 'ettuppes', 0, '2024-05-10 09:05:00'"
        << "09:05|4|1|1|" + emoji + "|NEU";
    QTest::newRow("tisch 70000") << "1, 70000, 1, 1, 1, 'Suppe', 0, '2024-05-10 09:05:00'"
                                 << "09:05|70000|1|1|Suppe|NEU";
    QTest::newRow("tisch -40000") << "1, -40000, 1, 1, 1, 'Suppe', 0, '2024-05-10 09:05:00'"
                                  << "09:05|-40000|1|1|Suppe|NEU";
    QTest::newRow("menge 0.5") << "1, 4, 1, 1, 0.5, 'Suppe', 0, '2024-05-10 09:05:00'"
                               << "09:05|4|1|0.5|Suppe|NEU";
    QTest::newRow("menge negative") << "1, 4, 1, 1, -2, 'Suppe', 0, '2024-05-10 09:05:00'"
                                    << "09:05|4|1|-2|Suppe|NEU";
    QTest::newRow("insdate null") << "1, 4, 1, 1, 1, 'Suppe', 0, NULL"
                                  << "|4|1|1|Suppe|NEU";
    QTest::newRow("insdate in the future") << "1, 4, 1, 1, 1, 'Suppe', 0, '2099-12-31 23:58:00'"
                                           << "23:58|4|1|1|Suppe|NEU";
    QTest::newRow("insdate as Unix time")
        << QStringLiteral("1, 4, 1, 1, 1, 'Suppe', 0, %1").arg(unixTime(9, 5)) << "09:05|4|1|1|Suppe|NEU";
    QTest::newRow("insdate as Julian day")
        << QStringLiteral("1, 4, 1, 1, 1, 'Suppe', 0, %1").arg(julianDay(21, 40)) << "21:40|4|1|1|Suppe|NEU";
    QTest::newRow("insdate day first") << "1, 4, 1, 1, 1, 'Suppe', 0, '10.05.2024 00:01'"
                                       << "00:01|4|1|1|Suppe|NEU";
    QTest::newRow("insdate month first") << "1, 4, 1, 1, 1, 'Suppe', 0, '05/10/2024 21:40:00'"
                                         << "21:40|4|1|1|Suppe|NEU";
    QTest::newRow("insdate as Windows date number") << "1, 4, 1, 1, 1, 'Suppe', 0, 45000.5"
                                                    << "12:00|4|1|1|Suppe|NEU";
    QTest::newRow("insdate with T") << "1, 4, 1, 1, 1, 'Suppe', 0, '2024-05-10T09:05:00'"
                                    << "09:05|4|1|1|Suppe|NEU";
    QTest::newRow("insdate that is no date") << "1, 4, 1, 1, 1, 'Suppe', 0, 'gestern'"
                                             << "|4|1|1|Suppe|NEU";
    QTest::newRow("insdate as bytes") << "1, 4, 1, 1, 1, 'Suppe', 0, X'00FF'"
                                      << "|4|1|1|Suppe|NEU";
}

void TestBadData::oddLinesShowSensibly() {
    QFETCH(QString, values);
    QFETCH(QString, shown);
    TestDb file;
    QVERIFY2(file.exec(QStringLiteral("INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, "
                                      "insdate) VALUES (") +
                       values + QLatin1Char(')')),
             qPrintable(file.errorText()));
    KitchenDisplay display(file);
    QVERIFY(display.start());
    QCOMPARE(display.rows(), QStringList{shown});

    // Refreshes and painting leave everything as it was.
    display.form->Timer1_Timer();
    display.form->Timer1_Timer();
    display.form->resize(800, 600);
    QVERIFY(!display.form->grab().isNull());
    QCOMPARE(display.rows(), QStringList{shown});
    QVERIFY(display.messages.shown().isEmpty());
    QVERIFY(!display.form->isConnectionLost());
    QCOMPARE(file.writes(), QStringList());
    QVERIFY(display.schemaUnchanged());
}

void TestBadData::tableOutside16Bits_data() {
    QTest::addColumn<qint64>("table");
    QTest::newRow("70000") << qint64(70000);
    QTest::newRow("-40000") << qint64(-40000);
    // Cut to 16 bits it would be table 12, which has a line too.
    QTest::newRow("65548 is not table 12") << qint64(65548);
}

void TestBadData::tableOutside16Bits() {
    QFETCH(qint64, table);
    TestDb file;
    QVERIFY(file.exec(
        QStringLiteral("INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, insdate) "
                       "VALUES (1, %1, 1, 1, 1, 'Suppe', 0, '2024-05-10 09:05:00'), "
                       "(1, 12, 1, 1, 1, 'Salat', 2, '2024-05-10 09:06:00')")
            .arg(table)));
    KitchenDisplay display(file);
    QVERIFY(display.start());
    const QString caption = QString::number(table);
    const int index = display.tableButton(caption);
    QVERIFY2(index > 0, "the button shows the table's number");

    display.button(QStringLiteral("cmdTisch%1").arg(index))->click();
    QCOMPARE(display.messages.texts(),
             QStringList{QStringLiteral("Tisch %1 kann nicht gewählt werden: Tischnummern reichen von -32768 "
                                        "bis 32767.")
                             .arg(caption)});
    QCOMPARE(display.messages.shown().at(0).style, int(MsgExclamation));
    QCOMPARE(display.form->tableFilter(), qint16(0));
    QCOMPARE(display.form->tableFilterSql(), QString());
    QCOMPARE(display.rows().size(), 2);
    QVERIFY(!display.detail->isLoaded());
    QCOMPARE(display.tableButton(caption), index);
    QCOMPARE(file.writes(), QStringList());
}

void TestBadData::statusActionsOnOddLines_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("status"); // as stored by the terminal
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("written"); // "" for nothing; %1 stands for the line's id
    QTest::addColumn<bool>("refused");

    for (const char* window : {"main", "detail"}) {
        const QString w = QLatin1String(window);
        auto row = [&](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(w + QStringLiteral(": ") + name));
        };
        row("status 3, in Arbeit") << w << "3"
                                   << "IA"
                                   << "UPDATE ordisp id=%1 status 3->1" << false;
        row("status 3, Fertig") << w << "3"
                                << "OK"
                                << "UPDATE ordisp id=%1 status 3->2" << false;
        row("status 3, löschen") << w << "3"
                                 << "DEL"
                                 << "" << true;
        row("status -1, löschen") << w << "-1"
                                  << "DEL"
                                  << "" << true;
        row("null status, Fertig") << w << "NULL"
                                   << "OK"
                                   << "UPDATE ordisp id=%1 status NULL->2" << false;
        row("null status, löschen") << w << "NULL"
                                    << "DEL"
                                    << "" << true;
        row("status 2 sent as text, löschen") << w << "'2'"
                                              << "DEL"
                                              << "DELETE ordisp id=%1 status 2" << false;
        row("status 2.5, löschen") << w << "2.5"
                                   << "DEL"
                                   << "" << true;
    }
}

void TestBadData::statusActionsOnOddLines() {
    QFETCH(QString, window);
    QFETCH(QString, status);
    QFETCH(QString, action);
    QFETCH(QString, written);
    QFETCH(bool, refused);
    TestDb file;
    QVERIFY(file.exec(
        QStringLiteral("INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, insdate) "
                       "VALUES (1, 7, 1, 1, 1, 'Suppe', %1, '2024-05-10 09:05:00'), "
                       "(1, 7, 1, 2, 1, 'Salat', 2, '2024-05-10 09:06:00')")
            .arg(status)));
    const qint64 id = file.scalar(QStringLiteral("SELECT id FROM ordisp WHERE txt = 'Suppe'")).toLongLong();
    KitchenDisplay display(file);
    QVERIFY(display.start());
    if (window == QLatin1String("main")) {
        const int row = display.rowWithText(display.grid(), 4, QStringLiteral("Suppe"));
        QVERIFY(row >= 0);
        display.grid()->selectRow(row);
    } else {
        QVERIFY(display.openDetail(QStringLiteral("7")));
        const int row = display.rowWithText(display.detail->grid(1), 2, QStringLiteral("Suppe"));
        QVERIFY(row >= 0);
        display.clickDetailRow(1, row);
        QCOMPARE(display.detail->CurrentGrid(), qint16(1));
    }
    file.clearWrites();

    display.press(window, action);
    QCOMPARE(file.writes(), written.isEmpty() ? QStringList() : QStringList{written.arg(id)});
    QCOMPARE(display.messages.texts(), refused ? QStringList{kRefused} : QStringList());
    QVERIFY(display.schemaUnchanged());
}

void TestBadData::lineWithoutUsableId_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("oddId");
    QTest::addColumn<QString>("neighbourId"); // the line a careless reading of the odd id would name

    for (const char* window : {"main", "detail"}) {
        const QString w = QLatin1String(window);
        auto row = [&](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(w + QStringLiteral(": ") + name));
        };
        row("null id beside id 0") << w << "NULL"
                                   << "0";
        row("id 17.5 beside id 18") << w << "17.5"
                                    << "18";
        row("id -3.5 beside id -4") << w << "-3.5"
                                    << "-4";
        row("id beyond 32 bits beside its low half") << w << "4294967313"
                                                     << "17";
    }
}

void TestBadData::lineWithoutUsableId() {
    QFETCH(QString, window);
    QFETCH(QString, oddId);
    QFETCH(QString, neighbourId);
    TestDb file(kLooseTable);
    QVERIFY2(file.isValid(), qPrintable(file.errorText()));
    // Both done, so that every button would write if it acted.
    QVERIFY(file.exec(
        QStringLiteral("INSERT INTO ordisp VALUES (%1, 1, 7, 1, 1, 1, 'Suppe', 2, "
                       "'2024-05-10 09:05:00'), (%2, 1, 8, 1, 1, 1, 'Salat', 2, '2024-05-10 09:06:00')")
            .arg(oddId, neighbourId)));
    KitchenDisplay display(file);
    QVERIFY(display.start());
    for (const char* action : {"IA", "OK", "DEL"}) {
        if (window == QLatin1String("main")) {
            const int row = display.rowWithText(display.grid(), 4, QStringLiteral("Suppe"));
            QVERIFY(row >= 0);
            display.grid()->selectRow(row);
        } else {
            if (!display.detail->isLoaded())
                QVERIFY(display.openDetail(QStringLiteral("7")));
            display.clickDetailRow(1, 0);
        }
        display.press(window, QLatin1String(action));
        QCOMPARE(file.writes(), QStringList());
    }
    QCOMPARE(display.messages.texts(), QStringList());
    QCOMPARE(file.scalar(QStringLiteral("SELECT count(*) FROM ordisp WHERE status = 2")).toInt(), 2);
}

void TestBadData::duplicateIds() {
    // A table without a primary key: two lines share id 5.
    TestDb file(kLooseTable);
    QVERIFY(file.exec(QStringLiteral("INSERT INTO ordisp VALUES "
                                     "(5, 1, 7, 1, 1, 1, 'Suppe', 0, '2024-05-10 09:05:00'), "
                                     "(5, 1, 7, 1, 2, 1, 'Salat', 1, '2024-05-10 09:06:00'), "
                                     "(6, 1, 7, 1, 3, 1, 'Brot', 0, '2024-05-10 09:07:00')")));
    KitchenDisplay display(file);
    QVERIFY(display.start());
    QCOMPARE(display.rows().size(), 3);
    display.grid()->selectRow(display.rowWithText(display.grid(), 4, QStringLiteral("Salat")));

    // The statements name lines by id, so "Fertig" reaches every line with id 5, and only those.
    display.form->cmdOK_Click();
    const QStringList written = file.writes();
    QVERIFY(!written.isEmpty());
    for (const QString& entry : written)
        QVERIFY2(entry.startsWith(QLatin1String("UPDATE ordisp id=5 status ")) &&
                     entry.endsWith(QLatin1String("->2")),
                 qPrintable(entry));
    QCOMPARE(file.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = 6")).toInt(), 0);
    QCOMPARE(display.rows().size(), 3);
    QVERIFY(!display.form->listRs().eof());

    file.clearWrites();
    display.form->Timer1_Timer();
    QVERIFY(!display.form->grab().isNull());
    QCOMPARE(file.writes(), QStringList());
    QVERIFY(display.messages.shown().isEmpty());
}

void TestBadData::impossibleTimeStaysNoTime_data() {
    QTest::addColumn<QString>("impossible");
    QTest::addColumn<QString>("possible"); // the time it must not be mistaken for
    QTest::newRow("hour 24") << "2024-05-10 24:00:00"
                             << "2024-05-11 00:00:00";
    QTest::newRow("minute 60") << "2024-05-10 09:60:00"
                               << "2024-05-10 10:00:00";
    QTest::newRow("second 60") << "2024-05-10 09:05:60"
                               << "2024-05-10 09:06:00";
    QTest::newRow("hour 24 with T") << "2024-05-10T24:00"
                                    << "2024-05-11T00:00";
}

void TestBadData::impossibleTimeStaysNoTime() {
    QFETCH(QString, impossible);
    QFETCH(QString, possible);
    TestDb file;
    QVERIFY(file.exec(
        QStringLiteral("INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, insdate) "
                       "VALUES (1, 4, 1, 1, 1, 'Unmöglich', 0, '%1'), (1, 4, 1, 1, 1, 'Möglich', 0, '%2')")
            .arg(impossible, possible)));
    KitchenDisplay display(file);
    QVERIFY(display.start());
    // Read again, after the possible time has been read once: the answer must not depend on it.
    display.form->Timer1_Timer();
    display.form->DataGrid1_HeadClick(0);
    const int row = display.rowWithText(display.grid(), 4, QStringLiteral("Unmöglich"));
    QVERIFY(row >= 0);
    QCOMPARE(display.grid()->model()->data(display.grid()->model()->index(row, 0)).toString(), QString());
}

void TestBadData::valueChangesTypeBetweenRefreshes_data() {
    QTest::addColumn<QString>("before"); // the status as a terminal stores it first
    QTest::addColumn<QString>("after");  // and then
    QTest::addColumn<QString>("shownBefore");
    QTest::addColumn<QString>("shownAfter");
    QTest::newRow("text 0 becomes the number 0") << "'0'"
                                                 << "0"
                                                 << "0"
                                                 << "NEU";
    QTest::newRow("number 2 becomes text 2") << "2"
                                             << "'2'"
                                             << "OK"
                                             << "2";
    QTest::newRow("number 1 becomes text 1.0") << "1"
                                               << "'1.0'"
                                               << "i.A."
                                               << "1.0";
}

void TestBadData::valueChangesTypeBetweenRefreshes() {
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, shownBefore);
    QFETCH(QString, shownAfter);
    // Columns without a type keep whatever a terminal sends.
    TestDb file(kLooseTable);
    QVERIFY(file.exec(
        QStringLiteral("INSERT INTO ordisp VALUES (1, 1, 4, 1, 1, 1, 'Suppe', %1, '2024-05-10 09:05:00')")
            .arg(before)));
    KitchenDisplay display(file);
    QVERIFY(display.start());
    QAbstractItemModel* model = display.grid()->model();
    const QModelIndex cell = model->index(0, 5);
    QCOMPARE(model->data(cell).toString(), shownBefore);

    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QVERIFY(file.exec(QStringLiteral("UPDATE ordisp SET status = %1").arg(after)));
    display.form->Timer1_Timer();
    QCOMPARE(model->data(model->index(0, 5)).toString(), shownAfter);
    // The view repaints only what it is told of.
    bool told = !reset.isEmpty();
    for (const QList<QVariant>& signal : std::as_const(changed)) {
        const auto from = signal.at(0).value<QModelIndex>();
        const auto to = signal.at(1).value<QModelIndex>();
        told = told || (from.row() <= 0 && to.row() >= 0 && from.column() <= 5 && to.column() >= 5);
    }
    QVERIFY2(told, "the grid was not told that the status cell changed");
}

void TestBadData::detailWindowWithOddLines() {
    TestDb file;
    QVERIFY(file.exec(QStringLiteral(
        "INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, insdate) VALUES "
        "(1, 7, NULL, 1, 1, 'ohne Gang', 0, '2024-05-10 09:00:00'), "
        "(1, 7, 9, 1, 1, 'Gang 9', 0, '2024-05-10 09:00:00'), "
        "(1, 7, -1, 1, 1, 'Gang -1', 0, '2024-05-10 09:00:00'), "
        "(1, 7, 1, NULL, NULL, 'ohne Gast', NULL, NULL), "
        "(1, 7, 2, 2, 0.5, replace(hex(zeroblob(5000)), '00', 'xy'), 3, '2024-05-10 09:00:00'), "
        "(1, 7, 3, -4, -1, char(128512) || char(9) || char(0) || 'x', -1, '2024-05-10 09:00:00')")));
    KitchenDisplay display(file);
    QVERIFY(display.start());
    QVERIFY(display.openDetail(QStringLiteral("7")));
    QVERIFY(!display.detail->grab().isNull());

    QCOMPARE(display.rows(display.detail->grid(1)), QStringList{QStringLiteral("||ohne Gast|")});
    QCOMPARE(
        display.rows(display.detail->grid(2)),
        QStringList{QStringLiteral("2|0.5|") + QStringLiteral("xy").repeated(5000) + QStringLiteral("|3")});
    QCOMPARE(display.rows(display.detail->grid(3)),
             QStringList{QStringLiteral("-4|-1|\U0001F600\t") + QChar(0) + QStringLiteral("x|-1")});
    for (int k : {0, 4, 5, 6, 7, 8})
        QCOMPARE(display.rows(display.detail->grid(k)), QStringList());

    // The null status reads as not done; the line is set to done by id.
    display.clickDetailRow(1, 0);
    display.detail->cmdDel_Click();
    QCOMPARE(display.messages.texts(), QStringList{kRefused});
    display.detail->cmdOK_Click();
    const qint64 id =
        file.scalar(QStringLiteral("SELECT id FROM ordisp WHERE txt = 'ohne Gast'")).toLongLong();
    QCOMPARE(file.writes(), QStringList{QStringLiteral("UPDATE ordisp id=%1 status NULL->2").arg(id)});
    QCOMPARE(display.rows(display.detail->grid(1)), QStringList{QStringLiteral("||ohne Gast|OK")});
    QVERIFY(display.schemaUnchanged());
}

void TestBadData::purgeComparesStoredTimes_data() {
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("insdate");
    QTest::addColumn<bool>("purged");

    QTest::newRow("done, Unix time today 00:01") << "2" << QString::number(unixTime(0, 1)) << false;
    QTest::newRow("done, Unix time yesterday 23:59") << "2" << QString::number(unixTime(23, 59, -1)) << true;
    QTest::newRow("done, Unix time today as a fraction")
        << "2" << QString::number(double(unixTime(0, 1)) + 0.25, 'f', 2) << false;
    QTest::newRow("done, Julian day today 00:01") << "2" << julianDay(0, 1) << false;
    QTest::newRow("done, Julian day yesterday 23:59") << "2" << julianDay(23, 59, -1) << true;
    QTest::newRow("done, T text today") << "2"
                                        << "'2024-05-10T00:01:00'" << false;
    QTest::newRow("done, T text yesterday") << "2"
                                            << "'2024-05-09T23:59:00'" << true;
    QTest::newRow("done, in the future") << "2"
                                         << "'2099-01-01 00:00:00'" << false;
    QTest::newRow("done, null") << "2"
                                << "NULL" << false;
    QTest::newRow("done, day first today") << "2"
                                           << "'10.05.2024 00:30'" << false;
    QTest::newRow("done, month first today") << "2"
                                             << "'05/10/2024 00:30:00'" << false;
    QTest::newRow("done, day first yesterday") << "2"
                                               << "'09.05.2024 23:59'" << true;
    QTest::newRow("done, empty text") << "2"
                                      << "''" << false;
    QTest::newRow("done, Windows date number today 00:30") << "2"
                                                           << "45422.0208333" << false;
    QTest::newRow("done, Windows date number yesterday") << "2"
                                                         << "45421.99" << true;
    QTest::newRow("done, no date") << "2"
                                   << "'gestern'" << false;
    QTest::newRow("new, Unix time a year ago") << "0" << QString::number(unixTime(12, 0, -365)) << false;
    QTest::newRow("status 3, yesterday") << "3"
                                         << "'2024-05-09 12:00:00'" << false;
}

void TestBadData::purgeComparesStoredTimes() {
    QFETCH(QString, status);
    QFETCH(QString, insdate);
    QFETCH(bool, purged);
    TestDb file;
    QVERIFY(
        file.exec(QStringLiteral("INSERT INTO ordisp (id, monitornr, tisch, gang, gast, menge, txt, status, "
                                 "insdate) VALUES (1, 1, 4, 1, 1, 1, 'Suppe', %1, %2)")
                      .arg(status, insdate)));
    file.clearWrites();

    QTemporaryDir dir;
    const QString configFolder = dir.filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(configFolder));
    QFile ini(ConfigFilePath(configFolder));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK=" + file.folder().toUtf8() + "\n");
    ini.close();

    RecordingMessageSink messages;
    FixedClock clock(QDateTime(QDate(2024, 5, 10), QTime(0, 5)));
    StartupEnvironment env;
    env.messages = &messages;
    env.clock = &clock;
    env.configFolder = configFolder;
    env.executableFolder = dir.path();
    env.currentFolder = dir.path();
    const StartupOutcome outcome = RunStartup(env);
    QVERIFY(outcome.showMainWindow);
    QCOMPARE(messages.texts(), QStringList());

    QStringList expected{QStringLiteral("UPDATE system")};
    if (purged)
        expected << QStringLiteral("DELETE ordisp id=1 status 2");
    QCOMPARE(file.writes(), expected);
}

void TestBadData::systemTableWithSeveralRows() {
    TestDb file;
    QVERIFY(
        file.exec(QStringLiteral("INSERT INTO system (moddate, booltest) VALUES (NULL, 1), ('x', NULL)")));
    QCOMPARE(file.scalar(QStringLiteral("SELECT count(*) FROM system")).toInt(), 3);
    file.clearWrites();

    QTemporaryDir dir;
    QFile ini(ConfigFilePath(dir.path()));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK=" + file.folder().toUtf8() + "\n");
    ini.close();
    RecordingMessageSink messages;
    FixedClock clock(QDateTime(QDate(2024, 5, 10), QTime(12, 0)));
    StartupEnvironment env;
    env.messages = &messages;
    env.clock = &clock;
    env.configFolder = dir.path();
    env.executableFolder = dir.path();
    env.currentFolder = dir.path();
    const StartupOutcome outcome = RunStartup(env);
    QVERIFY(outcome.showMainWindow);
    QCOMPARE(messages.texts(), QStringList());
    QCOMPARE(outcome.db->dateLiteralStyle(), QStringLiteral("D"));
    // The date probe is one statement over every row; nothing else is written.
    QCOMPARE(file.writes(), QStringList(3, QStringLiteral("UPDATE system")));
    QCOMPARE(file.scalar(QStringLiteral("SELECT count(*) FROM system WHERE moddate = '2000-12-31 00:00:00'"))
                 .toInt(),
             3);
}

QTEST_MAIN(TestBadData)
#include "tst_baddata.moc"
