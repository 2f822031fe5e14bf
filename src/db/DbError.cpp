#include "DbError.h"

#include <QSqlError>

namespace ordisp {

DbError DbError::fromSqlError(const QSqlError& e, const QString& source) {
    bool ok = false;
    const QString native = e.nativeErrorCode();
    int number = native.section(QLatin1Char(';'), 0, 0).trimmed().toInt(&ok);
    if (!ok || number == 0)
        number = -1;
    QString text = e.databaseText();
    if (text.isEmpty())
        text = e.driverText();
    if (text.isEmpty())
        text = e.text();
    return DbError{number, text, source};
}

} // namespace ordisp
