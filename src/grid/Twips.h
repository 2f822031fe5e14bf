#pragma once

#include "Rounding.h"

#include <QtGlobal>

namespace ordisp {

class Screen;

// RoundHalfEven, clamped to 32 bits.
qint32 RoundHalfEvenToInt(double value);

// A length in twips as whole pixels, rounded half to even.
qint32 TwipsToPixels(double twips, double twipsPerPixel);

// Round a length in twips down to whole screen pixels; the result is also written back.
// Negative lengths go further from zero (-1 gives -15 at 15 twips per pixel).
qint32 SnapToPixelX(qint32& value, const Screen& screen);
qint32 SnapToPixelY(qint32& value, const Screen& screen);
qint32 SnapToPixel(qint32& value, double twipsPerPixel);

} // namespace ordisp
