#pragma once

#include "DataStamp.h"
#include "DbError.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace ordisp {

class Database;

// Column kinds that decide what a null reads as (see FieldValue).
enum class ColumnKind { Character, Boolean, Date, Other };

struct ResultColumn {
    QString name;
    ColumnKind kind = ColumnKind::Other;
};

using ResultRow = QList<QVariant>;

// The null a column of that kind reads as: typed, so that a null text stays a text.
QVariant NullOfKind(ColumnKind kind);

// The text without the spaces at either end; other blanks stay, as terminals store them.
QString TrimSpaces(const QString& text);

// A line's id as read from its cell: a whole number, or none when the cell is null, fractional or
// no number at all. Cut, rounded or read as 0 such an id would name another line.
std::optional<qint64> LineId(const QVariant& cell);

// What a query hands back: every row read into memory, so the count is exact.
struct ResultData {
    QList<ResultColumn> columns;
    QList<ResultRow> rows;
};

// A client-side copy of a query's rows with its own current row; reading and moving never touch
// the database, only open() and requery() do.
class ResultSet {
public:
    ResultSet() = default;

    // Runs sql on db and reads every row. The current row is the first, or the end when empty.
    bool open(Database& db, const QString& sql, DbError* error = nullptr);
    // Runs the same statement again; the current row is the first again.
    bool requery(DbError* error = nullptr);
    // Like open(), except that rows this set read with the same statement on db are kept when the
    // database tells that nothing was written since (see Database::dataStamp): the result would be
    // the same. Either way the current row is the first afterwards. A failure leaves the set as it
    // was.
    bool refresh(Database& db, const QString& sql, DbError* error = nullptr);
    // The same with the stamp the caller took from db just before: one stamp serves several sets
    // refreshed together.
    bool refresh(Database& db, const QString& sql, const std::optional<DataStamp>& now,
                 DbError* error = nullptr);
    void close();
    bool isOpen() const { return m_open; }

    // True when there is no current row: closed, empty, or moved past the last row.
    bool eof() const { return m_current < 0 || m_current >= m_data.rows.size(); }
    int rowCount() const { return static_cast<int>(m_data.rows.size()); }
    int currentRow() const { return eof() ? -1 : m_current; }
    // Any row outside 0..rowCount()-1 positions at the end.
    void setCurrentRow(int row);
    void moveFirst() { setCurrentRow(0); }
    void moveNext();

    // Forward search from the current row for the first row whose column holds the number; no
    // match leaves the set at its end. Returns whether a row was found.
    bool find(const QString& column, double number);

    int columnIndex(const QString& name) const; // case-insensitive; -1 when missing
    const QList<ResultColumn>& columns() const { return m_data.columns; }
    const QList<ResultRow>& rows() const { return m_data.rows; }
    const ResultData& data() const { return m_data; }
    QString sql() const { return m_sql; }

    // The raw value (null included) of a column of the current row. A missing column or no
    // current row is a caller's fault: returns an invalid QVariant.
    QVariant value(const QString& name) const;
    ColumnKind kind(const QString& name) const;

    // Replaces the rows, as a query would; used by open/requery and by tests building sets.
    void assign(ResultData data, const QString& sql);

private:
    // stamp: kept with the rows, for refresh(). previous: rows of the same statement to take over
    // where they read the same.
    bool read(Database& db, const QString& sql, const std::optional<DataStamp>& stamp, DbError* error,
              const ResultData* previous);

    Database* m_db = nullptr;
    QString m_sql;
    ResultData m_data;
    int m_current = -1;
    bool m_open = false;
    // The database's stamp from just before the rows were read.
    std::optional<DataStamp> m_stamp;
};

} // namespace ordisp
