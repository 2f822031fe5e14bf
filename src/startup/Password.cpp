#include "Password.h"

#include "Cp1252.h"
#include "IniValue.h"
#include "UnhandledError.h"

namespace ordisp {

namespace {

constexpr quint32 KeySeed = 418093;

// xorshift32: tiny, fully specified here, and therefore the same sequence on every build and
// platform, which a coded password written by one installation and read by another relies on.
class KeyGenerator final {
public:
    explicit KeyGenerator(quint32 seed)
        : m_state(seed) {}

    // 0 <= r < 1 in single precision: the top 24 bits are exactly representable in a float.
    float next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return float(m_state >> 8) / 16777216.0f;
    }

private:
    quint32 m_state;
};

quint8 ansiCode(QChar c) {
    const int code = Cp1252::fromUnicode(c);
    if (code < 0)
        throw UnhandledError::invalidArgument();
    return quint8(code);
}

} // namespace

QString HexDecode(const QString& digits) {
    const qint32 pairs = RoundToInt32(digits.size() / 2.0);
    QString text;
    text.reserve(pairs);
    for (qint32 i = 0; i < pairs; ++i) {
        // Two characters read like Val("&H" & pair) yield 0 to 255, so the conversion cannot fail.
        const double code = LeadingNumber(QStringLiteral("&H") + digits.mid(2 * qsizetype(i), 2));
        text.append(Cp1252::toUnicode(quint8(code)));
    }
    return text;
}

QString HexEncode(const QString& text) {
    QString digits;
    digits.reserve(text.size() * 2);
    for (const QChar c : text)
        digits.append(QStringLiteral("%1").arg(ansiCode(c), 2, 16, QLatin1Char('0')).toUpper());
    return digits;
}

const std::array<quint8, 101>& PasswordKey() {
    static const std::array<quint8, 101> key = [] {
        std::array<quint8, 101> bytes{};
        KeyGenerator generator(KeySeed);
        for (quint8& b : bytes)
            b = quint8(RoundToInt32(double(generator.next()) * 255.0));
        return bytes;
    }();
    return key;
}

QString KeyXor(const QString& text) {
    const auto& key = PasswordKey();
    if (text.size() > qsizetype(key.size()))
        throw UnhandledError::subscriptOutOfRange();
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        result.append(Cp1252::toUnicode(quint8(ansiCode(text[i]) ^ key[std::size_t(i)])));
    return result;
}

QString EncodePassword(const QString& clear) {
    return HexEncode(KeyXor(clear));
}

QString DecodePassword(const QString& coded) {
    return KeyXor(HexDecode(coded));
}

} // namespace ordisp
