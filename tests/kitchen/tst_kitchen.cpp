#include "CancelStrip.h"
#include "Chime.h"
#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "Form1.h"
#include "KitchenSettingsReader.h"
#include "KitchenSignals.h"
#include "MessageSink.h"
#include "ResultSetModel.h"
#include "Screen.h"
#include "Startup.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace ordisp;

namespace {

const QDateTime kStart(QDate(2024, 5, 10), QTime(19, 0));

// Both windows on a real database file, the clock pinned, the kitchen's settings as given.
struct Fixture {
    TestDb file;
    Database db{QStringLiteral("KitchenTest")};
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    FixedClock clock{kStart};
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;

    explicit Fixture(const KitchenSettings& kitchen = {}) {
        // Lines 1 to 4, written a minute apart from 18:00: tables 4, 4, 7, 12.
        add(4, 1, 0, QStringLiteral("Suppe"));
        add(4, 2, 1, QStringLiteral("Braten"));
        add(7, 1, 2, QStringLiteral("Salat"));
        add(12, 1, 0, QStringLiteral("Forelle"));
        if (!file.isValid() || !db.open(file.settings()))
            qFatal("test database: %s", qPrintable(file.errorText()));
        AppConfig config;
        config.kitchen = kitchen;
        detail = std::make_unique<frmTischDetail>(db, 1, messages, screen);
        form = std::make_unique<Form1>(db, config, messages, screen, clock, detail.get());
        detail->setKitchenSignals(form->kitchenSignals());
    }
    ~Fixture() {
        form.reset();
        detail.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    qint64 add(int table, int course, int status, const QString& text, QDateTime insdate = {}) {
        TestDb::Order o;
        o.tisch = table;
        o.gang = course;
        o.status = status;
        o.txt = text;
        o.insdate = insdate.isValid() ? insdate : kStart.addSecs(-3600 + 60 * file.countOrders());
        return file.addOrder(o);
    }
    void tick(int seconds = 2) {
        clock.set(clock.now().addSecs(seconds));
        form->Timer1_Timer();
    }
    DataGrid* grid() const { return form->findChild<DataGrid*>(QStringLiteral("DataGrid1")); }
    int rowOf(const DataGrid* g, qint64 id) const {
        for (int row = 0; row < g->resultModel()->rowCount(); ++row) {
            if (g->resultModel()->fieldValue(row, QStringLiteral("id")).toLongLong() == id)
                return row;
        }
        return -1;
    }
    QVariant look(const DataGrid* g, qint64 id, int column, int role) const {
        return g->resultModel()->data(g->resultModel()->index(rowOf(g, id), column), role);
    }
    bool bold(qint64 id) const {
        const QVariant font = look(grid(), id, 4, Qt::FontRole);
        return font.isValid() && font.value<QFont>().bold();
    }
    QStringList strip() const {
        CancelStrip* s = form->findChild<CancelStrip*>();
        return s && !s->isHidden() ? s->lines() : QStringList();
    }
    // The facts a key can change, as "name=value".
    QString fact(const QString& name) {
        if (name == QLatin1String("sel")) {
            const ResultSet& rs = form->listRs();
            return rs.eof() ? QStringLiteral("none") : FieldValue(rs, QStringLiteral("id")).toString();
        }
        if (name == QLatin1String("filter"))
            return QString::number(form->tableFilter());
        if (name.startsWith(QLatin1String("status"))) {
            const QVariant s =
                file.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(name.mid(6)));
            return s.isValid() ? s.toString() : QStringLiteral("gone");
        }
        if (name == QLatin1String("msgs"))
            return QString::number(messages.shown().size());
        if (name == QLatin1String("detail"))
            return detail->isLoaded() ? QString::number(detail->DetailTable()) : QStringLiteral("closed");
        if (name == QLatin1String("course"))
            return QString::number(detail->CurrentGrid());
        if (name == QLatin1String("dsel")) {
            const ResultSet& rs = detail->CourseRows(detail->CurrentGrid());
            return rs.eof() ? QStringLiteral("none") : FieldValue(rs, QStringLiteral("id")).toString();
        }
        if (name == QLatin1String("legend")) {
            QWidget* window = detail->isVisible() ? static_cast<QWidget*>(detail.get()) : form.get();
            auto* legend = window->findChild<QLabel*>(QStringLiteral("keyLegend"));
            return legend && !legend->isHidden() ? QStringLiteral("shown") : QStringLiteral("hidden");
        }
        return QStringLiteral("?");
    }
};

// Keys arrive where the focus happens to be: in the main window on a button, not on the grid.
void Press(Fixture& f, const QString& keys) {
    static const QHash<QString, int> names = {
        {"Up", Qt::Key_Up},         {"Down", Qt::Key_Down},  {"PgUp", Qt::Key_PageUp},
        {"PgDn", Qt::Key_PageDown}, {"Home", Qt::Key_Home},  {"End", Qt::Key_End},
        {"F1", Qt::Key_F1},         {"F2", Qt::Key_F2},      {"F3", Qt::Key_F3},
        {"F4", Qt::Key_F4},         {"F5", Qt::Key_F5},      {"F6", Qt::Key_F6},
        {"Enter", Qt::Key_Return},  {"Esc", Qt::Key_Escape}, {"F9", Qt::Key_F9},
        {"F12", Qt::Key_F12},
    };
    for (const QString& key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QWidget* target =
            f.detail->isVisible()
                ? static_cast<QWidget*>(f.detail->findChild<QPushButton*>(QStringLiteral("cmdOK")))
                : f.form->findChild<QPushButton*>(QStringLiteral("cmdEsc"));
        const int code = names.value(key, key.size() == 1 ? Qt::Key_0 + key.toInt() : 0);
        QVERIFY2(code != 0, qPrintable(key));
        QTest::keyClick(target, Qt::Key(code));
    }
}

} // namespace

