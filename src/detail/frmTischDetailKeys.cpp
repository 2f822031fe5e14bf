#include "frmTischDetail.h"

#include "DataGrid.h"

#include <QPushButton>

namespace ordisp {

void frmTischDetail::KitchenKey_Press(KeyAction action, int argument) {
    if (!m_loaded)
        return;
    DataGrid* current = m_grids.at(m_currentGrid);
    if (HandleCommonKey(*current, action, {m_cmdIA, m_cmdOK, m_cmdDel}))
        return;
    switch (action) {
    case KeyAction::Course:
        // As a click into that grid: it becomes the grid the buttons act on.
        if (argument >= 0 && argument < kGridCount) {
            m_grids.at(argument)->setFocus(Qt::ShortcutFocusReason);
            DataGrid_Click(argument);
        }
        break;
    case KeyAction::Close:
        m_cmdEsc->click();
        break;
    case KeyAction::AllTables:
    case KeyAction::PreviousTable:
    case KeyAction::NextTable:
    case KeyAction::OpenDetail:
    default:
        break;
    }
}

} // namespace ordisp
