#include "Database.h"

#include "DateConversion.h"
#include "SqliteSupport.h"

#include <QAnyStringView>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace ordisp {

namespace {

const QString kSqliteDriver = QStringLiteral("QSQLITE");
const QString kOdbcDriver = QStringLiteral("QODBC");
const QString kCatalog = QStringLiteral("zalpos");

void setError(DbError* error, int number, const QString& description, const QString& source) {
    if (error)
        *error = DbError{number, description, source};
}

// The driver's native code is the error number; ODBC drivers often give 0 for failures of their
// own (08001 and the like), which must not read as success.
DbError fromSqlError(const QSqlError& e, const QString& source) {
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

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    if (!db.isValid() || db.driver() == nullptr)
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || std::strcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
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

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

bool onlyBlanks(const char* text, const char* end) {
    for (; text < end; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n' && *text != ';')
            return false;
    }
    return true;
}

QVariant nullOfKind(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::Character:
        return QVariant(QMetaType::fromType<QString>());
    case ColumnKind::Boolean:
        return QVariant(QMetaType::fromType<bool>());
    case ColumnKind::Date:
        return QVariant(QMetaType::fromType<QDateTime>());
    case ColumnKind::Other:
        break;
    }
    return QVariant();
}

// Date columns read as dates whatever form a terminal stored; what is no date stays as it is.
QVariant sqliteValue(sqlite3_stmt* statement, int column, ColumnKind kind) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER: {
        const qlonglong value = sqlite3_column_int64(statement, column);
        if (kind == ColumnKind::Date) {
            const QDateTime time = dateTimeFromNumber(double(value));
            if (time.isValid())
                return time;
        }
        return value;
    }
    case SQLITE_FLOAT: {
        const double value = sqlite3_column_double(statement, column);
        if (kind == ColumnKind::Date) {
            const QDateTime time = dateTimeFromNumber(value);
            if (time.isValid())
                return time;
        }
        return value;
    }
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        const int bytes = sqlite3_column_bytes(statement, column);
        // Parsed from SQLite's own bytes: no text is made for a date.
        if (kind == ColumnKind::Date) {
            if (const auto time = parseIsoDateTime(QByteArrayView(text, bytes)))
                return *time;
        }
        return QString::fromUtf8(text, bytes);
    }
    case SQLITE_BLOB: {
        const auto* blob = static_cast<const char*>(sqlite3_column_blob(statement, column));
        return QByteArray(blob, sqlite3_column_bytes(statement, column));
    }
    default:
        return nullOfKind(kind);
    }
}

// Whether the current row's column would read as old (see sqliteValue). Dates stored as numbers
// and blobs are rare and always read anew.
bool readsAs(sqlite3_stmt* statement, int column, ColumnKind kind, const QVariant& old) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return kind != ColumnKind::Date && !old.isNull() && old.metaType().id() == QMetaType::LongLong &&
               *static_cast<const qlonglong*>(old.constData()) == sqlite3_column_int64(statement, column);
    case SQLITE_FLOAT: {
        if (kind == ColumnKind::Date || old.isNull() || old.metaType().id() != QMetaType::Double)
            return false;
        const double value = sqlite3_column_double(statement, column);
        return std::memcmp(old.constData(), &value, sizeof value) == 0;
    }
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        const QByteArrayView bytes(text, sqlite3_column_bytes(statement, column));
        if (kind == ColumnKind::Date) {
            if (const auto time = parseIsoDateTime(bytes)) {
                return time->isValid() && !old.isNull() && old.metaType().id() == QMetaType::QDateTime &&
                       *static_cast<const QDateTime*>(old.constData()) == *time;
            }
        }
        return !old.isNull() && old.metaType().id() == QMetaType::QString &&
               QAnyStringView::equal(QUtf8StringView(bytes.data(), bytes.size()),
                                     *static_cast<const QString*>(old.constData()));
    }
    case SQLITE_NULL:
        return old.isNull() && old.metaType() == nullOfKind(kind).metaType();
    default:
        return false;
    }
}

