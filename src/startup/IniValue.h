#pragma once

#include <QString>

namespace ordisp {

// The number a text starts with, read like Basic's Val(): blanks, tabs and line feeds are skipped
// wherever they stand ("1 2" is 12); then an optional sign, digits, one decimal point and an
// exponent after E or D; or a hexadecimal number after &H, an octal one after &O. A text that does
// not start with a number gives 0. Hexadecimal and octal values up to FFFF are 16-bit two's
// complement (&HFFFF is -1), up to FFFFFFFF 32-bit (&HFFFFFFFF is -1, &H10000 is 65536); larger
// ones keep their value. Throws UnhandledError (overflow) when the number exceeds a double.
double LeadingNumber(const QString& text);

// Nearest whole number, halves to the even one. Throws UnhandledError (overflow) outside the
// signed 32-bit range and for NaN or infinity.
qint32 RoundToInt32(double value);

// A numeric setting: RoundToInt32 of the leading number, or of its absolute value.
qint32 IniNumber(const QString& text, bool absolute = false);

// One setting of the configuration file. A missing or empty value is replaced in the file by the
// default (an empty default too), whether or not that write succeeds, and the default returned.
QString ReadIni(const QString& file, const QString& section, const QString& key, const QString& defaultValue);

} // namespace ordisp
