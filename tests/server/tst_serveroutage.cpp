#include "Database.h"
#include "DbHelpers.h"
#include "Form1.h"
#include "ServerDisplay.h"
#include "frmTischDetail.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace ordisp;

namespace {

const QString kNotSaved =
    QStringLiteral("Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.");

QDateTime at(int hour, int minute) {
    return QDateTime(QDate(2024, 5, 10), QTime(hour, minute));
}

// Lets a stopped server run on when a test ends early, so that later tests and the cluster's
// own stop are not left hanging.
class Thaw {
public:
    explicit Thaw(const PgCluster& cluster)
        : m_cluster(cluster) {}
    ~Thaw() {
        if (m_frozen)
            release();
    }
    bool freeze(QString* error) {
        m_frozen = m_cluster.signalServer(SIGSTOP, error);
        return m_frozen;
    }
    bool release(QString* error = nullptr) {
        QString ignored;
        m_frozen = false;
        return m_cluster.signalServer(SIGCONT, error ? error : &ignored);
    }

private:
    const PgCluster& m_cluster;
    bool m_frozen = false;
};

// Starts the server again when a test that stopped it ends early.
class Restart {
public:
    explicit Restart(const PgCluster& cluster)
        : m_cluster(cluster) {}
    ~Restart() {
        QString ignored;
        if (m_stopped)
            m_cluster.startServer(&ignored);
    }
    bool stop(QString* error) {
        m_stopped = m_cluster.stopServer(error);
        return m_stopped;
    }
    bool start(QString* error) {
        const bool started = m_cluster.startServer(error);
        m_stopped = !started;
        return started;
    }

private:
    const PgCluster& m_cluster;
    bool m_stopped = false;
};

} // namespace

class TestServerOutage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void slowStatementGivesUp();
    void stoppedServer();
    void hungServer();

private:
    bool startDisplay(ServerDisplay& display);

    PgCluster m_cluster;
};

void TestServerOutage::initTestCase() {
    ORDISP_REQUIRE_PG(m_cluster);
}

bool TestServerOutage::startDisplay(ServerDisplay& display) {
    if (!display.prepare())
        return false;
    display.add(1, 1, 1, 0, at(9, 0), QStringLiteral("Suppe"));
    display.add(2, 1, 1, 0, at(9, 1), QStringLiteral("Braten"));
    display.add(2, 2, 1, 0, at(9, 2), QStringLiteral("Strudel"));
    if (!display.start())
        return false;
    display.form->show();
    return QTest::qWaitForWindowExposed(display.form.get());
}

void TestServerOutage::slowStatementGivesUp() {
    // The statement time-out is set on each statement and the driver keeps it: the server cancels
    // the statement and the driver reports it in its own words.
    Database db(QStringLiteral("slow"));
    DbError error;
    QVERIFY2(db.open(m_cluster.admin(), &error), qPrintable(error.description));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!db.exec(QStringLiteral("SELECT pg_sleep(30)"), &error));
    const qint64 elapsed = timer.elapsed();
    qInfo("slow statement: given up after %lld ms: %s", elapsed, qPrintable(error.description.simplified()));
    QVERIFY2(elapsed >= 9500 && elapsed < 11000, qPrintable(QString::number(elapsed)));
    QVERIFY2(error.description.contains(QLatin1String("statement timeout")), qPrintable(error.description));
    // The connection stays usable.
    QVERIFY(db.exec(QStringLiteral("SELECT 1"), &error));
}

