#pragma once

#include <QString>
#include <QVariant>

#include <functional>

namespace ordisp {

// One design-time column of a grid: header caption, bound field, width and display format.
struct GridColumn {
    QString caption;
    QString field;
    double widthTwips = 0.0;
    bool wrap = false;
    // Turns the stored value into the value shown; empty shows the value as it is.
    std::function<QVariant(const QVariant&)> format;
};

} // namespace ordisp
