#include "CancelStrip.h"
#include "Chime.h"
#include "Clock.h"
#include "DataGrid.h"
#include "Form1.h"
#include "MessageSink.h"
#include "ResultSetModel.h"
#include "Startup.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QtTest>

using namespace ordisp;

namespace {

const QDateTime kStart(QDate(2024, 5, 10), QTime(19, 0));

// Both windows on a file with lines 1 to 4 (table 4 course 1, 4/2, 7/1, 12/1; status 0, 1, 2, 0;
// listed 1, 4, 2, 3) written a minute apart from 18:00, the clock at 19:00, and [ORDISP] as given.
struct Kitchen {
    TestDb file;
    Database db{QStringLiteral("Kitchen")};
    RecordingMessageSink messages;
    FixedScreen screen;
    FixedClock clock{kStart};
    std::unique_ptr<frmTischDetail> detail;
    std::unique_ptr<Form1> form;
    QString backup;
    std::optional<FileLock> lock;

    explicit Kitchen(const QString& ini) {
        const std::tuple<int, int, int, int> lines[] = {
            {4, 1, 0, 60}, {4, 2, 1, 59}, {7, 1, 2, 58}, {12, 1, 0, 57}};
        for (const auto& [t, g, s, m] : lines)
            file.addOrder({.tisch = t, .gang = g, .status = s, .insdate = kStart.addSecs(-60 * m)});
        QFile out(file.folder() + QStringLiteral("/ZALPOS.INI"));
        if (!out.open(QIODevice::WriteOnly) || out.write(("[ORDISP]\n" + ini + '\n').toUtf8()) < 0 ||
            !out.flush() || !db.open(file.settings()))
            qFatal("test files: %s", qPrintable(file.errorText()));
        out.close();
        AppConfig config;
        config.kitchen = ReadConfiguration(out.fileName(), file.folder()).app.kitchen;
        detail = std::make_unique<frmTischDetail>(db, 1, messages, screen);
        form = std::make_unique<Form1>(db, config, messages, screen, clock, detail.get());
        detail->setKitchenSignals(form->kitchenSignals());
    }

    // A fact a script asks for, as "name=value"; sel, legend, listed, colours (of the waiting time:
    // "Zeit", in the detail window "Status") and bold are of the window in front.
    QString fact(const QString& name) {
        const bool inDetail = detail->isVisible();
        const DataGrid* list = form->findChild<DataGrid*>(QStringLiteral("DataGrid1"));
        const DataGrid* grid = inDetail ? detail->grid(detail->CurrentGrid()) : list;
        const int waited =
            grid->columnByCaption(inDetail ? QStringLiteral("Status") : QStringLiteral("Zeit"));
        QStringList listed;
        QStringList colours;
        QStringList bold;
        for (int row = 0; row < grid->model()->rowCount(); ++row) {
            const QString id = grid->resultModel()->fieldValue(row, QStringLiteral("id")).toString();
            listed << id;
            const QVariant brush = grid->model()->index(row, waited).data(Qt::BackgroundRole);
            if (brush.isValid())
                colours << id + u':' + brush.value<QBrush>().color().name();
            if (grid->model()->index(row, 1).data(Qt::FontRole).value<QFont>().bold())
                bold << id;
        }
        const ResultSet& rs = inDetail ? detail->CourseRows(detail->CurrentGrid()) : form->listRs();
        const auto* legend =
            (inDetail ? static_cast<QWidget*>(detail.get()) : form.get())->findChild<QWidget*>("keyLegend");
        const auto* strip = form->findChild<CancelStrip*>();
        const Chime* chime = form->kitchenSignals()->chime();
        const QHash<QString, QString> facts = {
            {"sel", rs.eof() ? "none" : rs.value(QStringLiteral("id")).toString()},
            {"lines", file.scalar("SELECT group_concat(id || ':' || status) FROM ordisp").toString()},
            {"filter", QString::number(form->tableFilter())},
            {"detail", detail->isLoaded() ? QString::number(detail->DetailTable()) : "closed"},
            {"legend", legend && !legend->isHidden() ? "shown" : "hidden"},
            {"msgs", QString::number(messages.shown().size())},
            {"listed", listed.join(u',')},
            {"colours", colours.join(u',')},
            {"bold", bold.join(u',')},
            {"chime", chime ? QString::number(chime->requests()) : "off"},
            {"strip", !strip                                    ? "off"
                      : strip->isHidden()                       ? "none"
                      : strip->geometry().bottom() >= list->y() ? "over the list"
                                                                : strip->lines().join(u'|').remove(u' ')},
        };
        return name + u'=' + facts.value(name, QStringLiteral("?"));
    }

