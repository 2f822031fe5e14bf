#pragma once

#include <array>

namespace ordisp {

// What the resize handler of the main window reads, all in twips.
struct LayoutInput {
    double clientWidth = 0;
    double clientHeight = 0;
    double gridTop = 0;
    double gridWidth = 0;  // as it is now, kept when the new width is not positive
    double gridHeight = 0; // as it is now, kept when the new height is not positive
    double cmdOKWidth = 0;
    double cmdEscWidth = 0;
    std::array<double, 6> columnWidths{}; // positions 0 to 5; position 4 is "Bezeichnung"
};

// Where the resize handler puts things; unchanged values are handed back as they came in.
struct LayoutResult {
    double gridWidth = 0;
    double gridHeight = 0;
    double descriptionWidth = 0;  // column 4, "Bezeichnung"
    double actionButtonsLeft = 0; // cmdOK, cmdIA and cmdDel
    double escLeft = 0;
    double escTop = 0;
    bool gridHeightChanged = false;
    bool gridWidthChanged = false;
    bool descriptionWidthChanged = false;
};

inline constexpr double kRoomRightOfGrid = 500;
inline constexpr double kActionButtonOffset = 250;
inline constexpr double kSpareGridWidth = 1000;

// The main window's layout for a client size: the grid fills the window below the table buttons
// and left of the action buttons, "Bezeichnung" takes the width the other columns leave, the
// action buttons follow the grid and the close button keeps to the top right corner.
// A non-positive "Bezeichnung" width keeps the column's last width: a grid column cannot be
// narrower than nothing, and the last width is what the user saw a moment ago.
LayoutResult ComputeLayout(const LayoutInput& in);

} // namespace ordisp
