// The numeric settings: LeadingNumber, RoundToInt32 and IniNumber on any text. The only failure
// allowed is the overflow error, and only for a number that does not fit.

#include "FuzzCheck.h"
#include "IniValue.h"
#include "UnhandledError.h"

#include <cmath>
#include <cstdint>
#include <limits>

using namespace ordisp;
using ordisp::fuzz::check;
using ordisp::fuzz::shown;

namespace {

constexpr double kInt32Min = std::numeric_limits<qint32>::min();
constexpr double kInt32Max = std::numeric_limits<qint32>::max();

void checkText(const QString& text) {
    double value = 0;
    try {
        value = LeadingNumber(text);
    } catch (const UnhandledError& e) {
        check(e.text() == UnhandledError::overflow().text(), "LeadingNumber fails with overflow only",
              shown(text));
        return;
    }
    check(std::isfinite(value), "LeadingNumber gives a finite number", shown(text));

    // Blanks, tabs and line feeds count nowhere.
    QString squeezed = text;
    squeezed.remove(u' ').remove(u'\t').remove(u'\n');
    check(LeadingNumber(squeezed) == value, "blanks do not change the number", shown(text));

    for (const bool absolute : {false, true}) {
        const double source = absolute ? std::fabs(value) : value;
        const double rounded = std::nearbyint(source); // the FPU's default mode: halves to even
        const bool fits = rounded >= kInt32Min && rounded <= kInt32Max;
        try {
            const qint32 n = IniNumber(text, absolute);
            check(fits, "IniNumber throws when the number does not fit 32 bits", shown(text));
            check(double(n) == rounded, "IniNumber rounds halves to even", shown(text));
            check(!absolute || n >= 0, "the absolute value is never negative", shown(text));
        } catch (const UnhandledError& e) {
            check(e.text() == UnhandledError::overflow().text(), "IniNumber fails with overflow only",
                  shown(text));
            check(!fits, "IniNumber throws only when the number does not fit", shown(text));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    checkText(QString::fromUtf8(bytes));
    checkText(QString::fromLatin1(bytes));
    return 0;
}
