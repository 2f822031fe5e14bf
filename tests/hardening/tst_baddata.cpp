// Bad data from the terminals: both windows on real SQLite files holding lines no terminal should
// write, in columns without types that keep whatever is sent. The windows must show something
// sensible, and the display may write nothing but what a press asks; the file's write log says so.

#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "Form1.h"
#include "MessageSink.h"
#include "Screen.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace ordisp;

namespace {

// A grid's rows as the view gets them, columns joined by '|', each after prefix.
QStringList rows(const DataGrid* grid, const QString& prefix = QString()) {
    QStringList result;
    const QAbstractItemModel* model = grid->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->data(model->index(r, c)).toString();
        result << prefix + cells.join(QLatin1Char('|'));
    }
    return result;
}

// Both windows of a display on a file holding lines; clock and screen pinned.
struct FileDisplay {
    explicit FileDisplay(const QString& lines)
        : file(QStringLiteral(
              "CREATE TABLE ordisp (id, tisch, gang, gast, menge, txt, status, insdate DATETIME, "
              "monitornr)")) {
        ok = file.exec(QStringLiteral("INSERT INTO ordisp SELECT *, 1 FROM (VALUES %1)").arg(lines)) &&
             db.open(file.settings());
        file.clearWrites();
        detail = std::make_unique<frmTischDetail>(db, 1, messages, screen);
        form = std::make_unique<Form1>(db, AppConfig{0, 1024, 768, 1, {}}, messages, screen, clock,
                                       detail.get());
    }
    DataGrid* grid() const { return form->findChild<DataGrid*>(QStringLiteral("DataGrid1")); }
    void pressTable(const QString& caption) const {
        for (int i = 1; i < 30; ++i) {
            if (auto* b = form->findChild<QPushButton*>(QStringLiteral("cmdTisch%1").arg(i));
                b->text() == caption)
                return b->click();
        }
    }
    // Chooses the line "Suppe" in a window and presses a button there (IA, OK, Del).
    void press(bool inDetail, const QString& button) const {
        DataGrid* g = inDetail ? detail->grid(1) : grid();
        const QStringList all = rows(g);
        const auto row = int(all.indexOf(all.filter(QStringLiteral("Suppe")).value(0)));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {},
                          g->visualRect(g->model()->index(row, 2)).center());
        QWidget* window = inDetail ? static_cast<QWidget*>(detail.get()) : form.get();
        window->findChild<QPushButton*>(QStringLiteral("cmd") + button)->click();
    }

    TestDb file;
    Database db{QStringLiteral("BadData")};
    bool ok = false;
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    FixedClock clock{QDateTime(QDate(2024, 5, 10), QTime(14, 3, 7))};
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;
};

} // namespace

class TestBadData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oddLine_data();
    void oddLine();
};

