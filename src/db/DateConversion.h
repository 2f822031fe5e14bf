#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QVariant>

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
// Numbers from 0 up to this are days since 30 December 1899, the date number of the Windows
// programs (45000.5 is 15 March 2023, 12:00); as Julian days they would lie before 1975 BC.
inline constexpr double kMaxWindowsDay = 1000000.0;

// The local date and time of those fields, as QDateTime(QDate, QTime) makes it, each made once
// (see DateConversion.cpp); none when the fields name no date or no time of day.
std::optional<QDateTime> localDateTime(int year, int month, int day, int hour, int minute, int second,
                                       int msec);

// A stored number as local time: below kMaxWindowsDay a Windows date number in local time, up to
// kMaxJulianDay a Julian day, anything else Unix seconds, the last two counted in UTC as SQLite's
// own functions write them. Invalid when out of range.
QDateTime dateTimeFromNumber(double value);

// Stored text by the one rule that the purge, the grid's time column and the status overview
// share: ISO text as parseIsoDateTime reads it, and the two forms of the date probe, day first with
// dots ('31.12.2000', '06.12.2026 00:30') and month first with slashes ('12/31/2000 00:30:00').
// Nothing for any other text, the empty one included.
std::optional<QDateTime> parseStoredDateTime(QStringView text);

// A stored value by the same rule: a date and time, a date (its midnight), text or a number.
// Invalid for null and for what reads as no time.
QDateTime storedDateTime(const QVariant& value);

// 'YYYY-MM-DD HH:MM:SS', the stored form that orders correctly as text.
QString isoText(const QDateTime& value);

} // namespace ordisp
