#pragma once

#include "Screen.h"

namespace ordisp {

// Twips per pixel of the primary screen: 1440 / its logical DPI, read at every call.
class QtScreen final : public Screen {
public:
    double twipsPerPixelX() const override;
    double twipsPerPixelY() const override;
    QRect availableGeometry(std::optional<QPoint> at) const override;
};

} // namespace ordisp