// The rows of the statement's last result, handed out again for rows that read the same: an
// unchanged list then allocates next to nothing, and the grid sees the very rows it shows. Rows
// are found by `id`, looked for first where the last match left off.
class PreviousRows {
public:
    PreviousRows(const ResultData* previous, const QList<ResultColumn>& columns)
        : m_columns(columns) {
        if (previous == nullptr || previous->columns.size() != columns.size())
            return;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const ResultColumn& was = previous->columns.at(i);
            if (was.name != columns.at(i).name || was.kind != columns.at(i).kind)
                return;
            if (m_key < 0 && was.name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
                m_key = int(i);
        }
        if (m_key >= 0)
            m_rows = &previous->rows;
    }

    // The last result's row with the current row's id if it reads the same in every column.
    const ResultRow* match(sqlite3_stmt* statement) {
        if (m_rows == nullptr || sqlite3_column_type(statement, m_key) != SQLITE_INTEGER)
            return nullptr;
        const qint64 id = sqlite3_column_int64(statement, m_key);
        qsizetype at = -1;
        if (m_next < m_rows->size() && idOf(m_rows->at(m_next)) == id) {
            at = m_next;
        } else {
            if (m_byId.isEmpty()) {
                m_byId.reserve(m_rows->size());
                for (qsizetype i = 0; i < m_rows->size(); ++i) {
                    if (const auto key = idOf(m_rows->at(i)))
                        m_byId.insert(*key, i);
                }
            }
            at = m_byId.value(id, -1);
        }
        if (at < 0)
            return nullptr;
        m_next = at + 1;
        const ResultRow& old = m_rows->at(at);
        if (old.size() != m_columns.size())
            return nullptr;
        for (int i = 0; i < int(old.size()); ++i) {
            if (!readsAs(statement, i, m_columns.at(i).kind, old.at(i)))
                return nullptr;
        }
        return &old;
    }

private:
    std::optional<qint64> idOf(const ResultRow& row) const {
        const QVariant& key = row.at(m_key);
        if (key.isNull() || key.metaType().id() != QMetaType::LongLong)
            return std::nullopt;
        return *static_cast<const qlonglong*>(key.constData());
    }

    const QList<ResultColumn> m_columns;
    const QList<ResultRow>* m_rows = nullptr;
    int m_key = -1;
    qsizetype m_next = 0;
    QHash<qint64, qsizetype> m_byId;
};

ColumnKind kindOfOdbcField(QMetaType type) {
    switch (type.id()) {
    case QMetaType::QString:
        return ColumnKind::Character;
    case QMetaType::Bool:
        return ColumnKind::Boolean;
    case QMetaType::QDate:
        return ColumnKind::Date;
    default:
        return ColumnKind::Other;
    }
}

// Walks the driver manager's list of data sources or drivers; stops when visit(name, detail)
// returns true. The detail of a data source is its driver.
template <typename Visit>
bool visitOdbcList(bool drivers, Visit visit) {
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

// SQLite takes a file of one byte for an empty database; any file that holds something must
// begin with SQLite's header.
bool holdsSomethingElse(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false; // unreadable files fail in SQLite with its own message
    static const QByteArray header("SQLite format 3\0", 16);
    return file.read(header.size()) != header;
}

QString notSqliteText(const QString& path, const QString& detail) {
    return QStringLiteral("Die Datei '%1' ist keine SQLite-Datenbank (%2).").arg(path, detail);
}

} // namespace

Database::Database(const QString& connectionName)
    : m_name(connectionName) {}

