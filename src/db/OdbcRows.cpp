#include "OdbcRows.h"

#include "DateConversion.h"
#include "PreviousRows.h"

#include <QDateTime>
#include <QStringView>

#include <bit>
#include <cstring>

namespace ordisp {

namespace {

// Rows fetched at once, as far as their buffers fit into kBlockBytes.
constexpr SQLULEN kMaxBlock = 256;
constexpr qsizetype kBlockBytes = qsizetype(1024) * 1024;
// A longer text column is read the driver's way, in pieces.
constexpr SQLULEN kMaxBoundChars = 65535;

template <typename T>
T at(const char* values, SQLLEN width, SQLULEN row) {
    T value;
    std::memcpy(&value, values + qsizetype(row) * width, sizeof value);
    return value;
}

} // namespace

struct OdbcRows::Column {
    int type = QMetaType::UnknownType;
    SQLSMALLINT cType = 0;
    SQLLEN width = 0; // bytes per row
    std::unique_ptr<char[]> values;
    std::unique_ptr<SQLLEN[]> lengths;

    bool isNull(SQLULEN row) const { return lengths[row] == SQL_NULL_DATA; }

    // The text's UTF-16 code units without the one trailing zero that Qt's driver drops too (some
    // drivers append one).
    QStringView text(SQLULEN row) const {
        const auto* units = reinterpret_cast<const char16_t*>(values.get() + qsizetype(row) * width);
        qsizetype size = lengths[row] / qsizetype(sizeof(SQLWCHAR));
        if (size > 0 && units[size - 1] == 0)
            --size;
        return QStringView(units, size);
    }

    // Whether the text came whole; a cut one is read again the driver's way.
    bool whole(SQLULEN row) const {
        return type != QMetaType::QString || lengths[row] == SQL_NULL_DATA ||
               (lengths[row] >= 0 && lengths[row] <= width - SQLLEN(sizeof(SQLWCHAR)));
    }

    QDateTime dateTime(SQLULEN row) const {
        const auto t = at<SQL_TIMESTAMP_STRUCT>(values.get(), width, row);
        const int msec = int(t.fraction / 1000000);
        if (const auto made = localDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, msec))
            return *made;
        return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second, msec));
    }
    QDate date(SQLULEN row) const {
        const auto d = at<SQL_DATE_STRUCT>(values.get(), width, row);
        return QDate(d.year, d.month, d.day);
    }
    QTime time(SQLULEN row) const {
        const auto t = at<SQL_TIME_STRUCT>(values.get(), width, row);
        return QTime(t.hour, t.minute, t.second);
    }

    // The value as Qt's driver makes it; a null is the kind's null.
    QVariant value(SQLULEN row, ColumnKind kind) const {
        if (isNull(row))
            return NullOfKind(kind);
        const char* v = values.get();
        switch (type) {
        case QMetaType::Int:
            return at<int>(v, width, row);
        case QMetaType::LongLong:
            return qlonglong(at<SQLBIGINT>(v, width, row));
        case QMetaType::Double:
            return at<double>(v, width, row);
        case QMetaType::QString:
            return text(row).toString();
        case QMetaType::QDate:
            return date(row);
        case QMetaType::QTime:
            return time(row);
        case QMetaType::QDateTime:
            return dateTime(row);
        default:
            return QVariant();
        }
    }
};

// One row of the fetched block, for PreviousRows.
class OdbcRows::Cells final : public RowCells {
public:
    explicit Cells(const std::vector<Column>& columns)
        : m_columns(columns) {}
    void setRow(SQLULEN row) { m_row = row; }

    std::optional<qint64> key(int column) const override {
        const Column& c = m_columns.at(size_t(column));
        if (c.isNull(m_row))
            return std::nullopt;
        if (c.type == QMetaType::Int)
            return at<int>(c.values.get(), c.width, m_row);
        if (c.type == QMetaType::LongLong)
            return at<SQLBIGINT>(c.values.get(), c.width, m_row);
        return std::nullopt;
    }

