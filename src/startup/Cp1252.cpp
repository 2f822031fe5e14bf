#include "Cp1252.h"

#include <array>

namespace ordisp {

namespace {

// 0x80..0x9F; the rest of 1252 coincides with Latin-1.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

QChar Cp1252::toUnicode(quint8 code) {
    if (code >= 0x80 && code <= 0x9F)
        return QChar(HighControls[code - 0x80]);
    return QChar(code);
}

int Cp1252::fromUnicode(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (std::size_t i = 0; i < HighControls.size(); ++i) {
        if (HighControls[i] == u)
            return int(0x80 + i);
    }
    return -1;
}

QString Cp1252::decode(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes)
        text.append(toUnicode(quint8(b)));
    return text;
}

QByteArray Cp1252::encode(const QString& text, bool* ok) {
    QByteArray bytes;
    bytes.reserve(text.size());
    bool all = true;
    for (const QChar c : text) {
        const int code = fromUnicode(c);
        if (code < 0)
            all = false;
        else
            bytes.append(char(code));
    }
    if (ok)
        *ok = all;
    return bytes;
}

} // namespace ordisp
