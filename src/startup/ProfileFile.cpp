#include "ProfileFile.h"

#include "Cp1252.h"
#include "ProfileBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ordisp {

using namespace profile;

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

QString trimBlanks(QStringView s) {
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isBlank(s[from]))
        ++from;
    while (to > from && isBlank(s[to - 1]))
        --to;
    return s.mid(from, to - from).toString();
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    qsizetype start = 0;      // first byte of the content
    qsizetype contentEnd = 0; // first byte of the line end ("\r\n", "\n" or "\r"), or the file's end
    qsizetype end = 0;        // first byte of the next line
    LineKind kind = LineKind::Blank;
    QString name;             // section or key name, trimmed
    QString value;            // key value, trimmed
    qsizetype valueStart = 0; // byte where a key's value begins (after '=' and blanks)

    bool hasLineEnd() const { return end > contentEnd; }
};

// The file's bytes split into lines, each classified; the bytes themselves are never changed.
class ParsedFile {
public:
    explicit ParsedFile(QByteArray bytes)
        : m_bytes(std::move(bytes)) {
        const qsizetype bom = m_bytes.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
        m_utf8 = isValidUtf8(QByteArrayView(m_bytes).sliced(bom));
        qsizetype pos = bom;
        const qsizetype size = m_bytes.size();
        while (pos < size) {
            Line line;
            line.start = pos;
            // CR LF, LF and a lone CR (old Mac editors) each end a line; neither byte ever stands
            // inside a multi-byte character of the encodings read here.
            qsizetype at = pos;
            while (at < size && m_bytes[at] != '\n' && m_bytes[at] != '\r')
                ++at;
            line.contentEnd = at;
            if (at == size) {
                line.end = size;
            } else {
                const bool crlf = m_bytes[at] == '\r' && at + 1 < size && m_bytes[at + 1] == '\n';
                line.end = at + (crlf ? 2 : 1);
                if (m_lineEnd.isEmpty())
                    m_lineEnd = m_bytes.mid(at, line.end - at);
            }
            classify(line);
            m_lines.append(line);
            pos = line.end;
        }
        if (m_lineEnd.isEmpty())
            m_lineEnd = QByteArrayLiteral("\n");
    }

    const QList<Line>& lines() const { return m_lines; }
    const QByteArray& lineEnd() const { return m_lineEnd; }

    // Index of the first section of that name, or -1.
    qsizetype findSection(const QString& name) const {
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].kind == LineKind::Section && sameName(m_lines[i].name, name))
                return i;
        }
        return -1;
    }

    // Index one past the last line of the section whose header is at index header.
    qsizetype sectionEnd(qsizetype header) const {
        qsizetype i = header + 1;
        while (i < m_lines.size() && m_lines[i].kind != LineKind::Section)
            ++i;
        return i;
    }

    qsizetype findKey(qsizetype header, const QString& key) const {
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            if (m_lines[i].kind == LineKind::Key && sameName(m_lines[i].name, key))
                return i;
        }
        return -1;
    }

    // Bytes of a text in the file's encoding; false when the encoding cannot hold it.
    bool encode(const QString& text, QByteArray* out) const {
        if (m_utf8) {
            *out = text.toUtf8();
            return true;
        }
        bool ok = false;
        *out = Cp1252::encode(text, &ok);
        return ok;
    }

    static bool sameName(const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) == 0;
    }

private:
    QString decode(qsizetype from, qsizetype to) const {
        const QByteArrayView part = QByteArrayView(m_bytes).sliced(from, to - from);
        return m_utf8 ? QString::fromUtf8(part) : Cp1252::decode(part);
    }

    void classify(Line& line) const {
        const QString text = decode(line.start, line.contentEnd);
        const QString trimmed = trimBlanks(text);
        if (trimmed.isEmpty()) {
            line.kind = LineKind::Blank;
        } else if (trimmed.startsWith(u';')) {
            line.kind = LineKind::Comment;
        } else if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.lastIndexOf(u']');
            if (close > 0) {
                line.kind = LineKind::Section;
                line.name = trimBlanks(QStringView(trimmed).sliced(1, close - 1));
            } else {
                line.kind = LineKind::Other;
            }
        } else {
            // '=' is a single byte in both encodings and never part of a multi-byte sequence.
            const qsizetype eq = m_bytes.indexOf('=', line.start);
            if (eq < 0 || eq >= line.contentEnd) {
                line.kind = LineKind::Other;
                return;
            }
            line.kind = LineKind::Key;
            line.name = trimBlanks(decode(line.start, eq));
            qsizetype v = eq + 1;
            while (v < line.contentEnd && (m_bytes[v] == ' ' || m_bytes[v] == '\t'))
                ++v;
            line.valueStart = v;
            line.value = trimBlanks(decode(v, line.contentEnd));
        }
    }

    QByteArray m_bytes;
    QList<Line> m_lines;
    QByteArray m_lineEnd;
    bool m_utf8 = true;
};

QString unquoted(const QString& value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

bool holdsLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r') || text.contains(QChar(0));
}

} // namespace

