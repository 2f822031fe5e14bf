#include "BenchData.h"
#include "BinaryProbe.h"
#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "FigureTable.h"
#include "Form1.h"
#include "MessageSink.h"
#include "OdbcConnectionString.h"
#include "OdbcFloorReader.h"
#include "OrderSql.h"
#include "Screen.h"
#include "SqliteFloorReader.h"
#include "StockList.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace ordisp;

namespace {

const QStringList kPerSizeFigures = {
    QStringLiteral("floor_ms"),          QStringLiteral("stock_ms"),        QStringLiteral("ours_changed_ms"),
    QStringLiteral("ours_unchanged_ms"), QStringLiteral("ours_over_floor"), QStringLiteral("ours_over_stock"),
};

struct Options {
    QList<int> sizes{100, 1000, 10000};
    int repeat = 15;
    int idleSeconds = 60;
    int starts = 5;
    bool binary = true;
    bool csv = false;
    bool threadClock = false;
    QString program;
};

// Where a run's lines are and how the display reaches them.
struct Target {
    ConnectionSettings settings;
    qint32 monitorNr = 1;
};

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

// Lets the widgets do what the last change asked of them: delayed layouts, then painting.
void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

qint32 currentId(const ResultSet& rs) {
    return rs.eof() ? 0 : qint32(FieldValue(rs, QStringLiteral("id")).toLongLong());
}

struct SizeFigures {
    double floor = NAN;
    double stock = NAN;
    double oursChanged = NAN;
    double oursUnchanged = NAN;
};

// The three contenders on lines already written for target.monitorNr.
bool measure(Database& db, FloorReader& floor, BenchData& data, const Target& target, int repeat,
             SizeFigures* figures, QString* error) {
    const QStringList queries = {OrderSql::tableList(target.monitorNr),
                                 OrderSql::orderList(target.monitorNr, QString(), kSortStatusInsdate)};
    bool ok = true;
    const auto check = [&](bool result) { ok = ok && result; };

    if (!floor.open(error))
        return false;

    FixedScreen screen(15.0);
    AppConfig config;
    config.monitorNr = target.monitorNr;
    RecordingMessageSink messages;
    SystemClock clock;
    Form1 form(db, config, messages, screen, clock, nullptr);
    // Ticks are driven by the bench alone.
    form.findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    DataGrid* grid = form.findChild<DataGrid*>(QStringLiteral("DataGrid1"));
    const bool file = target.settings.type != kDbTypeSql;
    StockList stock(file ? QStringLiteral("QSQLITE") : QStringLiteral("QODBC"),
                    file ? target.settings.file : odbc::connectionString(target.settings, true, QString()));
    if (!stock.open(error))
        return false;
    // The stock view as large as the grid, beside the display so that neither covers the other.
    stock.show(grid->size(), QPoint(form.width(), 0));
    form.show();
    settle();
    // A cook's selection in the middle of the list, scrolled into view.
    grid->selectRow(form.listRs().rowCount() / 2);
    settle();

    qint64 cells = 0;
    const auto floorRun = [&] { check(floor.run(queries, &cells, error)); };
    const auto stockRun = [&] {
        check(stock.run(queries.at(1), error));
        settle();
    };
    const auto refresh = [&] {
        DbError dbError;
        if (!form.RefreshList(currentId(form.listRs()), &dbError)) {
            *error = dbError.description;
            ok = false;
        }
        settle();
    };
    // Each changed refresh follows one change a kitchen makes all evening: a line changes its
    // status (and so its place in the list), a new line comes in, a line is deleted.
    int step = 0;
    const auto change = [&] {
        const ResultSet& rs = form.listRs();
        const int idColumn = rs.columnIndex(QStringLiteral("id"));
        const int statusColumn = rs.columnIndex(QStringLiteral("status"));
        switch (step++ % 3) {
        case 0: {
            if (rs.rowCount() == 0)
                break;
            const ResultRow& row = rs.rows().at(int((qint64(step) * 7919) % rs.rowCount()));
            const int status = (row.at(statusColumn).toInt() + 1) % 3;
            check(ExecSql(db, OrderSql::setStatus(status, qint32(row.at(idColumn).toLongLong()))));
            break;
        }
        case 1:
            check(data.addLine(step, error));
            break;
        default: {
            qint64 newest = 0;
            for (const ResultRow& row : rs.rows())
                newest = qMax(newest, row.at(idColumn).toLongLong());
            check(ExecSql(db, OrderSql::deleteOrder(qint32(newest))));
            break;
        }
        }
    };
    // Each round takes one sample of every figure, so that what the machine's neighbours do at the
    // time weighs on all of them alike. Each run is timed after an untimed one of its own.
    QList<double> floors, stocks, unchanged, changed;
    for (int round = 0; round < repeat && ok; ++round) {
        floors += TimeRuns(1, {}, floorRun);
        stocks += TimeRuns(1, {}, stockRun);
        unchanged += TimeRuns(1, {}, refresh);
        changed += TimeRuns(1, change, refresh);
    }
    figures->floor = Median(floors);
    figures->stock = Median(stocks);
    figures->oursUnchanged = Median(unchanged);
    figures->oursChanged = Median(changed);
    if (!ok && error->isEmpty())
        *error = QStringLiteral("a change between refreshes failed");
    return ok;
}

void addFigures(FigureTable& table, const QString& prefix, int lines, const SizeFigures& f) {
    table.add(prefix + QStringLiteral("floor_ms"), lines, f.floor, QStringLiteral("ms"));
    table.add(prefix + QStringLiteral("stock_ms"), lines, f.stock, QStringLiteral("ms"));
    table.add(prefix + QStringLiteral("ours_changed_ms"), lines, f.oursChanged, QStringLiteral("ms"));
    table.add(prefix + QStringLiteral("ours_unchanged_ms"), lines, f.oursUnchanged, QStringLiteral("ms"));
    // The slower of the two refreshes is the one held against the others.
    const double ours = std::max(f.oursChanged, f.oursUnchanged);
    table.add(prefix + QStringLiteral("ours_over_floor"), lines, ours / f.floor, QStringLiteral("ratio"));
    table.add(prefix + QStringLiteral("ours_over_stock"), lines, ours / f.stock, QStringLiteral("ratio"));
}

// A database file in folder holding `lines` lines of monitor 1 and `otherLines` of others.
bool makeFile(const QString& folder, int lines, int otherLines, QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    ConnectionSettings settings;
    settings.type = kDbTypeJet;
    settings.file = folder + QStringLiteral("/ZALPOS.MDB");
    settings.createFile = true;
    Database db(QStringLiteral("bench-fill"));
    DbError dbError;
    if (!db.open(settings, &dbError)) {
        *error = dbError.description;
        return false;
    }
    BenchData data(db, 1);
    return data.fill(lines, otherLines, error);
}

bool runFile(const QString& folder, int lines, int otherLines, int repeat, SizeFigures* figures,
             QString* error) {
    if (!makeFile(folder, lines, otherLines, error))
        return false;
    Target target;
    target.settings.type = kDbTypeJet;
    target.settings.file = folder + QStringLiteral("/ZALPOS.MDB");
    Database db(QStringLiteral("bench-file"));
    DbError dbError;
    if (!db.open(target.settings, &dbError)) {
        *error = dbError.description;
        return false;
    }
    BenchData data(db, target.monitorNr);
    SqliteFloorReader floor(target.settings.file);
    return measure(db, floor, data, target, repeat, figures, error);
}

bool runServer(const ConnectionSettings& settings, int lines, int repeat, SizeFigures* figures,
               QString* error) {
    Target target;
    target.settings = settings;
    // Numbers no kitchen uses, so that a shared database's real monitors show none of these lines.
    target.monitorNr = 9001;
    Database db(QStringLiteral("bench-server"));
    DbError dbError;
    if (!db.open(settings, &dbError)) {
        *error = dbError.description;
        return false;
    }
    BenchData data(db, target.monitorNr);
    if (!data.clear(error) || !data.fill(lines, 10 * lines, error))
        return false;
    OdbcFloorReader floor(odbc::connectionString(settings, true, QString()));
    // The server and the display's connection thread work outside this thread: wall clock only.
    const bool threadClock = UseThreadClock(false);
    const bool ok = measure(db, floor, data, target, repeat, figures, error);
    UseThreadClock(threadClock);
    QString clearError;
    if (!data.clear(&clearError) && ok) {
        *error = clearError;
        return false;
    }
    return ok;
}

QString cpuModel() {
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QSysInfo::currentCpuArchitecture();
}

std::optional<Options> parseOptions(const QStringList& arguments, QString* error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures what a refresh of the order list costs."));
    parser.addHelpOption();
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("Print only figure,lines,value,unit lines."));
    const QCommandLineOption lines(QStringLiteral("lines"),
                                   QStringLiteral("Sizes to measure (default 100,1000,10000)."),
                                   QStringLiteral("n,n,..."));
    const QCommandLineOption repeat(
        QStringLiteral("repeat"), QStringLiteral("Timed runs per figure (default 15)."), QStringLiteral("n"));
    const QCommandLineOption idle(QStringLiteral("idle-seconds"),
                                  QStringLiteral("Length of the idle measurement (default 60)."),
                                  QStringLiteral("s"));
    const QCommandLineOption starts(QStringLiteral("starts"),
                                    QStringLiteral("Starts of the binary for the start time (default 5)."),
                                    QStringLiteral("n"));
    const QCommandLineOption noBinary(QStringLiteral("no-binary"),
                                      QStringLiteral("Skip the real binary's figures."));
    const QCommandLineOption program(QStringLiteral("ordisp"),
                                     QStringLiteral("The display binary to measure."), QStringLiteral("path"),
                                     QStringLiteral(ORDISP_BINARY));
    const QCommandLineOption threadClock(
        QStringLiteral("thread-clock"),
        QStringLiteral("Time the file's figures by this thread's processor time, not the wall clock "
                       "(for busy machines); the server's are always wall clock."));
    parser.addOptions({csv, lines, repeat, idle, starts, noBinary, program, threadClock});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        std::exit(0);
    }
    Options o;
    o.csv = parser.isSet(csv);
    o.binary = !parser.isSet(noBinary);
    o.threadClock = parser.isSet(threadClock);
    o.program = parser.value(program);
    const auto positive = [&](const QCommandLineOption& option, int* value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const int n = parser.value(option).toInt(&ok);
        if (!ok || n < 1) {
            *error = QStringLiteral("--%1 needs a whole number above 0").arg(option.names().first());
            return false;
        }
        *value = n;
        return true;
    };
    if (!positive(repeat, &o.repeat) || !positive(idle, &o.idleSeconds) || !positive(starts, &o.starts))
        return std::nullopt;
    if (parser.isSet(lines)) {
        o.sizes.clear();
        for (const QString& part : parser.value(lines).split(QLatin1Char(','))) {
            bool ok = false;
            const int n = part.trimmed().toInt(&ok);
            if (!ok || n < 1) {
                *error = QStringLiteral("--lines needs whole numbers above 0");
                return std::nullopt;
            }
            o.sizes.append(n);
        }
    }
    return o;
}

} // namespace

