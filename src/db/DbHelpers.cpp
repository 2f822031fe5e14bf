#include "DbHelpers.h"

#include <QDateTime>
#include <QFileInfo>

namespace ordisp {

bool ExecSql(Database& db, const QString& sql, qint32* errorNumber, QString* errorText) {
    DbError error;
    const bool ok = db.exec(sql, &error);
    if (errorNumber)
        *errorNumber = ok ? 0 : error.number;
    if (errorText)
        *errorText = ok ? QString() : error.description;
    return ok;
}

QVariant FieldValue(const ResultSet& rs, const QString& name) {
    QVariant value = rs.value(name);
    if (!value.isValid() && (rs.eof() || rs.columnIndex(name) < 0))
        return value; // the caller's fault, as the header says: nothing to read
    if (value.isNull()) {
        switch (rs.kind(name)) {
        case ColumnKind::Character:
            return QString(QLatin1String(""));
        case ColumnKind::Boolean:
            return false;
        case ColumnKind::Date:
            return QDateTime(QDate(1900, 1, 1), QTime(0, 0));
        case ColumnKind::Other:
            return QVariant::fromValue<qint16>(0);
        }
    }
    if (value.metaType().id() == QMetaType::QString)
        return TrimSpaces(value.toString());
    return value;
}

QString SqlDate(const QDate& date, const QString& time, const QString& dbType,
                const QString& dateLiteralStyle) {
    const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    const QString year = QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    if (dbType != kDbTypeSql)
        return QLatin1Char('#') + two(date.month()) + QLatin1Char('/') + two(date.day()) + QLatin1Char('/') +
               year + QLatin1Char(' ') + time + QLatin1Char('#');
    if (dateLiteralStyle == QLatin1String("D"))
        return QLatin1Char('\'') + two(date.day()) + QLatin1Char('.') + two(date.month()) + QLatin1Char('.') +
               year + QLatin1Char(' ') + time + QLatin1Char('\'');
    return QLatin1Char('\'') + year + QLatin1Char('-') + two(date.month()) + QLatin1Char('-') +
           two(date.day()) + QLatin1Char(' ') + time + QLatin1Char('\'');
}

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    // isFile() is false for folders, devices, pipes and sockets, and for what cannot be read.
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

} // namespace ordisp
