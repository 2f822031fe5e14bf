#include "Form1Layout.h"

#include "Twips.h"

namespace ordisp {

LayoutResult ComputeLayout(const LayoutInput& in) {
    LayoutResult out;
    out.gridWidth = in.gridWidth;
    out.gridHeight = in.gridHeight;
    out.descriptionWidth = in.columnWidths[4];

    const double h = RoundHalfEven(in.clientHeight - in.gridTop);
    if (h > 0) {
        out.gridHeight = h;
        out.gridHeightChanged = true;
    }

    const double w = RoundHalfEven(in.clientWidth - in.cmdOKWidth - kRoomRightOfGrid);
    if (w > 0) {
        out.gridWidth = w;
        out.gridWidthChanged = true;
        const auto& c = in.columnWidths;
        const double description = w - (c[0] + c[1] + c[2] + c[3] + c[5]) - kSpareGridWidth;
        if (description > 0) {
            out.descriptionWidth = description;
            out.descriptionWidthChanged = true;
        }
    }

    out.actionButtonsLeft = out.gridWidth + kActionButtonOffset;
    out.escTop = 0;
    out.escLeft = in.clientWidth - in.cmdEscWidth;
    return out;
}

} // namespace ordisp