QString ProfileFile::read(const QString& path, const QString& section, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const ParsedFile parsed(fileText(file.readAll()).bytes);
    const qsizetype header = parsed.findSection(trimBlanks(section));
    if (header < 0)
        return QString();
    const qsizetype line = parsed.findKey(header, trimBlanks(key));
    if (line < 0)
        return QString();
    QString value = unquoted(parsed.lines()[line].value);
    if (value.size() > MaxValueLength) {
        // Never leave half of a surrogate pair behind.
        const qsizetype cut =
            value.at(MaxValueLength - 1).isHighSurrogate() ? MaxValueLength - 1 : MaxValueLength;
        value.truncate(cut);
    }
    return value;
}

bool ProfileFile::write(const QString& path, const QString& section, const QString& key, const QString& value,
                        QString* error) {
    const QString sectionName = trimBlanks(section);
    const QString keyName = trimBlanks(key);
    if (sectionName.isEmpty() || holdsLineBreak(sectionName) || sectionName.contains(u']'))
        return fail(error, QStringLiteral("Invalid section name \"%1\"").arg(section));
    if (keyName.isEmpty() || holdsLineBreak(keyName) || keyName.contains(u'=') || keyName.startsWith(u'[') ||
        keyName.startsWith(u';'))
        return fail(error, QStringLiteral("Invalid key name \"%1\"").arg(key));
    // A line break would let the value add lines of its own to the file.
    if (holdsLineBreak(value))
        return fail(error,
                    QStringLiteral("The value for %1/%2 contains a line break").arg(sectionName, keyName));

    const QFileInfo info(path);
    QByteArray raw;
    if (info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        raw = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return fail(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
    const FileText text = fileText(raw);
    if (!text.convertible)
        return fail(error,
                    QStringLiteral("%1 ist in UTF-16 mit ungültigen Zeichen geschrieben und wird nicht "
                                   "verändert")
                        .arg(path));
    const QByteArray& old = text.bytes;
    const ParsedFile parsed(old);
    const QByteArray& eol = parsed.lineEnd();

    QByteArray valueBytes;
    QByteArray keyBytes;
    QByteArray sectionBytes;
    if (!parsed.encode(value, &valueBytes) || !parsed.encode(keyName, &keyBytes) ||
        !parsed.encode(sectionName, &sectionBytes))
        return fail(error, QStringLiteral("%1 is Windows-1252 coded and cannot hold the text for %2/%3")
                               .arg(path, sectionName, keyName));

    QByteArray updated;
    const qsizetype header = parsed.findSection(sectionName);
    if (header < 0) {
        updated = old;
        if (!parsed.lines().isEmpty()) {
            const Line& last = parsed.lines().back();
            if (!last.hasLineEnd())
                updated += eol;
            if (last.kind != LineKind::Blank)
                updated += eol;
        }
        updated += '[' + sectionBytes + ']' + eol + keyBytes + '=' + valueBytes + eol;
    } else if (const qsizetype at = parsed.findKey(header, keyName); at >= 0) {
        const Line& line = parsed.lines()[at];
        // Nothing to change; leave the file and its time stamp alone.
        if (line.value == value)
            return true;
        updated = old.left(line.valueStart) + valueBytes + old.mid(line.contentEnd);
    } else {
        // After the section's last entry, so trailing blank lines and comments (which usually
        // belong to the next section) stay where they are.
        qsizetype after = header;
        for (qsizetype i = header + 1; i < parsed.sectionEnd(header); ++i) {
            const LineKind kind = parsed.lines()[i].kind;
            if (kind == LineKind::Key || kind == LineKind::Other)
                after = i;
        }
        const Line& anchor = parsed.lines()[after];
        updated = old.left(anchor.end);
        if (!anchor.hasLineEnd())
            updated += eol;
        updated += keyBytes + '=' + valueBytes + eol + old.mid(anchor.end);
    }

    if (text.utf16 != Utf16::No)
        updated = toUtf16(updated, text.utf16);

    if (!QDir().mkpath(info.absolutePath()))
        return fail(error, QStringLiteral("Cannot create the folder %1").arg(info.absolutePath()));
    if (info.exists()) {
        // Replacing the file by rename would get past a write-protected file in a writable folder.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, probe.errorString()));
    }
#ifdef Q_OS_UNIX
    // The file is shared: a new file in its place would belong to whoever wrote it (root, for an
    // administrator's run) and would leave hard links pointing at the old one.
    struct stat before {};
    const bool existing = ::stat(QFile::encodeName(path).constData(), &before) == 0;
    if (existing && before.st_nlink > 1)
        return writeInPlace(path, raw, updated, error);
#endif
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()));
#ifdef Q_OS_UNIX
    if (existing && !keepOwnerAndMode(out.handle(), before)) {
        out.cancelWriting();
        return writeInPlace(path, raw, updated, error);
    }
#endif
    if (out.write(updated) != updated.size()) {
        const QString reason = out.errorString();
        out.cancelWriting();
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, reason));
    }
    if (!out.commit())
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()));
    return true;
}

} // namespace ordisp
