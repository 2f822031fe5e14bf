#pragma once

#include <QString>

namespace ordisp {

// Reads and writes single keys of an INI file shared with other programs, in the manner of the
// Windows profile-string functions: section and key names compare case-insensitively, blanks
// around names and values are ignored, a value in matching quotes loses them, lines starting with
// ';' are comments, and the first matching section and key win.
//
// The file is taken as UTF-16 when it starts with a UTF-16 byte order mark, as UTF-8 when its bytes
// are valid UTF-8 and as Windows-1252 otherwise, and is written back in the same encoding; CR LF, LF
// and a lone CR each end a line. A new file is UTF-8 with LF line ends.
class ProfileFile final {
public:
    // Maximum number of characters a read returns; longer values arrive cut.
    static constexpr int MaxValueLength = 254;

    // The value, or "" when the file, the section or the key is missing.
    static QString read(const QString& path, const QString& section, const QString& key);

    // Sets one key and changes nothing else: every other byte of the file stays as it was. A missing
    // key goes after the last entry of its section, a missing section to the end of the file, with
    // the file's own line ends. The file is replaced atomically and its folder created if needed;
    // the file keeps its owner, group and mode, and where a replacement could not keep them (another
    // user's file, a file with hard links) it is written over in place.
    // Returns false, with a reason in *error, when the file cannot be written or the value cannot be
    // stored (a line break in it, a character the file's encoding cannot hold); the file is then
    // left untouched.
    static bool write(const QString& path, const QString& section, const QString& key, const QString& value,
                      QString* error = nullptr);
};

} // namespace ordisp
