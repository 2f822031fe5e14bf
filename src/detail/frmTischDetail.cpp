#include "frmTischDetail.h"
#include "CellText.h"

#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "DesignLook.h"
#include "KitchenSignals.h"
#include "MessageSink.h"
#include "OrderSql.h"
#include "ScaledScreen.h"
#include "Screen.h"
#include "StatusPress.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include <limits>

namespace ordisp {

namespace {

// Why a grid shows what it read before, or nothing: after the course caption.
QString troubleNote(const DbError& error) {
    switch (error.kind) {
    case DbError::Kind::Busy:
        return QStringLiteral(" – Datenbank belegt");
    case DbError::Kind::Refused:
        return QStringLiteral(" – Datenbankfehler");
    case DbError::Kind::Lost:
        break;
    }
    return QStringLiteral(" – keine Verbindung");
}
const QColor kOtherGridSelection(218, 218, 218);

// Design values in twips.
constexpr int kClientWidth = 19905;
constexpr int kClientHeight = 9615;
constexpr int kGridLeft = 120;
constexpr int kGridTop = 120;
constexpr int kGridWidth = 5655;
constexpr int kGridHeight = 3135;
constexpr int kButtonLeft = 17760;
constexpr int kButtonWidth = 1935;
constexpr int kRowLines = 3;
// A header caption that does not fit is shrunk down to this size of the design, no further.
constexpr double kSmallestPoints = 8.0;

const char* const kGridIndexProperty = "index";

} // namespace

frmTischDetail::frmTischDetail(Database& db, qint32 monitorNr, MessageSink& messages, const Screen& screen,
                               QWidget* parent)
    : QDialog(parent)
    , m_db(db)
    , m_monitorNr(monitorNr)
    , m_messages(messages)
    , m_screen(screen)
    , m_scaled(screen) {
    setObjectName(QStringLiteral("frmTischDetail"));
    // A fixed dialog frame with its caption and close box only. A dialog is transient for the
    // application, which keeps it out of the task bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setSizeGripEnabled(false);
    new KitchenKeys(this, KeyWindow::Detail,
                    [this](KeyAction action, int argument) { KitchenKey_Press(action, argument); });
}

frmTischDetail::~frmTischDetail() {
    // The grids point into m_courseRows, which dies before QWidget deletes its children.
    Form_Unload();
}

void frmTischDetail::Init(qint16 nTisch1) {
    m_detailTable = nTisch1;
}

void frmTischDetail::showDetail() {
    if (!m_loaded)
        Form_Load();
    show();
    raise();
    activateWindow();
}

DataGrid* frmTischDetail::grid(int k) const {
    if (!m_loaded || k < 0 || k >= kGridCount)
        return nullptr;
    return m_grids.at(k);
}

void frmTischDetail::Form_Load() {
    setWindowTitle(QStringLiteral("Details - Tisch") + NumberText(m_detailTable));
    for (ResultSet& rs : m_courseRows)
        rs = ResultSet();
    // A choice made in an earlier opening is not visible any more; the buttons must not act on it.
    m_currentGrid = 0;
    m_scaled.setFactor(fitScale());
    buildControls();
    m_loaded = true;
    markCurrentGrid();
    LoadCourseGrids();
    centreOnScreen();
}

void frmTischDetail::Form_Unload() {
    if (!m_loaded)
        return;
    m_loaded = false;
    // Unloading may run inside a click of cmdEsc, so the controls go later; until then they are
    // hidden, nameless and cut off from the rows, and a new load builds its own.
    QList<QWidget*> controls = {m_cmdEsc, m_cmdIA, m_cmdOK, m_cmdDel};
    for (DataGrid*& grid : m_grids) {
        grid->setDataSource(nullptr);
        grid->setProperty(kGridIndexProperty, QVariant());
        controls.append(grid);
        grid = nullptr;
    }
    for (QWidget* control : controls) {
        control->hide();
        control->setObjectName(QString());
        control->deleteLater();
    }
    m_cmdEsc = m_cmdIA = m_cmdOK = m_cmdDel = nullptr;
    for (ResultSet& rs : m_courseRows) {
        if (rs.isOpen())
            rs.close();
    }
}

QRect frmTischDetail::twipsRect(int left, int top, int width, int height) const {
    // Edges are converted rather than sizes, so that controls which touch in twips touch on screen.
    const double tx = m_scaled.twipsPerPixelX();
    const double ty = m_scaled.twipsPerPixelY();
    const int x0 = TwipsToPixels(left, tx);
    const int y0 = TwipsToPixels(top, ty);
    return QRect(x0, y0, TwipsToPixels(left + width, tx) - x0, TwipsToPixels(top + height, ty) - y0);
}

QPushButton* frmTischDetail::makeButton(const char* name, const QString& caption, const QColor& background) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    if (background.isValid())
        button->setStyleSheet(ColouredButtonStyle(background));
    button->show();
    return button;
}