Database::~Database() {
    close();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

QString Database::source() const {
    return isSqlite() ? kSqliteDriver : kOdbcDriver;
}

bool Database::open(const ConnectionSettings& settings, DbError* error) {
    close();
    // The driver may differ from the last open; a fresh registration avoids mixing them.
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
    m_settings = settings;
    if (m_settings.type != kDbTypeSql)
        m_settings.type = kDbTypeJet;
    if (error)
        error->clear();
    return isSqlite() ? openSqlite(error) : openOdbc(error);
}

bool Database::isOpen() const {
    if (m_odbc)
        return true;
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

void Database::close() {
    closeOdbc();
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
}

bool Database::reopen(DbError* error) {
    const ConnectionSettings settings = m_settings;
    return open(settings, error);
}

QString Database::sqliteUri(const QString& path) {
    QString escaped;
    escaped.reserve(path.size());
    for (const QChar c : path) {
        if (c == QLatin1Char('%'))
            escaped += QLatin1String("%25");
        else if (c == QLatin1Char('?'))
            escaped += QLatin1String("%3f");
        else if (c == QLatin1Char('#'))
            escaped += QLatin1String("%23");
        else
            escaped += c;
    }
    // An empty authority ("file://" + "/path") keeps a path beginning with "//" from being read as
    // a host name.
    const QString prefix =
        path.startsWith(QLatin1Char('/')) ? QStringLiteral("file://") : QStringLiteral("file:");
    return prefix + escaped + QStringLiteral("?mode=rw");
}

bool Database::openSqlite(DbError* error) {
    const QString path = m_settings.file;
    if (path.isEmpty()) {
        setError(error, -1, QStringLiteral("Es ist keine Datenbankdatei angegeben."), kSqliteDriver);
        return false;
    }
    if (m_settings.createFile && !QFileInfo::exists(path) && !createSqliteFile(path, error))
        return false;
    if (holdsSomethingElse(path)) {
        setError(error, SQLITE_NOTADB, notSqliteText(path, QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB))),
                 kSqliteDriver);
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(kSqliteDriver, m_name);
    if (!db.isValid()) {
        setError(error, -1, QStringLiteral("Der Qt-Datenbanktreiber QSQLITE ist nicht verfügbar."),
                 kSqliteDriver);
        return false;
    }
    db.setDatabaseName(sqliteUri(path));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kTimeoutSeconds * 1000));
    if (!db.open()) {
        DbError e = fromSqlError(db.lastError(), kSqliteDriver);
        e.description =
            QStringLiteral("Die Datei '%1' konnte nicht geöffnet werden: %2").arg(path, e.description);
        if (error)
            *error = e;
        return false;
    }
    sqlite3* handle = sqliteHandle(db);
    if (handle == nullptr) {
        db.close();
        setError(error, -1, QStringLiteral("Der SQLite-Treiber gibt keinen Zugriff auf die Verbindung."),
                 kSqliteDriver);
        return false;
    }

    // Opening alone reads nothing; the schema read is what tells an SQLite file from any other.
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(handle, "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
    Statement probe(raw);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(probe.get());
    if (rc != SQLITE_ROW) {
        const int code = sqlite3_extended_errcode(handle);
        const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
        probe.reset();
        db.close();
        if ((code & 0xff) == SQLITE_NOTADB)
            setError(error, code, notSqliteText(path, text), kSqliteDriver);
        else
            setError(error, code,
                     QStringLiteral("Die Datei '%1' kann nicht gelesen werden: %2").arg(path, text),
                     kSqliteDriver);
        return false;
    }
    probe.reset();

    if (!registerSqliteFunctions(handle)) {
        const int code = sqlite3_extended_errcode(handle);
        const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
        db.close();
        setError(error, code == 0 ? -1 : code, text, kSqliteDriver);
        return false;
    }
    static std::atomic<quint64> openedConnections{0};
    m_sqliteConnection = ++openedConnections;
    return true;
}

bool Database::createSqliteFile(const QString& path, DbError* error) {
    if (path.isEmpty()) {
        setError(error, -1, QStringLiteral("Es ist keine Datenbankdatei angegeben."), kSqliteDriver);
        return false;
    }
    const bool existed = QFileInfo::exists(path);
    if (existed && holdsSomethingElse(path)) {
        setError(error, SQLITE_NOTADB, notSqliteText(path, QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB))),
                 kSqliteDriver);
        return false;
    }
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    // An existing file is only read; a new one gets its header written so that it is an SQLite
    // file on disk, not an empty one.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(handle, existed ? "SELECT count(*) FROM sqlite_master" : "VACUUM", nullptr, nullptr,
                          nullptr);
    if (rc != SQLITE_OK) {
        const int code = handle ? sqlite3_extended_errcode(handle) : rc;
        const QString text =
            handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(handle);
        const QString description =
            (code & 0xff) == SQLITE_NOTADB
                ? notSqliteText(path, text)
                : QStringLiteral("Die Datei '%1' kann nicht angelegt werden: %2").arg(path, text);
        setError(error, code, description, kSqliteDriver);
        return false;
    }
    sqlite3_close(handle);
    return true;
}

