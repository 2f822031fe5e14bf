#pragma once

namespace ordisp {

// The screen's twips-per-pixel factors, read whenever needed (the DPI may change while running).
class Screen {
public:
    virtual ~Screen() = default;
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;
};

class FixedScreen final : public Screen {
public:
    explicit FixedScreen(double twipsPerPixel = 15.0)
        : m_x(twipsPerPixel)
        , m_y(twipsPerPixel) {}
    FixedScreen(double x, double y)
        : m_x(x)
        , m_y(y) {}
    double twipsPerPixelX() const override { return m_x; }
    double twipsPerPixelY() const override { return m_y; }

private:
    double m_x;
    double m_y;
};

} // namespace ordisp