    bool readsAs(const ResultRow& old, const QList<ResultColumn>& columns) const override {
        for (int i = 0; i < int(old.size()); ++i) {
            if (!cellReadsAs(m_columns[size_t(i)], columns.at(i).kind, old.at(i)))
                return false;
        }
        return true;
    }

private:
    bool cellReadsAs(const Column& c, ColumnKind kind, const QVariant& old) const {
        if (c.isNull(m_row))
            return old.isNull() && old.metaType() == NullOfKind(kind).metaType();
        if (old.isNull() || old.metaType().id() != c.type)
            return false;
        const char* v = c.values.get();
        const void* was = old.constData();
        switch (c.type) {
        case QMetaType::Int:
            return *static_cast<const int*>(was) == at<int>(v, c.width, m_row);
        case QMetaType::LongLong:
            return *static_cast<const qlonglong*>(was) == at<SQLBIGINT>(v, c.width, m_row);
        case QMetaType::Double: {
            // Bit for bit: 0.0 and -0.0 read differently.
            return std::bit_cast<quint64>(*static_cast<const double*>(was)) ==
                   std::bit_cast<quint64>(at<double>(v, c.width, m_row));
        }
        case QMetaType::QString:
            return c.text(m_row) == *static_cast<const QString*>(was);
        case QMetaType::QDate:
            return *static_cast<const QDate*>(was) == c.date(m_row);
        case QMetaType::QTime:
            return *static_cast<const QTime*>(was) == c.time(m_row);
        case QMetaType::QDateTime:
            return *static_cast<const QDateTime*>(was) == c.dateTime(m_row);
        default:
            return false;
        }
    }

    const std::vector<Column>& m_columns;
    SQLULEN m_row = 0;
};

OdbcRows::OdbcRows(SQLHSTMT statement, const QList<QMetaType>& types, bool unicode)
    : m_statement(statement) {
    m_canRead = bind(types, unicode);
    if (!m_canRead)
        unbind();
}

OdbcRows::~OdbcRows() {
    if (m_canRead)
        unbind();
}

