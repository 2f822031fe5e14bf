#pragma once

namespace ordisp {

// Nearest whole number, halves to the even one (1032.5 gives 1032, 1033.5 gives 1034), as the
// design's numbers, lengths and settings are rounded everywhere.
double RoundHalfEven(double value);

} // namespace ordisp
