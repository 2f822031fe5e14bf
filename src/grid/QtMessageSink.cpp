#include "QtMessageSink.h"

#include <QMessageBox>

namespace ordisp {

int QtMessageSink::present(int style, const QString& text) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Ordisp"));
    box.setText(text);
    switch (style) {
    case MsgCritical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgExclamation:
    case MsgYesNoExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if (style == MsgYesNoExclamation) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        // Closing the box without a choice counts as No, the harmless answer.
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? AnswerYes : AnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return AnswerOk;
}

} // namespace ordisp
