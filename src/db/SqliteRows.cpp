#include "SqliteRows.h"

#include "DateConversion.h"

#include <QAnyStringView>
#include <QDateTime>

#include <sqlite3.h>

#include <algorithm>
#include <bit>

namespace ordisp {

namespace {

// Whether text, as SQLite hands it out, reads as old. Where every byte is ASCII it is compared as
// Latin-1, far quicker than decoding; UTF-8 never has fewer bytes than the text has UTF-16 units.
bool sameText(QByteArrayView utf8, const QString& old) {
    if (utf8.size() < old.size())
        return false;
    if (utf8.size() == old.size() &&
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QLatin1StringView(utf8.data(), utf8.size()) == old;
    return QAnyStringView::equal(QUtf8StringView(utf8.data(), utf8.size()), old);
}

// Whether the cell would read as old (see SqliteValue). Dates stored as numbers and blobs are
// rare and always read anew. A null is read as NullOfKind, never as a null number, so an old
// number needs no null check. Read through the column's value, which SQLite looks up once; it is
// unprotected, which is sound as one thread alone uses a connection.
bool cellReadsAs(sqlite3_value* cell, ColumnKind kind, const QVariant& old) {
    switch (sqlite3_value_type(cell)) {
    case SQLITE_INTEGER:
        return kind != ColumnKind::Date && old.metaType().id() == QMetaType::LongLong &&
               *static_cast<const qlonglong*>(old.constData()) == sqlite3_value_int64(cell);
    case SQLITE_FLOAT: {
        if (kind == ColumnKind::Date || old.metaType().id() != QMetaType::Double)
            return false;
        const double value = sqlite3_value_double(cell);
        // Bit for bit: -0.0 is not 0.0 to the grid, and a NaN is itself.
        return std::bit_cast<quint64>(*static_cast<const double*>(old.constData())) ==
               std::bit_cast<quint64>(value);
    }
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
        const QByteArrayView bytes(text, sqlite3_value_bytes(cell));
        if (kind == ColumnKind::Date) {
            if (const auto time = parseIsoDateTime(bytes)) {
                return time->isValid() && !old.isNull() && old.metaType().id() == QMetaType::QDateTime &&
                       *static_cast<const QDateTime*>(old.constData()) == *time;
            }
        }
        // Only an empty text can be mistaken for a null one.
        return old.metaType().id() == QMetaType::QString &&
               sameText(bytes, *static_cast<const QString*>(old.constData())) &&
               (!bytes.isEmpty() || !old.isNull());
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

std::optional<qint64> SqliteCells::key(int column) const {
    if (sqlite3_column_type(m_statement, column) != SQLITE_INTEGER)
        return std::nullopt;
    return sqlite3_column_int64(m_statement, column);
}

bool SqliteCells::readsAs(const ResultRow& old, const QList<ResultColumn>& columns) const {
    for (int i = 0; i < int(old.size()); ++i) {
        if (!cellReadsAs(sqlite3_column_value(m_statement, i), columns.at(i).kind, old.at(i)))
            return false;
    }
    return true;
}

} // namespace ordisp
