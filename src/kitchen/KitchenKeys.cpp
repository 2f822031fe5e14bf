#include "KitchenKeys.h"

#include "DataGrid.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace ordisp {

namespace {

KitchenKey Key(KeyWindow window, int key, KeyAction action, const char* name, const QString& meaning,
               int argument = 0) {
    return {window, key, action, argument, QString::fromUtf8(name), meaning};
}

QList<KitchenKey> BuildTable() {
    using W = KeyWindow;
    using A = KeyAction;
    QList<KitchenKey> keys;
    for (const W w : {W::Main, W::Detail}) {
        const QString list = w == W::Main ? QStringLiteral("Liste") : QStringLiteral("gewählter Gang");
        keys << Key(w, Qt::Key_Up, A::LineUp, "↑", QStringLiteral("Zeile hoch (%1)").arg(list))
             << Key(w, Qt::Key_Down, A::LineDown, "↓", QStringLiteral("Zeile runter (%1)").arg(list))
             << Key(w, Qt::Key_PageUp, A::PageUp, "Bild ↑", QStringLiteral("Seite hoch"))
             << Key(w, Qt::Key_PageDown, A::PageDown, "Bild ↓", QStringLiteral("Seite runter"))
             << Key(w, Qt::Key_Home, A::FirstLine, "Pos1", QStringLiteral("erste Zeile"))
             << Key(w, Qt::Key_End, A::LastLine, "Ende", QStringLiteral("letzte Zeile"))
             << Key(w, Qt::Key_F1, A::InWork, "F1", QStringLiteral("in Arbeit"))
             << Key(w, Qt::Key_F2, A::Done, "F2", QStringLiteral("Fertig"))
             << Key(w, Qt::Key_F3, A::Delete, "F3",
                    w == W::Main ? QStringLiteral("Eintrag löschen") : QStringLiteral("Löschen"));
        if (w == W::Main) {
            keys << Key(w, Qt::Key_F4, A::AllTables, "F4", QStringLiteral("Alle Tische"))
                 << Key(w, Qt::Key_F5, A::PreviousTable, "F5", QStringLiteral("voriger Tisch"))
                 << Key(w, Qt::Key_F6, A::NextTable, "F6", QStringLiteral("nächster Tisch"))
                 << Key(w, Qt::Key_Return, A::OpenDetail, "Enter",
                        QStringLiteral("Tisch der Zeile wählen, nochmals: Details"))
                 << Key(w, Qt::Key_Enter, A::OpenDetail, "Enter",
                        QStringLiteral("Tisch der Zeile wählen, nochmals: Details"));
        } else {
            for (int k = 0; k <= 8; ++k)
                keys << Key(w, Qt::Key_0 + k, A::Course, "", QStringLiteral("Gang %1").arg(k), k);
            keys[keys.size() - 9].keyName = QStringLiteral("0 … 8");
            keys << Key(w, Qt::Key_Escape, A::Close, "Esc", QStringLiteral("Schließen"))
                 << Key(w, Qt::Key_F9, A::Close, "F9", QStringLiteral("Schließen"));
        }
        keys << Key(w, Qt::Key_F12, A::Legend, "F12", QStringLiteral("diese Tastenliste zeigen/verbergen"));
    }
    return keys;
}

bool Repeats(KeyAction action) {
    return action <= KeyAction::LastLine;
}

} // namespace

const QList<KitchenKey>& KitchenKeyTable() {
    static const QList<KitchenKey> table = BuildTable();
    return table;
}

int StepTableButton(const QStringList& captions, int current, int step) {
    const int count = int(captions.size());
    if (count == 0)
        return 0;
    int i = qBound(0, current, count - 1);
    for (int n = 0; n < count; ++n) {
        i = (i + step + count) % count;
        if (i == 0 || !captions.at(i).isEmpty())
            return i;
    }
    return 0;
}

bool HandleCommonKey(DataGrid& grid, KeyAction action, const StatusButtons& buttons) {
    switch (action) {
    case KeyAction::InWork:
        buttons.inWork->click();
        return true;
    case KeyAction::Done:
        buttons.done->click();
        return true;
    case KeyAction::Delete:
        buttons.remove->click();
        return true;
    default:
        break;
    }
    using Move = DataGrid::Move;
    static const QHash<KeyAction, Move> moves = {
        {KeyAction::LineUp, Move::Up},       {KeyAction::LineDown, Move::Down},
        {KeyAction::PageUp, Move::PageUp},   {KeyAction::PageDown, Move::PageDown},
        {KeyAction::FirstLine, Move::First}, {KeyAction::LastLine, Move::Last},
    };
    const auto it = moves.constFind(action);
    if (it == moves.cend())
        return false;
    grid.moveSelection(*it);
    return true;
}

KitchenKeys::KitchenKeys(QWidget* window, KeyWindow which, Handler handler)
    : QObject(window)
    , m_window(window)
    , m_which(which)
    , m_handler(std::move(handler)) {
    // Before the focused control: an arrow must move the list even when a button has the focus.
    qApp->installEventFilter(this);
}

QString KitchenKeys::legendText(KeyWindow which) {
    // One line per meaning; keys that mean the same share it ("Esc / F9").
    QList<QPair<QString, QString>> lines;
    for (const KitchenKey& key : KitchenKeyTable()) {
        if (key.window != which || key.keyName.isEmpty())
            continue;
        const QString meaning =
            key.action == KeyAction::Course ? QStringLiteral("Gang 0 bis 8 wählen") : key.meaning;
        if (!lines.isEmpty() && lines.last().second == meaning) {
            if (!lines.last().first.split(QStringLiteral(" / ")).contains(key.keyName))
                lines.last().first += QStringLiteral(" / ") + key.keyName;
        } else {
            lines.append({key.keyName, meaning});
        }
    }
    QString html = QStringLiteral("<b>Tasten</b><table cellspacing=\"0\" cellpadding=\"2\">");
    for (const auto& [keys, meaning] : lines)
        html += QStringLiteral("<tr><td><b>%1</b>&nbsp;&nbsp;</td><td>%2</td></tr>")
                    .arg(keys.toHtmlEscaped(), meaning.toHtmlEscaped());
    return html + QStringLiteral("</table>");
}

void KitchenKeys::toggleLegend() {
    if (!m_legend) {
        m_legend = new QLabel(m_window);
        m_legend->setObjectName(QStringLiteral("keyLegend"));
        m_legend->setTextFormat(Qt::RichText);
        m_legend->setText(legendText(m_which));
        m_legend->setMargin(10);
        m_legend->setStyleSheet(QStringLiteral(
            "#keyLegend { background-color: #fffff0; color: black; border: 2px solid #404040; }"));
        m_legend->hide();
    }
    if (!m_legend->isHidden()) {
        m_legend->hide();
        return;
    }
    // Read from a step away, like the buttons.
    QFont font = m_window->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    m_legend->setFont(font);
    m_legend->adjustSize();
    // Bottom right, over whatever is there, until F12 again.
    m_legend->move(qMax(0, m_window->width() - m_legend->width() - 8),
                   qMax(0, m_window->height() - m_legend->height() - 8));
    m_legend->show();
    m_legend->raise();
}

bool KitchenKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != m_window)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    for (const KitchenKey& entry : KitchenKeyTable()) {
        if (entry.window != m_which || entry.key != key->key())
            continue;
        if (key->isAutoRepeat() && !Repeats(entry.action))
            return true;
        if (entry.action == KeyAction::Legend)
            toggleLegend();
        else
            m_handler(entry.action, entry.argument);
        return true;
    }
    return false;
}

} // namespace ordisp
