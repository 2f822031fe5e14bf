#pragma once

#include "DbError.h"
#include "KitchenKeys.h"
#include "KitchenSignals.h"
#include "ResultSet.h"
#include "ScaledScreen.h"
#include "TableDetailOpener.h"

#include <QDialog>
#include <QPointer>

#include <array>

class QPushButton;

namespace ordisp {

class Database;
class DataGrid;
class MessageSink;
class Screen;

// One table's order lines of this monitor, one grid per course 0 to 8, with the status and delete
// buttons. The object lives as long as the program; closing the window unloads its grids and rows
// but keeps the table number and the current grid.
class frmTischDetail final : public QDialog, public TableDetailOpener {
    Q_OBJECT
public:
    static constexpr int kGridCount = 9;

    frmTischDetail(Database& db, qint32 monitorNr, MessageSink& messages, const Screen& screen,
                   QWidget* parent = nullptr);
    ~frmTischDetail() override;

    // The main window's signals, for the waiting colours and new lines of the course grids.
    void setKitchenSignals(KitchenSignals* kitchen) { m_kitchen = kitchen; }

    void Init(qint16 nTisch1) override;
    void showDetail() override;

    qint16 DetailTable() const { return m_detailTable; }
    // The grid the buttons act on: the one clicked or focused last, 0 after each opening.
    qint16 CurrentGrid() const { return m_currentGrid; }
    bool isLoaded() const { return m_loaded; }
    // 1 where the design fits the screen, below 1 where the window had to be scaled to fit.
    double scaleFactor() const { return m_scaled.factor(); }

    // Grid k of the open window; null while the window is not loaded.
    DataGrid* grid(int k) const;
    const ResultSet& CourseRows(int k) const { return m_courseRows.at(k); }

    // Reads the nine courses of DetailTable into their grids.
    void LoadCourseGrids();

    void cmdIA_Click();
    void cmdOK_Click();
    void cmdDel_Click();
    void cmdEsc_Click();
    // A key of the kitchen's fixed set: the click of the button or grid it stands for.
    void KitchenKey_Press(KeyAction action, int argument);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public Q_SLOTS:
    void reject() override;

private:
    void Form_Load();
    void Form_Unload();
    void DataGrid_Click(int index);
    void markCurrentGrid();

    void buildControls();
    QPushButton* makeButton(const char* name, const QString& caption, const QColor& background);
    // The factor that lets the designed window, frame included, fit the available area.
    double fitScale() const;
    // Sizes, places and fonts of every control at the present scale.
    void applyDesign();
    QRect twipsRect(int left, int top, int width, int height) const;
    void centreOnScreen();

    // The current grid's current line; false when the window is not loaded or there is none.
    bool currentLine(qint32* id) const;
    void changeStatus(int status);
    // Runs a press's statement and reads course k again. When the rows cannot be read the grid
    // keeps its old rows; whenever the statement did not run, the user is told the change was lost.
    bool runPress(int k, const QString& sql);
    // "Gang  k", with a note of the trouble when error is set.
    void setCourseCaption(int k, const DbError& error);

    Database& m_db;
    QPointer<KitchenSignals> m_kitchen;
    const qint32 m_monitorNr;
    MessageSink& m_messages;
    const Screen& m_screen;
    // The screen at the window's scale: the design where it fits, smaller where it does not.
    ScaledScreen m_scaled;
    // Frame width and height as the window manager drew them at the last showing.
    QSize m_frame{0, 0};

    qint16 m_detailTable = 0;
    qint16 m_currentGrid = 0;
    bool m_loaded = false;
    std::array<ResultSet, kGridCount> m_courseRows;
    std::array<DataGrid*, kGridCount> m_grids{};
    QPushButton* m_cmdEsc = nullptr;
    QPushButton* m_cmdIA = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdDel = nullptr;
};

} // namespace ordisp