    // Runs a script: keys pressed where the focus is (on a button, not a grid), "+N" or "-N" the
    // clock moved and a tick, "addT" a new line for table T, "delN" line N deleted by a terminal,
    // "copy" and "move" a backup of the file made and put in its place, "gone" the file deleted,
    // "lock" another program's write lock for longer than a refresh waits, "name=value" a fact
    // noted; returns the facts noted.
    QString run(const QString& script) {
        QStringList noted;
        for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
            if (step.contains(u'=')) {
                noted << fact(step.section(u'=', 0, 0));
            } else if (step.startsWith(u'+') || step.startsWith(u'-')) {
                clock.set(clock.now().addSecs(step.toInt()));
                form->Timer1_Timer();
            } else if (step.startsWith(QLatin1String("add"))) {
                file.addOrder({.tisch = step.mid(3).toInt(), .txt = "Eis\nSahne", .insdate = clock.now()});
            } else if (step.startsWith(QLatin1String("del"))) {
                file.exec(QStringLiteral("DELETE FROM ordisp WHERE id = ") + step.mid(3));
            } else if (step == QLatin1String("copy")) {
                backup = file.changedCopy(QString());
            } else if (step == QLatin1String("move")) {
                file.moveOver(backup);
            } else if (step == QLatin1String("gone")) {
                file.closeSide();
                QFile::remove(file.path());
            } else if (step == QLatin1String("lock")) {
                lock.emplace(file.path()).releaseAfter(2 * kRefreshLockWait);
            } else {
                QWidget* focus = detail->isVisible() ? detail->findChild<QWidget*>("cmdOK")
                                                     : form->findChild<QWidget*>("cmdEsc");
                QTest::keyClick(focus, QKeySequence::fromString(step)[0].key());
            }
        }
        return noted.join(u' ');
    }
};

} // namespace

class TestKitchen : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void script_data();
    void script();
};

void TestKitchen::script_data() {
    QTest::addColumn<QString>("ini");    // lines of [ORDISP], apart by ';'
    QTest::addColumn<QString>("script"); // see Kitchen::run
    // clang-format off
    QTest::newRow("moves")                 << "" << "Down sel=4 Down Up sel=4 End sel=3 Home sel=1 PgDown sel=3 PgUp sel=1";
    QTest::newRow("status keys")           << "" << "F1 sel=1 Down F2 sel=2 F3 sel=4 lines=1:1,3:2,4:0 F3 msgs=1 lines=1:1,3:2,4:0";
    QTest::newRow("tables")                << "" << "F6 filter=4 F6 filter=7 F5 filter=4 F4 filter=0 F5 filter=12 F6 filter=0";
    QTest::newRow("enter")                 << "" << "End Enter filter=7 detail=closed Enter detail=7 Esc detail=closed";
    QTest::newRow("legend")                << "" << "F12 legend=shown F12 legend=hidden Enter Enter F12 legend=shown F9 detail=closed";
    QTest::newRow("detail window")         << "" << "Enter Enter detail=4 8 sel=none 1 sel=1 F1 F2 lines=1:2,2:1,3:2,4:0 F3 lines=2:1,3:2,4:0 2 Down sel=2 F3 msgs=1";
    QTest::newRow("off without keys")      << "" << "add4 del1 +2 colours= bold= chime=off strip=off";
    QTest::newRow("not whole, too large")  << "GELB-MINUTEN=2.5;ROT-MINUTEN=100001;NEU-SIGNAL=ja;STORNO-SEKUNDEN=-5" << "colours= chime=off strip=off";
    QTest::newRow("empty or zero is off")  << "ROT-MINUTEN=;NEU-SIGNAL=0;STORNO-SEKUNDEN=0" << "colours= chime=off strip=off";
    QTest::newRow("colours at minutes")    << "GELB-MINUTEN=58;ROT-MINUTEN=60;NEU-SIGNAL=1;STORNO-SEKUNDEN=30" << "chime=0 strip=none colours=1:#ff4848,2:#ffd600 +59 colours=1:#ff4848,2:#ffd600 +1 colours=1:#ff4848,4:#ffd600,2:#ff4848 Enter Enter 1 colours=1:#ff4848 2 colours=2:#ff4848";
    QTest::newRow("only red")              << "ROT-MINUTEN=60" << "colours=1:#ff4848";
    QTest::newRow("only yellow, ahead")    << "gelb-minuten = 0 " << "colours=1:#ffd600,4:#ffd600,2:#ffd600 -7200 colours=";
    QTest::newRow("new lines")             << "NEU-SIGNAL=1" << "bold= add4 add7 +2 bold=5,6 chime=1 +2 chime=1 Down Down bold=6 +57 bold=6 +1 bold= F6 F4 +2 bold= chime=1";
    QTest::newRow("cancelled lines")       << "STORNO-SEKUNDEN=30" << "del1 del3 +2 strip=Storniert:Tisch4,Gang1,1Schnitzel del4 +10 strip=Storniert:Tisch12,Gang1,1Schnitzel|Storniert:Tisch4,Gang1,1Schnitzel +20 strip=Storniert:Tisch12,Gang1,1Schnitzel +10 strip=none";
    QTest::newRow("not cancelled")         << "STORNO-SEKUNDEN=30" << "add7 +2 F6 filter=4 Enter 2 F2 F3 Esc lines=1:0,3:2,4:0,5:0 +2 strip=none";
    QTest::newRow("press, file replaced")  << "" << "copy move F2 lines=1:2,2:1,3:2,4:0 msgs=0";
    QTest::newRow("list, file replaced")   << "" << "copy del4 +2 listed=1,2,3 move +2 listed=1,4,2,3";
    QTest::newRow("press, file locked")    << "" << "lock F2 lines=1:2,2:1,3:2,4:0 msgs=0";
    QTest::newRow("press, file gone")      << "" << "gone F2 msgs=1";
    // clang-format on
}

void TestKitchen::script() {
    QFETCH(QString, ini);
    QFETCH(QString, script);
    Kitchen k(QString(ini).replace(u';', u'\n'));
    QCOMPARE(k.run(script), script.split(u' ').filter(QStringLiteral("=")).join(u' '));
}

QTEST_MAIN(TestKitchen)
#include "tst_kitchen.moc"