class TestKitchen : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void settings_data();
    void settings();
    void keys_data();
    void keys();
    void colours_data();
    void colours();
    void newLines();
    void cancellations();
    void offByDefault();
};

void TestKitchen::settings_data() {
    QTest::addColumn<QString>("lines");    // of [ORDISP], split at ';'
    QTest::addColumn<QString>("expected"); // yellow red new cancel, "-" for off
    QTest::newRow("none") << QString("") << "- - 0 -";
    QTest::newRow("all") << QString("GELB-MINUTEN=10;ROT-MINUTEN=20;NEU-SIGNAL=1;STORNO-SEKUNDEN=30")
                         << "10 20 1 30";
    QTest::newRow("blanks, case") << QString("gelb-minuten = 5 ") << "5 - 0 -";
    QTest::newRow("empty is absent") << QString("ROT-MINUTEN=") << "- - 0 -";
    QTest::newRow("not a number") << QString("GELB-MINUTEN=zehn;ROT-MINUTEN=15") << "- 15 0 -";
    QTest::newRow("fraction") << QString("GELB-MINUTEN=2.5") << "- - 0 -";
    QTest::newRow("negative") << QString("STORNO-SEKUNDEN=-5") << "- - 0 -";
    QTest::newRow("too large") << QString("ROT-MINUTEN=100001") << "- - 0 -";
    QTest::newRow("signal off") << QString("NEU-SIGNAL=0") << "- - 0 -";
    QTest::newRow("signal bad") << QString("NEU-SIGNAL=ja") << "- - 0 -";
    QTest::newRow("strip for 0 s") << QString("STORNO-SEKUNDEN=0") << "- - 0 -";
}

