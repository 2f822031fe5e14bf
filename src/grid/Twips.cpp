#include "Twips.h"

#include "Screen.h"

#include <cmath>
#include <limits>

namespace ordisp {

double RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

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
