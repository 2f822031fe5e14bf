#include "SqliteFloorReader.h"

#include <sqlite3.h>

namespace ordisp {

SqliteFloorReader::SqliteFloorReader(const QString& path)
    : m_path(path) {}

SqliteFloorReader::~SqliteFloorReader() {
    sqlite3_close(m_handle);
}

bool SqliteFloorReader::open(QString* error) {
    if (sqlite3_open_v2(m_path.toUtf8().constData(), &m_handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(m_handle ? sqlite3_errmsg(m_handle) : "out of memory");
        return false;
    }
    return true;
}

bool SqliteFloorReader::run(const QStringList& queries, qint64* cells, QString* error) {
    qint64 read = 0;
    // Summed so that no read can be left out as unused.
    qint64 bytes = 0;
    for (const QString& query : queries) {
        const QByteArray text = query.toUtf8();
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &statement, nullptr) !=
            SQLITE_OK) {
            *error = QString::fromUtf8(sqlite3_errmsg(m_handle));
            return false;
        }
        const int columns = sqlite3_column_count(statement);
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            for (int i = 0; i < columns; ++i) {
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER:
                    bytes += sqlite3_column_int64(statement, i) & 1;
                    break;
                case SQLITE_FLOAT:
                    bytes += sqlite3_column_double(statement, i) > 0;
                    break;
                case SQLITE_TEXT:
                    bytes += sqlite3_column_text(statement, i)[0] + sqlite3_column_bytes(statement, i);
                    break;
                case SQLITE_BLOB:
                    bytes += sqlite3_column_bytes(statement, i);
                    break;
                default:
                    break;
                }
                ++read;
            }
        }
        sqlite3_finalize(statement);
        if (rc != SQLITE_DONE) {
            *error = QString::fromUtf8(sqlite3_errmsg(m_handle));
            return false;
        }
    }
    *cells = read + (bytes < 0 ? 1 : 0);
    return true;
}

} // namespace ordisp
