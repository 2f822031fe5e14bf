#include "Form1.h"

#include "DataGrid.h"
#include "DbHelpers.h"

#include <QPushButton>

namespace ordisp {

int Form1::chosenTableButton() const {
    for (int i = 1; i < m_cmdTisch.size(); ++i) {
        if (m_cmdTisch.at(i)->text().endsWith(QStringLiteral(" Detail")))
            return i;
    }
    return 0;
}

void Form1::KitchenKey_Press(KeyAction action) {
    if (HandleCommonKey(*m_grid, action, {m_cmdIA, m_cmdOK, m_cmdDel}))
        return;
    switch (action) {
    case KeyAction::AllTables:
        m_cmdTisch.at(0)->click();
        break;
    case KeyAction::PreviousTable:
    case KeyAction::NextTable: {
        QStringList captions;
        for (const QPushButton* button : std::as_const(m_cmdTisch))
            captions << button->text();
        const int step = action == KeyAction::NextTable ? 1 : -1;
        m_cmdTisch.at(StepTableButton(captions, chosenTableButton(), step))->click();
        break;
    }
    case KeyAction::OpenDetail: {
        // The button of the selected line's table: the first press chooses the table, the next
        // opens its detail window. Without a line, the chosen table's button.
        int index = chosenTableButton();
        if (!m_listRs.eof()) {
            const QVariant table = FieldValue(m_listRs, QStringLiteral("tisch"));
            index = 0;
            for (int i = 1; i < m_cmdTisch.size() && index == 0; ++i) {
                const QString caption = m_cmdTisch.at(i)->text();
                if (!caption.isEmpty() && CaptionNumber(caption) == table.toDouble())
                    index = i;
            }
        }
        if (index > 0)
            m_cmdTisch.at(index)->click();
        break;
    }
    case KeyAction::Course:
    case KeyAction::Close:
    default:
        break;
    }
}

} // namespace ordisp
