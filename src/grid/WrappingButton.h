#pragma once

#include <QPushButton>

namespace ordisp {

// A push button whose caption wraps onto further lines when it is wider than the button, as the
// small table buttons need ("Alle Tische", "12 Detail").
class WrappingButton final : public QPushButton {
    Q_OBJECT
public:
    explicit WrappingButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace ordisp
