// The coded password: HexDecode, DecodePassword and their inverses on any text of PWDC.

#include "Cp1252.h"
#include "FuzzCheck.h"
#include "Password.h"
#include "UnhandledError.h"

#include <cmath>
#include <cstdint>

using namespace ordisp;
using ordisp::fuzz::check;
using ordisp::fuzz::shown;

namespace {

bool allInWindows1252(const QString& text) {
    for (const QChar c : text) {
        if (Cp1252::fromUnicode(c) < 0)
            return false;
    }
    return true;
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

void checkCoded(const QString& coded) {
    const QString text = HexDecode(coded);
    const qsizetype pairs = qsizetype(std::nearbyint(coded.size() / 2.0));
    check(text.size() == pairs, "one character per pair, halves rounded to even", shown(coded));
    check(allInWindows1252(text), "decoded characters are Windows-1252 characters", shown(coded));

    bool plainDigits = coded.size() % 2 == 0;
    for (const QChar c : coded)
        plainDigits = plainDigits && isHexDigit(c);
    if (plainDigits)
        check(HexEncode(text) == coded.toUpper(), "well-formed digits encode back to themselves", coded);

    QString clear;
    try {
        clear = DecodePassword(coded);
    } catch (const UnhandledError& e) {
        check(e.text() == UnhandledError::subscriptOutOfRange().text(),
              "DecodePassword fails only as subscript out of range", shown(coded));
        check(text.size() > 101, "DecodePassword fails only beyond 101 characters", shown(coded));
        return;
    }
    check(text.size() <= 101, "DecodePassword refuses more than 101 characters", shown(coded));
    check(clear.size() == text.size(), "the key keeps the length", shown(coded));
    check(KeyXor(clear) == text, "the key applied twice gives the text back", shown(coded));
    check(DecodePassword(EncodePassword(clear)) == clear, "a coded password decodes to itself", shown(coded));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    checkCoded(QString::fromUtf8(bytes));
    checkCoded(Cp1252::decode(bytes));

    // Any clear text that Windows-1252 holds and the key covers survives encoding.
    const QString clear = Cp1252::decode(bytes.left(101));
    const QString coded = EncodePassword(clear);
    check(coded.size() == 2 * clear.size(), "two digits per character");
    check(DecodePassword(coded) == clear, "an encoded password decodes to itself", shown(clear));
    return 0;
}
