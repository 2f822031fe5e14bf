#include "ProfileBytes.h"

#include <QFile>
#include <QString>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ordisp::profile {

namespace {

const QByteArray Utf16LeBom("\xFF\xFE", 2);
const QByteArray Utf16BeBom("\xFE\xFF", 2);

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

QByteArray toUtf16(const QByteArray& utf8, Utf16 order) {
    const QString text = QString::fromUtf8(utf8);
    QByteArray out = order == Utf16::LittleEndian ? Utf16LeBom : Utf16BeBom;
    out.reserve(out.size() + text.size() * 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const char high = char(u >> 8);
        const char low = char(u & 0xFF);
        if (order == Utf16::LittleEndian)
            out.append(low).append(high);
        else
            out.append(high).append(low);
    }
    return out;
}

FileText fileText(const QByteArray& raw) {
    FileText text;
    if (!raw.startsWith(Utf16LeBom) && !raw.startsWith(Utf16BeBom)) {
        text.bytes = raw;
        return text;
    }
    text.utf16 = raw.startsWith(Utf16LeBom) ? Utf16::LittleEndian : Utf16::BigEndian;
    QString decoded;
    decoded.reserve((raw.size() - 2) / 2);
    for (qsizetype i = 2; i + 1 < raw.size(); i += 2) {
        const auto a = quint8(raw[i]);
        const auto b = quint8(raw[i + 1]);
        decoded.append(
            QChar(text.utf16 == Utf16::LittleEndian ? char16_t(a | b << 8) : char16_t(a << 8 | b)));
    }
    text.bytes = decoded.toUtf8();
    // A lone surrogate or an odd last byte cannot be kept; such a file is read but never rewritten.
    text.convertible = toUtf16(text.bytes, text.utf16) == raw;
    return text;
}

bool isValidUtf8(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const auto b = quint8(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        // Lead byte: number of continuation bytes, payload bits, smallest code point it may carry.
        struct Form {
            quint8 mask, lead;
            int extra;
            quint32 min;
        };
        static constexpr Form Forms[] = {
            {0xE0, 0xC0, 1, 0x80}, {0xF0, 0xE0, 2, 0x800}, {0xF8, 0xF0, 3, 0x10000}};
        const Form* form = nullptr;
        for (const Form& f : Forms) {
            if ((b & f.mask) == f.lead)
                form = &f;
        }
        if (!form)
            return false;
        const int extra = form->extra;
        const quint32 min = form->min;
        quint32 cp = b & quint8(~form->mask);
        if (n - i <= extra)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto c = quint8(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

#ifdef Q_OS_UNIX
bool keepOwnerAndMode(int handle, const struct stat& original) {
    struct stat now {};
    if (::fstat(handle, &now) != 0)
        return false;
    if ((now.st_uid != original.st_uid || now.st_gid != original.st_gid) &&
        ::fchown(handle, original.st_uid, original.st_gid) != 0)
        return false;
    // A change of owner may clear the set-id bits; the mode is set after it.
    return ::fchmod(handle, original.st_mode & 07777) == 0;
}

bool writeInPlace(const QString& path, const QByteArray& old, const QByteArray& updated, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(error,
                    QStringLiteral("Cannot write %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
    const auto failed = [&] {
        const QString reason = QString::fromLocal8Bit(strerror(errno));
        ::close(fd);
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, reason));
    };
    if (updated.size() > old.size()) {
        const int rc = ::posix_fallocate(fd, 0, updated.size());
        if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) {
            errno = rc;
            return failed();
        }
    }
    qsizetype from = 0;
    while (from < old.size() && from < updated.size() && old[from] == updated[from])
        ++from;
    while (from < updated.size()) {
        const ssize_t n =
            ::pwrite(fd, updated.constData() + from, size_t(updated.size() - from), off_t(from));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failed();
        from += n;
    }
    if (::ftruncate(fd, off_t(updated.size())) != 0 || ::fsync(fd) != 0)
        return failed();
    ::close(fd);
    return true;
}
#endif

} // namespace ordisp::profile
