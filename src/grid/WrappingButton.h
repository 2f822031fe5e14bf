#pragma once

#include <QPushButton>

namespace ordisp {

// A push button whose caption wraps onto further lines when it is wider than the button, as the
// small table buttons need ("Alle Tische", "12 Detail"); a word that is wider still is drawn in a
// smaller size of the font.
class WrappingButton final : public QPushButton {
    Q_OBJECT
public:
    explicit WrappingButton(QWidget* parent = nullptr);

    void setSmallestFontPoints(double points) { m_smallestPoints = points; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_smallestPoints = 8.0;
};

} // namespace ordisp
