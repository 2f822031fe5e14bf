#include "OdbcFloorReader.h"

#include <sql.h>
#include <sqlext.h>

#include <vector>

namespace ordisp {

namespace {

QString diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {};
    SQLCHAR text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length)))
        return QStringLiteral("ODBC call failed");
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

} // namespace

OdbcFloorReader::OdbcFloorReader(const QString& connectionString)
    : m_connectionString(connectionString) {}

OdbcFloorReader::~OdbcFloorReader() {
    if (m_dbc) {
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    }
    if (m_env)
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

bool OdbcFloorReader::open(QString* error) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env)) ||
        !SQL_SUCCEEDED(
            SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc))) {
        *error = QStringLiteral("no ODBC environment");
        return false;
    }
    QByteArray text = m_connectionString.toUtf8();
    // Qt's QODBC adds "DSN=" to a text without DRIVER= or SERVER=; the driver manager needs it.
    if (!text.contains("DSN=") && !text.contains("DRIVER=") && !text.contains("SERVER="))
        text.prepend("DSN=");
    if (!SQL_SUCCEEDED(SQLDriverConnect(m_dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                        SQLSMALLINT(text.size()), nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT))) {
        *error = diagnostics(SQL_HANDLE_DBC, m_dbc);
        return false;
    }
    return true;
}

bool OdbcFloorReader::run(const QStringList& queries, qint64* cells, QString* error) {
    // Columns bound as text, a block of rows per fetch: the cheapest way through the ODBC API.
    constexpr SQLULEN kBlock = 128;
    constexpr SQLLEN kWidth = 1024; // 255 characters of UTF-8 and the terminating zero
    qint64 read = 0;
    qint64 bytes = 0;
    for (const QString& query : queries) {
        SQLHSTMT statement = SQL_NULL_HSTMT;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &statement))) {
            *error = diagnostics(SQL_HANDLE_DBC, m_dbc);
            return false;
        }
        SQLULEN fetched = 0;
        bool ok = SQL_SUCCEEDED(SQLSetStmtAttr(statement, SQL_ATTR_ROW_BIND_TYPE,
                                               reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) &&
                  SQL_SUCCEEDED(SQLSetStmtAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE,
                                               reinterpret_cast<SQLPOINTER>(kBlock), 0)) &&
                  SQL_SUCCEEDED(SQLSetStmtAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        QByteArray text = query.toUtf8();
        ok = ok && SQL_SUCCEEDED(SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()),
                                               SQLINTEGER(text.size())));
        SQLSMALLINT columns = 0;
        ok = ok && SQL_SUCCEEDED(SQLNumResultCols(statement, &columns));
        std::vector<char> values(ok ? size_t(columns) * kBlock * kWidth : 0);
        std::vector<SQLLEN> lengths(ok ? size_t(columns) * kBlock : 0);
        for (SQLUSMALLINT c = 0; ok && c < columns; ++c)
            ok = SQL_SUCCEEDED(SQLBindCol(statement, c + 1, SQL_C_CHAR,
                                          values.data() + size_t(c) * kBlock * kWidth, kWidth,
                                          lengths.data() + size_t(c) * kBlock));
        SQLRETURN rc = SQL_SUCCESS;
        while (ok && SQL_SUCCEEDED(rc = SQLFetch(statement))) {
            for (SQLUSMALLINT c = 0; c < columns; ++c) {
                for (SQLULEN r = 0; r < fetched; ++r) {
                    const SQLLEN length = lengths[size_t(c) * kBlock + r];
                    if (length != SQL_NULL_DATA)
                        bytes += length + values[(size_t(c) * kBlock + r) * kWidth];
                    ++read;
                }
            }
        }
        if (ok && rc != SQL_NO_DATA)
            ok = false;
        if (!ok)
            *error = diagnostics(SQL_HANDLE_STMT, statement);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        if (!ok)
            return false;
    }
    *cells = read + (bytes < 0 ? 1 : 0);
    return true;
}

} // namespace ordisp
