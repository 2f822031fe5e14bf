#include "OdbcConnection.h"

#include "OdbcConnectionString.h"
#include "OdbcRows.h"
#include "OdbcSession.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstring>

namespace ordisp {

namespace {

const QString kOdbcDriver = QStringLiteral("QODBC");

// Longer than the driver's own login and statement time-outs, so that a driver that keeps them
// reports in its own words; the deadline only catches the calls it would let hang.
constexpr std::chrono::milliseconds kOpenDeadline{(kDbTimeoutSeconds + 5) * 1000};
constexpr std::chrono::milliseconds kCallDeadline{(kDbTimeoutSeconds + 1) * 1000};

std::atomic<int> sessionCount{0};
// Numbers each connection, so that a stamp never compares equal across a reconnect.
std::atomic<quint64> connectionSerial{0};

// PostgreSQL's snapshot of committed transactions: which transaction ids are complete and which
// still run. Every change to a table's rows, by anyone, commits a transaction, and each commit
// either ends a transaction the snapshot lists as running or moves its upper bound; the same text
// at two moments therefore means that no commit came in between and every plain table reads the
// same. Only vouched for while ordisp is such a table (not a view, a foreign or partitioned table,
// one with children or row security, whose rows may change with no commit here or depend on the
// time), and outside a transaction of our own that has written (its changes move no snapshot).
// NULL otherwise.
const QString kPostgreSqlSnapshot = QStringLiteral(
    "SELECT CASE WHEN txid_current_if_assigned() IS NULL AND EXISTS (SELECT 1 FROM pg_class WHERE "
    "oid = to_regclass('ordisp') AND relkind = 'r' AND NOT relhassubclass AND NOT relrowsecurity) "
    "THEN txid_current_snapshot()::text END");

// What a call on the session's thread hands back; shared, as it may outlive an impatient caller.
struct Call {
    bool ok = false;
    DbError error;
    ResultData data;
    QString dbmsName;
    bool unicode = false;
};

DbError overrun(std::chrono::milliseconds deadline) {
    return DbError{-1,
                   QStringLiteral("Der Datenbankserver hat nicht innerhalb von %1 Sekunden geantwortet; die "
                                  "Verbindung wurde getrennt.")
                       .arg(deadline.count() / 1000),
                   kOdbcDriver, true};
}

// QODBC hands out SQLHANDLE, which Qt 6 registers under its underlying name.
SQLHANDLE odbcHandle(const QVariant& handle) {
    if (!handle.isValid())
        return nullptr;
    const char* name = handle.typeName();
    if (name == nullptr || (std::strcmp(name, "SQLHANDLE") != 0 && std::strcmp(name, "void*") != 0))
        return nullptr;
    return *static_cast<const SQLHANDLE*>(handle.constData());
}

// Whether the driver hands out text as UTF-16, asked as Qt's driver asks it before it reads text
// that way: by the conversions it names, or else by a query read as UTF-16.
bool convertsToUtf16(SQLHANDLE connection) {
    const std::pair<SQLUSMALLINT, SQLUINTEGER> asks[] = {{SQL_CONVERT_CHAR, SQL_CVT_WCHAR},
                                                         {SQL_CONVERT_VARCHAR, SQL_CVT_WVARCHAR},
                                                         {SQL_CONVERT_LONGVARCHAR, SQL_CVT_WLONGVARCHAR}};
    for (const auto& [info, wide] : asks) {
        SQLUINTEGER conversions = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(connection, info, &conversions, sizeof conversions, nullptr)) &&
            (conversions & wide) != 0)
            return true;
    }
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement)))
        return false;
    SQLCHAR query[] = "select 'test'";
    SQLWCHAR text[10] = {};
    SQLLEN length = 0;
    const bool wide = SQL_SUCCEEDED(SQLExecDirect(statement, query, SQL_NTS)) &&
                      SQL_SUCCEEDED(SQLFetch(statement)) &&
                      SQLGetData(statement, 1, SQL_C_WCHAR, text, sizeof text, &length) == SQL_SUCCESS &&
                      length == SQLLEN(4 * sizeof(SQLWCHAR)) && text[0] == 't' && text[1] == 'e' &&
                      text[2] == 's' && text[3] == 't';
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return wide;
}

