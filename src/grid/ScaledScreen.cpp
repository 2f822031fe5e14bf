#include "ScaledScreen.h"

#include <algorithm>

namespace ordisp {

namespace {
// Below this a window would be unreadable anyway; a broken screen size must not make it vanish.
constexpr double kSmallestScale = 0.2;
} // namespace

double FitScale(const QSizeF& client, const QSize& frame, const QSize& available) {
    if (client.width() <= 0 || client.height() <= 0 || available.isEmpty())
        return 1.0;
    const double x = (available.width() - frame.width()) / client.width();
    const double y = (available.height() - frame.height()) / client.height();
    return std::clamp(std::min(x, y), kSmallestScale, 1.0);
}

} // namespace ordisp