void TestKitchen::settings() {
    QFETCH(QString, lines);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    QFile out(ini);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(("[DATABASE]\nTYP=MS-JET\n[ORDISP]\n" + QString(lines).replace(';', '\n') + '\n').toUtf8());
    out.close();

    const KitchenSettings k = ReadConfiguration(ini, dir.path()).app.kitchen;
    auto shown = [](const std::optional<qint32>& v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    QCOMPARE(QStringList({shown(k.yellowMinutes), shown(k.redMinutes), QString::number(k.newSignal),
                          shown(k.cancelSeconds)})
                 .join(QLatin1Char(' ')),
             expected);
    // The start wrote its defaults, but none of these keys.
    QFile in(ini);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(in.readAll());
    QVERIFY(text.contains(QStringLiteral("ORDISPNR=1")));
    for (const char* key : {"GELB-MINUTEN", "ROT-MINUTEN", "NEU-SIGNAL", "STORNO-SEKUNDEN"})
        QCOMPARE(text.count(QLatin1String(key), Qt::CaseInsensitive),
                 lines.count(QLatin1String(key), Qt::CaseInsensitive));
}

void TestKitchen::keys_data() {
    // Lines: 1 table 4 NEU, 2 table 4 i.A., 3 table 7 OK, 4 table 12 NEU; listed 1, 4, 2, 3.
    // "keys pressed first | keys | facts afterwards"; first "detail" opens table 4's window.
    QTest::addColumn<QString>("steps");
    QTest::newRow("main down") << QStringLiteral(" | Down | sel=4");
    QTest::newRow("main up") << QStringLiteral("Down Down | Up | sel=4");
    QTest::newRow("main end") << QStringLiteral(" | End | sel=3");
    QTest::newRow("main home") << QStringLiteral("End | Home | sel=1");
    QTest::newRow("main page down") << QStringLiteral(" | PgDn | sel=3");
    QTest::newRow("main page up") << QStringLiteral("End | PgUp | sel=1");
    QTest::newRow("main in Arbeit") << QStringLiteral(" | F1 | status1=1 sel=1 msgs=0");
    QTest::newRow("main Fertig") << QStringLiteral("Down | F2 | status4=2 sel=4");
    QTest::newRow("main delete refused") << QStringLiteral(" | F3 | status1=0 msgs=1");
    QTest::newRow("main delete done") << QStringLiteral("End | F3 | status3=gone sel=1");
    QTest::newRow("main next table") << QStringLiteral(" | F6 | filter=4");
    QTest::newRow("main next table again") << QStringLiteral("F6 | F6 | filter=7");
    QTest::newRow("main previous table") << QStringLiteral(" | F5 | filter=12");
    QTest::newRow("main last table, then all") << QStringLiteral("F5 | F6 | filter=0");
    QTest::newRow("main all tables") << QStringLiteral("F6 | F4 | filter=0");
    QTest::newRow("main enter chooses line's table")
        << QStringLiteral("End | Enter | filter=7 detail=closed");
    QTest::newRow("main enter again opens detail") << QStringLiteral("End Enter | Enter | filter=7 detail=7");
    QTest::newRow("main legend") << QStringLiteral(" | F12 | legend=shown");
    QTest::newRow("main legend again") << QStringLiteral("F12 | F12 | legend=hidden");
    QTest::newRow("detail course 2") << QStringLiteral("detail | 2 | course=2");
    QTest::newRow("detail course 8") << QStringLiteral("detail | 8 | course=8");
    QTest::newRow("detail down") << QStringLiteral("detail 2 | Down | dsel=2");
    QTest::newRow("detail home, end") << QStringLiteral("detail | End Home | dsel=1");
    QTest::newRow("detail page keys") << QStringLiteral("detail | PgDn PgUp | dsel=1");
    QTest::newRow("detail up") << QStringLiteral("detail | Up | dsel=1");
    QTest::newRow("detail in Arbeit") << QStringLiteral("detail | F1 | status1=1 dsel=1");
    QTest::newRow("detail Fertig") << QStringLiteral("detail 2 | F2 | status2=2 dsel=2");
    QTest::newRow("detail delete refused") << QStringLiteral("detail | F3 | status1=0 msgs=1");
    QTest::newRow("detail delete done") << QStringLiteral("detail 2 F2 | F3 | status2=gone msgs=0");
    QTest::newRow("detail Esc") << QStringLiteral("detail | Esc | detail=closed");
    QTest::newRow("detail F9") << QStringLiteral("detail | F9 | detail=closed");
    QTest::newRow("detail legend") << QStringLiteral("detail | F12 | legend=shown");
}

void TestKitchen::keys() {
    QFETCH(QString, steps);
    QString before = steps.section(QLatin1Char('|'), 0, 0).trimmed();
    const QString keys = steps.section(QLatin1Char('|'), 1, 1).trimmed();
    const QString expected = steps.section(QLatin1Char('|'), 2, 2).trimmed();
    Fixture f;
    if (before.startsWith(QLatin1String("detail"))) {
        // Chosen and opened by its button, as the cook would; a fresh window acts on grid 0.
        Press(f, QStringLiteral("Enter Enter"));
        QCOMPARE(f.fact(QStringLiteral("detail")), QStringLiteral("4"));
        before = before.mid(6);
        Press(f, QStringLiteral("1"));
    }
    Press(f, before);
    Press(f, keys);
    QStringList actual;
    for (const QString& fact : expected.split(QLatin1Char(' ')))
        actual << fact.section(QLatin1Char('='), 0, 0) + QLatin1Char('=') +
                      f.fact(fact.section(QLatin1Char('='), 0, 0));
    QCOMPARE(actual.join(QLatin1Char(' ')), expected);
}

void TestKitchen::colours_data() {
    QTest::addColumn<int>("yellow"); // -1: key missing
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("age");        // seconds since the line was written
    QTest::addColumn<QString>("before"); // a minute earlier
    QTest::addColumn<QString>("expected");
    const QString yellow = QStringLiteral("#ffd600");
    const QString red = QStringLiteral("#ff4848");
    QTest::newRow("just below yellow") << 10 << 20 << 0 << 599 << ""
                                       << "";
    QTest::newRow("yellow at the minute") << 10 << 20 << 0 << 600 << "" << yellow;
    QTest::newRow("just below red") << 10 << 20 << 1 << 1199 << yellow << yellow;
    QTest::newRow("red at the minute") << 10 << 20 << 1 << 1200 << yellow << red;
    QTest::newRow("done never") << 10 << 20 << 2 << 7200 << ""
                                << "";
    QTest::newRow("only red") << -1 << 20 << 0 << 1199 << ""
                              << "";
    QTest::newRow("only yellow, long") << 10 << -1 << 0 << 7200 << yellow << yellow;
    QTest::newRow("written ahead") << 0 << 20 << 0 << -60 << ""
                                   << "";
}

void TestKitchen::colours() {
    QFETCH(int, yellow);
    QFETCH(int, red);
    QFETCH(int, status);
    QFETCH(int, age);
    QFETCH(QString, before);
    QFETCH(QString, expected);
    KitchenSettings k;
    if (yellow >= 0)
        k.yellowMinutes = yellow;
    if (red >= 0)
        k.redMinutes = red;
    Fixture f(k);
    const qint64 id = f.add(9, 1, status, QStringLiteral("Knödel"), kStart.addSecs(60 - age));
    f.tick(0);
    auto colour = [&f, id](const DataGrid* g, int column) {
        const QVariant brush = f.look(g, id, column, Qt::BackgroundRole);
        return brush.isValid() ? brush.value<QBrush>().color().name() : QString();
    };
    QCOMPARE(colour(f.grid(), 0), before);
    // The next tick a minute on, with the file unchanged.
    f.tick(60);
    QCOMPARE(colour(f.grid(), 0), expected);
    QCOMPARE(colour(f.grid(), 1), QString());
    // The detail window, which has no "Zeit", shows it in the status cell.
    f.detail->Init(9);
    f.detail->showDetail();
    QCOMPARE(colour(f.detail->grid(1), 3), expected);
}

void TestKitchen::newLines() {
    KitchenSettings k;
    k.newSignal = true;
    Fixture f(k);
    Chime* chime = f.form->kitchenSignals()->chime();
    QVERIFY(!f.bold(1));

    const qint64 a = f.add(4, 3, 0, QStringLiteral("Eis"));
    const qint64 b = f.add(7, 3, 0, QStringLiteral("Kuchen"));
    f.tick();
    QVERIFY(f.bold(a) && f.bold(b) && !f.bold(1));
    QCOMPARE(chime->requests(), 1); // one per tick, not per line
    f.tick();
    QCOMPARE(chime->requests(), 1);

    // Selected by the cook: no longer new. The other after a minute.
    f.grid()->selectRow(f.rowOf(f.grid(), a));
    QVERIFY(!f.bold(a) && f.bold(b));
    f.tick(57);
    QVERIFY(f.bold(b));
    f.tick(1);
    QVERIFY(!f.bold(b));

    // Lines that come into sight with another table are not new.
    QTest::keyClick(f.form.get(), Qt::Key_F6);
    QCOMPARE(f.form->tableFilter(), qint16(4));
    QTest::keyClick(f.form.get(), Qt::Key_F4);
    f.tick();
    QVERIFY(!f.bold(b) && !f.bold(3));
    QCOMPARE(chime->requests(), 1);
}

void TestKitchen::cancellations() {
    KitchenSettings k;
    k.cancelSeconds = 30;
    Fixture f(k);
    QCOMPARE(f.strip(), QStringList());

    // A terminal cancels two open lines, another station deletes a done one.
    QVERIFY(f.file.exec(QStringLiteral("DELETE FROM ordisp WHERE id IN (1, 3)")));
    f.tick();
    QCOMPARE(f.strip(), QStringList({"Storniert: Tisch 4, Gang 1, 1 Suppe"}));
    QVERIFY(f.file.exec(QStringLiteral("DELETE FROM ordisp WHERE id = 4")));
    f.tick(10);
    QCOMPARE(f.strip(),
             QStringList({"Storniert: Tisch 12, Gang 1, 1 Forelle", "Storniert: Tisch 4, Gang 1, 1 Suppe"}));
    const QRect grid = f.grid()->geometry();
    QVERIFY(f.form->findChild<CancelStrip*>()->geometry().bottom() < grid.top());

    // Gone after its seconds; the grid takes its place back.
    f.tick(20);
    QCOMPARE(f.strip(), QStringList({"Storniert: Tisch 12, Gang 1, 1 Forelle"}));
    f.tick(10);
    QCOMPARE(f.strip(), QStringList());
    QVERIFY(f.grid()->geometry().top() < grid.top());

    // A table filter hides lines, and lines this display finishes and deletes in the detail
    // window before the main list looks again: neither is a cancellation.
    f.add(7, 2, 0, QStringLiteral("Rumpsteak"));
    f.tick();
    Press(f, QStringLiteral("F6"));
    QCOMPARE(f.form->tableFilter(), qint16(4));
    Press(f, QStringLiteral("Enter 2 F2 F3 Esc"));
    QCOMPARE(f.fact(QStringLiteral("status2")), QStringLiteral("gone"));
    f.tick();
    QCOMPARE(f.strip(), QStringList());
}

void TestKitchen::offByDefault() {
    Fixture f;
    QVERIFY(!f.form->kitchenSignals()->chime());
    QVERIFY(!f.form->findChild<CancelStrip*>());
    f.add(4, 3, 0, QStringLiteral("Eis"), kStart.addSecs(-7200));
    QVERIFY(f.file.exec(QStringLiteral("DELETE FROM ordisp WHERE id = 1")));
    f.tick();
    for (int row = 0; row < f.grid()->resultModel()->rowCount(); ++row) {
        for (int column = 0; column < 6; ++column) {
            const QModelIndex index = f.grid()->resultModel()->index(row, column);
            QVERIFY(!index.data(Qt::BackgroundRole).isValid() && !index.data(Qt::FontRole).isValid());
        }
    }
}

QTEST_MAIN(TestKitchen)
#include "tst_kitchen.moc"