// The server connection lives on a thread of its own and the caller waits for each call at most a
// deadline. The statement time-out set on each statement is not enough: psqlODBC enforces it on
// the server, so a server that hangs (stopped, swapped out, behind a dead link that still
// acknowledges) keeps the caller in recv() for good, and the display with it. A call that overruns
// its deadline abandons the session: the caller goes on at once with an error and a fresh
// connection, while the old one is closed on its own thread whenever the driver returns.
class OdbcSession {
public:
    static std::shared_ptr<OdbcSession> start(const QString& connectionName) {
        auto session = std::shared_ptr<OdbcSession>(new OdbcSession(connectionName));
        // The thread holds the session too: abandoned, it outlives its Database.
        session->m_thread = std::thread([session] { session->loop(); });
        return session;
    }

    ~OdbcSession() {
        if (m_thread.joinable())
            m_thread.detach();
    }

    QString connectionName() const { return m_name; }

    // Runs job on the session's thread. False when it did not end within deadline; whatever the
    // job writes must then outlive the caller.
    bool run(std::function<void()> job, std::chrono::milliseconds deadline) {
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> finished = done->get_future();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back([job = std::move(job), done] {
                job();
                done->set_value();
            });
        }
        m_wake.notify_one();
        return finished.wait_for(deadline) == std::future_status::ready;
    }

    // Closes the connection and waits for the thread, so that nothing of it runs on while the
    // process ends. A thread stuck in the driver past deadline is abandoned instead.
    void end(std::chrono::milliseconds deadline) {
        const QString name = m_name;
        const bool closed = run([name] { removeConnection(name); }, deadline);
        stop();
        if (closed)
            m_thread.join();
        else
            m_thread.detach();
    }

    // Gives the connection up at once; its thread closes it whenever the driver returns.
    void abandon() {
        stop();
        m_thread.detach();
    }

private:
    explicit OdbcSession(QString connectionName)
        : m_name(std::move(connectionName)) {}

    static void removeConnection(const QString& name) {
        if (QSqlDatabase::contains(name)) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
    }

    void stop() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_finishing = true;
        }
        m_wake.notify_one();
    }

    void loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_finishing || !m_jobs.empty(); });
                if (m_jobs.empty())
                    break;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
        removeConnection(m_name);
    }

    const QString m_name;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_finishing = false;
    std::thread m_thread;
};

namespace {

// Longer than the driver's own login and statement time-outs, so that a driver that keeps them
// reports in its own words; the deadline only catches the calls it would let hang.
constexpr std::chrono::milliseconds kOdbcOpenDeadline{(Database::kTimeoutSeconds + 5) * 1000};
constexpr std::chrono::milliseconds kOdbcCallDeadline{(Database::kTimeoutSeconds + 1) * 1000};

std::atomic<int> odbcSessionCount{0};

struct OdbcCall {
    bool ok = false;
    DbError error;
    ResultData data;
    QString dbmsName;
};

DbError odbcOverrun(std::chrono::milliseconds deadline) {
    return DbError{-1,
                   QStringLiteral("Der Datenbankserver hat nicht innerhalb von %1 Sekunden geantwortet; die "
                                  "Verbindung wurde getrennt.")
                       .arg(deadline.count() / 1000),
                   kOdbcDriver, true};
}

// On the session's thread.
bool odbcConnect(const QString& name, const QString& connection, OdbcCall* call) {
    QSqlDatabase db = QSqlDatabase::addDatabase(kOdbcDriver, name);
    if (!db.isValid()) {
        call->error =
            DbError{-1, QStringLiteral("Der Qt-Datenbanktreiber QODBC ist nicht verfügbar."), kOdbcDriver};
        return false;
    }
    db.setDatabaseName(connection);
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1")
                             .arg(Database::kTimeoutSeconds));
    if (!db.open()) {
        call->error = fromSqlError(db.lastError(), kOdbcDriver);
        return false;
    }
    if (const SQLHANDLE handle = odbcHandle(db.driver()->handle())) {
        SQLCHAR dbms[256] = {};
        SQLSMALLINT length = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(handle, SQL_DBMS_NAME, dbms, sizeof dbms, &length)))
            call->dbmsName = QString::fromUtf8(reinterpret_cast<const char*>(dbms));
    }
    return true;
}