bool OdbcRows::bind(const QList<QMetaType>& types, bool unicode) {
    m_columns.resize(size_t(types.size()));
    qsizetype rowBytes = 0;
    for (qsizetype i = 0; i < types.size(); ++i) {
        Column& c = m_columns[size_t(i)];
        c.type = types.at(i).id();
        switch (c.type) {
        case QMetaType::Int:
            c.cType = SQL_C_SLONG;
            c.width = sizeof(SQLINTEGER);
            break;
        case QMetaType::LongLong:
            c.cType = SQL_C_SBIGINT;
            c.width = sizeof(SQLBIGINT);
            break;
        case QMetaType::Double:
            c.cType = SQL_C_DOUBLE;
            c.width = sizeof(SQLDOUBLE);
            break;
        case QMetaType::QDate:
            c.cType = SQL_C_TYPE_DATE;
            c.width = sizeof(SQL_DATE_STRUCT);
            break;
        case QMetaType::QTime:
            c.cType = SQL_C_TYPE_TIME;
            c.width = sizeof(SQL_TIME_STRUCT);
            break;
        case QMetaType::QDateTime:
            c.cType = SQL_C_TYPE_TIMESTAMP;
            c.width = sizeof(SQL_TIMESTAMP_STRUCT);
            break;
        case QMetaType::QString: {
            // Qt's driver reads UTF-16 from a Unicode driver, and UTF-8 text only from others.
            if (!unicode || sizeof(SQLWCHAR) != sizeof(char16_t))
                return false;
            SQLCHAR name[256];
            SQLSMALLINT nameLength = 0;
            SQLSMALLINT sqlType = 0;
            SQLULEN size = 0;
            SQLSMALLINT digits = 0;
            SQLSMALLINT nullable = 0;
            if (!SQL_SUCCEEDED(SQLDescribeCol(m_statement, SQLUSMALLINT(i + 1), name, sizeof name,
                                              &nameLength, &sqlType, &size, &digits, &nullable)) ||
                size == 0 || size > kMaxBoundChars)
                return false;
            c.cType = SQL_C_WCHAR;
            // A character beyond the 16-bit range takes two code units.
            c.width = SQLLEN((2 * size + 1) * sizeof(SQLWCHAR));
            break;
        }
        default:
            return false;
        }
        rowBytes += c.width + qsizetype(sizeof(SQLLEN));
    }
    m_block = SQLULEN(qBound(qsizetype(1), kBlockBytes / qMax(rowBytes, qsizetype(1)), qsizetype(kMaxBlock)));
    SQLRETURN rc = SQLSetStmtAttr(m_statement, SQL_ATTR_ROW_BIND_TYPE, OdbcInteger(SQL_BIND_BY_COLUMN), 0);
    if (!SQL_SUCCEEDED(rc))
        return false;
    rc = SQLSetStmtAttr(m_statement, SQL_ATTR_ROW_ARRAY_SIZE, OdbcInteger(m_block), 0);
    if (!SQL_SUCCEEDED(rc))
        return false;
    // A driver may have chosen a smaller block.
    if (rc == SQL_SUCCESS_WITH_INFO &&
        (!SQL_SUCCEEDED(SQLGetStmtAttr(m_statement, SQL_ATTR_ROW_ARRAY_SIZE, &m_block, 0, nullptr)) ||
         m_block < 1 || m_block > kMaxBlock))
        return false;
    m_status = std::make_unique<SQLUSMALLINT[]>(m_block);
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(m_statement, SQL_ATTR_ROW_STATUS_PTR, m_status.get(), 0)) ||
        !SQL_SUCCEEDED(SQLSetStmtAttr(m_statement, SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched, 0)))
        return false;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        Column& c = m_columns[i];
        c.values.reset(new char[size_t(c.width) * m_block]);
        c.lengths.reset(new SQLLEN[m_block]);
        if (!SQL_SUCCEEDED(SQLBindCol(m_statement, SQLUSMALLINT(i + 1), c.cType, c.values.get(), c.width,
                                      c.lengths.get())))
            return false;
    }
    return true;
}

void OdbcRows::unbind() {
    // Back to what Qt's driver expects of its statement: one row at a time, nothing bound.
    SQLFreeStmt(m_statement, SQL_UNBIND);
    SQLSetStmtAttr(m_statement, SQL_ATTR_ROW_ARRAY_SIZE, OdbcInteger(1), 0);
    SQLSetStmtAttr(m_statement, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(m_statement, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

bool OdbcRows::read(ResultData* out, const ResultData* previous) {
    if (!m_canRead)
        return false;
    PreviousRows unchanged(previous, out->columns);
    Cells cells(m_columns);
    const int columnCount = int(m_columns.size());
    for (;;) {
        m_fetched = 0;
        const SQLRETURN rc = SQLFetch(m_statement);
        if (rc == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(rc) || m_fetched > m_block)
            return false;
        for (SQLULEN row = 0; row < m_fetched; ++row) {
            if (m_status[row] != SQL_ROW_SUCCESS && m_status[row] != SQL_ROW_SUCCESS_WITH_INFO)
                return false;
            for (const Column& c : m_columns) {
                if (!c.whole(row))
                    return false;
            }
            cells.setRow(row);
            if (const ResultRow* same = unchanged.match(cells)) {
                out->rows.append(*same);
                continue;
            }
            ResultRow values;
            values.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i)
                values.append(m_columns[size_t(i)].value(row, out->columns.at(i).kind));
            out->rows.append(std::move(values));
        }
    }
}

ColumnKind OdbcColumnKind(QMetaType type) {
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

} // namespace ordisp
