// A server that hangs or stops under a running display: the display waits no longer than its
// deadlines, keeps what it showed under a banner, tells of each press it could not save, and
// carries on by itself when the server is back.

#include "Database.h"
#include "DbHelpers.h"
#include "Display.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace ordisp;

namespace {

const QString kNotSaved =
    QStringLiteral("Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.");

// Brings the server back, started and going, however a test ends.
struct ServerBack {
    const PgCluster& cluster;
    ~ServerBack() {
        QString ignored;
        cluster.startServer(&ignored);
    }
};

} // namespace

class TestServerOutage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ORDISP_REQUIRE_PG(m_cluster); }
    void slowStatementGivesUp();
    void hungThenStoppedServer();

private:
    PgCluster m_cluster;
};

void TestServerOutage::slowStatementGivesUp() {
    // The driver keeps the statement's time-out: the server cancels the statement, the driver says
    // so in its own words, and the connection stays usable.
    Database db(QStringLiteral("slow"));
    DbError error;
    QVERIFY2(db.open(m_cluster.admin(), &error), qPrintable(error.description));
    QVERIFY(!db.exec(QStringLiteral("SELECT pg_sleep(30)"), &error));
    QVERIFY2(error.description.contains(QLatin1String("statement timeout")), qPrintable(error.description));
    QVERIFY(db.exec(QStringLiteral("SELECT 1"), &error));
}

void TestServerOutage::hungThenStoppedServer() {
    ordisp::Display display(1, QStringLiteral("server"));
    QVERIFY2(display.errorText().isEmpty(), qPrintable(display.errorText()));
    display.add(1, 0, 1, QStringLiteral("Suppe"));
    display.add(2, 0, 1, QStringLiteral("Braten"));
    display.add(2, 0, 2, QStringLiteral("Strudel"));
    const auto stored = [&](qint64 id) {
        return display.role->scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(id))
            .toInt();
    };
    QVERIFY2(display.start(), qPrintable(display.errorText()));
    // Table 2's detail window is open with its first course chosen; the main window lists all tables.
    display.form->cmdTisch_Click(int(display.tableCaptions().indexOf(QStringLiteral("2"))) + 1);
    display.form->cmdTisch_Click(int(display.tableCaptions().indexOf(QStringLiteral("2 Detail"))) + 1);
    DataGrid* course = display.detail->grid(1);
    QTest::mouseClick(course->viewport(), Qt::LeftButton, {},
                      course->visualRect(course->model()->index(0, 2)).center());
    display.form->cmdTisch_Click(0);
    const QList<qint64> ids = display.ids();
    display.select(ids.at(0));
    const QStringList cells = display.cells();
    // While the server hangs, the ticks go by hand: each blocks until it gives up.
    auto* timer = display.form->findChild<QTimer*>(QStringLiteral("Timer1"));
    timer->stop();

    const ServerBack back{m_cluster};
    QString failure;
    QVERIFY2(m_cluster.signalServer(SIGSTOP, &failure), qPrintable(failure));
    // A statement on a connection made before gives up by itself, and the connection with it.
    QVERIFY(!display.role->exec(QStringLiteral("SELECT 1")) && !display.role->side().isOpen());
    // The list query gives up and the banner shows; the next tick's new login gives up too. Each
    // waits for a deadline or two, never for the server.
    QElapsedTimer took;
    took.start();
    display.form->Timer1_Timer();
    QVERIFY(display.form->isConnectionLost() && display.banner()->isVisibleTo(display.form.get()));
    display.form->Timer1_Timer();
    qInfo("hung server: two ticks took %lld ms", took.elapsed());
    QVERIFY2(took.elapsed() < 50000, qPrintable(QString::number(took.elapsed())));
    QCOMPARE(display.cells(), cells);
    QCOMPARE(display.selected(), ids.at(0));
    QVERIFY2(m_cluster.signalServer(SIGCONT, &failure), qPrintable(failure));
    display.form->Timer1_Timer();
    QVERIFY(!display.form->isConnectionLost() && !display.banner()->isVisibleTo(display.form.get()));
    QCOMPARE(display.selected(), ids.at(0));

    // Stopped: the display's own timer finds out; a press says that nothing was saved, the ticks
    // stay silent.
    timer->start();
    QVERIFY2(m_cluster.stopServer(&failure), qPrintable(failure));
    QTRY_VERIFY_WITH_TIMEOUT(display.form->isConnectionLost(), 30000);
    QCOMPARE(display.cells(), cells);
    display.form->cmdOK_Click();
    display.detail->cmdOK_Click();
    QTest::qWait(4500);
    QCOMPARE(display.messages.texts(), (QStringList{kNotSaved, kNotSaved}));

    // Started again: a press writes at once, on a new connection, in either window; the list
    // follows by itself.
    QVERIFY2(m_cluster.startServer(&failure), qPrintable(failure));
    display.form->cmdOK_Click();
    const qint64 detailLine = FieldValue(display.detail->CourseRows(1), QStringLiteral("id")).toLongLong();
    display.detail->cmdIA_Click();
    QCOMPARE(display.messages.shown().size(), 2);
    QVERIFY2(display.role->reconnect(), qPrintable(display.role->errorText()));
    QCOMPARE(stored(ids.at(0)), 2);
    QCOMPARE(stored(detailLine), 1);
    const qint64 added = display.add(3, 0, 1, QStringLiteral("nach dem Neustart"));
    QTRY_VERIFY_WITH_TIMEOUT(display.ids().contains(added), 30000);
    QVERIFY(!display.form->isConnectionLost());
}

QTEST_MAIN(TestServerOutage)
#include "tst_serveroutage.moc"