// On the session's thread. out == nullptr releases any rows unread.
bool odbcStatement(const QString& name, const QString& sql, ResultData* out, DbError* error) {
    QSqlQuery query(QSqlDatabase::database(name, false));
    query.setForwardOnly(true);
    // Prepared rather than run at once, so that the statement's own time-out can be set before it
    // runs: Qt sets none. Drivers that keep it answer within it in their own words.
    if (!query.prepare(sql)) {
        *error = fromSqlError(query.lastError(), kOdbcDriver);
        return false;
    }
    const SQLHANDLE statement = odbcHandle(query.result()->handle());
    if (statement == nullptr) {
        *error = DbError{-1, QStringLiteral("Der ODBC-Treiber gibt keinen Zugriff auf die SQL-Anweisung."),
                         kOdbcDriver};
        return false;
    }
    const SQLRETURN timeout = SQLSetStmtAttr(
        statement, SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(Database::kTimeoutSeconds)), SQL_IS_UINTEGER);
    // A driver without statement time-outs still has to work; the session's deadline covers it.
    static std::atomic<bool> warned{false};
    if (!SQL_SUCCEEDED(timeout) && !warned.exchange(true))
        qWarning("ODBC driver refuses SQL_ATTR_QUERY_TIMEOUT; only the session's deadline limits statements");
    if (!query.exec()) {
        *error = fromSqlError(query.lastError(), kOdbcDriver);
        return false;
    }
    if (out == nullptr || !query.isSelect()) {
        query.finish();
        return true;
    }
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        out->columns.append(ResultColumn{record.fieldName(i), kindOfOdbcField(record.field(i).metaType())});
    while (query.next()) {
        ResultRow row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.append(query.isNull(i) ? nullOfKind(out->columns.at(i).kind) : query.value(i));
        out->rows.append(std::move(row));
    }
    if (query.lastError().isValid()) {
        *error = fromSqlError(query.lastError(), kOdbcDriver);
        return false;
    }
    return true;
}

} // namespace