void frmTischDetail::buildControls() {
    const QList<GridColumn> columns = {
        {QStringLiteral("G"), QStringLiteral("gnr"), 570, false, {}},
        {QStringLiteral("Menge"), QStringLiteral("menge"), 675, false, {}},
        {QStringLiteral("Bezeichnung"), QStringLiteral("txt"), 2760, true, {}},
        {QStringLiteral("Status"), QStringLiteral("status"), 720, false, &StatusText},
    };
    for (int k = 0; k < kGridCount; ++k) {
        auto* grid = new DataGrid(m_scaled, this);
        grid->setObjectName(QStringLiteral("DataGrid%1").arg(k));
        grid->setProperty(kGridIndexProperty, k);
        grid->setColumns(columns);
        grid->installEventFilter(this);
        grid->viewport()->installEventFilter(this);
        grid->horizontalHeader()->viewport()->installEventFilter(this);
        if (m_kitchen)
            m_kitchen->attach(grid, grid->columnByCaption(QStringLiteral("Status")));
        grid->show();
        m_grids[k] = grid;
    }

    m_cmdEsc = makeButton("cmdEsc", QStringLiteral("Schließen"), QColor());
    m_cmdIA = makeButton("cmdIA", QStringLiteral("in Arbeit"), QColor(255, 255, 192));
    m_cmdOK = makeButton("cmdOK", QStringLiteral("Fertig"), QColor(192, 255, 192));
    m_cmdDel = makeButton("cmdDel", QStringLiteral("Löschen"), QColor(255, 192, 192));
    connect(m_cmdEsc, &QPushButton::clicked, this, &frmTischDetail::cmdEsc_Click);
    connect(m_cmdIA, &QPushButton::clicked, this, &frmTischDetail::cmdIA_Click);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmTischDetail::cmdOK_Click);
    connect(m_cmdDel, &QPushButton::clicked, this, &frmTischDetail::cmdDel_Click);

    // The designed grid first, then the buttons; the grids added at load time follow them.
    QList<QWidget*> chain = {m_grids[0], m_cmdEsc, m_cmdDel, m_cmdIA, m_cmdOK};
    for (int k = 1; k < kGridCount; ++k)
        chain.append(m_grids[k]);
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
    applyDesign();
}

double frmTischDetail::fitScale() const {
    const QSizeF client(kClientWidth / m_screen.twipsPerPixelX(), kClientHeight / m_screen.twipsPerPixelY());
    return FitScale(client, m_frame, m_screen.availableGeometry(std::nullopt).size());
}

void frmTischDetail::applyDesign() {
    setFixedSize(TwipsToPixels(kClientWidth, m_scaled.twipsPerPixelX()),
                 TwipsToPixels(kClientHeight, m_scaled.twipsPerPixelY()));
    for (int k = 0; k < kGridCount; ++k) {
        DataGrid* grid = m_grids[k];
        grid->setCellFont(DesignFont(m_scaled.points(9.75), false));
        grid->setHeaderFont(DesignFont(m_scaled.points(11.25), true));
        grid->setRowLines(kRowLines);
        grid->setSmallestFontPoints(m_scaled.points(kSmallestPoints));
        grid->setGeometry(twipsRect(kGridLeft + k % 3 * kGridWidth, kGridTop + k / 3 * kGridHeight,
                                    kGridWidth, kGridHeight));
    }
    const QFont font = DesignFont(m_scaled.points(12.0), true);
    const QList<QPair<QPushButton*, QRect>> buttons = {
        {m_cmdEsc, twipsRect(kButtonLeft, 240, kButtonWidth, 735)},
        {m_cmdIA, twipsRect(kButtonLeft, 1320, kButtonWidth, 855)},
        {m_cmdOK, twipsRect(kButtonLeft, 2640, kButtonWidth, 855)},
        {m_cmdDel, twipsRect(kButtonLeft, 3960, kButtonWidth, 855)},
    };
    for (const auto& [button, rect] : buttons) {
        button->setFont(font);
        button->setGeometry(rect);
    }
}

void frmTischDetail::centreOnScreen() {
    const QRect area = m_screen.availableGeometry(std::nullopt);
    if (area.isEmpty())
        return;
    // The frame is known only once the window has been shown; until then the frame of the last
    // showing stands in. A window larger than the area even when scaled keeps its top left corner
    // on it, so that the caption can still be grabbed.
    const QSize outer = size() + m_frame;
    move(qMax(area.x(), area.x() + (area.width() - outer.width()) / 2),
         qMax(area.y(), area.y() + (area.height() - outer.height()) / 2));
}

void frmTischDetail::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once framed, scale and centre again for the real frame if it differs from the one assumed.
    QTimer::singleShot(0, this, [this] {
        const QSize frame = frameGeometry().size() - size();
        if (!m_loaded || frame == m_frame || frame.width() < 0 || frame.height() < 0)
            return;
        m_frame = frame;
        const double factor = fitScale();
        if (factor != m_scaled.factor()) {
            m_scaled.setFactor(factor);
            applyDesign();
        }
        centreOnScreen();
    });
}