void TestServerOutage::stoppedServer() {
    ServerDisplay display(m_cluster, QStringLiteral("ordisp_t_stop"));
    QVERIFY2(startDisplay(display), qPrintable(display.errorText()));
    // The detail window of table 2 is open as well.
    display.form->cmdTisch_Click(display.tableButton(QStringLiteral("2")));
    display.form->cmdTisch_Click(display.tableButton(QStringLiteral("2 Detail")));
    QVERIFY(display.detail->isLoaded());
    DataGrid* course1 = display.detail->grid(1);
    QVERIFY(QTest::qWaitForWindowExposed(display.detail.get()));
    QTest::mouseClick(course1->viewport(), Qt::LeftButton, Qt::NoModifier,
                      course1->visualRect(course1->model()->index(0, 2)).center());
    QCOMPARE(display.detail->CurrentGrid(), qint16(1));
    display.form->cmdTisch_Click(0); // all tables again, in the main window
    const QList<qint64> ids = display.ids();
    QCOMPARE(ids.size(), 3);
    display.select(ids.at(1));
    const QStringList cells = display.cells();
    const QStringList captions = display.tableCaptions();
    QVERIFY(!display.banner()->isVisible());
    auto* timer = display.form->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer->isActive());

    Restart server(m_cluster);
    QString error;
    QVERIFY2(server.stop(&error), qPrintable(error));
    QElapsedTimer sinceStop;
    sinceStop.start();
    // The display's own timer finds out.
    QTRY_VERIFY_WITH_TIMEOUT(display.form->isConnectionLost(), 30000);
    const qint64 stopToBanner = sinceStop.elapsed();
    QVERIFY(display.banner()->isVisible());
    QVERIFY(display.banner()->text().startsWith(QLatin1String("Keine Verbindung zur Datenbank seit ")));
    QCOMPARE(display.ids(), ids);
    QCOMPARE(display.cells(), cells);
    QCOMPARE(display.tableCaptions(), captions);
    QCOMPARE(display.selected(), ids.at(1));
    QVERIFY(display.messages.shown().isEmpty());

    // A button press says once that nothing was saved; the ticks stay silent.
    display.form->cmdOK_Click();
    QCOMPARE(display.messages.texts(), QStringList{kNotSaved});
    display.detail->cmdOK_Click();
    QCOMPARE(display.messages.texts(), (QStringList{kNotSaved, kNotSaved}));
    QTest::qWait(4500);
    QCOMPARE(display.messages.shown().size(), 2);
    QVERIFY(display.form->isConnectionLost());
    QVERIFY(timer->isActive());

    QVERIFY2(server.start(&error), qPrintable(error));
    QElapsedTimer sinceStart;
    sinceStart.start();
    QVERIFY2(display.role.reconnect(), qPrintable(display.role.errorText()));
    const qint64 added = display.add(3, 1, 1, 0, at(14, 0), QStringLiteral("nach dem Neustart"));
    QVERIFY(added > 0);
    QTRY_VERIFY_WITH_TIMEOUT(display.ids().contains(added), 30000);
    const qint64 startToList = sinceStart.elapsed();
    QVERIFY(!display.form->isConnectionLost());
    QVERIFY(!display.banner()->isVisible());
    qInfo("stopped server: banner %lld ms after the stop; current list %lld ms after the restart",
          stopToBanner, startToList);
    // One tick of 2 s, plus what that tick takes.
    QVERIFY2(stopToBanner < 6000, qPrintable(QString::number(stopToBanner)));
    QVERIFY2(startToList < 6000, qPrintable(QString::number(startToList)));

    // What was not saved stayed unsaved; a write made now lands, in both windows.
    QCOMPARE(display.storedStatus(ids.at(1)), QStringLiteral("0"));
    display.select(ids.at(1));
    display.form->cmdOK_Click();
    QCOMPARE(display.storedStatus(ids.at(1)), QStringLiteral("2"));
    QCOMPARE(display.selected(), ids.at(1));
    const qint64 detailLine =
        FieldValue(display.detail->CourseRows(display.detail->CurrentGrid()), QStringLiteral("id"))
            .toLongLong();
    display.detail->cmdIA_Click();
    QCOMPARE(display.storedStatus(detailLine), QStringLiteral("1"));
    QCOMPARE(display.messages.shown().size(), 2);
}

void TestServerOutage::hungServer() {
    ServerDisplay display(m_cluster, QStringLiteral("ordisp_t_hang"));
    QVERIFY2(startDisplay(display), qPrintable(display.errorText()));
    const QList<qint64> ids = display.ids();
    display.select(ids.at(2));
    const QStringList cells = display.cells();
    // Drive the ticks by hand: each one blocks while it waits for the server.
    display.form->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    Database probe(QStringLiteral("hang-probe"));
    DbError error;
    QVERIFY2(probe.open(m_cluster.admin(), &error), qPrintable(error.description));

    Thaw server(m_cluster);
    QString failure;
    QVERIFY2(server.freeze(&failure), qPrintable(failure));

    // A statement on a connection made before gives up by itself.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!probe.exec(QStringLiteral("SELECT 1"), &error));
    const qint64 statement = timer.elapsed();
    QVERIFY2(statement >= 9500 && statement < 12500, qPrintable(QString::number(statement)));
    QVERIFY(!probe.isOpen());

    // A tick: the list query gives up, the reconnect's login gives up, the banner shows.
    timer.restart();
    display.form->Timer1_Timer();
    const qint64 firstTick = timer.elapsed();
    QVERIFY(display.form->isConnectionLost());
    QVERIFY(display.banner()->isVisible());
    QCOMPARE(display.ids(), ids);
    QCOMPARE(display.cells(), cells);
    QCOMPARE(display.selected(), ids.at(2));

    // The next tick tries again, silently.
    timer.restart();
    display.form->Timer1_Timer();
    const qint64 secondTick = timer.elapsed();
    QVERIFY(display.form->isConnectionLost());
    QVERIFY(display.messages.shown().isEmpty());

    QVERIFY2(server.release(&failure), qPrintable(failure));
    timer.restart();
    display.form->Timer1_Timer();
    const qint64 recovery = timer.elapsed();
    QVERIFY(!display.form->isConnectionLost());
    QVERIFY(!display.banner()->isVisible());
    QCOMPARE(display.ids(), ids);
    QCOMPARE(display.selected(), ids.at(2));
    display.form->cmdIA_Click();
    QCOMPARE(display.storedStatus(ids.at(2)), QStringLiteral("1"));
    QVERIFY(display.messages.shown().isEmpty());

    qInfo("hung server: statement gave up after %lld ms; first tick (banner) %lld ms, next tick %lld ms; "
          "tick after the server went on %lld ms",
          statement, firstTick, secondTick, recovery);
    // Statement deadline plus login time-out, with room for a slow machine.
    QVERIFY2(firstTick < 25000, qPrintable(QString::number(firstTick)));
    QVERIFY2(secondTick < 25000, qPrintable(QString::number(secondTick)));
    QVERIFY2(recovery < 5000, qPrintable(QString::number(recovery)));
}

QTEST_MAIN(TestServerOutage)
#include "tst_serveroutage.moc"
