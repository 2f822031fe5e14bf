// Soak: four displays (two per monitor) in this process and a terminal inserting lines as fast as
// it can on one SQLite file, with random presses on every button for a bounded time
// (ORDISP_SOAK_SECONDS, 30 by default; ORDISP_SOAK_SEED repeats a run). No action may be lost or
// applied twice, no "database is locked" may reach the cook, and at the end every line's status
// must be what the recorded actions say.

#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "Form1.h"
#include "MessageSink.h"
#include "Screen.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace ordisp;

namespace {

const QString kRefused = QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.");
constexpr int kDelete = -1;

// A POS terminal: inserts new lines for monitors 1 and 2 on its own connection until stopped.
class Terminal final : public QThread {
public:
    Terminal(QString path, quint32 seed)
        : m_path(std::move(path))
        , m_seed(seed) {}

    void stop() { m_stop = true; }
    int written() const { return m_written; }
    int failed() const { return m_failed; }
    QString lastError() const { return m_lastError; } // read after wait()

protected:
    void run() override {
        const QString name = QStringLiteral("SoakTerminal");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
            if (!db.open()) {
                m_lastError = db.lastError().text();
                ++m_failed;
                return;
            }
            QRandomGenerator random(m_seed);
            QSqlQuery insert(db);
            insert.prepare(
                QStringLiteral("INSERT INTO ordisp (monitornr, tisch, gang, gast, menge, txt, status, "
                               "insdate) VALUES (?, ?, ?, ?, ?, ?, 0, ?)"));
            while (!m_stop) {
                insert.addBindValue(random.bounded(1, 3));
                insert.addBindValue(random.bounded(1, 41));
                insert.addBindValue(random.bounded(0, 10));
                insert.addBindValue(random.bounded(1, 7));
                insert.addBindValue(random.bounded(1, 4));
                insert.addBindValue(QStringLiteral("Gericht %1").arg(m_written.load()));
                insert.addBindValue(
                    QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
                if (insert.exec()) {
                    ++m_written;
                } else {
                    ++m_failed;
                    m_lastError = insert.lastError().text();
                }
                QThread::usleep(random.bounded(2000));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

private:
    QString m_path;
    quint32 m_seed;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_written{0};
    std::atomic<int> m_failed{0};
    QString m_lastError;
};

// One display: main window and detail window on a connection of its own.
struct Station {
    Station(int n, const ConnectionSettings& settings, qint32 monitorNr)
        : db(QStringLiteral("SoakDisplay%1").arg(n)) {
        config = AppConfig{0, 1024, 768, monitorNr, {}};
        opened = db.open(settings);
        detail = std::make_unique<frmTischDetail>(db, monitorNr, messages, screen);
        form = std::make_unique<Form1>(db, config, messages, screen, clock, detail.get());
    }
    ~Station() {
        form.reset();
        detail.reset();
    }

    Database db;
    bool opened = false;
    AppConfig config;
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    SystemClock clock;
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;
};

struct Action {
    qint64 id;
    int status; // 1 or 2, or kDelete
};

int soakSeconds() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ORDISP_SOAK_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : 30;
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void displaysAndTerminalOnOneFile();

private:
    // Presses a status button of one window on whatever line is current there, recording what it
    // must write. False when a message other than the refusal reached the cook.
    bool pressStatusButton(Station& s, bool inDetail, int button);

    QList<Action> m_actions;
    int m_refusals = 0;
    int m_pressesWithoutLine = 0;
    QStringList m_unexpectedMessages;
    qint64 m_slowestPress = 0;
};

bool TestSoak::pressStatusButton(Station& s, bool inDetail, int button) {
    const ResultSet& rs = inDetail ? s.detail->CourseRows(s.detail->CurrentGrid()) : s.form->listRs();
    const bool hasLine = !rs.eof();
    const qint64 id = hasLine ? FieldValue(rs, QStringLiteral("id")).toLongLong() : 0;
    const bool done = hasLine && FieldValue(rs, QStringLiteral("status")).toDouble() == 2.0;
    const qsizetype shownBefore = s.messages.shown().size();

    QElapsedTimer took;
    took.start();
    if (button == 1)
        inDetail ? s.detail->cmdIA_Click() : s.form->cmdIA_Click();
    else if (button == 2)
        inDetail ? s.detail->cmdOK_Click() : s.form->cmdOK_Click();
    else
        inDetail ? s.detail->cmdDel_Click() : s.form->cmdDel_Click();
    m_slowestPress = qMax(m_slowestPress, took.elapsed());

    QStringList expectedMessages;
    if (!hasLine)
        ++m_pressesWithoutLine;
    else if (button != kDelete)
        m_actions.append({id, button});
    else if (done)
        m_actions.append({id, kDelete});
    else
        expectedMessages << kRefused;
    m_refusals += int(expectedMessages.size());

    const QStringList shown = s.messages.texts().mid(shownBefore);
    if (shown != expectedMessages)
        m_unexpectedMessages << shown;
    return shown == expectedMessages;
}

void TestSoak::displaysAndTerminalOnOneFile() {
    const int seconds = soakSeconds();
    const quint32 seed = qEnvironmentVariableIsSet("ORDISP_SOAK_SEED")
                             ? quint32(qEnvironmentVariableIntValue("ORDISP_SOAK_SEED"))
                             : QRandomGenerator::global()->generate();
    qInfo("soak for %d s, ORDISP_SOAK_SEED=%u", seconds, seed);
    QRandomGenerator random(seed);

    TestDb file;
    QVERIFY2(file.isValid(), qPrintable(file.errorText()));
    std::vector<std::unique_ptr<Station>> stations;
    for (int i = 0; i < 4; ++i) {
        stations.push_back(std::make_unique<Station>(i, file.settings(), 1 + i / 2));
        QVERIFY(stations.back()->opened);
    }
    Terminal terminal(file.path(), seed ^ 0x5eed5eedu);
    terminal.start();

    int presses = 0, tablePresses = 0, headerClicks = 0, detailCloses = 0, bannersSeen = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        Station& s = *stations.at(random.bounded(int(stations.size())));
        const int choice = random.bounded(100);
        if (choice < 45) {
            DataGrid* grid = s.form->findChild<DataGrid*>(QStringLiteral("DataGrid1"));
            if (grid->model()->rowCount() > 0 && random.bounded(4) != 0)
                grid->selectRow(random.bounded(grid->model()->rowCount()));
            const int button = QList<int>{1, 2, kDelete}.at(random.bounded(3));
            pressStatusButton(s, false, button);
            ++presses;
        } else if (choice < 75 && s.detail->isLoaded()) {
            const int k = random.bounded(frmTischDetail::kGridCount);
            DataGrid* grid = s.detail->grid(k);
            if (grid->model()->rowCount() > 0) {
                const QModelIndex index = grid->model()->index(random.bounded(grid->model()->rowCount()), 2);
                grid->scrollTo(index);
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  grid->visualRect(index).center());
            }
            const int button = QList<int>{1, 2, kDelete}.at(random.bounded(3));
            pressStatusButton(s, true, button);
            ++presses;
        } else if (choice < 90) {
            // A table, its second press opening the detail window, or "Alle Tische".
            const int index = random.bounded(4) == 0 ? 0 : random.bounded(1, 8);
            s.form->findChild<QPushButton*>(QStringLiteral("cmdTisch%1").arg(index))->click();
            ++tablePresses;
        } else if (choice < 96) {
            s.form->DataGrid1_HeadClick(random.bounded(6));
            ++headerClicks;
        } else if (s.detail->isLoaded()) {
            s.detail->cmdEsc_Click();
            ++detailCloses;
        }
        QTest::qWait(random.bounded(5, 40));
        for (const auto& station : stations)
            bannersSeen += station->form->isConnectionLost() ? 1 : 0;
    }
    terminal.stop();
    QVERIFY(terminal.wait(30000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The log holds every write in the order the database took them.
    const QStringList log = file.writes();
    static const QRegularExpression insertEntry(QStringLiteral("^INSERT ordisp id=(\\d+)$"));
    QHash<qint64, int> shadow;
    QStringList actualChanges;
    for (const QString& entry : log) {
        const QRegularExpressionMatch m = insertEntry.match(entry);
        if (m.hasMatch())
            shadow.insert(m.captured(1).toLongLong(), 0);
        else
            actualChanges << entry;
    }
    int updates = 0, deletes = 0;
    QStringList expectedChanges;
    for (const Action& a : std::as_const(m_actions)) {
        const auto it = shadow.find(a.id);
        if (it == shadow.end())
            continue; // deleted by another display before this press: the statement finds no line
        if (a.status == kDelete) {
            expectedChanges << QStringLiteral("DELETE ordisp id=%1 status %2").arg(a.id).arg(it.value());
            shadow.erase(it);
            ++deletes;
        } else {
            expectedChanges << QStringLiteral("UPDATE ordisp id=%1 status %2->%3")
                                   .arg(a.id)
                                   .arg(it.value())
                                   .arg(a.status);
            it.value() = a.status;
            ++updates;
        }
    }

    qInfo("%d s: %d lines written by the terminal, %d status presses (%d updates, %d deletes, %d refused, %d "
          "without a line), %d table presses, %d header clicks, %d detail closes; slowest press %lld ms",
          seconds, terminal.written(), presses, updates, deletes, m_refusals, m_pressesWithoutLine,
          tablePresses, headerClicks, detailCloses, m_slowestPress);

    QCOMPARE(terminal.failed(), 0);
    QVERIFY2(m_unexpectedMessages.isEmpty(), qPrintable(m_unexpectedMessages.join(QLatin1Char('\n'))));
    QCOMPARE(bannersSeen, 0);
    QCOMPARE(shadow.size() + deletes, qsizetype(terminal.written()));
    QCOMPARE(actualChanges, expectedChanges);

    // Every line's status is what the recorded actions say.
    QHash<qint64, int> stored;
    QSqlDatabase side = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("SoakCheck"));
    {
        side.setDatabaseName(file.path());
        QVERIFY(side.open());
        QSqlQuery query(side);
        QVERIFY(query.exec(QStringLiteral("SELECT id, status FROM ordisp")));
        while (query.next())
            stored.insert(query.value(0).toLongLong(), query.value(1).toInt());
        side.close();
    }
    side = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("SoakCheck"));
    QCOMPARE(stored, shadow);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
