#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

namespace ordisp {

// Date and time as the SQLite file may hold them. Terminals write ISO text, but a row written
// as a number must still read and compare as the time it stands for.

// 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM', 'YYYY-MM-DD HH:MM:SS' (also with 'T', with a fraction) as a
// local date and time; nothing for any other text.
std::optional<QDateTime> parseIsoDateTime(QStringView text);
// The same for text as SQLite hands it out.
std::optional<QDateTime> parseIsoDateTime(QByteArrayView utf8);

// Largest number read as a Julian day (the last day of year 9999); larger is Unix time.
inline constexpr double kMaxJulianDay = 5373484.0;

// A stored number as local time: 0 to kMaxJulianDay a Julian day, anything else Unix seconds,
// both counted in UTC as SQLite's own functions write them. Invalid when out of range.
QDateTime dateTimeFromNumber(double value);

// 'YYYY-MM-DD HH:MM:SS', the stored form that orders correctly as text.
QString isoText(const QDateTime& value);

} // namespace ordisp
