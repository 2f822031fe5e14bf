// Soak: four displays (two per monitor) and a terminal inserting lines as fast as it can on one
// SQLite file, with random presses in every window for ORDISP_SOAK_SECONDS (30 by default;
// ORDISP_SOAK_SEED repeats a run). No press may be lost or applied twice, no lock may reach the
// cook, and every line's status must end as the presses say.

#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "Form1.h"
#include "MessageSink.h"
#include "Screen.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace ordisp;

namespace {

const QString kInsert =
    QStringLiteral("INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, "
                   "insdate) VALUES (%1, %2, %3, 1, 1, 'Gericht', 0, datetime('now'))");

// One display: both windows on a connection of its own.
struct Station {
    Station(int n, const TestDb& file, qint32 monitorNr)
        : db(QStringLiteral("Soak%1").arg(n)) {
        (void)db.open(file.settings()); // the test asks isOpen()
        detail = std::make_unique<frmTischDetail>(db, monitorNr, messages, screen);
        form = std::make_unique<Form1>(db, AppConfig{0, 1024, 768, monitorNr, {}}, messages, screen, clock,
                                       detail.get());
    }
    Database db;
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    SystemClock clock;
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;
};

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void displaysAndTerminalOnOneFile();
};

void TestSoak::displaysAndTerminalOnOneFile() {
    const int asked = qEnvironmentVariableIntValue("ORDISP_SOAK_SECONDS");
    const int seconds = asked > 0 ? asked : 30;
    const auto seed = quint32(qEnvironmentVariableIsSet("ORDISP_SOAK_SEED")
                                  ? qEnvironmentVariableIntValue("ORDISP_SOAK_SEED")
                                  : QRandomGenerator::global()->generate());
    qInfo("soak for %d s, ORDISP_SOAK_SEED=%u", seconds, seed);
    QRandomGenerator random(seed);
    TestDb file;
    Station stations[] = {{0, file, 1}, {1, file, 1}, {2, file, 2}, {3, file, 2}};
    for (const Station& s : stations)
        QVERIFY2(s.db.isOpen(), qPrintable(file.errorText()));
    // The terminal: a connection of its own, on a thread of its own.
    std::atomic<bool> stop{false};
    std::atomic<int> inserted{0}, failed{0};
    std::thread terminal([&, seed] {
        Database db(QStringLiteral("SoakTerminal"));
        QRandomGenerator own(~seed);
        failed += db.open(file.settings()) ? 0 : 1;
        while (!stop && db.isOpen()) {
            const quint32 n = own.generate();
            (db.exec(kInsert.arg(1 + n % 2).arg(1 + n / 2 % 40).arg(n / 80 % 9)) ? inserted : failed)++;
            QThread::usleep(n % 2000);
        }
    });

    QList<std::pair<qint64, int>> presses; // the line and the status a press set, -1 for a delete
    int refusals = 0, banners = 0;
    QStringList told;
    for (const QDeadlineTimer end(seconds * 1000); !end.hasExpired();) {
        Station& s = stations[random.bounded(4)];
        const int choice = random.bounded(100);
        if (choice < 70) {
            // A line chosen (or not) and a status button pressed, in the main or the detail window.
            const bool inDetail = choice >= 45 && s.detail->isLoaded();
            DataGrid* grid = inDetail ? s.detail->grid(random.bounded(frmTischDetail::kGridCount))
                                      : s.form->findChild<DataGrid*>(QStringLiteral("DataGrid1"));
            if (const int rows = grid->model()->rowCount(); rows > 0 && random.bounded(4) != 0) {
                const QModelIndex index = grid->model()->index(random.bounded(rows), 2);
                grid->scrollTo(index);
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
            }
            const ResultSet& rs = inDetail ? s.detail->CourseRows(s.detail->CurrentGrid()) : s.form->listRs();
            const qint64 id = rs.eof() ? 0 : FieldValue(rs, QStringLiteral("id")).toLongLong();
            const bool done = !rs.eof() && FieldValue(rs, QStringLiteral("status")).toInt() == 2;
            const int button = random.bounded(3);
            QWidget* window = inDetail ? static_cast<QWidget*>(s.detail.get()) : s.form.get();
            window->findChild<QPushButton*>(QStringList{"cmdIA", "cmdOK", "cmdDel"}.at(button))->click();
            const bool refused = id != 0 && button == 2 && !done;
            refusals += refused ? 1 : 0;
            if (id != 0 && !refused)
                presses.append({id, button == 2 ? -1 : button + 1});
        } else {
            // A table, its second press opening the detail window, or all tables.
            const int index = random.bounded(4) == 0 ? 0 : random.bounded(1, 8);
            s.form->findChild<QPushButton*>(QStringLiteral("cmdTisch%1").arg(index))->click();
        }
        QTest::qWait(random.bounded(5, 40));
        for (Station& station : stations) {
            banners +=
                station.form->findChild<QLabel*>(QStringLiteral("connectionBanner"))->isHidden() ? 0 : 1;
            told << station.messages.texts();
            station.messages.clear();
        }
    }
    stop = true;
    terminal.join();
    qInfo("%d s: %d inserted, %d written, %d refused", seconds, int(inserted), int(presses.size()), refusals);
    QCOMPARE(failed.load(), 0);
    QCOMPARE(banners, 0);
    QCOMPARE(told, QStringList(refusals,
                               QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.")));

    // The log holds every write in the order the database took them: the presses, replayed on new
    // lines, must give the same changes.
    QHash<qint64, int> lines; // status by line, -1 once deleted
    QStringList expected;
    for (const auto& [id, status] : std::as_const(presses)) {
        int& was = lines[id];
        if (was < 0)
            continue; // deleted on another display first: the statement finds no line
        expected << (status < 0
                         ? QStringLiteral("DELETE ordisp id=%1 status %2").arg(id).arg(was)
                         : QStringLiteral("UPDATE ordisp id=%1 status %2->%3").arg(id).arg(was).arg(status));
        was = status;
    }
    QCOMPARE(file.writes().filter(QRegularExpression(QStringLiteral("^(UPDATE|DELETE)"))), expected);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