QString Database::odbcEscape(const QString& value) {
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

bool Database::isValidDsnName(const QString& name) {
    if (name.trimmed().isEmpty())
        return false;
    static const QString forbidden = QStringLiteral("[]{}(),;?*=!@\\");
    for (const QChar c : name) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

bool Database::isKnownDataSource(const QString& name) {
    if (!isValidDsnName(name))
        return false;
    return visitOdbcList(false, [&](const QString& dsn, const QString&) {
        return dsn.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString Database::sqlServerDriver() {
    const QStringList preferred = {QStringLiteral("ODBC Driver 18 for SQL Server"),
                                   QStringLiteral("ODBC Driver 17 for SQL Server"),
                                   QStringLiteral("FreeTDS")};
    QStringList installed;
    visitOdbcList(true, [&](const QString& driver, const QString&) {
        installed << driver;
        return false;
    });
    for (const QString& driver : preferred) {
        if (installed.contains(driver, Qt::CaseInsensitive))
            return driver;
    }
    return QString();
}

namespace {

bool isFreeTds(const QString& driver) {
    return driver.contains(QLatin1String("FreeTDS"), Qt::CaseInsensitive) ||
           driver.contains(QLatin1String("tdsodbc"), Qt::CaseInsensitive);
}

// FreeTDS 1.3 (Debian 12) ends a braced value at the first "}" that a ";" follows and keeps every
// other brace as it is: a doubled closing brace reaches the server doubled, and a value holding
// "};" ends there, the rest being read as further attributes. So its values go into braces
// unchanged, and one holding "};" cannot be passed at all.
std::optional<QString> freeTdsEscape(const QString& value) {
    const QString braced = Database::odbcEscape(value);
    if (braced == value)
        return value;
    if (value.contains(QLatin1String("};")))
        return std::nullopt;
    return QLatin1Char('{') + value + QLatin1Char('}');
}

// The data source's driver as the driver manager lists it; empty when unknown.
QString dataSourceDriver(const QString& name) {
    QString driver;
    visitOdbcList(false, [&](const QString& dsn, const QString& detail) {
        if (dsn.compare(name, Qt::CaseInsensitive) != 0)
            return false;
        driver = detail;
        return true;
    });
    return driver;
}

} // namespace

QString Database::odbcConnectionString(const ConnectionSettings& settings, bool dsn, const QString& driver) {
    const bool freeTds = isFreeTds(driver);
    bool passable = true;
    const auto escape = [&](const QString& value) {
        if (!freeTds)
            return odbcEscape(value);
        const std::optional<QString> escaped = freeTdsEscape(value);
        passable = passable && escaped.has_value();
        return escaped.value_or(QString());
    };
    QString result = dsn ? settings.server
                         : QStringLiteral("DRIVER={") +
                               QString(driver).replace(QLatin1Char('}'), QLatin1String("}}")) +
                               QStringLiteral("};SERVER=") + escape(settings.server);
    result +=
        QStringLiteral(";DATABASE=") + escape(kCatalog) + QStringLiteral(";UID=") + escape(settings.user);
    if (!settings.password.isEmpty())
        result += QStringLiteral(";PWD=") + escape(settings.password);
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

bool Database::openOdbc(DbError* error) {
    const bool dsn = isKnownDataSource(m_settings.server);
    QString driver;
    if (!dsn) {
        driver = sqlServerDriver();
        if (driver.isEmpty()) {
            setError(
                error, -1,
                QStringLiteral("Es ist kein ODBC-Treiber für SQL Server installiert (ODBC Driver 18 for SQL "
                               "Server, ODBC Driver 17 for SQL Server oder FreeTDS)."),
                kOdbcDriver);
            return false;
        }
    }
    const QString connection =
        odbcConnectionString(m_settings, dsn, dsn ? dataSourceDriver(m_settings.server) : driver);
    if (connection.isEmpty()) {
        setError(error, -1,
                 QStringLiteral("Server, Benutzer und Kennwort dürfen für den FreeTDS-Treiber nicht \"};\" "
                                "enthalten; der Treiber läse den Rest als weitere Angaben."),
                 kOdbcDriver);
        return false;
    }
    // QODBC reads any text containing ".dsn" as the name of a file data source.
    if (connection.contains(QLatin1String(".dsn"), Qt::CaseInsensitive)) {
        setError(error, -1,
                 QStringLiteral("Server, Benutzer und Kennwort dürfen \".dsn\" nicht enthalten; der "
                                "ODBC-Treiber von Qt liest sie sonst als Dateiname."),
                 kOdbcDriver);
        return false;
    }
    return openOdbcSession(connection, error);
}

bool Database::openOdbcSession(const QString& connection, DbError* error) {
    // A name of its own per session: an abandoned session may still hold the last one.
    auto session = OdbcSession::start(QStringLiteral("%1#odbc%2").arg(m_name).arg(++odbcSessionCount));
    auto call = std::make_shared<OdbcCall>();
    const QString name = session->connectionName();
    const bool ended =
        session->run([call, name, connection] { call->ok = odbcConnect(name, connection, call.get()); },
                     kOdbcOpenDeadline);
    if (!ended || !call->ok) {
        if (ended)
            session->end(kOdbcCallDeadline);
        else
            session->abandon();
        setError(error, ended ? call->error.number : -1,
                 ended ? call->error.description : odbcOverrun(kOdbcOpenDeadline).description, kOdbcDriver);
        return false;
    }
    m_odbc = std::move(session);
    m_dbmsName = call->dbmsName;
    return true;
}

void Database::closeOdbc() {
    if (!m_odbc)
        return;
    // Waits for a connection that closes normally; one whose server hangs is left to its thread.
    const std::shared_ptr<OdbcSession> session = std::move(m_odbc);
    m_odbc = nullptr;
    m_dbmsName.clear();
    session->end(kOdbcCallDeadline);
}

QString Database::dbmsName() const {
    if (!isOpen())
        return QString();
    if (isSqlite())
        return QStringLiteral("SQLite");
    return m_dbmsName;
}

bool Database::exec(const QString& sql, DbError* error) {
    if (error)
        error->clear();
    if (!isOpen()) {
        setError(error, -1, QStringLiteral("Die Verbindung zur Datenbank ist nicht geöffnet."), source());
        return false;
    }
    return isSqlite() ? runSqlite(sql, nullptr, error, nullptr) : runOdbc(sql, nullptr, error);
}

bool Database::select(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) {
    if (error)
        error->clear();
    if (!isOpen()) {
        setError(error, -1, QStringLiteral("Die Verbindung zur Datenbank ist nicht geöffnet."), source());
        return false;
    }
    ResultData data;
    const bool ok = isSqlite() ? runSqlite(sql, &data, error, previous) : runOdbc(sql, &data, error);
    if (ok && out)
        *out = std::move(data);
    return ok;
}

std::optional<DataStamp> Database::dataStamp() {
    if (!isSqlite() || !isOpen())
        return std::nullopt;
    sqlite3* handle = sqliteHandle(QSqlDatabase::database(m_name, false));
    if (handle == nullptr)
        return std::nullopt;
    // data_version tells of commits by other connections, other processes included; the total of
    // changes of this connection's own rows; schema_version of tables made or dropped by anyone.
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(handle, "SELECT * FROM pragma_data_version, pragma_schema_version", -1, &raw,
                           nullptr) != SQLITE_OK)
        return std::nullopt;
    Statement statement(raw);
    if (sqlite3_step(statement.get()) != SQLITE_ROW)
        return std::nullopt;
    return DataStamp{m_sqliteConnection, sqlite3_column_int64(statement.get(), 0),
                     sqlite3_column_int64(statement.get(), 1), sqlite3_total_changes64(handle)};
}

bool Database::runSqlite(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) {
    sqlite3* handle = sqliteHandle(QSqlDatabase::database(m_name, false));
    if (handle == nullptr) {
        setError(error, -1, QStringLiteral("Der SQLite-Treiber gibt keinen Zugriff auf die Verbindung."),
                 kSqliteDriver);
        return false;
    }
    const auto failWithSqliteError = [&]() {
        setError(error, sqlite3_extended_errcode(handle), QString::fromUtf8(sqlite3_errmsg(handle)),
                 kSqliteDriver);
        return false;
    };

    const QByteArray text = translateJetSql(sql, true).toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(handle, text.constData(), static_cast<int>(text.size()), &raw, &tail) != SQLITE_OK)
        return failWithSqliteError();
    Statement statement(raw);
    // One statement per call, as with the Jet provider: text glued onto a statement never runs.
    if (tail != nullptr && !onlyBlanks(tail, text.constData() + text.size())) {
        setError(error, -1, QStringLiteral("Nach dem Ende der SQL-Anweisung folgen weitere Zeichen."),
                 kSqliteDriver);
        return false;
    }
    if (!statement)
        return true; // blanks or a comment only

    const int columnCount = sqlite3_column_count(statement.get());
    if (out) {
        for (int i = 0; i < columnCount; ++i) {
            out->columns.append(
                ResultColumn{QString::fromUtf8(sqlite3_column_name(statement.get(), i)),
                             kindFromDeclaredType(sqlite3_column_decltype(statement.get(), i))});
        }
    }
    PreviousRows unchanged(out ? previous : nullptr, out ? out->columns : QList<ResultColumn>());
    for (;;) {
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_DONE)
            return true;
        if (rc != SQLITE_ROW)
            return failWithSqliteError();
        if (out) {
            if (const ResultRow* same = unchanged.match(statement.get())) {
                out->rows.append(*same);
                continue;
            }
            ResultRow row;
            row.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i)
                row.append(sqliteValue(statement.get(), i, out->columns.at(i).kind));
            out->rows.append(std::move(row));
        }
    }
}

bool Database::runOdbc(const QString& sql, ResultData* out, DbError* error) {
    if (!m_odbc) {
        setError(error, -1, QStringLiteral("Die Verbindung zur Datenbank ist nicht geöffnet."), kOdbcDriver);
        return false;
    }
    auto call = std::make_shared<OdbcCall>();
    const QString name = m_odbc->connectionName();
    const bool wantRows = out != nullptr;
    const bool ended = m_odbc->run(
        [call, name, sql, wantRows] {
            call->ok = odbcStatement(name, sql, wantRows ? &call->data : nullptr, &call->error);
        },
        kOdbcCallDeadline);
    if (!ended) {
        // The connection is gone for this caller; reopen() starts a fresh one.
        m_odbc->abandon();
        m_odbc = nullptr;
        m_dbmsName.clear();
        if (error)
            *error = odbcOverrun(kOdbcCallDeadline);
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

} // namespace ordisp
