#pragma once

#include "AppConfig.h"
#include "KitchenKeys.h"
#include "ResultSet.h"
#include "ScaledScreen.h"
#include "StatusPress.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

#include <optional>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace ordisp {

class Clock;
class DataGrid;
class Database;
class KitchenSignals;
class MessageSink;
class Screen;
class TableDetailOpener;
struct DbError;

// "Torvane-Gastronomie Küchenmonitor" + " 1.3": the numbers in plain decimal (minor 10 is "10").
QString CaptionWithVersion(const QString& base, int major, int minor);

// The number at the start of a table button's caption: leading blanks skipped, reading stops at
// the first character that cannot continue the number ("12 Detail" gives 12); empty gives 0.
double CaptionNumber(const QString& caption);
// The caption's number as a table number, rounded half to even; none when it lies outside
// 16 bits.
std::optional<qint16> TableNumber(double number);

// The kitchen display's main window: table buttons, the order list of this monitor refreshed
// every two seconds, the status actions and the close button. Constructing it loads it: the list
// is queried once and the refresh timer runs.
class Form1 final : public QWidget {
    Q_OBJECT
public:
    // detail may be null while there is no detail window; the second press on a table then only
    // refreshes.
    Form1(Database& db, const AppConfig& config, MessageSink& messages, const Screen& screen,
          const Clock& clock, TableDetailOpener* detail, QWidget* parent = nullptr);
    ~Form1() override;

    // List state.
    const ResultSet& listRs() const { return m_listRs; }
    QString sortOrder() const { return m_sortOrder; }
    QString tableFilterSql() const { return m_tableFilterSql; }
    qint16 tableFilter() const { return m_tableFilter; }
    // Whether the banner says that the connection is lost: the last refresh failed, and opening
    // the database again did not help.
    bool isConnectionLost() const { return m_bannerShown == Banner::Lost; }
    // 1 where the configured size fits the screen, below 1 where the window had to be scaled.
    double scaleFactor() const { return m_scaled.factor(); }
    // The kitchen's opt-in signals, shared with the detail window.
    KitchenSignals* kitchenSignals() const { return m_kitchen; }

    // Queries the table list and the order list and shows them, selecting the line SelectId when
    // it is above 0 and still listed. A failed query changes nothing on screen and returns false.
    bool RefreshList(qint32 SelectId, DbError* error = nullptr);

    // Event handlers, public so that tests can drive them as the platform would.
    void Timer1_Timer();
    void DataGrid1_HeadClick(int ColIndex);
    void cmdIA_Click();
    void cmdOK_Click();
    void cmdDel_Click();
    void cmdEsc_Click();
    void cmdTisch_Click(int Index);
    void Form_Resize();
    // A key of the kitchen's fixed set: the click of the button it stands for.
    void KitchenKey_Press(KeyAction action);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    // Outer size and place as configured; scaled as a whole where that does not fit the screen.
    void placeWindow();
    // The factor that lets the configured window with this frame fit its screen's free area.
    double fitScale(const QSize& frame) const;
    // Sizes, places and fonts of the controls of fixed design size at the present scale.
    void applyDesign();
    void buildTableButtons();
    void placeTableButtons();
    void setStatus(int status);
    void runStatement(const QString& sql, qint32 selectId);
    ReadRows listReader(qint32 selectId);
    bool refreshOrRecover(qint32 selectId);
    // The banner over the grid tells why the list is not current: the connection lost, a statement
    // the database refuses, or another program's lock that kept the last ticks from reading.
    enum class Banner { None, Lost, Busy, Failed };
    void readFailed(const DbError& error);
    void readSucceeded();
    // A lock kept a press waiting for the full busy time-out: no need to wait for more ticks.
    void lockedSince(const QDateTime& since, const DbError& error);
    // text: the banner with %1 for the time; detail: the driver's words, for the stderr line.
    void showBanner(Banner kind, const QString& text, const QDateTime& since, const QString& detail);
    void placeBanner();
    // The selected line's id; false when none is selected or its id does not fit 32 bits.
    bool selectedId(qint32* id) const;
    // The table button of the chosen table ("... Detail"), 0 when no table is chosen.
    int chosenTableButton() const;
    int px(double twips) const;
    int py(double twips) const;

    Database& m_db;
    AppConfig m_config;
    MessageSink& m_messages;
    const Screen& m_screen;
    const Clock& m_clock;
    TableDetailOpener* m_detail;
    // The screen at the window's scale: the design where the configured size fits, smaller where
    // it does not.
    ScaledScreen m_scaled;

    // List state.
    ResultSet m_listRs;
    // The table list of the last refresh, kept only so that an unchanged file is not read again.
    ResultSet m_tableList;
    // The tables the shown list names, when they were taken from it.
    std::optional<QList<QVariant>> m_tablesOfList;
    QString m_sortOrder;
    QString m_tableFilterSql;
    qint16 m_tableFilter = 0;

    // Controls; design lengths in twips, shown in pixels.
    DataGrid* m_grid = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdIA = nullptr;
    QPushButton* m_cmdDel = nullptr;
    QPushButton* m_cmdEsc = nullptr;
    QFrame* m_shape1 = nullptr;
    QTimer* m_timer1 = nullptr;
    QLabel* m_banner = nullptr;
    QList<QPushButton*> m_cmdTisch;
    KitchenSignals* m_kitchen = nullptr;

    double m_gridWidth;
    double m_gridHeight;
    double m_actionLeft;
    double m_escLeft;
    double m_escTop;

    Banner m_bannerShown = Banner::None;
    QDateTime m_bannerSince;
    // Reads in a row that another program's lock kept from reading, since the first of them.
    int m_busyReads = 0;
    QDateTime m_busySince;
    bool m_closing = false;
    bool m_frameFixed = false;
};

} // namespace ordisp
