// The profile-file reader and writer on arbitrary file contents. Input: section, key and value,
// each ended by a byte 01, then the file's bytes; without three such bytes the whole input is the
// file and ORDISP/LEFT is set to 7.
//
// After a write: the file changed within one line only (or gained lines at one place), the key
// reads back as written, every other key reads as before, a UTF-16 file stayed UTF-16, and a failed
// write left the file alone.

#include "Cp1252.h"
#include "FuzzCheck.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QTemporaryDir>

#include <cstdint>

using namespace ordisp;
using ordisp::fuzz::check;
using ordisp::fuzz::shown;

namespace {

QString g_path;

const QByteArray kBom("\xEF\xBB\xBF", 3);

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

QString trimBlanks(const QString& s) {
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isBlank(s[from]))
        ++from;
    while (to > from && isBlank(s[to - 1]))
        --to;
    return s.mid(from, to - from);
}

bool sameName(const QString& a, const QString& b) {
    return trimBlanks(a).compare(trimBlanks(b), Qt::CaseInsensitive) == 0;
}

// A UTF-16 file (told by its byte order mark) as the UTF-8 of its characters, so that the checks
// below see characters and line ends, not the halves of code units.
QByteArray textOf(const QByteArray& file) {
    const bool little = file.startsWith("\xFF\xFE");
    if (!little && !file.startsWith("\xFE\xFF"))
        return file;
    QString text;
    for (qsizetype i = 2; i + 1 < file.size(); i += 2) {
        const auto a = quint8(file[i]), b = quint8(file[i + 1]);
        text.append(QChar(little ? char16_t(a | b << 8) : char16_t(a << 8 | b)));
    }
    return text.toUtf8();
}

bool isUtf8(const QByteArray& file) {
    return QByteArrayView(file).sliced(file.startsWith(kBom) ? kBom.size() : 0).isValidUtf8();
}

QString decoded(const QByteArray& bytes, bool utf8) {
    return utf8 ? QString::fromUtf8(bytes) : Cp1252::decode(bytes);
}

// What a read of the value should give: blanks around it gone, matching quotes gone, 254 at most.
QString expectedRead(const QString& written) {
    QString value = trimBlanks(written);
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() > ProfileFile::MaxValueLength)
        value.truncate(value.at(ProfileFile::MaxValueLength - 1).isHighSurrogate()
                           ? ProfileFile::MaxValueLength - 1
                           : ProfileFile::MaxValueLength);
    return value;
}

// Section and key names that the file seems to hold, found by a plain scan; a rough list is enough,
// since each is only read before and after the write.
QList<QPair<QString, QString>> probes(const QByteArray& file) {
    const bool utf8 = isUtf8(file);
    QList<QPair<QString, QString>> found;
    QString section;
    for (const QByteArray& raw : file.split('\n')) {
        const QString line = trimBlanks(decoded(raw, utf8));
        if (line.startsWith(u'[') && line.lastIndexOf(u']') > 0) {
            section = line.mid(1, line.lastIndexOf(u']') - 1);
        } else if (!line.startsWith(u';') && line.contains(u'=')) {
            found.append({section, line.left(line.indexOf(u'='))});
            if (found.size() >= 48)
                break;
        }
    }
    return found;
}

void store(const QByteArray& bytes) {
    QFile file(g_path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "test file can be written");
    check(file.write(bytes) == bytes.size(), "test file written in full");
}

QByteArray load() {
    QFile file(g_path);
    check(file.open(QIODevice::ReadOnly), "file still readable after a write");
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every write is synced to disk before it replaces the file; in memory that costs nothing. The
    // folder goes when the fuzzer ends.
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    static QTemporaryDir dir(shm.isDir() && shm.isWritable()
                                 ? QStringLiteral("/dev/shm/ordisp-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/ordisp-fuzz-XXXXXX"));
    check(dir.isValid(), "temporary folder");
    g_path = dir.filePath(QStringLiteral("ZALPOS.INI"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    QString section = QStringLiteral("ORDISP");
    QString key = QStringLiteral("LEFT");
    QString value = QStringLiteral("7");
    QByteArray before = input;
    {
        QList<QByteArray> fields;
        qsizetype from = 0;
        while (fields.size() < 3) {
            const qsizetype end = input.indexOf('\x01', from);
            if (end < 0)
                break;
            fields.append(input.mid(from, end - from));
            from = end + 1;
        }
        if (fields.size() == 3) {
            section = QString::fromUtf8(fields[0]);
            key = QString::fromUtf8(fields[1]);
            value = QString::fromUtf8(fields[2]);
            before = input.mid(from);
        }
    }

    store(before);
    const QList<QPair<QString, QString>> names = probes(textOf(before));
    QStringList valuesBefore;
    for (const auto& [s, k] : names) {
        const QString read = ProfileFile::read(g_path, s, k);
        check(read.size() <= ProfileFile::MaxValueLength, "a read gives 254 characters at most");
        valuesBefore.append(read);
    }
    ProfileFile::read(g_path, section, key);

    QString error;
    const bool written = ProfileFile::write(g_path, section, key, value, &error);
    const QByteArray stored = load();
    if (!written) {
        check(stored == before, "a failed write leaves the file as it was", error);
        check(!error.isEmpty(), "a failed write says why");
        return 0;
    }
    const bool utf16 = before.startsWith("\xFF\xFE") || before.startsWith("\xFE\xFF");
    check(!utf16 || stored.left(2) == before.left(2), "a UTF-16 file stays UTF-16 in its byte order");
    const QByteArray after = textOf(stored);
    before = textOf(before);

    // Everything but one stretch is the same; the old bytes of that stretch lie within one line.
    qsizetype prefix = 0;
    const qsizetype shorter = qMin(before.size(), after.size());
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QByteArray replaced = before.mid(prefix, before.size() - prefix - suffix);
    check(!replaced.contains('\n') && !replaced.contains('\r'), "bytes of other lines are never changed",
          QStringLiteral("replaced: ") + QString::fromLatin1(replaced.toHex()));
    check(!before.startsWith(kBom) || after.startsWith(kBom), "a byte order mark stays");

    // Whether bytes mean UTF-8 or Windows-1252 is read from the whole file; when the write took away
    // the only bytes that decided it, other values may read differently though their bytes stayed.
    if (isUtf8(before) != isUtf8(after))
        return 0;

    // Each part of a UTF-8 line is decoded on its own, and decoding drops a byte order mark at the
    // start of a part, so a name or value beginning with U+FEFF loses it. None of ours does.
    const QChar bom(0xFEFF);
    const bool startsWithBom = trimBlanks(section).startsWith(bom) || trimBlanks(key).startsWith(bom) ||
                               trimBlanks(value).startsWith(bom);
    const QString readBack = ProfileFile::read(g_path, section, key);
    check(startsWithBom || readBack == expectedRead(value), "the key reads back as written",
          shown(QStringLiteral("wrote [%1] %2=%3, read %4").arg(section, key, value, readBack)));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const auto& [s, k] = names.at(i);
        if (sameName(s, section) && sameName(k, key))
            continue;
        const QString now = ProfileFile::read(g_path, s, k);
        check(now == valuesBefore.at(i), "every other key keeps its value",
              shown(QStringLiteral("[%1] %2 was %3, is %4").arg(s, k, valuesBefore.at(i), now)));
    }

    // Writing the same again changes nothing that can be read.
    check(ProfileFile::write(g_path, section, key, value), "the same write succeeds again");
    check(ProfileFile::read(g_path, section, key) == readBack, "a repeated write reads the same");
    return 0;
}
