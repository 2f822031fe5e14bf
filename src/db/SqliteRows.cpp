#include "SqliteRows.h"

#include "DateConversion.h"

#include <QAnyStringView>
#include <QDateTime>

#include <sqlite3.h>

#include <bit>

namespace ordisp {

namespace {

// Whether the current row's column would read as old (see SqliteValue). Dates stored as numbers
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
        // Bit for bit: -0.0 is not 0.0 to the grid, and a NaN is itself.
        return std::bit_cast<quint64>(*static_cast<const double*>(old.constData())) ==
               std::bit_cast<quint64>(value);
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
        return old.isNull() && old.metaType() == NullOfKind(kind).metaType();
    default:
        return false;
    }
}

} // namespace

QVariant SqliteValue(sqlite3_stmt* statement, int column, ColumnKind kind) {
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
        return NullOfKind(kind);
    }
}

PreviousRows::PreviousRows(const ResultData* previous, const QList<ResultColumn>& columns)
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
const ResultRow* PreviousRows::match(sqlite3_stmt* statement) {
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

std::optional<qint64> PreviousRows::idOf(const ResultRow& row) const {
    return LineId(row.at(m_key));
}

} // namespace ordisp
