#include "DbTool.h"

#include "Clock.h"
#include "Database.h"
#include "DbHelpers.h"
#include "IniValue.h"
#include "Password.h"
#include "Schema.h"
#include "Simulator.h"
#include "Startup.h"
#include "StatusReport.h"
#include "SystemSql.h"
#include "UnhandledError.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <functional>
#include <map>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace ordisp {

namespace {

const char* const kUsage =
    "Aufruf: ordisp-db <Befehl> [Optionen]\n"
    "\n"
    "Befehle:\n"
    "  init              legt die Tabellen ordisp und system an, wo sie fehlen\n"
    "  add               fügt eine Bestellzeile ein, wie es eine Kasse tut\n"
    "  encode-password   liest ein Kennwort von der Standardeingabe und gibt PWDC aus\n"
    "  simulate          fügt laufend Bestellungen ein wie die Kassen am Abend\n"
    "  status            zeigt je Monitor die Zeilen nach Status und ihr Alter\n"
    "\n"
    "Die Datenbank ist die in ZALPOS.INI eingestellte (wie bei ordisp).\n"
    "'ordisp-db <Befehl> --help' zeigt die Optionen eines Befehls.\n";

struct Context {
    const DbToolStreams& io;
    QString configFolder;
    QString executableFolder;
};

// Parses the options of one command; prints help or the error. Returns false when the command must
// not run; exitCode then says how it ends.
bool Parse(QCommandLineParser& parser, const QString& command, const QString& description,
           const QStringList& args, const Context& ctx, int* exitCode) {
    parser.setApplicationDescription(description);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Zeigt diese Hilfe."));
    parser.addOption(help);
    if (!parser.parse(QStringList{QStringLiteral("ordisp-db ") + command} + args)) {
        *ctx.io.err << "ordisp-db " << command << ": " << parser.errorText() << "\n";
        *exitCode = 2;
        return false;
    }
    if (parser.isSet(help)) {
        *ctx.io.out << parser.helpText();
        *exitCode = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *ctx.io.err << "ordisp-db " << command << ": unerwartetes Argument '"
                    << parser.positionalArguments().constFirst() << "'\n";
        *exitCode = 2;
        return false;
    }
    return true;
}

// Opens the configured database. create: a missing database file is created.
bool Connect(Database& db, const Context& ctx, bool create) {
    const QString ini = ConfigFilePath(ctx.configFolder);
    Configuration config;
    try {
        config = ReadConfiguration(ini, ctx.executableFolder);
    } catch (const std::exception& e) {
        *ctx.io.err << "ordisp-db: " << ini << ": " << QString::fromStdString(e.what()) << "\n";
        return false;
    }
    ConnectionSettings s = config.db;
    s.createFile = create;
    DbError error;
    if (!db.open(s, &error)) {
        *ctx.io.err << "ordisp-db: Verbindung zur Datenbank fehlgeschlagen ("
                    << (s.type == kDbTypeJet ? s.file : s.server) << "): " << error.description << " ["
                    << error.source << " " << error.number << "]\n";
        return false;
    }
    return true;
}

int CmdInit(const QStringList& args, const Context& ctx) {
    QCommandLineParser parser;
    int code = 0;
    if (!Parse(
            parser, QStringLiteral("init"),
            QStringLiteral("Legt die Tabellen ordisp und system an, wo sie fehlen; vorhandene Daten bleiben "
                           "unverändert. Eine fehlende Datenbankdatei wird angelegt."),
            args, ctx, &code))
        return code;
    Database db(QStringLiteral("ordisp-db"));
    if (!Connect(db, ctx, true))
        return 1;
    QStringList created;
    DbError error;
    if (!EnsureOrderSchema(db, &created, &error)) {
        *ctx.io.err << "ordisp-db init: " << error.description << "\n";
        return 1;
    }
    if (created.isEmpty())
        *ctx.io.out << "Alle Tabellen sind schon vorhanden.\n";
    for (const QString& what : created)
        *ctx.io.out << "Angelegt: " << what << "\n";
    return 0;
}

// A whole number option; false with a message when it is not one or out of range.
bool IntOption(const QCommandLineParser& parser, const QString& name, qint64 min, qint64 max, qint64* value,
               const Context& ctx) {
    bool ok = false;
    const qint64 v = parser.value(name).trimmed().toLongLong(&ok);
    if (!ok || v < min || v > max) {
        *ctx.io.err << "ordisp-db add: --" << name << " erwartet eine ganze Zahl von " << min << " bis "
                    << max << ", nicht '" << parser.value(name) << "'\n";
        return false;
    }
    *value = v;
    return true;
}

int CmdAdd(const QStringList& args, const Context& ctx) {
    QCommandLineParser parser;
    const QList<QCommandLineOption> options = {
        {QStringLiteral("monitor"), QStringLiteral("Nummer des Küchenmonitors."), QStringLiteral("N")},
        {QStringLiteral("table"), QStringLiteral("Tischnummer."), QStringLiteral("N")},
        {QStringLiteral("course"), QStringLiteral("Gang (0 bis 8 erscheinen in den Details)."),
         QStringLiteral("N")},
        {QStringLiteral("guest"), QStringLiteral("Gast am Tisch."), QStringLiteral("N")},
        {QStringLiteral("qty"), QStringLiteral("Menge."), QStringLiteral("X")},
        {QStringLiteral("text"), QStringLiteral("Bezeichnung des Gerichts."), QStringLiteral("T")},
        {QStringLiteral("status"), QStringLiteral("Status (0 neu, 1 in Arbeit, 2 fertig); Vorgabe 0."),
         QStringLiteral("S"), QStringLiteral("0")},
    };
    parser.addOptions(options);
    int code = 0;
    if (!Parse(parser, QStringLiteral("add"),
               QStringLiteral("Fügt eine Bestellzeile ein, wie es eine Kasse tut."), args, ctx, &code))
        return code;
    for (const char* required : {"monitor", "table", "course", "guest", "qty", "text"}) {
        if (!parser.isSet(QLatin1String(required))) {
            *ctx.io.err << "ordisp-db add: --" << required << " fehlt ('ordisp-db add --help')\n";
            return 2;
        }
    }
    OrderInput order;
    qint64 v = 0;
    if (!IntOption(parser, QStringLiteral("monitor"), 0, INT32_MAX, &v, ctx))
        return 2;
    order.monitorNr = static_cast<qint32>(v);
    if (!IntOption(parser, QStringLiteral("table"), INT32_MIN, INT32_MAX, &v, ctx))
        return 2;
    order.table = static_cast<qint32>(v);
    if (!IntOption(parser, QStringLiteral("course"), INT32_MIN, INT32_MAX, &v, ctx))
        return 2;
    order.course = static_cast<qint32>(v);
    if (!IntOption(parser, QStringLiteral("guest"), INT32_MIN, INT32_MAX, &v, ctx))
        return 2;
    order.guest = static_cast<qint32>(v);
    if (!IntOption(parser, QStringLiteral("status"), INT32_MIN, INT32_MAX, &v, ctx))
        return 2;
    order.status = static_cast<qint32>(v);
    bool ok = false;
    order.quantity = parser.value(QStringLiteral("qty"))
                         .trimmed()
                         .replace(QLatin1Char(','), QLatin1Char('.'))
                         .toDouble(&ok);
    if (!ok) {
        *ctx.io.err << "ordisp-db add: --qty erwartet eine Zahl, nicht '"
                    << parser.value(QStringLiteral("qty")) << "'\n";
        return 2;
    }
    order.text = parser.value(QStringLiteral("text"));
    order.insdate = QDateTime::currentDateTime();

    Database db(QStringLiteral("ordisp-db"));
    if (!Connect(db, ctx, false))
        return 1;
    DbError error;
    if (!InsertOrder(db, order, &error)) {
        *ctx.io.err << "ordisp-db add: " << error.description << "\n";
        return 1;
    }
    return 0;
}

int CmdEncodePassword(const QStringList& args, const Context& ctx) {
    QCommandLineParser parser;
    int code = 0;
    if (!Parse(
            parser, QStringLiteral("encode-password"),
            QStringLiteral("Liest ein Kennwort (eine Zeile) von der Standardeingabe und gibt es in der Form "
                           "für DATABASE/PWDC aus."),
            args, ctx, &code))
        return code;
    QString password = ctx.io.in->readLine();
    if (password.endsWith(QLatin1Char('\r')))
        password.chop(1);
    try {
        *ctx.io.out << EncodePassword(password) << "\n";
    } catch (const std::exception& e) {
        *ctx.io.err << "ordisp-db encode-password: " << QString::fromStdString(e.what()) << "\n";
        return 1;
    }
    return 0;
}

// Whether the stream writes to a terminal, where a progress line can be rewritten in place.
bool IsTerminal(QTextStream* stream) {
#ifdef Q_OS_UNIX
    const auto* file = qobject_cast<QFile*>(stream->device());
    return file && file->handle() >= 0 && ::isatty(file->handle());
#else
    Q_UNUSED(stream);
    return false;
#endif
}

int CmdSimulate(const QStringList& args, const Context& ctx) {
    QCommandLineParser parser;
    parser.addOptions(SimulatorCommandLineOptions());
    int code = 0;
    if (!Parse(parser, QStringLiteral("simulate"),
               QStringLiteral(
                   "Fügt Bestellungen ein wie die Kassen an einem vollen Abend: je Bestellung ein Tisch, "
                   "ein bis sechs Gäste, zwei bis vier Gänge mit je ein bis drei Gerichten. Läuft bis "
                   "Strg-C oder bis --duration abgelaufen ist; die laufende Bestellung wird noch "
                   "fertig geschrieben."),
               args, ctx, &code))
        return code;
    SimulatorOptions options;
    QString problem;
    if (!ReadSimulatorOptions(parser, &options, &problem)) {
        *ctx.io.err << "ordisp-db simulate: " << problem << "\n";
        return 2;
    }
    // Before connecting: threads that a driver starts inherit the blocked signals.
    StopSignals stop;
    Database db(QStringLiteral("ordisp-db"));
    if (!Connect(db, ctx, false))
        return 1;
    DbError error;
    if (!HasOrderTable(db, &error)) {
        *ctx.io.err << "ordisp-db simulate: " << error.description << "\n";
        return 1;
    }
    const SystemClock clock;
    return RunSimulation(
        db, options, clock, [&](const QDateTime& deadline) { return stop.wait(clock, deadline); },
        SimulatorIo{ctx.io.out, ctx.io.err, IsTerminal(ctx.io.err)});
}

int CmdStatus(const QStringList& args, const Context& ctx) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("monitor"), QStringLiteral("Nur dieser Monitor."), QStringLiteral("N")});
    int code = 0;
    if (!Parse(parser, QStringLiteral("status"),
               QStringLiteral(
                   "Zeigt je Monitor die Bestellzeilen nach Status (NEU, i.A., OK, andere) und wie lange "
                   "die älteste noch nicht fertige Zeile schon wartet."),
               args, ctx, &code))
        return code;
    std::optional<qint32> monitor;
    if (parser.isSet(QStringLiteral("monitor"))) {
        bool ok = false;
        const qint64 m = parser.value(QStringLiteral("monitor")).trimmed().toLongLong(&ok);
        if (!ok || m < 0 || m > INT32_MAX) {
            *ctx.io.err << "ordisp-db status: --monitor erwartet eine ganze Zahl von 0 bis " << INT32_MAX
                        << ", nicht '" << parser.value(QStringLiteral("monitor")) << "'\n";
            return 2;
        }
        monitor = static_cast<qint32>(m);
    }
    Database db(QStringLiteral("ordisp-db"));
    if (!Connect(db, ctx, false))
        return 1;
    QList<MonitorStatus> status;
    DbError error;
    if (!ReadStatus(db, monitor, &status, &error)) {
        *ctx.io.err << "ordisp-db status: " << error.description << "\n";
        return 1;
    }
    WriteStatus(*ctx.io.out, status, QDateTime::currentDateTime());
    return 0;
}

} // namespace

int RunDbTool(const QStringList& args, const DbToolStreams& io, const QString& configFolder,
              const QString& executableFolder) {
    const Context ctx{io, configFolder, executableFolder};
    const std::map<QString, std::function<int(const QStringList&, const Context&)>> commands = {
        {QStringLiteral("init"), CmdInit},
        {QStringLiteral("add"), CmdAdd},
        {QStringLiteral("encode-password"), CmdEncodePassword},
        {QStringLiteral("simulate"), CmdSimulate},
        {QStringLiteral("status"), CmdStatus},
    };
    if (args.isEmpty() || args.constFirst() == QLatin1String("--help") ||
        args.constFirst() == QLatin1String("-h")) {
        (args.isEmpty() ? *io.err : *io.out) << kUsage;
        return args.isEmpty() ? 2 : 0;
    }
    const auto it = commands.find(args.constFirst());
    if (it == commands.end()) {
        *io.err << "ordisp-db: unbekannter Befehl '" << args.constFirst() << "'\n\n" << kUsage;
        return 2;
    }
    return it->second(args.mid(1), ctx);
}

} // namespace ordisp
