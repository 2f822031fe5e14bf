// Field reading on odd values, as a terminal or a foreign table may hand them over: result sets
// built with assign() from fuzzed columns, kinds and values (nulls of every type, NaN, huge
// numbers, text, bytes, dates, rows shorter than the column list). FieldValue, the forward search,
// the cell formats and the grid model, which follows one result to the next, must cope.

#include "CellText.h"
#include "DateConversion.h"
#include "DbHelpers.h"
#include "FuzzCheck.h"
#include "OrderSql.h"
#include "ResultSet.h"
#include "ResultSetModel.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QItemSelectionRange>
#include <QPersistentModelIndex>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <limits>

using namespace ordisp;
using ordisp::fuzz::check;

namespace {

const QString kNames[] = {QStringLiteral("id"),    QStringLiteral("ID"),      QStringLiteral("status"),
                          QStringLiteral("txt"),   QStringLiteral("insdate"), QStringLiteral("tisch"),
                          QStringLiteral("menge"), QStringLiteral("gnr"),     QString()};

QString consumeText(FuzzedDataProvider& in, size_t max) {
    const std::string s = in.ConsumeRandomLengthString(max);
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QVariant consumeValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 13)) {
    case 0:
        return QVariant();
    case 1:
        return QVariant(QMetaType::fromType<QString>());
    case 2:
        return QVariant(QMetaType::fromType<qlonglong>());
    case 3:
        return QVariant(QMetaType::fromType<QDateTime>());
    case 4:
        return qlonglong(in.ConsumeIntegral<int64_t>());
    case 5:
        return qlonglong(in.ConsumeIntegralInRange<int>(-2, 4));
    case 6:
        return in.ConsumeFloatingPoint<double>();
    case 7:
        return in.PickValueInArray({std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(), -0.0, 2.0, 0.5, 2440587.5, 1.7e9,
                                    5373484.5, -1e300});
    case 8:
        return consumeText(in, 40);
    case 9:
        return QByteArray::fromStdString(in.ConsumeRandomLengthString(16));
    case 10:
        return in.ConsumeBool();
    case 11:
        return QDateTime::fromMSecsSinceEpoch(in.ConsumeIntegral<int64_t>(), Qt::UTC);
    case 12:
        return QVariant::fromValue<qint16>(in.ConsumeIntegral<qint16>());
    default:
        return QDate(in.ConsumeIntegralInRange(-5000, 12000), in.ConsumeIntegralInRange(0, 13),
                     in.ConsumeIntegralInRange(0, 32));
    }
}

ResultData consumeData(FuzzedDataProvider& in) {
    ResultData data;
    const int columns = in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < columns; ++i) {
        const QString name = in.ConsumeBool() ? in.PickValueInArray(kNames) : consumeText(in, 8);
        const ColumnKind kind = in.PickValueInArray(
            {ColumnKind::Character, ColumnKind::Boolean, ColumnKind::Date, ColumnKind::Other});
        data.columns.append(ResultColumn{name, kind});
    }
    const int rows = in.ConsumeIntegralInRange(0, 10);
    for (int r = 0; r < rows; ++r) {
        const int cells = in.ConsumeBool() ? columns : in.ConsumeIntegralInRange(0, columns + 1);
        ResultRow row;
        for (int c = 0; c < cells; ++c)
            row.append(consumeValue(in));
        data.rows.append(row);
    }
    return data;
}

// What a cell shows; the model may keep a value equal to the new one (null text for empty text).
QString shownText(const QVariant& value, const GridColumn& column) {
    return (column.format ? column.format(value) : value).toString();
}

void checkFieldValues(ResultSet& rs, const QString& extraName) {
    QStringList names;
    for (const ResultColumn& column : rs.columns())
        names.append(column.name);
    names.append(extraName);
    for (const QString& name : std::as_const(names)) {
        const QVariant value = FieldValue(rs, name);
        if (rs.eof() || rs.columnIndex(name) < 0) {
            check(!value.isValid(), "nothing to read gives an invalid value");
            continue;
        }
        check(value.isValid() && !value.isNull(), "FieldValue never hands out a null");
        if (value.metaType().id() == QMetaType::QString) {
            const QString text = value.toString();
            check(!text.startsWith(u' ') && !text.endsWith(u' '), "text loses its blanks");
        }
        StatusText(value);
        TimeText(rs.value(name));
        if (value.metaType().id() == QMetaType::Double) {
            const QDateTime time = dateTimeFromNumber(value.toDouble());
            check(!time.isValid() || !isoText(time).isEmpty(), "a number read as a time has a text");
        }
    }
}

void checkFind(ResultSet& rs, qint32 id) {
    rs.moveFirst();
    const bool found = rs.find(QStringLiteral("id"), id);
    check(found != rs.eof(), "a search ends on the row found or at the end");
    if (found) {
        bool numeric = false;
        const double value = rs.value(QStringLiteral("id")).toDouble(&numeric);
        check(numeric && value == double(id), "the row found has the id searched for");
    }
}