// lines: id, tisch, gang, gast, menge, txt, status, insdate, the watched line "Suppe" among them.
// shown: the watched line in the main window (Zeit|Tisch|Gang|Menge|Bezeichnung|Status). detail: its
// table's detail window (course:Gast|Menge|Bezeichnung|Status, ...), or what the cook is told instead.
// presses: on the watched line, in turn, in the main window and then in the detail window. written: the
// write log after the presses of one window, entries joined by "; ".
void TestBadData::oddLine_data() {
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("presses");
    QTest::addColumn<QString>("written");
    const QString xy = QStringLiteral("xy").repeated(5000);
    const QString odd = QStringLiteral("\u0007Suppe\t\U0001F35C\r\n\u001B\u202E") + QChar(0);
    const QString noTable =
        QStringLiteral("Tisch %1 kann nicht gewählt werden: Tischnummern reichen von -32768 bis 32767.");
    // clang-format off
    QTest::newRow("null in every column") << "(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)" << "|||||" << "" << "" << "";
    QTest::newRow("10000 characters") << "(5, 4, 0, 1, 1, replace(hex(zeroblob(5000)), '00', 'xy'), 0, NULL)" << "|4|0|1|" + xy + "|NEU" << "0:1|1|" + xy + "|NEU" << "" << "";
    QTest::newRow("controls, emoji, NUL") << "(5, 4, 1, 1, 1, char(7, 83, 117, 112, 112, 101, 9, 127836, 13, 10, 27, 8238, 0), 2, NULL)" << "|4|1|1|" + odd + "|OK" << "1:1|1|" + odd + "|OK" << "Del" << "DELETE ordisp id=5 status 2";
    QTest::newRow("tisch -40000") << "(5, -40000, 1, 1, 1, 'Suppe', 0, NULL)" << "|-40000|1|1|Suppe|NEU" << noTable.arg(-40000) << "OK" << "UPDATE ordisp id=5 status 0->2";
    QTest::newRow("tisch 65548 is not 12") << "(5, 65548, 1, 1, 1, 'Suppe', 0, NULL), (6, 12, 1, 1, 1, 'Salat', 0, NULL)" << "|65548|1|1|Suppe|NEU" << noTable.arg(65548) << "" << "";
    QTest::newRow("gast -4, menge 0.5") << "(5, 4, 2, -4, 0.5, 'Suppe', 0, NULL)" << "|4|2|0.5|Suppe|NEU" << "2:-4|0.5|Suppe|NEU" << "" << "";
    QTest::newRow("gang null") << "(5, 4, NULL, 1, 1, 'Suppe', 0, NULL)" << "|4||1|Suppe|NEU" << "" << "" << "";
    QTest::newRow("insdate no date") << "(5, 4, 1, 1, 1, 'Suppe', 0, 'gestern')" << "|4|1|1|Suppe|NEU" << "1:1|1|Suppe|NEU" << "" << "";
    QTest::newRow("insdate as bytes") << "(5, 4, 1, 1, 1, 'Suppe', 0, X'00FF')" << "|4|1|1|Suppe|NEU" << "1:1|1|Suppe|NEU" << "" << "";
    QTest::newRow("hour 24, not the next day") << "(5, 4, 1, 1, 1, 'Suppe', 0, '2024-05-10 24:00:00'), (6, 5, 1, 1, 1, 'Salat', 0, '2024-05-11 00:00:00')" << "|4|1|1|Suppe|NEU" << "1:1|1|Suppe|NEU" << "" << "";
    QTest::newRow("second 60, not the next minute") << "(5, 4, 1, 1, 1, 'Suppe', 0, '2024-05-10 09:05:60'), (6, 5, 1, 1, 1, 'Salat', 0, '2024-05-10 09:06:00')" << "|4|1|1|Suppe|NEU" << "1:1|1|Suppe|NEU" << "" << "";
    // Only done lines may be deleted; a status is set whatever it was.
    QTest::newRow("status 3") << "(5, 7, 1, 1, 1, 'Suppe', 3, '2024-05-10 09:05:00')" << "09:05|7|1|1|Suppe|3" << "1:1|1|Suppe|3" << "Del IA OK" << "UPDATE ordisp id=5 status 3->1; UPDATE ordisp id=5 status 1->2";
    QTest::newRow("status 2.5") << "(5, 7, 1, 1, 1, 'Suppe', 2.5, NULL)" << "|7|1|1|Suppe|2.5" << "1:1|1|Suppe|2.5" << "Del" << "";
    QTest::newRow("status, gast, menge null") << "(5, 7, 1, NULL, NULL, 'Suppe', NULL, NULL)" << "|7|1||Suppe|" << "1:||Suppe|" << "Del OK" << "UPDATE ordisp id=5 status NULL->2";
    QTest::newRow("status 2 as text") << "(5, 7, 1, 1, 1, 'Suppe', '2', NULL)" << "|7|1|1|Suppe|2" << "1:1|1|Suppe|2" << "Del" << "DELETE ordisp id=5 status '2'";
    // Done, so that every press would write if it acted; the neighbour is the line a careless
    // reading of the odd id would name.
    QTest::newRow("null id beside id 0") << "(NULL, 7, 1, 1, 1, 'Suppe', 2, NULL), (0, 7, 2, 1, 1, 'Salat', 2, NULL)" << "|7|1|1|Suppe|OK" << "1:1|1|Suppe|OK, 2:1|1|Salat|OK" << "IA OK" << "";
    QTest::newRow("id 17.5 beside 18") << "(17.5, 7, 1, 1, 1, 'Suppe', 2, NULL), (18, 7, 2, 1, 1, 'Salat', 2, NULL)" << "|7|1|1|Suppe|OK" << "1:1|1|Suppe|OK, 2:1|1|Salat|OK" << "IA OK" << "";
    QTest::newRow("id -3.5 beside -4") << "(-3.5, 7, 1, 1, 1, 'Suppe', 2, NULL), (-4, 7, 2, 1, 1, 'Salat', 2, NULL)" << "|7|1|1|Suppe|OK" << "1:1|1|Suppe|OK, 2:1|1|Salat|OK" << "IA OK" << "";
    QTest::newRow("id beyond 32 bits beside its low half") << "(4294967313, 7, 1, 1, 1, 'Suppe', 2, NULL), (17, 7, 2, 1, 1, 'Salat', 2, NULL)" << "|7|1|1|Suppe|OK" << "1:1|1|Suppe|OK, 2:1|1|Salat|OK" << "IA OK" << "";
    // Statements name lines by id: every line with the id changes, and no other.
    QTest::newRow("two lines with one id") << "(5, 7, 1, 1, 1, 'Suppe', 0, NULL), (5, 7, 2, 1, 1, 'Salat', 1, NULL), (6, 7, 2, 2, 1, 'Brot', 0, NULL)" << "|7|1|1|Suppe|NEU" << "1:1|1|Suppe|NEU, 2:1|1|Salat|i.A., 2:2|1|Brot|NEU" << "OK" << "UPDATE ordisp id=5 status 0->2; UPDATE ordisp id=5 status 1->2";
    // clang-format on
}

