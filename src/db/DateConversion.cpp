#include "DateConversion.h"

#include <QHash>
#include <QRegularExpression>

#include <cmath>

namespace ordisp {

namespace {

// Each local date and time QDateTime makes asks the C library for the zone's offset, and glibc
// looks at /etc/localtime again for every such question. A list shows the same few thousand
// times at every refresh, so the ones made are kept, keyed by their fields; the bound keeps a
// long-running display from collecting every time it has ever shown.
constexpr qsizetype kRememberedTimes = 1 << 16;

template <typename Char>
bool twoDigits(const Char* p, int* value) {
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9')
        return false;
    *value = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

enum class Fast { Parsed, NoDate, Unsure };

// The forms the terminals write, in plain ASCII and without blanks around, read without the
// regular expression; anything else is left to it (Unsure).
template <typename Char>
Fast parseFast(const Char* p, qsizetype n, QDateTime* out) {
    if (n != 10 && n != 16 && n != 19 && !(n >= 21 && n <= 29))
        return Fast::Unsure;
    int century = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    if (!twoDigits(p, &century) || !twoDigits(p + 2, &year) || p[4] != '-' || !twoDigits(p + 5, &month) ||
        p[7] != '-' || !twoDigits(p + 8, &day))
        return Fast::Unsure;
    if (n > 10) {
        if ((p[10] != ' ' && p[10] != 'T') || !twoDigits(p + 11, &hour) || p[13] != ':' ||
            !twoDigits(p + 14, &minute))
            return Fast::Unsure;
    }
    if (n > 16) {
        if (p[16] != ':' || !twoDigits(p + 17, &second))
            return Fast::Unsure;
    }
    if (n > 19) {
        if (p[19] != '.')
            return Fast::Unsure;
        int scale = 100;
        for (qsizetype i = 20; i < n; ++i, scale /= 10) {
            if (p[i] < '0' || p[i] > '9')
                return Fast::Unsure;
            msec += (p[i] - '0') * scale;
        }
    }
    const std::optional<QDateTime> value =
        localDateTime(century * 100 + year, month, day, hour, minute, second, msec);
    if (!value)
        return Fast::NoDate;
    *out = *value;
    return Fast::Parsed;
}

std::optional<QDateTime> parseWithPattern(QStringView text) {
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

} // namespace

std::optional<QDateTime> localDateTime(int year, int month, int day, int hour, int minute, int second,
                                       int msec) {
    // Out of range, a field would spill into the next one of the key: 24:00 would find the
    // next day's midnight once that had been made.
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        msec > 999)
        return std::nullopt;
    thread_local QHash<qint64, QDateTime> made;
    const qint64 key =
        ((((((qint64(year) * 13 + month) * 32 + day) * 24 + hour) * 60 + minute) * 60 + second) * 1000) +
        msec;
    const auto found = made.constFind(key);
    if (found != made.constEnd())
        return *found;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    if (made.size() >= kRememberedTimes)
        made.clear();
    const QDateTime value(date, time);
    made.insert(key, value);
    return value;
}

namespace {

// The quick path on the text's own code units; the pattern only where it cannot decide.
template <typename Char, typename Slow>
std::optional<QDateTime> parseIso(const Char* text, qsizetype size, Slow slow) {
    QDateTime value;
    switch (parseFast(text, size, &value)) {
    case Fast::Parsed:
        return value;
    case Fast::NoDate:
        return std::nullopt;
    case Fast::Unsure:
        break;
    }
    return parseWithPattern(slow());
}

} // namespace

std::optional<QDateTime> parseIsoDateTime(QStringView text) {
    return parseIso(text.utf16(), text.size(), [text] { return text; });
}

std::optional<QDateTime> parseIsoDateTime(QByteArrayView utf8) {
    return parseIso(utf8.data(), utf8.size(), [utf8] { return QString::fromUtf8(utf8); });
}

QDateTime dateTimeFromNumber(double value) {
    if (!std::isfinite(value))
        return {};
    if (value >= 0.0 && value < kMaxWindowsDay) {
        // Whole days from 30 December 1899, the fraction the local time of day.
        const qint64 msecs = std::llround(value * 86400000.0);
        const QDate date = QDate(1899, 12, 30).addDays(msecs / 86400000);
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(msecs % 86400000)));
    }
    constexpr double unixEpochJulianDay = 2440587.5;
    const double msecs =
        (value >= 0.0 && value <= kMaxJulianDay) ? (value - unixEpochJulianDay) * 86400000.0 : value * 1000.0;
    // Beyond this QDateTime cannot represent the value anyway.
    if (std::fabs(msecs) > 9.0e15)
        return {};
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(msecs)), Qt::UTC);
    return utc.isValid() ? utc.toLocalTime() : QDateTime();
}

std::optional<QDateTime> parseStoredDateTime(QStringView text) {
    if (auto iso = parseIsoDateTime(text))
        return iso;
    // Day first with dots, month first with slashes; the year always has four digits.
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*(\d{1,2})([./])(\d{1,2})\2(\d{4})(?:[ T]+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const bool dayFirst = m.capturedView(2) == u'.';
    const int first = m.capturedView(1).toInt();
    const int second = m.capturedView(3).toInt();
    const QDate date(m.capturedView(4).toInt(), dayFirst ? second : first, dayFirst ? first : second);
    const QTime time = m.hasCaptured(5) ? QTime(m.capturedView(5).toInt(), m.capturedView(6).toInt(),
                                                m.hasCaptured(7) ? m.capturedView(7).toInt() : 0)
                                        : QTime(0, 0);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

QDateTime storedDateTime(const QVariant& value) {
    if (value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    case QMetaType::QString: {
        const auto parsed = parseStoredDateTime(value.toString());
        return parsed ? *parsed : QDateTime();
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return dateTimeFromNumber(value.toDouble());
    default:
        return {};
    }
}

QString isoText(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace ordisp
