// Test helper: writes two keys of a profile file over and over until it is killed, so that a test
// can kill it at any moment of a write. Prints "ready" once the first write is done.
// Usage: profile_writer <file>

#include "ProfileFile.h"

#include <cstdio>

using namespace ordisp;

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    for (long i = 0;; ++i) {
        const bool odd = i % 2 != 0;
        if (!ProfileFile::write(path, QStringLiteral("ORDISP"), QStringLiteral("LEFT"),
                                odd ? QStringLiteral("1") : QStringLiteral("2222222222")) ||
            !ProfileFile::write(path, QStringLiteral("PFADE"), QStringLiteral("DATENBANK"),
                                odd ? QStringLiteral("C:\\Küche") : QStringLiteral("/srv/Bar")))
            return 1;
        if (i == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