void TestBadData::oddLine() {
    QFETCH(QString, lines);
    QFETCH(QString, shown);
    QFETCH(QString, detail);
    QFETCH(QString, presses);
    QFETCH(QString, written);
    for (const bool inDetail : {false, true}) {
        FileDisplay d(lines);
        QVERIFY2(d.ok, qPrintable(d.file.errorText()));
        if (!inDetail) {
            // Refreshes, a sort and painting read the odd line without trouble and show it.
            d.form->Timer1_Timer();
            d.form->DataGrid1_HeadClick(0);
            d.form->resize(800, 600);
            QVERIFY(!d.form->grab().isNull());
            QVERIFY(d.form->findChild<QLabel*>(QStringLiteral("connectionBanner"))->isHidden());
            QVERIFY2(rows(d.grid()).contains(shown), qPrintable(rows(d.grid()).join(QLatin1Char('\n'))));
        } else {
            // Two presses of its table's button open the detail window, unless the number is no table.
            d.pressTable(shown.section(QLatin1Char('|'), 1, 1));
            d.pressTable(shown.section(QLatin1Char('|'), 1, 1) + QStringLiteral(" Detail"));
            QStringList all;
            for (int k = 0; d.detail->isLoaded() && k < frmTischDetail::kGridCount; ++k)
                all << rows(d.detail->grid(k), QString::number(k) + QLatin1Char(':'));
            QVERIFY(!d.detail->grab().isNull());
            const QString seen =
                d.detail->isLoaded() ? all.join(QStringLiteral(", ")) : d.messages.texts().join(QString());
            QCOMPARE(seen, detail);
            if (!d.detail->isLoaded())
                continue;
        }
        // Each Del that deletes nothing was refused as a line not done.
        const qsizetype refusals =
            presses.count(QLatin1String("Del")) - written.count(QLatin1String("DELETE"));
        for (const QString& button : presses.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            d.press(inDetail, button);
        QCOMPARE(d.file.writes().join(QStringLiteral("; ")), written);
        QCOMPARE(d.messages.texts(),
                 QStringList(refusals,
                             QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.")));
    }
}

QTEST_MAIN(TestBadData)
#include "tst_baddata.moc"
