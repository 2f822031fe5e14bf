#pragma once

#include <QPoint>
#include <QRect>

#include <optional>

namespace ordisp {

// The screen's twips-per-pixel factors, read whenever needed (the DPI may change while running),
// and the area that windows may take.
class Screen {
public:
    virtual ~Screen() = default;
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;
    // The area free for windows (without panels) of the screen that holds `at`; of the primary
    // screen without `at` or when no screen holds it.
    virtual QRect availableGeometry(std::optional<QPoint> at) const = 0;
};

class FixedScreen final : public Screen {
public:
    // A large screen by default, so that every design fits as it is.
    explicit FixedScreen(double twipsPerPixel = 15.0, const QRect& area = QRect(0, 0, 3840, 2160))
        : m_x(twipsPerPixel)
        , m_y(twipsPerPixel)
        , m_area(area) {}
    FixedScreen(double x, double y)
        : m_x(x)
        , m_y(y)
        , m_area(0, 0, 3840, 2160) {}
    double twipsPerPixelX() const override { return m_x; }
    double twipsPerPixelY() const override { return m_y; }
    QRect availableGeometry(std::optional<QPoint> /*at*/) const override { return m_area; }

private:
    double m_x;
    double m_y;
    QRect m_area;
};

} // namespace ordisp
