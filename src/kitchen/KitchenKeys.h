#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace ordisp {

class DataGrid;

// What a key does; a window maps each to the click of its button.
enum class KeyAction {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    FirstLine,
    LastLine,
    InWork,
    Done,
    Delete,
    AllTables,
    PreviousTable,
    NextTable,
    OpenDetail,
    Course, // argument: the course 0 to 8
    Close,
    Legend,
};

enum class KeyWindow { Main, Detail };

struct KitchenKey {
    KeyWindow window;
    int key; // Qt::Key
    KeyAction action;
    int argument;
    QString keyName;
    QString meaning;
};

// The fixed keys of both windows, as a bump bar sends them by default: digits, Enter, F keys, and
// the arrows and page keys of any keyboard.
const QList<KitchenKey>& KitchenKeyTable();

// The button index that F5 (step -1) or F6 (step +1) presses: the next button in screen order
// with a caption, "Alle Tische" (index 0) at either end. `current` is the button of the chosen
// table (0 when none).
int StepTableButton(const QStringList& captions, int current, int step);

// The status buttons both windows have.
struct StatusButtons {
    QPushButton* inWork;
    QPushButton* done;
    QPushButton* remove;
};

// What both windows do alike for a key: move the grid's selection, or press "in Arbeit", "Fertig"
// or delete as a click would (refusal messages included); false for any other action.
bool HandleCommonKey(DataGrid& grid, KeyAction action, const StatusButtons& buttons);

// Catches the window's keys wherever its focus is and hands their actions to the window; F12
// shows and hides the key legend. Keys held down repeat only the moves of the selection.
class KitchenKeys final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(KeyAction action, int argument)>;

    KitchenKeys(QWidget* window, KeyWindow which, Handler handler);

    QLabel* legend() const { return m_legend; }
    static QString legendText(KeyWindow which);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void toggleLegend();

    QWidget* m_window;
    KeyWindow m_which;
    Handler m_handler;
    QLabel* m_legend = nullptr;
};

} // namespace ordisp
