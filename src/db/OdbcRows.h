#pragma once

#include "ResultSet.h"

#include <QList>
#include <QMetaType>

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <vector>

namespace ordisp {

// The kind of a column from the type Qt's ODBC driver gives it.
ColumnKind OdbcColumnKind(QMetaType type);

// ODBC passes integer attributes in its pointer argument.
inline SQLPOINTER OdbcInteger(SQLULEN value) {
    return reinterpret_cast<SQLPOINTER>(value); // NOLINT(performance-no-int-to-ptr)
}

// Reads an executed statement's rows through the ODBC API, columns bound and rows fetched in
// blocks, into exactly the values Qt's ODBC driver makes of them one call per cell: the value
// types are those the driver gives the columns, a timestamp is a local QDateTime(QDate, QTime), a
// text is read as UTF-16 as the driver reads it from a Unicode driver. Rows that read as a row of
// the statement's last result are that row, shared.
class OdbcRows {
public:
    // statement: the executed statement's handle; types: what Qt's driver makes of each column.
    // unicode: whether the driver hands out UTF-16 text, as Qt's driver asks it to when it can.
    OdbcRows(SQLHSTMT statement, const QList<QMetaType>& types, bool unicode);
    ~OdbcRows();
    OdbcRows(const OdbcRows&) = delete;
    OdbcRows& operator=(const OdbcRows&) = delete;

    // False when a column has a type that is not read bound; nothing was fetched then.
    bool canRead() const { return m_canRead; }

    // Appends the rows to out, whose columns are set. False when a value would not read as the
    // driver reads it one cell at a time (cut short, not converted) or the fetch failed: the
    // statement is then to run again and be read the driver's way, which also reports a failure
    // in the driver's words.
    bool read(ResultData* out, const ResultData* previous);

private:
    struct Column;
    class Cells;

    bool bind(const QList<QMetaType>& types, bool unicode);
    void unbind();

    SQLHSTMT m_statement;
    std::vector<Column> m_columns;
    bool m_canRead = false;
    SQLULEN m_block = 1;
    std::unique_ptr<SQLUSMALLINT[]> m_status;
    SQLULEN m_fetched = 0;
};

} // namespace ordisp
