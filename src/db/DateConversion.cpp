#include "DateConversion.h"

#include <QRegularExpression>

#include <cmath>

namespace ordisp {

std::optional<QDateTime> parseIsoDateTime(QStringView text) {
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,9}))?)?)?\s*$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.capturedView(1).toInt(), m.capturedView(2).toInt(), m.capturedView(3).toInt());
    int msec = 0;
    if (m.hasCaptured(7))
        msec = m.captured(7).left(3).leftJustified(3, QLatin1Char('0')).toInt();
    const QTime time = m.hasCaptured(4) ? QTime(m.capturedView(4).toInt(), m.capturedView(5).toInt(),
                                                m.hasCaptured(6) ? m.capturedView(6).toInt() : 0, msec)
                                        : QTime(0, 0);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

QDateTime dateTimeFromNumber(double value) {
    if (!std::isfinite(value))
        return {};
    constexpr double unixEpochJulianDay = 2440587.5;
    const double msecs =
        (value >= 0.0 && value <= kMaxJulianDay) ? (value - unixEpochJulianDay) * 86400000.0 : value * 1000.0;
    // Beyond this QDateTime cannot represent the value anyway.
    if (std::fabs(msecs) > 9.0e15)
        return {};
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(msecs)), Qt::UTC);
    return utc.isValid() ? utc.toLocalTime() : QDateTime();
}

QString isoText(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace ordisp