QString describe(const QVariant& v) {
    return QStringLiteral("%1(%2%3)")
        .arg(QLatin1String(v.metaType().name() ? v.metaType().name() : "invalid"),
             v.isNull() ? QStringLiteral("null ") : QString(), v.toString());
}

void checkModel(const ResultSetModel& model, const ResultSet& rs) {
    check(model.rowCount() == rs.rowCount(), "the grid shows as many rows as the result holds",
          QStringLiteral("grid %1, result %2").arg(model.rowCount()).arg(rs.rowCount()));
    for (int c = 0; c < model.columnCount(); ++c) {
        const int field = rs.columnIndex(model.columns().at(c).field);
        for (int r = 0; r < model.rowCount(); ++r) {
            const ResultRow& row = rs.rows().at(r);
            const QVariant expected = field >= 0 && field < row.size() ? row.at(field) : QVariant();
            const QString shown = model.data(model.index(r, c)).toString();
            check(shown == shownText(expected, model.columns().at(c)),
                  "every grid cell shows the result's value",
                  QStringLiteral("row %1 column %2: grid %3, result %4")
                      .arg(r)
                      .arg(c)
                      .arg(describe(model.rawValue(r, c)), describe(expected)));
        }
    }
}

// Watches one sync: every cell that stays in the model (followed through removals and insertions)
// and shows another text afterwards must lie in a dataChanged range, unless the model was reset.
class SyncWatch {
public:
    explicit SyncWatch(ResultSetModel& model)
        : m_model(model) {
        for (int r = 0; r < model.rowCount(); ++r) {
            for (int c = 0; c < model.columnCount(); ++c) {
                m_cells.append(QPersistentModelIndex(model.index(r, c)));
                m_texts.append(model.data(model.index(r, c)).toString());
            }
        }
        m_connections << QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { m_reset = true; })
                      << QObject::connect(&model, &QAbstractItemModel::dataChanged,
                                          [this](const QModelIndex& from, const QModelIndex& to) {
                                              m_changed.append(QItemSelectionRange(from, to));
                                          });
    }
    ~SyncWatch() {
        for (const auto& c : std::as_const(m_connections))
            QObject::disconnect(c);
    }

    void checkToldOfChanges() const {
        if (m_reset)
            return;
        for (qsizetype i = 0; i < m_cells.size(); ++i) {
            const QPersistentModelIndex& cell = m_cells.at(i);
            if (!cell.isValid() || m_model.data(cell).toString() == m_texts.at(i))
                continue;
            bool told = false;
            for (const QItemSelectionRange& range : m_changed)
                told = told || range.contains(cell);
            check(told, "the view is told of every cell whose text changed",
                  QStringLiteral("row %1 column %2: %3 became %4")
                      .arg(cell.row())
                      .arg(cell.column())
                      .arg(m_texts.at(i), m_model.data(cell).toString()));
        }
    }

private:
    ResultSetModel& m_model;
    QList<QPersistentModelIndex> m_cells;
    QStringList m_texts;
    QList<QItemSelectionRange> m_changed;
    QList<QMetaObject::Connection> m_connections;
    bool m_reset = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    ResultSet rs;
    rs.assign(consumeData(in), QStringLiteral("SELECT * FROM ordisp"));

    ResultSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setColumns({
        {QStringLiteral("Zeit"), QStringLiteral("insdate"), 1005, false, &TimeText},
        {QStringLiteral("Tisch"), QStringLiteral("tisch"), 720, false, {}},
        {QStringLiteral("Bezeichnung"), QStringLiteral("txt"), 5430, true, {}},
        {QStringLiteral("Status"), QStringLiteral("status"), 810, false, &StatusText},
    });
    model.setResultSet(&rs);
    checkModel(model, rs);

    for (int round = 0; round < 3 && in.remaining_bytes() > 0; ++round) {
        rs.setCurrentRow(in.ConsumeIntegralInRange(-1, rs.rowCount()));
        checkFieldValues(rs, consumeText(in, 8));
        checkFind(rs, in.ConsumeIntegral<qint32>());
        rs.setCurrentRow(in.ConsumeIntegralInRange(-1, rs.rowCount()));
        rs.find(consumeText(in, 8), in.ConsumeFloatingPoint<double>());
        for (rs.moveFirst(); !rs.eof(); rs.moveNext())
            FieldValue(rs, QStringLiteral("status"));

        // The next refresh: new rows, the model brought up to date in place, and the view told of
        // every cell whose text changed.
        SyncWatch watch(model);
        rs.assign(consumeData(in), QStringLiteral("SELECT * FROM ordisp"));
        model.sync();
        checkModel(model, rs);
        watch.checkToldOfChanges();
    }
    return 0;
}
