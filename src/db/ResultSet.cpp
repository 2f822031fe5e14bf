#include "ResultSet.h"

#include "Database.h"

#include <QDateTime>

namespace ordisp {

QVariant NullOfKind(ColumnKind kind) {
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

QString TrimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

std::optional<qint64> LineId(const QVariant& cell) {
    if (cell.isNull())
        return std::nullopt;
    if (cell.metaType().id() == QMetaType::LongLong)
        return *static_cast<const qlonglong*>(cell.constData());
    // Text as a terminal may have stored it: spaces around the number do not count.
    const QVariant value =
        cell.metaType().id() == QMetaType::QString ? QVariant(TrimSpaces(cell.toString())) : cell;
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (!ok || value.toDouble() != double(number))
        return std::nullopt;
    return number;
}

bool ResultSet::open(Database& db, const QString& sql, DbError* error) {
    close();
    m_db = &db;
    m_sql = sql;
    return read(db, sql, std::nullopt, error, nullptr);
}

bool ResultSet::requery(DbError* error) {
    if (!m_open || m_db == nullptr) {
        if (error)
            *error = DbError{-1, QStringLiteral("Die Abfrage ist nicht geöffnet."), QString()};
        return false;
    }
    // A failed requery keeps the rows the caller already shows.
    return read(*m_db, m_sql, std::nullopt, error, &m_data);
}

bool ResultSet::refresh(Database& db, const QString& sql, DbError* error) {
    return refresh(db, sql, db.dataStamp(), error);
}

bool ResultSet::refresh(Database& db, const QString& sql, const std::optional<DataStamp>& now,
                        DbError* error) {
    if (m_open && m_db == &db && m_sql == sql && m_stamp && now && *now == *m_stamp) {
        if (error)
            error->clear();
        m_current = 0;
        return true;
    }
    // The stamp is from before the rows are read: a write between the two is seen next time. Rows
    // that read as before are kept as they are.
    const bool same = m_open && m_db == &db && m_sql == sql;
    return read(db, sql, now, error, same ? &m_data : nullptr);
}

bool ResultSet::read(Database& db, const QString& sql, const std::optional<DataStamp>& stamp, DbError* error,
                     const ResultData* previous) {
    ResultData data;
    if (!db.select(sql, &data, error, previous))
        return false;
    m_db = &db;
    assign(std::move(data), sql);
    m_stamp = stamp;
    return true;
}

void ResultSet::close() {
    m_data = ResultData{};
    m_sql.clear();
    m_db = nullptr;
    m_current = -1;
    m_open = false;
    m_stamp.reset();
}

void ResultSet::setCurrentRow(int row) {
    m_current = (row >= 0 && row < rowCount()) ? row : rowCount();
}

void ResultSet::moveNext() {
    if (!eof())
        ++m_current;
}

bool ResultSet::find(const QString& columnName, double number) {
    const int column = columnIndex(columnName);
    if (column < 0 || eof()) {
        setCurrentRow(rowCount());
        return false;
    }
    for (int row = m_current; row < rowCount(); ++row) {
        const ResultRow& cells = m_data.rows.at(row);
        if (column >= cells.size())
            continue;
        const QVariant& cell = cells.at(column);
        if (cell.isNull())
            continue;
        // A stored whole number, as an id mostly is, needs no conversion.
        if (cell.metaType().id() == QMetaType::LongLong) {
            if (double(*static_cast<const qlonglong*>(cell.constData())) != number)
                continue;
            m_current = row;
            return true;
        }
        bool numeric = false;
        const double value = cell.toDouble(&numeric);
        if (numeric && value == number) {
            m_current = row;
            return true;
        }
    }
    setCurrentRow(rowCount());
    return false;
}

int ResultSet::columnIndex(const QString& name) const {
    for (int i = 0; i < m_data.columns.size(); ++i) {
        if (m_data.columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant ResultSet::value(const QString& name) const {
    const int column = columnIndex(name);
    if (column < 0 || eof())
        return QVariant();
    return m_data.rows.at(m_current).value(column);
}

ColumnKind ResultSet::kind(const QString& name) const {
    const int column = columnIndex(name);
    return column < 0 ? ColumnKind::Other : m_data.columns.at(column).kind;
}

void ResultSet::assign(ResultData data, const QString& sql) {
    m_stamp.reset();
    m_data = std::move(data);
    m_sql = sql;
    m_open = true;
    m_current = 0;
}

} // namespace ordisp
