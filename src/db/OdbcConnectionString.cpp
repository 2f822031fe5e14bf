#include "OdbcConnectionString.h"

#include <QStringList>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <optional>

namespace ordisp::odbc {

namespace {

// Walks the driver manager's list of data sources or drivers; stops when visit(name, detail)
// returns true. The detail of a data source is its driver.
template <typename Visit>
bool visitList(bool drivers, Visit visit) {
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return false;
    bool found = false;
    if (SQL_SUCCEEDED(
            SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        SQLCHAR name[512];
        SQLCHAR detail[1024];
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT detailLength = 0;
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        for (;;) {
            const SQLRETURN r = drivers ? SQLDrivers(env, direction, name, sizeof name, &nameLength, detail,
                                                     sizeof detail, &detailLength)
                                        : SQLDataSources(env, direction, name, sizeof name, &nameLength,
                                                         detail, sizeof detail, &detailLength);
            if (!SQL_SUCCEEDED(r))
                break;
            direction = SQL_FETCH_NEXT;
            if (visit(QString::fromLocal8Bit(reinterpret_cast<const char*>(name)),
                      QString::fromLocal8Bit(reinterpret_cast<const char*>(detail)))) {
                found = true;
                break;
            }
        }
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

bool isFreeTds(const QString& driver) {
    return driver.contains(QLatin1String("FreeTDS"), Qt::CaseInsensitive) ||
           driver.contains(QLatin1String("tdsodbc"), Qt::CaseInsensitive);
}

// FreeTDS 1.3 (Debian 12) ends a braced value at the first "}" that a ";" follows and keeps every
// other brace as it is: a doubled closing brace reaches the server doubled, and a value holding
// "};" ends there, the rest being read as further attributes. So its values go into braces
// unchanged, and one holding "};" cannot be passed at all.
std::optional<QString> freeTdsEscape(const QString& value) {
    const QString braced = escape(value);
    if (braced == value)
        return value;
    if (value.contains(QLatin1String("};")))
        return std::nullopt;
    return QLatin1Char('{') + value + QLatin1Char('}');
}

} // namespace

QString escape(const QString& value) {
    static const QString special = QStringLiteral("[]{}(),;?*=!@");
    const bool plain =
        std::none_of(value.cbegin(), value.cend(), [](QChar c) { return special.contains(c); }) &&
        value.trimmed() == value;
    if (plain)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QLatin1String("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

bool isValidDsnName(const QString& name) {
    if (name.trimmed().isEmpty())
        return false;
    static const QString forbidden = QStringLiteral("[]{}(),;?*=!@\\");
    for (const QChar c : name) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

bool isKnownDataSource(const QString& name) {
    if (!isValidDsnName(name))
        return false;
    return visitList(false, [&](const QString& dsn, const QString&) {
        return dsn.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString dataSourceDriver(const QString& name) {
    QString driver;
    visitList(false, [&](const QString& dsn, const QString& detail) {
        if (dsn.compare(name, Qt::CaseInsensitive) != 0)
            return false;
        driver = detail;
        return true;
    });
    return driver;
}

QString sqlServerDriver() {
    const QStringList preferred = {QStringLiteral("ODBC Driver 18 for SQL Server"),
                                   QStringLiteral("ODBC Driver 17 for SQL Server"),
                                   QStringLiteral("FreeTDS")};
    QStringList installed;
    visitList(true, [&](const QString& driver, const QString&) {
        installed << driver;
        return false;
    });
    for (const QString& driver : preferred) {
        if (installed.contains(driver, Qt::CaseInsensitive))
            return driver;
    }
    return QString();
}

QString connectionString(const ConnectionSettings& settings, bool dsn, const QString& driver) {
    const bool freeTds = isFreeTds(driver);
    bool passable = true;
    const auto escapeValue = [&](const QString& value) {
        if (!freeTds)
            return escape(value);
        const std::optional<QString> escaped = freeTdsEscape(value);
        passable = passable && escaped.has_value();
        return escaped.value_or(QString());
    };
    QString result = dsn ? settings.server
                         : QStringLiteral("DRIVER={") +
                               QString(driver).replace(QLatin1Char('}'), QLatin1String("}}")) +
                               QStringLiteral("};SERVER=") + escapeValue(settings.server);
    result += QStringLiteral(";DATABASE=") + escapeValue(kCatalog) + QStringLiteral(";UID=") +
              escapeValue(settings.user);
    if (!settings.password.isEmpty())
        result += QStringLiteral(";PWD=") + escapeValue(settings.password);
    if (!passable)
        return QString();
    // FreeTDS's automatic version retries with the Sybase protocol after a login time-out, and
    // that retry waits without end on a server that accepts but never answers. 7.4 is what the
    // automatic choice tries first; SQL Server answers it with the version it speaks.
    if (!dsn && driver.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) == 0)
        result += QStringLiteral(";TDS_Version=7.4");
    // FreeTDS 1.3 keeps the closing brace of a braced value that ends the text.
    if (freeTds && result.endsWith(QLatin1Char('}')))
        result += QLatin1Char(';');
    // QODBC adds "DSN=" only when the text holds neither "DRIVER=" nor "SERVER="; a user name or
    // password holding one of them would otherwise lose the data source.
    if (dsn && (result.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
                result.contains(QLatin1String("SERVER="), Qt::CaseInsensitive)))
        result.prepend(QStringLiteral("DSN="));
    return result;
}

} // namespace ordisp::odbc
