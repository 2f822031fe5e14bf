#pragma once

#include <QtGlobal>

namespace ordisp {

class Screen;

// Nearest whole number, halves to the even one (1032.5 gives 1032, 1033.5 gives 1034).
double RoundHalfEven(double value);
qint32 RoundHalfEvenToInt(double value);

// A length in twips as whole pixels, rounded half to even.
qint32 TwipsToPixels(double twips, double twipsPerPixel);

// Round a length in twips down to whole screen pixels; the result is also written back.
// Negative lengths go further from zero (-1 gives -15 at 15 twips per pixel).
qint32 SnapToPixelX(qint32& value, const Screen& screen);
qint32 SnapToPixelY(qint32& value, const Screen& screen);
qint32 SnapToPixel(qint32& value, double twipsPerPixel);

} // namespace ordisp
