#pragma once

#include <QString>

#include <array>

namespace ordisp {

// The coded database password: each character's Windows-1252 code, combined with a fixed key by
// exclusive or, written as two hexadecimal digits. A scramble against casual reading, not
// encryption.

// Characters from pairs of hexadecimal digits. The pair count is half the length rounded halves to
// even; within a pair blanks are skipped, a non-digit ends the number, no digit at all gives 0.
QString HexDecode(const QString& digits);

// Two upper-case hexadecimal digits per character. Throws UnhandledError (invalid argument) for a
// character with no Windows-1252 code.
QString HexEncode(const QString& text);

// 101 key bytes from our own fixed generator and seed, built on first use.
const std::array<quint8, 101>& PasswordKey();

// Combines each character code with the key byte of its position; applying it twice restores the
// text. Throws UnhandledError (subscript out of range) for a text longer than the key and
// (invalid argument) for a character with no Windows-1252 code.
QString KeyXor(const QString& text);

QString EncodePassword(const QString& clear);
QString DecodePassword(const QString& coded);

} // namespace ordisp