// On the session's thread.
bool connect(const QString& name, const QString& connection, Call* call) {
    QSqlDatabase db = QSqlDatabase::addDatabase(kOdbcDriver, name);
    if (!db.isValid()) {
        call->error =
            DbError{-1, QStringLiteral("Der Qt-Datenbanktreiber QODBC ist nicht verfügbar."), kOdbcDriver};
        return false;
    }
    db.setDatabaseName(connection);
    db.setConnectOptions(
        QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1").arg(kDbTimeoutSeconds));
    if (!db.open()) {
        call->error = DbError::fromSqlError(db.lastError(), kOdbcDriver);
        return false;
    }
    if (const SQLHANDLE handle = odbcHandle(db.driver()->handle())) {
        SQLCHAR dbms[256] = {};
        SQLSMALLINT length = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(handle, SQL_DBMS_NAME, dbms, sizeof dbms, &length)))
            call->dbmsName = QString::fromUtf8(reinterpret_cast<const char*>(dbms));
        call->unicode = convertsToUtf16(handle);
    }
    return true;
}

// On the session's thread. out == nullptr releases any rows unread. previous: see
// Connection::run. unicode: see convertsToUtf16.
bool statement(const QString& name, const QString& sql, ResultData* out, const ResultData* previous,
               bool unicode, DbError* error) {
    QSqlQuery query(QSqlDatabase::database(name, false));
    query.setForwardOnly(true);
    // Prepared rather than run at once, so that the statement's own time-out can be set before it
    // runs: Qt sets none. Drivers that keep it answer within it in their own words.
    if (!query.prepare(sql)) {
        *error = DbError::fromSqlError(query.lastError(), kOdbcDriver);
        return false;
    }
    const SQLHANDLE handle = odbcHandle(query.result()->handle());
    if (handle == nullptr) {
        *error = DbError{-1, QStringLiteral("Der ODBC-Treiber gibt keinen Zugriff auf die SQL-Anweisung."),
                         kOdbcDriver};
        return false;
    }
    const SQLRETURN timeout =
        SQLSetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, OdbcInteger(kDbTimeoutSeconds), SQL_IS_UINTEGER);
    // A driver without statement time-outs still has to work; the session's deadline covers it.
    static std::atomic<bool> warned{false};
    if (!SQL_SUCCEEDED(timeout) && !warned.exchange(true))
        qWarning("ODBC driver refuses SQL_ATTR_QUERY_TIMEOUT; only the session's deadline limits statements");
    if (!query.exec()) {
        *error = DbError::fromSqlError(query.lastError(), kOdbcDriver);
        return false;
    }
    if (out == nullptr || !query.isSelect()) {
        query.finish();
        return true;
    }
    const QSqlRecord record = query.record();
    QList<QMetaType> types;
    for (int i = 0; i < record.count(); ++i) {
        types.append(record.field(i).metaType());
        out->columns.append(ResultColumn{record.fieldName(i), OdbcColumnKind(types.last())});
    }
    // Bound columns and rows in blocks, as the ODBC API is read fastest; Qt's driver reads each
    // value with a call of its own.
    bool readAgain = false;
    {
        OdbcRows rows(handle, types, unicode);
        if (rows.canRead()) {
            if (rows.read(out, previous))
                return true;
            readAgain = true;
        }
    }
    if (readAgain) {
        out->rows.clear();
        if (!query.exec()) {
            *error = DbError::fromSqlError(query.lastError(), kOdbcDriver);
            return false;
        }
    }
    while (query.next()) {
        ResultRow row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.append(query.isNull(i) ? NullOfKind(out->columns.at(i).kind) : query.value(i));
        out->rows.append(std::move(row));
    }
    if (query.lastError().isValid()) {
        *error = DbError::fromSqlError(query.lastError(), kOdbcDriver);
        return false;
    }
    return true;
}

