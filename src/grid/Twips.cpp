#include "Twips.h"

#include "Screen.h"

#include <cmath>
#include <limits>

namespace ordisp {

qint32 RoundHalfEvenToInt(double value) {
    const double r = RoundHalfEven(value);
    // Lengths on a screen never come near the limits; clamp rather than invoke undefined behaviour.
    if (r >= static_cast<double>(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (r <= static_cast<double>(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(r);
}

qint32 TwipsToPixels(double twips, double twipsPerPixel) {
    return RoundHalfEvenToInt(twips / twipsPerPixel);
}

qint32 SnapToPixel(qint32& value, double twipsPerPixel) {
    value = RoundHalfEvenToInt(std::floor(value / twipsPerPixel) * twipsPerPixel);
    return value;
}

qint32 SnapToPixelX(qint32& value, const Screen& screen) {
    return SnapToPixel(value, screen.twipsPerPixelX());
}

qint32 SnapToPixelY(qint32& value, const Screen& screen) {
    return SnapToPixel(value, screen.twipsPerPixelY());
}

} // namespace ordisp
