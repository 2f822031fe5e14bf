#include "IniValue.h"

#include "ProfileFile.h"
#include "Rounding.h"
#include "UnhandledError.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace ordisp {

namespace {

bool isSkipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDecimalDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int digitValue(QChar c, int base) {
    int d = -1;
    if (c >= u'0' && c <= u'9')
        d = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        d = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        d = c.unicode() - u'A' + 10;
    return d < base ? d : -1;
}

// Hexadecimal and octal numbers are two's complement in the narrowest of 16 and 32 bits that
// holds them, as Basic's integer types are.
double radixNumber(const QString& digits, int base) {
    double value = 0;
    for (const QChar c : digits) {
        const int d = digitValue(c, base);
        if (d < 0)
            break;
        value = value * base + d;
    }
    if (!std::isfinite(value))
        throw UnhandledError::overflow();
    if (value <= 0xFFFF)
        return value >= 0x8000 ? value - 0x10000 : value;
    if (value <= 0xFFFFFFFFu)
        return value >= 0x80000000u ? value - 4294967296.0 : value;
    return value;
}

// Power of ten of the leading significant digit; only consulted when from_chars found the value
// out of range, to tell overflow from underflow.
qint64 decimalMagnitude(const QByteArray& integral, const QByteArray& fraction, const QByteArray& exponent) {
    qint64 exp = 0;
    for (const char c : exponent) {
        if (c >= '0' && c <= '9')
            exp = qMin<qint64>(exp * 10 + (c - '0'), 1'000'000'000);
    }
    if (exponent.startsWith('-'))
        exp = -exp;
    qsizetype lead = 0;
    while (lead < integral.size() && integral[lead] == '0')
        ++lead;
    if (lead < integral.size())
        return exp + (integral.size() - lead - 1);
    qsizetype zeros = 0;
    while (zeros < fraction.size() && fraction[zeros] == '0')
        ++zeros;
    return exp - zeros - 1;
}

} // namespace

double LeadingNumber(const QString& text) {
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (!isSkipped(c))
            s.append(c);
    }

    if (s.size() >= 2 && s[0] == u'&') {
        const QChar radix = s[1].toUpper();
        if (radix == u'H')
            return radixNumber(s.mid(2), 16);
        if (radix == u'O')
            return radixNumber(s.mid(2), 8);
        return 0;
    }

    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        negative = s[i++] == u'-';
    QByteArray integral;
    QByteArray fraction;
    while (i < s.size() && isDecimalDigit(s[i]))
        integral.append(char(s[i++].unicode()));
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (i < s.size() && isDecimalDigit(s[i]))
            fraction.append(char(s[i++].unicode()));
    }
    if (integral.isEmpty() && fraction.isEmpty())
        return 0;
    QByteArray exponent;
    if (i < s.size() && (s[i].toUpper() == u'E' || s[i].toUpper() == u'D')) {
        qsizetype j = i + 1;
        QByteArray sign;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            sign.append(char(s[j++].unicode()));
        QByteArray digits;
        while (j < s.size() && isDecimalDigit(s[j]))
            digits.append(char(s[j++].unicode()));
        // "1E" and "1E+" are the number 1.
        if (!digits.isEmpty())
            exponent = sign + digits;
    }

    // std::from_chars rounds correctly and, unlike strtod, ignores the C locale that
    // QCoreApplication sets from the environment.
    const QByteArray number = (integral.isEmpty() ? QByteArray("0") : integral) + '.' + fraction +
                              (exponent.isEmpty() ? QByteArray() : 'e' + exponent);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.constData(), number.constData() + number.size(), value);
    Q_UNUSED(end);
    if (ec == std::errc::result_out_of_range) {
        if (decimalMagnitude(integral, fraction, exponent) >= 0)
            throw UnhandledError::overflow();
        return 0; // too small for a double
    }
    if (ec != std::errc())
        return 0;
    return negative ? -value : value;
}

qint32 RoundToInt32(double value) {
    if (!std::isfinite(value))
        throw UnhandledError::overflow();
    const double rounded = RoundHalfEven(value);
    if (rounded < double(std::numeric_limits<qint32>::min()) ||
        rounded > double(std::numeric_limits<qint32>::max()))
        throw UnhandledError::overflow();
    return qint32(rounded);
}

qint32 IniNumber(const QString& text, bool absolute) {
    const double value = LeadingNumber(text);
    return RoundToInt32(absolute ? std::fabs(value) : value);
}

QString ReadIni(const QString& file, const QString& section, const QString& key,
                const QString& defaultValue) {
    QString value = ProfileFile::read(file, section, key);
    if (!value.isEmpty())
        return value;
    // A file we cannot write must not stop the start: the default serves this run all the same.
    ProfileFile::write(file, section, key, defaultValue);
    return defaultValue;
}

} // namespace ordisp