// The text to connect with, or an error that says why there is none.
QString connectionText(const ConnectionSettings& settings, DbError* error) {
    const bool dsn = odbc::isKnownDataSource(settings.server);
    QString driver;
    if (!dsn) {
        driver = odbc::sqlServerDriver();
        if (driver.isEmpty()) {
            SetError(error, -1,
                     QStringLiteral("Es ist kein ODBC-Treiber für SQL Server installiert (ODBC Driver 18 for "
                                    "SQL Server, ODBC Driver 17 for SQL Server oder FreeTDS)."),
                     kOdbcDriver);
            return QString();
        }
    }
    QString connection =
        odbc::connectionString(settings, dsn, dsn ? odbc::dataSourceDriver(settings.server) : driver);
    if (connection.isEmpty()) {
        SetError(error, -1,
                 QStringLiteral("Server, Benutzer und Kennwort dürfen für den FreeTDS-Treiber nicht \"};\" "
                                "enthalten; der Treiber läse den Rest als weitere Angaben."),
                 kOdbcDriver);
        return QString();
    }
    // QODBC reads any text containing ".dsn" as the name of a file data source.
    if (connection.contains(QLatin1String(".dsn"), Qt::CaseInsensitive)) {
        SetError(error, -1,
                 QStringLiteral("Server, Benutzer und Kennwort dürfen \".dsn\" nicht enthalten; der "
                                "ODBC-Treiber von Qt liest sie sonst als Dateiname."),
                 kOdbcDriver);
        return QString();
    }
    return connection;
}

} // namespace

std::unique_ptr<OdbcConnection> OdbcConnection::open(const QString& connectionName,
                                                     const ConnectionSettings& settings, DbError* error) {
    const QString connection = connectionText(settings, error);
    if (connection.isEmpty())
        return nullptr;
    // A name of its own per session: an abandoned session may still hold the last one.
    auto session = OdbcSession::start(QStringLiteral("%1#odbc%2").arg(connectionName).arg(++sessionCount));
    auto call = std::make_shared<Call>();
    const QString name = session->connectionName();
    const bool ended = session->run(
        [call, name, connection] { call->ok = connect(name, connection, call.get()); }, kOpenDeadline);
    if (!ended || !call->ok) {
        if (ended)
            session->end(kCallDeadline);
        else
            session->abandon();
        SetError(error, ended ? call->error.number : -1,
                 ended ? call->error.description : overrun(kOpenDeadline).description, kOdbcDriver);
        return nullptr;
    }
    return std::unique_ptr<OdbcConnection>(
        new OdbcConnection(std::move(session), call->dbmsName, call->unicode));
}

OdbcConnection::OdbcConnection(std::shared_ptr<OdbcSession> session, QString dbmsName, bool unicode)
    : m_session(std::move(session))
    , m_dbmsName(std::move(dbmsName))
    , m_unicode(unicode)
    , m_serial(++connectionSerial)
    , m_stamps(m_dbmsName.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive)) {}

OdbcConnection::~OdbcConnection() {
    // Waits for a connection that closes normally; one whose server hangs is left to its thread.
    if (m_session)
        m_session->end(kCallDeadline);
}

bool OdbcConnection::run(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) {
    if (!m_session) {
        SetError(error, -1, NotOpenText(), kOdbcDriver);
        return false;
    }
    auto call = std::make_shared<Call>();
    const QString name = m_session->connectionName();
    const bool wantRows = out != nullptr;
    const bool unicode = m_unicode;
    // A copy (sharing the rows) for the session's thread: an impatient caller may drop its own.
    std::optional<ResultData> last;
    if (wantRows && previous)
        last = *previous;
    const bool ended = m_session->run(
        [call, name, sql, wantRows, last = std::move(last), unicode] {
            call->ok = statement(name, sql, wantRows ? &call->data : nullptr, last ? &*last : nullptr,
                                 unicode, &call->error);
        },
        kCallDeadline);
    if (!ended) {
        // The connection is gone for this caller; Database::reopen() starts a fresh one.
        m_session->abandon();
        m_session = nullptr;
        m_dbmsName.clear();
        if (error)
            *error = overrun(kCallDeadline);
        return false;
    }
    if (!call->ok) {
        if (error)
            *error = call->error;
        return false;
    }
    if (out)
        *out = std::move(call->data);
    return true;
}

std::optional<DataStamp> OdbcConnection::dataStamp() {
    if (!m_stamps || !m_session)
        return std::nullopt;
    ResultData data;
    DbError error;
    if (!run(kPostgreSqlSnapshot, &data, &error, nullptr)) {
        // A server that cannot answer this (an old one) is read in full at every tick.
        if (m_session)
            m_stamps = false;
        return std::nullopt;
    }
    if (data.rows.size() != 1 || data.rows.first().isEmpty() || data.rows.first().first().isNull())
        return std::nullopt;
    DataStamp stamp;
    stamp.connection = m_serial;
    stamp.snapshot = data.rows.first().first().toString();
    return stamp;
}

} // namespace ordisp
