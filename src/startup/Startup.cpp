#include "Startup.h"

#include "Clock.h"
#include "Database.h"
#include "DatabaseStartup.h"
#include "DbHelpers.h"
#include "IniValue.h"
#include "InstanceGuard.h"
#include "KitchenSettingsReader.h"
#include "MessageSink.h"
#include "Password.h"
#include "ProfileFile.h"
#include "UnhandledError.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace ordisp {

namespace {

const QString kDbFileName = QStringLiteral("/ZALPOS.MDB");

// A numeric setting; one out of range ends the start with a message that says which it is.
qint32 NumberSetting(const QString& ini, const QString& section, const QString& key,
                     const QString& defaultValue, bool absolute = false) {
    const QString value = ReadIni(ini, section, key, defaultValue);
    try {
        return IniNumber(value, absolute);
    } catch (const UnhandledError& e) {
        throw UnhandledError(e.text() + QStringLiteral(": der Wert von [%1] %2=%3 in %4 liegt außerhalb von "
                                                       "-2147483648 bis 2147483647. Tragen Sie dort eine "
                                                       "ganze Zahl in diesem Bereich ein.")
                                            .arg(section, key, value, ini));
    }
}

} // namespace

Configuration ReadConfiguration(const QString& ini, const QString& executableFolder) {
    Configuration c;
    const QString ordisp = QStringLiteral("ORDISP");
    const QString database = QStringLiteral("DATABASE");
    const QString pfade = QStringLiteral("PFADE");

    c.app.windowLeft = NumberSetting(ini, ordisp, QStringLiteral("LEFT"), QStringLiteral("0"));
    c.app.windowWidth = NumberSetting(ini, ordisp, QStringLiteral("WIDTH"), QStringLiteral("1024"));
    c.app.windowHeight = NumberSetting(ini, ordisp, QStringLiteral("HEIGHT"), QStringLiteral("768"));
    c.db.type = ReadIni(ini, database, QStringLiteral("TYP"), kDbTypeSql);
    if (c.db.isServer()) {
        c.db.server = ReadIni(ini, database, QStringLiteral("SERVER"), QStringLiteral("<NAME>\\SQLEXPRESS"));
        c.db.user = ReadIni(ini, database, QStringLiteral("USER"), QStringLiteral("sa"));
        c.db.password = ReadIni(ini, database, QStringLiteral("PWD"), QString());
        const QString coded = ReadIni(ini, database, QStringLiteral("PWDC"), QString());
        if (!coded.isEmpty())
            c.db.password = DecodePassword(coded);
    } else {
        c.db.type = kDbTypeJet;
    }
    c.db.file = ReadIni(ini, pfade, QStringLiteral("DATENBANK"), executableFolder) + kDbFileName;
    ReadIni(ini, database, QStringLiteral("JET-PROVIDER"), QStringLiteral("4.0"));
    ReadIni(ini, pfade, QStringLiteral("EXE"), executableFolder + QLatin1Char('/'));
    c.app.monitorNr = NumberSetting(ini, ordisp, QStringLiteral("ORDISPNR"), QStringLiteral("1"), true);
    ReadIni(ini, pfade, QStringLiteral("TRESK"), QStringLiteral("C:\\Programme\\Tresk\\Tresk\\"));
    // Read after every default is written, and never written themselves.
    c.app.kitchen = ReadKitchenSettings(ini);
    return c;
}

namespace {

// Looks for the database file beside the executable, then in the working folder. False when it is
// nowhere (the message has been shown).
bool LocateDatabaseFile(ConnectionSettings& db, const QString& ini, const StartupEnvironment& env) {
    for (const QString& folder : {env.executableFolder, env.currentFolder}) {
        const QString candidate = folder + kDbFileName;
        if (!FileExists(candidate))
            continue;
        db.file = candidate;
        const int answer = env.messages->show(
            MsgYesNoExclamation,
            QStringLiteral("Die Datenbank wurde nicht im konfigurierten Verzeichnis gefunden. ") +
                QStringLiteral("Es wird die Datenbank ") + db.file +
                QStringLiteral(" verwendet. Soll diese Einstellung dauerhaft gespeichert werden ?"));
        if (answer == AnswerYes) {
            QString error;
            if (!ProfileFile::write(ini, QStringLiteral("PFADE"), QStringLiteral("DATENBANK"),
                                    db.file.left(db.file.size() - kDbFileName.size()), &error))
                qWarning("ordisp: DATENBANK not stored: %s", qPrintable(error));
        }
        return true;
    }
    env.messages->show(MsgExclamation,
                       QStringLiteral("Die Datenbank wurde nicht im konfigurierten Verzeichnis ") + db.file +
                           QStringLiteral(" gefunden. ") + QStringLiteral("\r\n\r\n") +
                           QStringLiteral("Bitte stellen Sie den Pfad zur Datei ZALPOS.MDB in ") + ini +
                           QStringLiteral(" ein."));
    return false;
}

// The file is shared with other programs; one we cannot read must not be taken for a missing one,
// or its defaults would be written over settings we never saw.
void CheckConfigReadable(const QString& ini) {
    const QFileInfo info(ini);
    if (!info.exists())
        return;
    QFile file(ini);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        const QString reason =
            info.isDir() ? QStringLiteral("ein Verzeichnis steht an ihrer Stelle") : file.errorString();
        throw UnhandledError((QStringLiteral("Die Konfigurationsdatei ") + ini +
                              QStringLiteral(" kann nicht gelesen werden (") + reason + QStringLiteral(")."))
                                 .toStdString());
    }
}

StartupOutcome Ended(int code) {
    StartupOutcome outcome;
    outcome.exitCode = code;
    return outcome;
}

} // namespace

QString DefaultConfigFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/zalpos");
}

QString ConfigFilePath(const QString& configFolder) {
    return configFolder + QStringLiteral("/ZALPOS.INI");
}

StartupOutcome RunStartup(const StartupEnvironment& env) {
    auto processEvents = [&env] {
        if (env.processEvents)
            env.processEvents();
    };

    if (env.instance && !env.instance->acquire()) {
        env.messages->show(MsgInformation, QStringLiteral("Programm läuft bereits."));
        env.instance->activateRunning();
        return Ended(0);
    }

    try {
        const QString ini = ConfigFilePath(env.configFolder);
        CheckConfigReadable(ini);
        Configuration config = ReadConfiguration(ini, env.executableFolder);
        processEvents();

        if (!config.db.isServer() && !FileExists(config.db.file)) {
            if (!LocateDatabaseFile(config.db, ini, env))
                return Ended(1);
        }

        processEvents();
        auto db = std::make_unique<Database>();
        if (!OpenDatabase(*db, config.db, *env.messages, ini))
            return Ended(1);

        processEvents();
        ProbeDateFormat(*db, *env.messages);
        if (config.db.isServer() && !ProbeBooleanTrue(*db, *env.messages))
            return Ended(1);

        PurgeDoneOrders(*db, env.clock->today());

        StartupOutcome outcome;
        outcome.showMainWindow = true;
        outcome.config = config.app;
        outcome.db = std::move(db);
        return outcome;
    } catch (const std::exception& e) {
        env.messages->show(MsgCritical, QStringLiteral("Unerwarteter Fehler beim Programmstart: ") +
                                            QString::fromUtf8(e.what()));
        return Ended(1);
    }
}

} // namespace ordisp