int main(int argc, char* argv[]) {
    // The display binary keeps the caller's platform (an X server when there is one); the bench's
    // own windows are drawn offscreen.
    QProcessEnvironment childEnvironment = QProcessEnvironment::systemEnvironment();
    if (!childEnvironment.contains(QStringLiteral("DISPLAY")) &&
        !childEnvironment.contains(QStringLiteral("WAYLAND_DISPLAY")))
        childEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir work;
    if (!work.isValid()) {
        err() << "ordisp-bench: no temporary folder" << Qt::endl;
        return 1;
    }
    // Qt wants a private runtime folder and says so on every start without one.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = work.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    QApplication app(argc, argv);

    QString error;
    const std::optional<Options> parsed = parseOptions(QCoreApplication::arguments(), &error);
    if (!parsed) {
        err() << "ordisp-bench: " << error << Qt::endl;
        return 2;
    }
    const Options& options = *parsed;
    UseThreadClock(options.threadClock);
    const auto progress = [&](const QString& text) {
        if (!options.csv)
            err() << text << Qt::endl;
    };
    const auto fail = [&](const QString& what) {
        err() << "ordisp-bench: " << what << ": " << error << Qt::endl;
        return 1;
    };

    FigureTable table;
    QStringList notes;
    QStringList perSize = kPerSizeFigures;
    const auto fileFolder = [&](int lines) { return work.filePath(QStringLiteral("file-%1").arg(lines)); };
    for (int lines : options.sizes) {
        progress(
            QStringLiteral("database file, %1 lines and %2 of other monitors").arg(lines).arg(10 * lines));
        SizeFigures figures;
        if (!runFile(fileFolder(lines), lines, 10 * lines, options.repeat, &figures, &error))
            return fail(QStringLiteral("file, %1 lines").arg(lines));
        addFigures(table, QString(), lines, figures);
    }
    if (!options.csv && options.sizes.contains(1000)) {
        // The same size without any other monitor's lines: a refresh must not care about them.
        progress(QStringLiteral("database file, 1000 lines and none of other monitors"));
        SizeFigures alone;
        if (!runFile(work.filePath(QStringLiteral("alone")), 1000, 0, options.repeat, &alone, &error))
            return fail(QStringLiteral("file, 1000 lines alone"));
        notes << QStringLiteral(
                     "1000 lines without other monitors' lines: floor %1 ms, ours unchanged %2 ms, "
                     "ours changed %3 ms (with 10000 others: %4, %5, %6)")
                     .arg(alone.floor, 0, 'f', 2)
                     .arg(alone.oursUnchanged, 0, 'f', 2)
                     .arg(alone.oursChanged, 0, 'f', 2)
                     .arg(table.value(QStringLiteral("floor_ms"), 1000), 0, 'f', 2)
                     .arg(table.value(QStringLiteral("ours_unchanged_ms"), 1000), 0, 'f', 2)
                     .arg(table.value(QStringLiteral("ours_changed_ms"), 1000), 0, 'f', 2);
    }

    const QString dsn = qEnvironmentVariable("ORDISP_BENCH_DSN");
    if (!dsn.isEmpty()) {
        ConnectionSettings server;
        server.type = kDbTypeSql;
        server.server = dsn;
        server.user = qEnvironmentVariable("ORDISP_BENCH_USER");
        server.password = qEnvironmentVariable("ORDISP_BENCH_PASSWORD");
        for (const QString& name : kPerSizeFigures)
            perSize << QStringLiteral("server_") + name;
        for (int lines : options.sizes) {
            progress(QStringLiteral("server %1, %2 lines and %3 of other monitors")
                         .arg(dsn)
                         .arg(lines)
                         .arg(10 * lines));
            SizeFigures figures;
            if (!runServer(server, lines, options.repeat, &figures, &error))
                return fail(QStringLiteral("server %1, %2 lines").arg(dsn).arg(lines));
            addFigures(table, QStringLiteral("server_"), lines, figures);
        }
    }

    if (options.binary) {
        BinaryProbe probe(options.program, work.filePath(QStringLiteral("binary")), childEnvironment);
        const QString idleFolder = work.filePath(QStringLiteral("file-idle"));
        constexpr int kIdleLines = 200;
        if (!makeFile(idleFolder, kIdleLines, 10 * kIdleLines, &error))
            return fail(QStringLiteral("database file for the binary"));
        progress(QStringLiteral("binary: start to window, %1 starts").arg(options.starts));
        QList<double> startTimes;
        for (int i = 0; i < options.starts; ++i) {
            double ms = 0;
            if (!probe.startToWindow(idleFolder, &ms, &error))
                return fail(QStringLiteral("start to window"));
            startTimes << ms;
        }
        table.add(QStringLiteral("start_to_window_ms"), 0, Median(startTimes), QStringLiteral("ms"));

        progress(
            QStringLiteral("binary: idle for %1 s with %2 lines").arg(options.idleSeconds).arg(kIdleLines));
        double percent = 0;
        if (!probe.idleCpu(idleFolder, options.idleSeconds, &percent, &error))
            return fail(QStringLiteral("idle processor time"));
        table.add(QStringLiteral("idle_cpu_percent"), kIdleLines, percent, QStringLiteral("percent"));

        for (int lines : {1000, 10000}) {
            progress(QStringLiteral("binary: peak memory with %1 lines").arg(lines));
            const QString folder = fileFolder(lines);
            if (!QFile::exists(folder + QStringLiteral("/ZALPOS.MDB")) &&
                !makeFile(folder, lines, 10 * lines, &error))
                return fail(QStringLiteral("database file for the binary"));
            double mb = 0;
            if (!probe.peakRss(folder, &mb, &error))
                return fail(QStringLiteral("peak memory"));
            table.add(QStringLiteral("peak_rss_mb"), lines, mb, QStringLiteral("MiB"));
        }
    }

    QTextStream out(stdout);
    if (options.csv) {
        table.printCsv(out);
        return 0;
    }
    out << QStringLiteral("ordisp-bench: %1; %2 cores; %3; Qt %4, SQLite %5; medians of %6 rounds%7\n")
               .arg(cpuModel())
               .arg(QThread::idealThreadCount())
               .arg(QSysInfo::prettyProductName(), QString::fromLatin1(qVersion()),
                    QString::fromLatin1(sqlite3_libversion()))
               .arg(options.repeat)
               .arg(options.threadClock ? QStringLiteral(" (thread processor time)") : QString())
        << QStringLiteral("each size: that many lines of this monitor and ten times as many of ten other "
                          "monitors; per size, each round times one run of every figure, after an untimed "
                          "one; ours over floor and stock: the slower of ours changed and unchanged\n\n");
    table.printTable(out, perSize, notes);
    return 0;
}
