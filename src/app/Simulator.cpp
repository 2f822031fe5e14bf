#include "Simulator.h"

#include "Clock.h"
#include "Database.h"
#include "DbHelpers.h"
#include "OrderSql.h"
#include "ResultSet.h"
#include "StatusSql.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <ctime>
#endif

namespace ordisp {

namespace {

// Dishes by course kind. Some are long on purpose: the display wraps them.
const char* const kStarters[] = {
    "Gemischter Salat mit Hausdressing",    "Carpaccio vom Rind mit Parmesan und Rucola",
    "Bruschetta mit Tomaten und Basilikum", "Räucherlachs auf Reibekuchen mit Meerrettichschmand",
    "Obazda mit Brezel und Radieschen",     "Feldsalat mit Speck und Croûtons",
    "Matjestatar auf Schwarzbrot",          "Ziegenkäse im Speckmantel auf Blattsalat",
};
const char* const kSoups[] = {
    "Tomatensuppe mit Sahnehaube",
    "Leberknödelsuppe",
    "Flädlesuppe",
    "Kartoffelsuppe mit Würstchen",
    "Kürbiscremesuppe",
    "Ochsenschwanzsuppe",
    "Gulaschsuppe",
};
const char* const kMains[] = {
    "Wiener Schnitzel mit Pommes frites",
    "Zwiebelrostbraten mit Spätzle",
    "Käsespätzle mit Röstzwiebeln",
    "Schweinebraten mit Semmelknödel und Krautsalat",
    "Rinderroulade mit Rotkohl und Kartoffelklößen",
    "Forelle Müllerin Art mit Petersilienkartoffeln",
    "Sauerbraten mit Rotkohl und Klößen",
    "Maultaschen in der Brühe",
    "Jägerschnitzel mit Bratkartoffeln",
    "Königsberger Klopse mit Reis",
    "Schweinshaxe mit Sauerkraut und Kartoffelpüree",
    "Gemüsestrudel mit Kräuterquark",
    "Zanderfilet auf Rahmsauerkraut",
    "Kalbsleber Berliner Art mit Kartoffelpüree",
};
const char* const kDesserts[] = {
    "Apfelstrudel mit Vanilleeis", "Rote Grütze mit Vanillesoße",
    "Kaiserschmarrn mit Apfelmus", "Bayerische Creme mit Himbeeren",
    "Schwarzwälder Kirschtorte",   "Germknödel mit Mohnbutter",
    "Mousse au Chocolat",          "Dampfnudel mit Vanillesoße",
};
const char* const kNotes[] = {
    "ohne Zwiebeln", "Soße extra", "glutenfrei", "laktosefrei", "Kinderportion", "ohne Knoblauch",
};

enum class CourseKind { Starter, Soup, Main, Dessert };

template <size_t N>
QString Pick(QRandomGenerator& random, const char* const (&list)[N]) {
    return QString::fromUtf8(list[random.bounded(static_cast<quint32>(N))]);
}

QString Dish(QRandomGenerator& random, CourseKind kind) {
    switch (kind) {
    case CourseKind::Starter:
        return Pick(random, kStarters);
    case CourseKind::Soup:
        return Pick(random, kSoups);
    case CourseKind::Main:
        return Pick(random, kMains);
    case CourseKind::Dessert:
        break;
    }
    return Pick(random, kDesserts);
}

// The courses in the order the kitchen sends them; numbered from 1 on.
QList<CourseKind> CoursePlan(QRandomGenerator& random, int courses) {
    switch (courses) {
    case 2:
        return random.bounded(2) == 0 ? QList<CourseKind>{CourseKind::Starter, CourseKind::Main}
                                      : QList<CourseKind>{CourseKind::Main, CourseKind::Dessert};
    case 3:
        return {CourseKind::Starter, CourseKind::Main, CourseKind::Dessert};
    default:
        return {CourseKind::Starter, CourseKind::Soup, CourseKind::Main, CourseKind::Dessert};
    }
}

constexpr int kMaxConsecutiveFailures = 5;

QString MonitorList(const QList<qint32>& monitors) {
    QStringList parts;
    for (qint32 m : monitors)
        parts << QString::number(m);
    return parts.join(QStringLiteral(", "));
}

bool InsertLines(Database& db, const QList<OrderInput>& lines, SimulatorTotals* totals, DbError* error) {
    for (const OrderInput& line : lines) {
        if (!InsertOrder(db, line, error))
            return false;
        ++totals->lines;
    }
    ++totals->orders;
    return true;
}

} // namespace

QList<QCommandLineOption> SimulatorCommandLineOptions() {
    return {
        {QStringLiteral("monitors"), QStringLiteral("Monitornummern, mit Komma getrennt (Vorgabe 1)."),
         QStringLiteral("LISTE"), QStringLiteral("1")},
        {QStringLiteral("rate"), QStringLiteral("Bestellungen pro Minute (Vorgabe 6)."), QStringLiteral("N"),
         QStringLiteral("6")},
        {QStringLiteral("advance"),
         QStringLiteral(
             "Schaltet Zeilen weiter (in Arbeit, Fertig, gelöscht), wie es ein anderer Monitor tut.")},
        {QStringLiteral("duration"), QStringLiteral("Laufzeit in Sekunden; 0 läuft bis Strg-C (Vorgabe 0)."),
         QStringLiteral("S"), QStringLiteral("0")},
        {QStringLiteral("seed"),
         QStringLiteral("Startwert des Zufalls; derselbe Wert wiederholt einen Lauf."), QStringLiteral("N")},
    };
}

bool ReadSimulatorOptions(const QCommandLineParser& parser, SimulatorOptions* options, QString* error) {
    const auto fail = [error](const QString& option, const QString& expected, const QString& value) {
        *error = QStringLiteral("--%1 erwartet %2, nicht '%3'").arg(option, expected, value);
        return false;
    };

    QList<qint32> monitors;
    const QString monitorText = parser.value(QStringLiteral("monitors"));
    for (const QString& part : monitorText.split(QLatin1Char(','))) {
        bool ok = false;
        const qint64 m = part.trimmed().toLongLong(&ok);
        if (!ok || m < 0 || m > std::numeric_limits<qint32>::max())
            return fail(QStringLiteral("monitors"), QStringLiteral("Monitornummern von 0 bis 2147483647"),
                        monitorText);
        if (!monitors.contains(static_cast<qint32>(m)))
            monitors << static_cast<qint32>(m);
    }

    const QString rateText = parser.value(QStringLiteral("rate"));
    bool ok = false;
    const double rate = QString(rateText).trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    // Above ten orders a second the run measures the database, not a kitchen.
    if (!ok || !std::isfinite(rate) || rate <= 0 || rate > 600)
        return fail(QStringLiteral("rate"), QStringLiteral("eine Zahl größer als 0 und höchstens 600"),
                    rateText);

    const QString durationText = parser.value(QStringLiteral("duration"));
    const qint64 duration = durationText.trimmed().toLongLong(&ok);
    if (!ok || duration < 0 || duration > std::numeric_limits<qint32>::max())
        return fail(QStringLiteral("duration"), QStringLiteral("Sekunden von 0 bis 2147483647"),
                    durationText);

    quint32 seed = QRandomGenerator::system()->generate();
    if (parser.isSet(QStringLiteral("seed"))) {
        const QString seedText = parser.value(QStringLiteral("seed"));
        const qint64 value = seedText.trimmed().toLongLong(&ok);
        if (!ok || value < 0 || value > std::numeric_limits<quint32>::max())
            return fail(QStringLiteral("seed"), QStringLiteral("eine ganze Zahl von 0 bis 4294967295"),
                        seedText);
        seed = static_cast<quint32>(value);
    }

    options->monitors = monitors;
    options->ordersPerMinute = rate;
    options->advance = parser.isSet(QStringLiteral("advance"));
    options->durationSeconds = static_cast<int>(duration);
    options->seed = seed;
    return true;
}

OrderGenerator::OrderGenerator(quint32 seed)
    : m_random(seed) {}

QList<OrderInput> OrderGenerator::next(const QList<qint32>& monitors, const QDateTime& now) {
    const qint32 monitor =
        monitors.at(static_cast<qsizetype>(m_random.bounded(static_cast<quint32>(monitors.size()))));
    const qint32 table = m_random.bounded(1, kTables + 1);
    const int guests = m_random.bounded(1, 7);
    const QList<CourseKind> plan = CoursePlan(m_random, m_random.bounded(2, 5));

    QList<OrderInput> lines;
    for (int c = 0; c < plan.size(); ++c) {
        const int dishes = m_random.bounded(1, 4);
        QList<OrderInput> course;
        for (int d = 0; d < dishes; ++d) {
            OrderInput line;
            line.monitorNr = monitor;
            line.table = table;
            line.course = c + 1;
            line.guest = m_random.bounded(1, guests + 1);
            line.quantity = m_random.bounded(5) == 0 ? 2.0 : 1.0;
            line.text = Dish(m_random, plan.at(c));
            if (m_random.bounded(8) == 0)
                line.text += QStringLiteral(", ") + Pick(m_random, kNotes);
            line.status = StatusNew;
            line.insdate = now;
            course << line;
        }
        std::stable_sort(course.begin(), course.end(),
                         [](const OrderInput& a, const OrderInput& b) { return a.guest < b.guest; });
        lines << course;
    }
    return lines;
}

double OrderGenerator::nextInterval(double ordersPerMinute) {
    // Evenly spread around the mean, so that the rate holds over any longer run.
    return 60.0 / ordersPerMinute * (0.4 + 1.2 * m_random.generateDouble());
}

bool AdvanceLines(Database& db, const QList<qint32>& monitors, SimulatorTotals* totals, DbError* error) {
    for (qint32 monitor : monitors) {
        ResultSet rs;
        if (!rs.open(db, OrderSql::orderList(monitor, QString(), kSortStatusInsdate), error))
            return false;
        // Oldest first within each status, as the list is sorted.
        QList<qint32> byStatus[3];
        for (; !rs.eof(); rs.moveNext()) {
            const QVariant status = rs.value(QStringLiteral("status"));
            if (status.isNull())
                continue;
            const int code = status.toInt();
            bool ok = false;
            const qint64 id = FieldValue(rs, QStringLiteral("id")).toLongLong(&ok);
            // The statements take 32-bit ids; a line beyond them is left to the real kitchen.
            if (code >= StatusNew && code <= StatusDone && ok && id == static_cast<qint32>(id))
                byStatus[code] << static_cast<qint32>(id);
        }
        rs.close();

        const auto olderHalf = [](const QList<qint32>& ids) { return ids.mid(0, (ids.size() + 1) / 2); };
        for (qint32 id : olderHalf(byStatus[StatusDone])) {
            if (!db.exec(StatusSql::deleteDoneOrder(id), error))
                return false;
            ++totals->deleted;
        }
        for (int from : {StatusInProgress, StatusNew}) {
            for (qint32 id : olderHalf(byStatus[from])) {
                if (!db.exec(StatusSql::advanceStatus(id, from, from + 1), error))
                    return false;
                ++totals->advanced;
            }
        }
    }
    return true;
}

int RunSimulation(Database& db, const SimulatorOptions& options, const Clock& clock,
                  const StopAwareWait& wait, const SimulatorIo& io) {
    OrderGenerator generator(options.seed);
    SimulatorTotals totals;
    const QDateTime start = clock.now();
    const QDateTime end = options.durationSeconds > 0 ? start.addSecs(options.durationSeconds) : QDateTime();

    *io.err << "simulate: " << options.ordersPerMinute << " Bestellungen pro Minute für Monitor "
            << MonitorList(options.monitors) << (options.advance ? ", mit Weiterschalten" : "")
            << (end.isValid() ? QStringLiteral(", %1 s lang").arg(options.durationSeconds)
                              : QStringLiteral(", bis Strg-C"))
            << "; Startwert " << options.seed << " (--seed " << options.seed << " wiederholt den Lauf)\n";
    io.err->flush();

    int exitCode = 0;
    int consecutiveFailures = 0;
    QDateTime due = start;
    for (;;) {
        if (end.isValid() && due >= end) {
            wait(end);
            break;
        }
        if (!wait(due))
            break;

        DbError error;
        const QList<OrderInput> order = generator.next(options.monitors, clock.now());
        bool ok = !options.advance || AdvanceLines(db, options.monitors, &totals, &error);
        ok = ok && InsertLines(db, order, &totals, &error);
        if (ok) {
            consecutiveFailures = 0;
            QString progress =
                QStringLiteral("simulate: Bestellungen %1, Zeilen %2").arg(totals.orders).arg(totals.lines);
            if (options.advance)
                progress += QStringLiteral(", weitergeschaltet %1, gelöscht %2")
                                .arg(totals.advanced)
                                .arg(totals.deleted);
            progress += QStringLiteral("; zuletzt Tisch %1 an Monitor %2 mit %3 Zeilen")
                            .arg(order.constFirst().table)
                            .arg(order.constFirst().monitorNr)
                            .arg(order.size());
            if (io.progressInPlace)
                *io.err << '\r' << progress << "\x1b[K";
            else
                *io.err << progress << '\n';
        } else {
            ++totals.failures;
            ++consecutiveFailures;
            *io.err << (io.progressInPlace ? "\n" : "") << "simulate: Datenbankfehler: " << error.description
                    << " [" << error.source << " " << error.number << "]\n";
            if (consecutiveFailures >= kMaxConsecutiveFailures) {
                *io.err << "simulate: " << kMaxConsecutiveFailures << " Fehler in Folge, Abbruch.\n";
                exitCode = 1;
                break;
            }
            // A lost server connection only comes back through a new one; the file needs none. A
            // failed reopen shows as the next order's failure.
            if (db.type() == kDbTypeSql)
                (void)db.reopen();
        }
        io.err->flush();

        due = due.addMSecs(std::llround(generator.nextInterval(options.ordersPerMinute) * 1000));
        // After a slow insert the next order comes at once, not a burst of missed ones.
        const QDateTime now = clock.now();
        if (due < now)
            due = now;
    }

    if (io.progressInPlace)
        *io.err << '\n';
    io.err->flush();
    const qint64 seconds = start.secsTo(clock.now());
    *io.out << "simulate: beendet nach " << seconds << " s. Bestellungen " << totals.orders << ", Zeilen "
            << totals.lines;
    if (options.advance)
        *io.out << ", weitergeschaltet " << totals.advanced << ", gelöscht " << totals.deleted;
    *io.out << ", Fehler " << totals.failures << ".\n";
    io.out->flush();
    return exitCode;
}

#ifdef Q_OS_UNIX

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // A closed terminal or an ssh session that drops ends the run as cleanly as Ctrl-C.
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

StopSignals::StopSignals() {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopSignals::~StopSignals() {
    // A second Ctrl-C during the summary must not kill the process once the signals are let through.
    const sigset_t set = StopSet();
    const timespec none{0, 0};
    while (sigtimedwait(&set, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool StopSignals::wait(const Clock& clock, const QDateTime& deadline) {
    const sigset_t set = StopSet();
    while (!m_stopped) {
        // Checked even when the deadline has passed: a Ctrl-C during an insert stops the run after it.
        const qint64 ms = qMax<qint64>(0, clock.now().msecsTo(deadline));
        const timespec timeout{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP)
            m_stopped = true;
        else if (signal < 0 && errno == EAGAIN && ms == 0)
            return true;
    }
    return false;
}

#else

StopSignals::StopSignals() = default;
StopSignals::~StopSignals() = default;

bool StopSignals::wait(const Clock& clock, const QDateTime& deadline) {
    const qint64 ms = clock.now().msecsTo(deadline);
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
    return true;
}

#endif

} // namespace ordisp
