#include "QtScreen.h"

#include <QGuiApplication>
#include <QScreen>

namespace ordisp {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kDefaultTwipsPerPixel = 15.0; // 96 dpi, when no screen is known

double twipsPerPixel(qreal dpi) {
    return dpi > 0 ? kTwipsPerInch / dpi : kDefaultTwipsPerPixel;
}
} // namespace

double QtScreen::twipsPerPixelX() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? twipsPerPixel(screen->logicalDotsPerInchX()) : kDefaultTwipsPerPixel;
}

double QtScreen::twipsPerPixelY() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? twipsPerPixel(screen->logicalDotsPerInchY()) : kDefaultTwipsPerPixel;
}

QRect QtScreen::availableGeometry(std::optional<QPoint> at) const {
    const QScreen* screen = at ? QGuiApplication::screenAt(*at) : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace ordisp
