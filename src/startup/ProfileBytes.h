#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace ordisp::profile {

// The bytes of a profile file below its parser: encodings and writing in place.

inline const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

// A UTF-16 file (told by its byte order mark) is parsed as UTF-8 with the same characters and
// turned back into UTF-16 of the same byte order when written.
enum class Utf16 { No, LittleEndian, BigEndian };

struct FileText {
    QByteArray bytes; // what the parser sees: the file's own bytes, or UTF-8 for a UTF-16 file
    Utf16 utf16 = Utf16::No;
    bool convertible = true; // false: a UTF-16 file that would not come back byte for byte
};

FileText fileText(const QByteArray& raw);
QByteArray toUtf16(const QByteArray& utf8, Utf16 order);
// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(QByteArrayView bytes);

#ifdef Q_OS_UNIX
// Gives the replacement (still a temporary file) the owner, group and mode of the file it replaces.
// False when that is not allowed, as for anyone but root writing another user's file.
bool keepOwnerAndMode(int handle, const struct stat& original);
// Writes over the file's own bytes from the first one that changes, so owner, group, mode and
// hard links stay. Room for a longer file is taken first: a full disk then fails before any byte
// has changed.
bool writeInPlace(const QString& path, const QByteArray& old, const QByteArray& updated, QString* error);
#endif

} // namespace ordisp::profile
