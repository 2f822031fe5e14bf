#include "CellText.h"

#include "DateConversion.h"
#include "OrderSql.h"

#include <QDateTime>

#include <cmath>
#include <optional>

namespace ordisp {

namespace {

// The status code a value stands for, if it is a whole number; text and booleans are not codes.
std::optional<qint64> statusCode(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
            return static_cast<qint64>(d);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

QVariant StatusText(const QVariant& value) {
    const auto code = statusCode(value);
    if (!code)
        return value;
    switch (*code) {
    case StatusNew:
        return QStringLiteral("NEU");
    case StatusInProgress:
        return QStringLiteral("i.A.");
    case StatusDone:
        return QStringLiteral("OK");
    default:
        return value;
    }
}

QVariant TimeText(const QVariant& value) {
    if (value.isNull())
        return QString();
    const QString format = QStringLiteral("HH:mm");
    switch (value.metaType().id()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.isValid() ? dt.toString(format) : QString();
    }
    case QMetaType::QTime: {
        const QTime t = value.toTime();
        return t.isValid() ? t.toString(format) : QString();
    }
    case QMetaType::QDate:
        return value.toDate().isValid() ? QStringLiteral("00:00") : QString();
    default: {
        // Text and numbers by the rule by which the purge reads them.
        const QDateTime dt = storedDateTime(value);
        return dt.isValid() ? dt.toString(format) : QString();
    }
    }
}

} // namespace ordisp
