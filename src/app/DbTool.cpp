#include "DbTool.h"

#include "Clock.h"
#include "Cp1252.h"
#include "Database.h"
#include "DbHelpers.h"
#include "IniValue.h"
#include "Password.h"
#include "Schema.h"
#include "Simulator.h"
#include "Startup.h"
#include "StatusReport.h"
#include "UnhandledError.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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
    "  init              legt die Tabellen ordisp und system an oder ergänzt ihre Spalten\n"
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

// Qt's parser reports in English; its messages, as Qt writes them, in German.
QString GermanParseError(const QCommandLineParser& parser) {
    if (!parser.unknownOptionNames().isEmpty()) {
        QStringList names;
        for (const QString& name : parser.unknownOptionNames())
            names << QStringLiteral("'") + (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                         name + QStringLiteral("'");
        return (names.size() == 1 ? QStringLiteral("unbekannte Option ")
                                  : QStringLiteral("unbekannte Optionen ")) +
               names.join(QStringLiteral(", "));
    }
    const QString text = parser.errorText();
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    if (const auto m = missing.match(text); m.hasMatch())
        return QStringLiteral("nach '%1' fehlt der Wert").arg(m.captured(1));
    if (const auto m = unexpected.match(text); m.hasMatch())
        return QStringLiteral("'%1' nimmt keinen Wert").arg(m.captured(1));
    return QStringLiteral("ungültige Optionen (%1)").arg(text);
}

QString OptionSyntax(const QCommandLineOption& option) {
    QStringList names;
    for (const QString& name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString syntax = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        syntax += QStringLiteral(" <") + option.valueName() + QLatin1Char('>');
    return syntax;
}

QString HelpText(const QString& command, const QString& description,
                 const QList<QCommandLineOption>& options) {
    QString text =
        QStringLiteral("Aufruf: ordisp-db %1 [Optionen]\n\n%2\n\nOptionen:\n").arg(command, description);
    qsizetype width = 0;
    for (const QCommandLineOption& option : options)
        width = qMax(width, OptionSyntax(option).size());
    for (const QCommandLineOption& option : options)
        text += QStringLiteral("  ") + OptionSyntax(option).leftJustified(width + 2) + option.description() +
                QLatin1Char('\n');
    return text;
}

// Parses the options of one command; prints help or the error. Returns false when the command must
// not run; exitCode then says how it ends.
bool Parse(QCommandLineParser& parser, const QString& command, const QString& description,
           QList<QCommandLineOption> options, const QStringList& args, const Context& ctx, int* exitCode) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Zeigt diese Hilfe."));
    options.prepend(help);
    parser.addOptions(options);
    const auto refuse = [&](const QString& problem) {
        *ctx.io.err << "ordisp-db " << command << ": " << problem << " ('ordisp-db " << command
                    << " --help' zeigt die Optionen)\n";
        *exitCode = 2;
        return false;
    };
    if (!parser.parse(QStringList{QStringLiteral("ordisp-db ") + command} + args))
        return refuse(GermanParseError(parser));
    if (parser.isSet(help)) {
        *ctx.io.out << HelpText(command, description, options);
        *exitCode = 0;
        return false;
    }
    // Qt takes the last of repeated values; which one the user meant is anyone's guess.
    QStringList seen;
    for (const QString& name : parser.optionNames()) {
        for (const QCommandLineOption& option : options) {
            if (!option.names().contains(name))
                continue;
            if (seen.contains(option.names().constLast()))
                return refuse(
                    QStringLiteral("die Option '%1' ist mehrfach angegeben").arg(OptionSyntax(option)));
            seen << option.names().constLast();
        }
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(
            QStringLiteral("unerwartetes Argument '%1'").arg(parser.positionalArguments().constFirst()));
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
    if (create && s.type == kDbTypeJet) {
        const QString folder = QFileInfo(s.file).absolutePath();
        if (!QDir().mkpath(folder)) {
            *ctx.io.err
                << "ordisp-db: der Ordner " << folder
                << " für die Datenbankdatei kann nicht angelegt werden; prüfen Sie PFADE/DATENBANK in " << ini
                << " und die Rechte des übergeordneten Ordners.\n";
            return false;
        }
    }
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
    if (!Parse(parser, QStringLiteral("init"),
               QStringLiteral(
                   "Legt die Tabellen ordisp und system an, wo sie fehlen, und ergänzt ihnen fehlende "
                   "Spalten; vorhandene Daten bleiben unverändert. Eine fehlende Datenbankdatei wird "
                   "samt Ordner angelegt."),
               {}, args, ctx, &code))
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
        *ctx.io.out << "Alle Tabellen und Spalten sind schon vorhanden.\n";
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
    int code = 0;
    if (!Parse(parser, QStringLiteral("add"),
               QStringLiteral("Fügt eine Bestellzeile ein, wie es eine Kasse tut."), options, args, ctx,
               &code))
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

// What keeps the password from being coded, in words; empty when nothing does.
QString PasswordProblem(const QString& password) {
    for (const uint c : password.toUcs4()) {
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        if (character.size() != 1 || Cp1252::fromUnicode(character.front()) < 0)
            return QStringLiteral("das Zeichen '%1' hat keinen Code in Windows-1252 und kann nicht codiert "
                                  "werden; wählen Sie ein Kennwort ohne dieses Zeichen.")
                .arg(character);
    }
    if (password.size() > 101)
        return QStringLiteral("das Kennwort hat %1 Zeichen, codiert werden höchstens 101 Zeichen.")
            .arg(password.size());
    return {};
}

int CmdEncodePassword(const QStringList& args, const Context& ctx) {
    QCommandLineParser parser;
    int code = 0;
    if (!Parse(
            parser, QStringLiteral("encode-password"),
            QStringLiteral("Liest ein Kennwort (eine Zeile) von der Standardeingabe und gibt es in der Form "
                           "für DATABASE/PWDC aus."),
            {}, args, ctx, &code))
        return code;
    QString password = ctx.io.in->readLine();
    if (password.endsWith(QLatin1Char('\r')))
        password.chop(1);
    if (password.isEmpty()) {
        *ctx.io.err
            << "ordisp-db encode-password: kein Kennwort gelesen; geben Sie es als eine Zeile auf der "
               "Standardeingabe ein (ein leeres PWDC gilt als nicht gesetzt).\n";
        return 2;
    }
    if (const QString problem = PasswordProblem(password); !problem.isEmpty()) {
        *ctx.io.err << "ordisp-db encode-password: " << problem << "\n";
        return 1;
    }
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
    int code = 0;
    if (!Parse(parser, QStringLiteral("simulate"),
               QStringLiteral(
                   "Fügt Bestellungen ein wie die Kassen an einem vollen Abend: je Bestellung ein Tisch, "
                   "ein bis sechs Gäste, zwei bis vier Gänge mit je ein bis drei Gerichten. Läuft bis "
                   "Strg-C oder bis --duration abgelaufen ist; die laufende Bestellung wird noch "
                   "fertig geschrieben."),
               SimulatorCommandLineOptions(), args, ctx, &code))
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
    int code = 0;
    if (!Parse(parser, QStringLiteral("status"),
               QStringLiteral(
                   "Zeigt je Monitor die Bestellzeilen nach Status (NEU, i.A., OK, andere) und wie lange "
                   "die älteste noch nicht fertige Zeile schon wartet."),
               {{QStringLiteral("monitor"), QStringLiteral("Nur dieser Monitor."), QStringLiteral("N")}},
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
