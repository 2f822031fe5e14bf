#include "DatabaseStartup.h"

#include "Database.h"
#include "DbHelpers.h"
#include "MessageSink.h"
#include "OrderSql.h"
#include "ResultSet.h"
#include "Schema.h"
#include "SystemSql.h"

#include <QFileInfo>

#include <optional>

namespace ordisp {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

void ShowSqlServerError(const DbError& error, MessageSink& messages) {
    messages.show(MsgCritical,
                  QStringLiteral("Die Verbindung zur Datenbank 'zalpos' konnte nicht hergestellt werden.") +
                      kCrLf + kCrLf + QStringLiteral("Fehler: ") + QString::number(error.number) + kCrLf +
                      error.description);
}

void ShowJetError(const DbError& error, MessageSink& messages, const QString& configFile) {
    messages.show(
        MsgCritical,
        QStringLiteral("Die Datenbank konnte nicht geöffnet werden. Das Programm wird daher beendet.") +
            kCrLf + kCrLf +
            QStringLiteral("Starten Sie das Programm neu, nachdem Sie den Fehler beseitigt haben. "
                           "Nachfolgend finden Sie hierzu nähere Informationen.") +
            kCrLf + kCrLf + QStringLiteral("Fehler-Beschreibung: ") + error.description + kCrLf + kCrLf +
            QStringLiteral("Fehler-Nr.: ") + QString::number(error.number) + kCrLf +
            QStringLiteral("Fehler-Quelle: ") + error.source);
    if (error.description.contains(QLatin1String("3.51"))) {
        // The folder is named as it is here; a Windows path would mislead.
        const QString folder = QFileInfo(configFile).absolutePath();
        messages.show(MsgPlain,
                      QStringLiteral("Wenn Sie auf Ihrem System Probleme mit dem Datenbank-Provider 3.51 "
                                     "haben, ") +
                          QStringLiteral("so öffnen Sie die Datei ZALPOS.INI im Verzeichnis ") + folder +
                          QStringLiteral(" und ändern die ") + QStringLiteral("Provider-Einstellung in: ") +
                          kCrLf + kCrLf + QStringLiteral("JET-PROVIDER=4.0"));
    }
}

} // namespace

bool OpenDatabase(Database& db, const ConnectionSettings& settings, MessageSink& messages,
                  const QString& configFile) {
    DbError error;
    if (settings.isServer()) {
        if (db.open(settings, &error))
            return true;
        ShowSqlServerError(error, messages);
        if (error.description.contains(QLatin1String("Fehler bei der Anmeldung"))) {
            messages.show(
                MsgInformation,
                QStringLiteral("Die Anmeldung an der Datenbank wurde abgelehnt. Bitte tragen Sie den "
                               "Datenbank-Benutzer (USER) und das Anmelde-Kennwort (PWD oder PWDC) im "
                               "Abschnitt [DATABASE] der Datei ") +
                    configFile + QStringLiteral(" ein und versuchen Sie es erneut."));
            return false;
        }
        messages.show(MsgInformation, QStringLiteral("Die Datenbank 'zalpos' auf Server '") +
                                          settings.server + QStringLiteral("' wurde nicht gefunden. "));
        return false;
    }

    if (db.open(settings, &error) && HasOrderTable(db, &error))
        return true;
    db.close();
    ShowJetError(error, messages, configFile);
    return false;
}

void ProbeDateFormat(Database& db, MessageSink& messages) {
    if (ExecSql(db, SystemSql::probeDateDayFirst(db.type()))) {
        db.setDateLiteralStyle(QStringLiteral("D"));
        return;
    }
    db.setDateLiteralStyle(QStringLiteral("E"));
    if (ExecSql(db, SystemSql::probeDateUs(db.type())))
        return;
    messages.show(MsgCritical,
                  QStringLiteral("Unbekanntes Datumsformat oder kein Schreibzugriff auf die Datenbank !"));
}

namespace {

// The first row's booltest as a number; a boolean true counts as -1. No row gives nothing.
std::optional<double> ReadBoolTest(Database& db) {
    ResultSet rs;
    if (!rs.open(db, SystemSql::readBoolTest()) || rs.eof())
        return std::nullopt;
    const QVariant value = FieldValue(rs, QStringLiteral("booltest"));
    rs.close();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? -1.0 : 0.0;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

} // namespace

bool ProbeBooleanTrue(Database& db, MessageSink& messages) {
    qint32 number = 0;
    QString text;
    if (!ExecSql(db, SystemSql::setBoolTest(0), &number, &text))
        messages.show(MsgCritical, QStringLiteral("BoolTest-Fehler (1): ") + text);
    db.setTrueValue(0);

    if (ExecSql(db, SystemSql::setBoolTest(1), &number, &text)) {
        if (ReadBoolTest(db) == 1.0)
            db.setTrueValue(1);
    } else {
        messages.show(MsgCritical, QStringLiteral("BoolTest-Fehler (2): ") + text);
    }

    if (ExecSql(db, SystemSql::setBoolTest(-1), &number, &text)) {
        if (ReadBoolTest(db) == -1.0)
            db.setTrueValue(-1);
    } else {
        messages.show(MsgCritical, QStringLiteral("BoolTest-Fehler (3): ") + text);
    }

    if (db.trueValue() != 0)
        return true;
    messages.show(MsgCritical, QStringLiteral("Boolean-TRUE-Wert konnte nicht ermittelt werden."));
    db.close();
    return false;
}

void PurgeDoneOrders(Database& db, const QDate& today) {
    // Failure is ignored: old done lines stay until the next start, nothing else depends on it.
    ExecSql(db, OrderSql::purgeDoneOrders(
                    SqlDate(today, QStringLiteral("00:00:00"), db.type(), db.dateLiteralStyle())));
}

} // namespace ordisp
