#pragma once

#include "Screen.h"

#include <QSize>
#include <QSizeF>

namespace ordisp {

// The factor by which a window whose client area plus frame is larger than the available area is
// scaled as a whole, so that it just fits; 1 where it fits as designed.
double FitScale(const QSizeF& client, const QSize& frame, const QSize& available);

// The screen as a window scaled by one factor sees it: every design length in twips covers that
// many times fewer pixels, and every design font size is that many times smaller.
class ScaledScreen final : public Screen {
public:
    explicit ScaledScreen(const Screen& base)
        : m_base(base) {}

    void setFactor(double factor) { m_factor = factor; }
    double factor() const { return m_factor; }
    // A design font size at this scale.
    double points(double designPoints) const { return designPoints * m_factor; }

    double twipsPerPixelX() const override { return m_base.twipsPerPixelX() / m_factor; }
    double twipsPerPixelY() const override { return m_base.twipsPerPixelY() / m_factor; }
    QRect availableGeometry(std::optional<QPoint> at) const override { return m_base.availableGeometry(at); }
    const Screen& base() const { return m_base; }

private:
    const Screen& m_base;
    double m_factor = 1.0;
};

} // namespace ordisp