void frmTischDetail::LoadCourseGrids() {
    if (!m_loaded)
        return;
    // All nine are read as one refresh: a file replaced at its path is opened again there, and a
    // lock does not keep the window from showing for more than a moment.
    std::array<bool, kGridCount> opened{};
    DbError error;
    ReadOrRecover(
        m_db,
        [this, &opened](DbError* failure) {
            for (int k = 0; k < kGridCount; ++k) {
                opened[k] =
                    m_courseRows[k].open(m_db, OrderSql::courseList(m_monitorNr, m_detailTable, k), failure);
                if (!opened[k])
                    return false;
            }
            return true;
        },
        &error);
    for (int k = 0; k < kGridCount; ++k) {
        m_grids[k]->setDataSource(&m_courseRows[k]);
        setCourseCaption(k, opened[k] ? DbError() : error);
        m_grids[k]->refreshGrid();
    }
}

void frmTischDetail::setCourseCaption(int k, const DbError& error) {
    QString caption = QStringLiteral("Gang ") + NumberText(k);
    if (error.isSet())
        caption += troubleNote(error);
    m_grids[k]->setCaption(caption);
}

void frmTischDetail::DataGrid_Click(int index) {
    if (index < 0 || index >= kGridCount)
        return;
    m_currentGrid = static_cast<qint16>(index);
    markCurrentGrid();
}

void frmTischDetail::markCurrentGrid() {
    // Every grid shows its current line; only the grid the buttons act on shows it in the
    // highlight colour, so that nobody presses "Fertig" for a line in another course.
    for (int k = 0; k < kGridCount; ++k) {
        QPalette palette;
        if (k != m_currentGrid) {
            palette.setColor(QPalette::Highlight, kOtherGridSelection);
            palette.setColor(QPalette::HighlightedText, palette.color(QPalette::Text));
        }
        m_grids[k]->setPalette(palette);
    }
}

bool frmTischDetail::eventFilter(QObject* watched, QEvent* event) {
    if (m_loaded && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn)) {
        // The grid's own viewport and header sit inside it; walk up to the grid that owns them.
        for (QObject* object = watched; object && object != this; object = object->parent()) {
            const QVariant index = object->property(kGridIndexProperty);
            if (index.isValid()) {
                DataGrid_Click(index.toInt());
                break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool frmTischDetail::runPress(int k, const QString& sql) {
    // A failed read leaves the rows as they were: an empty grid would look as if the lines were
    // gone.
    ResultSet& rs = m_courseRows[k];
    const PressOutcome outcome = RunPress(m_db, sql, [&rs](DbError* error) { return rs.requery(error); });
    setCourseCaption(k, outcome.readBack ? DbError() : outcome.readError);
    // Whatever kept the statement from running, the cook must not believe the dish was marked.
    if (!outcome.written)
        m_messages.show(MsgExclamation, ChangeNotSavedText());
    return outcome.readBack;
}

bool frmTischDetail::currentLine(qint32* id) const {
    return m_loaded && CurrentOrderId(m_courseRows[m_currentGrid], id);
}

void frmTischDetail::changeStatus(int status) {
    qint32 id = 0;
    if (!currentLine(&id))
        return;
    const int k = m_currentGrid;
    if (!runPress(k, OrderSql::setStatus(status, id)))
        return;
    m_courseRows[k].find(QStringLiteral("id"), id);
    m_grids[k]->refreshGrid();
}

void frmTischDetail::cmdIA_Click() {
    changeStatus(StatusInProgress);
}

void frmTischDetail::cmdOK_Click() {
    changeStatus(StatusDone);
}

void frmTischDetail::cmdDel_Click() {
    qint32 id = 0;
    if (!currentLine(&id))
        return;
    const int k = m_currentGrid;
    if (!CurrentOrderIsDone(m_courseRows[k])) {
        m_messages.show(MsgExclamation, OnlyDoneDeletableText());
        return;
    }
    if (m_kitchen)
        m_kitchen->deletedHere(id);
    if (!runPress(k, OrderSql::deleteOrder(id)))
        return;
    // The requery leaves the first row current.
    m_grids[k]->refreshGrid();
}

void frmTischDetail::cmdEsc_Click() {
    close();
}

void frmTischDetail::reject() {
    close();
}

void frmTischDetail::keyPressEvent(QKeyEvent* event) {
    // Esc presses the close button, as a cancel button would.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && m_cmdEsc) {
        m_cmdEsc->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmTischDetail::closeEvent(QCloseEvent* event) {
    // Not QDialog's handler: it would go through reject() and back here.
    Form_Unload();
    event->accept();
}

} // namespace ordisp
