#include "Form1.h"
#include "CellText.h"

#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "DesignLook.h"
#include "Form1Layout.h"
#include "KitchenSignals.h"
#include "MessageSink.h"
#include "OrderSql.h"
#include "ScaledScreen.h"
#include "Screen.h"
#include "TableDetailOpener.h"
#include "Twips.h"
#include "WrappingButton.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <limits>

namespace ordisp {

namespace {

// Design lengths in twips, relative to the client area.
struct Rect {
    double left, top, width, height;
};
constexpr Rect kGrid{120, 2520, 10215, 6855};
constexpr Rect kCmdOK{10560, 3840, 2175, 855};
constexpr Rect kCmdIA{10560, 2520, 2175, 855};
constexpr Rect kCmdDel{10560, 5160, 2175, 855};
constexpr Rect kCmdTisch0{120, 120, 1095, 855};
constexpr Rect kCmdEsc{11880, 120, 975, 855};
constexpr Rect kShape1{120, 120, 10215, 2295};
constexpr double kDesignClientWidth = 12975;
constexpr double kDesignClientHeight = 9630;

constexpr int kTableButtonCount = 30;
constexpr int kTableButtonColumns = 10;
constexpr int kTableButtonRows = 3;
constexpr int kTimerInterval = 2000;
// Ticks in a row that a lock kept from reading before the banner says so.
constexpr int kBusyReadsShown = 3;
constexpr int kGridRowLines = 4;
// A caption that does not fit is shrunk down to this size of the design, no further.
constexpr double kSmallestPoints = 8.0;

const QString kDesignCaption = QStringLiteral("Torvane-Gastronomie Küchenmonitor");

} // namespace

QString CaptionWithVersion(const QString& base, int major, int minor) {
    return base + QLatin1Char(' ') + QString::number(major) + QLatin1Char('.') + QString::number(minor);
}

double CaptionNumber(const QString& caption) {
    qsizetype i = 0;
    while (i < caption.size() && (caption.at(i) == QLatin1Char(' ') || caption.at(i) == QLatin1Char('\t')))
        ++i;
    QString number;
    if (i < caption.size() && (caption.at(i) == QLatin1Char('-') || caption.at(i) == QLatin1Char('+')))
        number += caption.at(i++);
    bool digits = false;
    while (i < caption.size() && caption.at(i).isDigit() && caption.at(i).unicode() < 128) {
        number += caption.at(i++);
        digits = true;
    }
    if (i < caption.size() && caption.at(i) == QLatin1Char('.')) {
        number += caption.at(i++);
        while (i < caption.size() && caption.at(i).isDigit() && caption.at(i).unicode() < 128) {
            number += caption.at(i++);
            digits = true;
        }
    }
    if (!digits)
        return 0;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0;
}

std::optional<qint16> TableNumber(double number) {
    const double rounded = RoundHalfEven(number);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

Form1::Form1(Database& db, const AppConfig& config, MessageSink& messages, const Screen& screen,
             const Clock& clock, TableDetailOpener* detail, QWidget* parent)
    : QWidget(parent)
    , m_db(db)
    , m_config(config)
    , m_messages(messages)
    , m_screen(screen)
    , m_clock(clock)
    , m_detail(detail)
    , m_scaled(screen)
    , m_gridWidth(kGrid.width)
    , m_gridHeight(kGrid.height)
    , m_actionLeft(kCmdOK.left)
    , m_escLeft(kCmdEsc.left)
    , m_escTop(kCmdEsc.top) {
    // The frame is not known before the window is shown; showEvent corrects the scale for it.
    m_scaled.setFactor(fitScale(QSize(0, 0)));
    buildControls();
    Form_Load();
}

Form1::~Form1() = default;

int Form1::px(double twips) const {
    return TwipsToPixels(twips, m_scaled.twipsPerPixelX());
}

int Form1::py(double twips) const {
    return TwipsToPixels(twips, m_scaled.twipsPerPixelY());
}

void Form1::buildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kDesignCaption);
    resize(px(kDesignClientWidth), py(kDesignClientHeight));

    // Created first, so that it stays beneath the table buttons.
    m_shape1 = new QFrame(this);
    m_shape1->setObjectName(QStringLiteral("Shape1"));
    m_shape1->setFrameShape(QFrame::Box);
    m_shape1->setFrameShadow(QFrame::Plain);
    m_shape1->setLineWidth(1);
    m_shape1->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_grid = new DataGrid(m_scaled, this);
    m_grid->setObjectName(QStringLiteral("DataGrid1"));
    m_grid->setAccessibleName(QStringLiteral("Bestellungen"));
    m_grid->setColumns({
        {QStringLiteral("Zeit"), QStringLiteral("insdate"), 1005.17, false, {}},
        {QStringLiteral("Tisch"), QStringLiteral("tisch"), 720.00, false, {}},
        {QStringLiteral("Gang"), QStringLiteral("gang"), 750.05, false, {}},
        {QStringLiteral("Menge"), QStringLiteral("menge"), 810.14, false, {}},
        {QStringLiteral("Bezeichnung"), QStringLiteral("txt"), 5430.05, true, {}},
        {QStringLiteral("Status"), QStringLiteral("status"), 810.14, false, {}},
    });
    connect(m_grid, &DataGrid::headerClicked, this, &Form1::DataGrid1_HeadClick);

    auto makeButton = [this](const QString& name, const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        return button;
    };
    m_cmdOK = makeButton(QStringLiteral("cmdOK"), QStringLiteral("Fertig"));
    m_cmdOK->setStyleSheet(ColouredButtonStyle(QColor(192, 255, 192)));
    m_cmdIA = makeButton(QStringLiteral("cmdIA"), QStringLiteral("in Arbeit"));
    m_cmdIA->setStyleSheet(ColouredButtonStyle(QColor(255, 255, 192)));
    m_cmdDel = makeButton(QStringLiteral("cmdDel"), QStringLiteral("Eintrag löschen"));
    m_cmdDel->setStyleSheet(ColouredButtonStyle(QColor(255, 192, 192)));
    m_cmdEsc = makeButton(QStringLiteral("cmdEsc"), QStringLiteral("X"));
    connect(m_cmdOK, &QPushButton::clicked, this, &Form1::cmdOK_Click);
    connect(m_cmdIA, &QPushButton::clicked, this, &Form1::cmdIA_Click);
    connect(m_cmdDel, &QPushButton::clicked, this, &Form1::cmdDel_Click);
    connect(m_cmdEsc, &QPushButton::clicked, this, &Form1::cmdEsc_Click);

    auto* tisch0 = new WrappingButton(this);
    tisch0->setObjectName(QStringLiteral("cmdTisch0"));
    tisch0->setProperty("index", 0);
    tisch0->setAutoDefault(false);
    connect(tisch0, &QPushButton::clicked, this, [this] { cmdTisch_Click(0); });
    m_cmdTisch.append(tisch0);

    setTabOrder(m_grid, m_cmdOK);
    setTabOrder(m_cmdOK, m_cmdIA);
    setTabOrder(m_cmdIA, m_cmdDel);
    setTabOrder(m_cmdDel, tisch0);
    setTabOrder(tisch0, m_cmdEsc);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    m_kitchen = new KitchenSignals(m_config.kitchen, m_clock, this);
    m_kitchen->attach(m_grid, 0);
    connect(m_kitchen, &KitchenSignals::stripChanged, this, &Form1::Form_Resize);
    new KitchenKeys(this, KeyWindow::Main, [this](KeyAction action, int) { KitchenKey_Press(action); });

    m_banner = new QLabel(this);
    m_banner->setObjectName(QStringLiteral("connectionBanner"));
    m_banner->setAlignment(Qt::AlignCenter);
    m_banner->setStyleSheet(QStringLiteral("QLabel { background-color: #c00000; color: white; }"));
    m_banner->hide();
}

void Form1::applyDesign() {
    const QFont font = DesignFont(m_scaled.points(12), true);
    m_shape1->setGeometry(px(kShape1.left), py(kShape1.top), px(kShape1.width), py(kShape1.height));
    m_grid->setCellFont(DesignFont(m_scaled.points(12), false));
    m_grid->setHeaderFont(font);
    m_grid->setRowLines(kGridRowLines);
    m_grid->setSmallestFontPoints(m_scaled.points(kSmallestPoints));
    const QList<QPair<QPushButton*, Rect>> buttons = {
        {m_cmdOK, kCmdOK}, {m_cmdIA, kCmdIA}, {m_cmdDel, kCmdDel}};
    for (const auto& [button, r] : buttons) {
        button->setFont(font);
        button->setGeometry(px(r.left), py(r.top), px(r.width), py(r.height));
    }
    m_cmdEsc->setFont(DesignFont(m_scaled.points(36), false));
    m_cmdEsc->setGeometry(px(kCmdEsc.left), py(kCmdEsc.top), px(kCmdEsc.width), py(kCmdEsc.height));
    m_cmdTisch.at(0)->setGeometry(px(kCmdTisch0.left), py(kCmdTisch0.top), px(kCmdTisch0.width),
                                  py(kCmdTisch0.height));
    for (QPushButton* button : std::as_const(m_cmdTisch)) {
        button->setFont(font);
        if (auto* wrapping = qobject_cast<WrappingButton*>(button))
            wrapping->setSmallestFontPoints(m_scaled.points(kSmallestPoints));
    }
    if (m_cmdTisch.size() > 1)
        placeTableButtons();
    m_banner->setFont(font);
}

double Form1::fitScale(const QSize& frame) const {
    const QRect area = m_screen.availableGeometry(QPoint(m_config.windowLeft, 0));
    const QSizeF client(m_config.windowWidth - frame.width(), m_config.windowHeight - frame.height());
    return FitScale(client, frame, area.size());
}

void Form1::Form_Load() {
    m_grid->setColumnFormat(m_grid->columnByCaption(QStringLiteral("Status")), StatusText);
    m_grid->setColumnFormat(m_grid->columnByCaption(QStringLiteral("Zeit")), TimeText);
    applyDesign();
    placeWindow();
    setWindowTitle(CaptionWithVersion(windowTitle(), ORDISP_VERSION_MAJOR, ORDISP_VERSION_MINOR));
    buildTableButtons();
    m_cmdTisch.at(0)->setText(QStringLiteral("Alle Tische"));
    m_sortOrder = kSortStatusInsdate;
    m_grid->setDataSource(&m_listRs);
    refreshOrRecover(0);
    m_timer1->setInterval(kTimerInterval);
    m_timer1->start();
}

void Form1::placeWindow() {
    // The configured size is the outer size; the frame is known only once a window manager has
    // framed the window (see showEvent).
    const QSize frame = frameGeometry().size() - size();
    const double factor = fitScale(frame);
    if (factor != m_scaled.factor()) {
        m_scaled.setFactor(factor);
        applyDesign();
    }
    QPoint at(m_config.windowLeft, 0);
    QSize client(qMax(0, m_config.windowWidth - frame.width()),
                 qMax(0, m_config.windowHeight - frame.height()));
    if (factor < 1.0) {
        // Too large for its screen: the configured window, smaller, kept on the free area.
        const QRect area = m_screen.availableGeometry(at);
        client =
            QSize(RoundHalfEvenToInt(client.width() * factor), RoundHalfEvenToInt(client.height() * factor));
        at = QPoint(qBound(area.left(), at.x(), area.right() + 1 - client.width() - frame.width()),
                    area.top());
    }
    move(at);
    resize(client);
    // A hidden widget gets its resize event only when shown; lay out now as well.
    Form_Resize();
}

void Form1::buildTableButtons() {
    QPushButton* first = m_cmdTisch.at(0);
    QWidget* previous = first;
    for (int i = 1; i < kTableButtonCount; ++i) {
        auto* copy = new WrappingButton(this);
        copy->setObjectName(QStringLiteral("cmdTisch%1").arg(i));
        copy->setProperty("index", i);
        copy->setFont(first->font());
        copy->setSmallestFontPoints(m_scaled.points(kSmallestPoints));
        copy->setText(first->text());
        copy->setAutoDefault(false);
        connect(copy, &QPushButton::clicked, this, [this, i] { cmdTisch_Click(i); });
        m_cmdTisch.append(copy);
        // New members of the array come last in the tab order.
        setTabOrder(previous == first ? m_cmdEsc : previous, copy);
        previous = copy;
    }
    placeTableButtons();
    for (QPushButton* button : std::as_const(m_cmdTisch)) {
        button->raise();
        button->show();
    }
    m_shape1->lower();
}

void Form1::placeTableButtons() {
    // Spacing constants: 100 / 9 and 100 / 3, rounded.
    constexpr qint32 kSpaceX = 11;
    constexpr qint32 kSpaceY = 33;
    qint32 columnPitch = RoundHalfEvenToInt(kShape1.width / kTableButtonColumns + kSpaceX);
    SnapToPixelX(columnPitch, m_scaled);
    qint32 rowPitch = RoundHalfEvenToInt(kShape1.height / kTableButtonRows + kSpaceY);
    SnapToPixelY(rowPitch, m_scaled);
    qint32 buttonWidth = columnPitch - 100 + kSpaceX;
    SnapToPixelX(buttonWidth, m_scaled);
    qint32 buttonHeight = rowPitch - 100 + kSpaceY;
    SnapToPixelY(buttonHeight, m_scaled);

    // Three rows of ten, left to right and top to bottom, from button 0's left edge.
    for (int i = 0; i < m_cmdTisch.size(); ++i) {
        const int r = i / kTableButtonColumns;
        const int c = i % kTableButtonColumns;
        m_cmdTisch.at(i)->setGeometry(px(kCmdTisch0.left + c * columnPitch), py(kShape1.top + r * rowPitch),
                                      px(buttonWidth), py(buttonHeight));
    }
}

bool Form1::RefreshList(qint32 SelectId, DbError* error) {
    // Both queries run before anything on screen changes: a failing database leaves the last list,
    // its selection and the table buttons as they were.
    // Each starts from the rows of the last refresh, which it keeps when the file tells that
    // nothing was written since: an idle tick then reads nothing.
    const std::optional<DataStamp> stamp = m_db.dataStamp();
    ResultSet tables = m_tableList;
    if (!tables.refresh(m_db, OrderSql::tableList(m_config.monitorNr), stamp, error))
        return false;
    ResultSet list = m_listRs;
    if (!list.refresh(m_db, OrderSql::orderList(m_config.monitorNr, m_tableFilterSql, m_sortOrder), stamp,
                      error))
        return false;

    QStringList captions(m_cmdTisch.size());
    int counter = 0;
    for (tables.moveFirst(); !tables.eof(); tables.moveNext()) {
        ++counter;
        if (counter < m_cmdTisch.size()) {
            const QVariant table = FieldValue(tables, QStringLiteral("tisch"));
            QString caption = table.toString();
            if (table.toDouble() == m_tableFilter)
                caption += QStringLiteral(" Detail");
            captions[counter] = caption;
        }
    }
    m_tableList = std::move(tables);
    // Only a caption that changed is set: each set one is measured and drawn again.
    for (int i = 1; i < m_cmdTisch.size(); ++i) {
        if (m_cmdTisch.at(i)->text() != captions.at(i))
            m_cmdTisch.at(i)->setText(captions.at(i));
    }

    m_listRs.close();
    m_listRs = std::move(list);
    if (SelectId > 0)
        m_listRs.find(QStringLiteral("id"), SelectId);
    m_kitchen->listRead(m_listRs, m_tableFilterSql);

    if (m_grid->dataSource() != &m_listRs)
        m_grid->setDataSource(&m_listRs);
    m_grid->refreshGrid();
    return true;
}

ReadRows Form1::listReader(qint32 selectId) {
    return [this, selectId](DbError* error) { return RefreshList(selectId, error); };
}

bool Form1::refreshOrRecover(qint32 selectId) {
    DbError error;
    if (ReadOrRecover(m_db, listReader(selectId), &error)) {
        readSucceeded();
        return true;
    }
    readFailed(error);
    return false;
}

void Form1::readFailed(const DbError& error) {
    const QString detail = error.description.simplified();
    switch (error.kind) {
    case DbError::Kind::Busy:
        // A lock held for a moment is usual while terminals write; only one that keeps several
        // ticks in a row from reading is worth telling.
        if (m_busyReads++ == 0)
            m_busySince = m_clock.now();
        if (m_busyReads >= kBusyReadsShown)
            showBanner(Banner::Busy, QStringLiteral("Datenbank belegt seit %1"), m_busySince, detail);
        return;
    case DbError::Kind::Lost:
        m_busyReads = 0;
        showBanner(Banner::Lost, QStringLiteral("Keine Verbindung zur Datenbank seit %1"), m_clock.now(),
                   detail);
        return;
    case DbError::Kind::Refused:
        m_busyReads = 0;
        // The driver's own words: a missing column or table is for the administrator to mend.
        showBanner(Banner::Failed, QStringLiteral("Datenbankfehler seit %1: ") + detail, m_clock.now(),
                   QString());
        return;
    }
}

void Form1::lockedSince(const QDateTime& since, const DbError& error) {
    if (m_busyReads == 0 || since < m_busySince)
        m_busySince = since;
    m_busyReads = qMax(m_busyReads, kBusyReadsShown);
    showBanner(Banner::Busy, QStringLiteral("Datenbank belegt seit %1"), m_busySince,
               error.description.simplified());
}

void Form1::showBanner(Banner kind, const QString& text, const QDateTime& since, const QString& detail) {
    // While the trouble stays the same, the banner keeps the time it began.
    const QDateTime from = kind == m_bannerShown && kind != Banner::Busy ? m_bannerSince : since;
    const QString shown = text.arg(from.toString(QStringLiteral("HH:mm:ss")));
    if (kind == m_bannerShown && shown == m_banner->text())
        return;
    m_bannerShown = kind;
    m_bannerSince = from;
    m_banner->setText(shown);
    placeBanner();
    m_banner->show();
    m_banner->raise();
    WriteStderrLine(detail.isEmpty() ? QStringLiteral("Ordisp: %1").arg(shown)
                                     : QStringLiteral("Ordisp: %1: %2").arg(shown, detail));
}

void Form1::readSucceeded() {
    m_busyReads = 0;
    if (m_bannerShown == Banner::None)
        return;
    const Banner was = m_bannerShown;
    m_bannerShown = Banner::None;
    m_banner->hide();
    // Hidden, it must not be read out either.
    m_banner->clear();
    const QString now = m_clock.now().toString(QStringLiteral("HH:mm:ss"));
    WriteStderrLine(was == Banner::Lost
                        ? QStringLiteral("Ordisp: Verbindung zur Datenbank wiederhergestellt um %1").arg(now)
                        : QStringLiteral("Ordisp: Datenbank wieder lesbar um %1").arg(now));
}

void Form1::placeBanner() {
    // Over the column headers: the rows of the last list stay readable below it.
    const QRect grid = m_grid->geometry();
    const int height = qMax(m_grid->headerLineHeight(), m_banner->sizeHint().height());
    m_banner->setGeometry(grid.left(), grid.top(), grid.width(), height);
}

bool Form1::selectedId(qint32* id) const {
    return CurrentOrderId(m_listRs, id);
}

void Form1::Timer1_Timer() {
    m_timer1->stop();
    qint32 id = 0;
    selectedId(&id);
    const int count = id != 0 ? m_listRs.rowCount() : 0;
    if (id != 0) {
        if (refreshOrRecover(id) && m_listRs.rowCount() != count)
            refreshOrRecover(0);
    } else {
        refreshOrRecover(0);
    }
    m_kitchen->tick();
    if (!m_closing)
        m_timer1->start();
}

void Form1::DataGrid1_HeadClick(int ColIndex) {
    qint32 id = 0;
    selectedId(&id);
    switch (ColIndex) {
    case 0:
        m_sortOrder = kSortInsdate;
        break;
    case 1:
        m_sortOrder = kSortTischStatus;
        break;
    case 5:
        m_sortOrder = kSortStatusInsdate;
        break;
    default:
        break;
    }
    refreshOrRecover(id);
}

void Form1::cmdIA_Click() {
    setStatus(StatusInProgress);
}

void Form1::cmdOK_Click() {
    setStatus(StatusDone);
}

void Form1::setStatus(int status) {
    qint32 id = 0;
    if (!selectedId(&id))
        return;
    runStatement(OrderSql::setStatus(status, id), id);
}

void Form1::cmdDel_Click() {
    qint32 id = 0;
    if (!selectedId(&id))
        return;
    if (!CurrentOrderIsDone(m_listRs)) {
        m_messages.show(MsgExclamation, OnlyDoneDeletableText());
        return;
    }
    m_kitchen->deletedHere(id);
    runStatement(OrderSql::deleteOrder(id), 0);
}

void Form1::runStatement(const QString& sql, qint32 selectId) {
    const QDateTime pressed = m_clock.now();
    const PressOutcome outcome = RunPress(m_db, sql, listReader(selectId));
    if (outcome.readBack) {
        readSucceeded();
    } else {
        readFailed(outcome.readError);
        if (!outcome.written && outcome.statementError.busy())
            lockedSince(pressed, outcome.statementError);
    }
    // Whatever kept the statement from running, the cook must not believe the dish was marked.
    if (!outcome.written)
        m_messages.show(MsgExclamation, ChangeNotSavedText());
}

void Form1::cmdEsc_Click() {
    close();
}

void Form1::cmdTisch_Click(int Index) {
    if (Index < 0 || Index >= m_cmdTisch.size())
        return;
    if (Index == 0) {
        m_tableFilter = 0;
        m_tableFilterSql.clear();
    } else {
        const double number = CaptionNumber(m_cmdTisch.at(Index)->text());
        if (number == m_tableFilter) {
            if (m_detail) {
                m_detail->Init(m_tableFilter);
                m_detail->showDetail();
            }
        } else {
            const std::optional<qint16> table = TableNumber(number);
            if (!table) {
                m_messages.show(MsgExclamation,
                                QStringLiteral("Tisch %1 kann nicht gewählt werden: Tischnummern reichen "
                                               "von -32768 bis 32767.")
                                    .arg(m_cmdTisch.at(Index)->text().trimmed()));
                return;
            }
            m_tableFilter = *table;
            m_tableFilterSql = OrderSql::tableFilter(m_tableFilter);
            m_sortOrder = kSortTischGangStatus;
        }
    }
    refreshOrRecover(0);
}

void Form1::Form_Resize() {
    const double tppX = m_scaled.twipsPerPixelX();
    const double tppY = m_scaled.twipsPerPixelY();
    LayoutInput in;
    in.clientWidth = width() * tppX;
    in.clientHeight = height() * tppY;
    in.gridTop = kGrid.top;
    in.gridWidth = m_gridWidth;
    in.gridHeight = m_gridHeight;
    in.cmdOKWidth = kCmdOK.width;
    in.cmdEscWidth = kCmdEsc.width;
    for (int i = 0; i < 6; ++i)
        in.columnWidths[i] = m_grid->columnWidthTwips(i);

    const LayoutResult out = ComputeLayout(in);
    m_gridWidth = out.gridWidth;
    m_gridHeight = out.gridHeight;
    m_actionLeft = out.actionButtonsLeft;
    m_escLeft = out.escLeft;
    m_escTop = out.escTop;

    m_grid->setGeometry(px(kGrid.left), py(kGrid.top), px(m_gridWidth), py(m_gridHeight));
    if (out.descriptionWidthChanged)
        m_grid->setColumnWidthTwips(4, out.descriptionWidth);
    m_cmdOK->move(px(m_actionLeft), py(kCmdOK.top));
    m_cmdIA->move(px(m_actionLeft), py(kCmdIA.top));
    m_cmdDel->move(px(m_actionLeft), py(kCmdDel.top));
    m_cmdEsc->move(px(m_escLeft), py(m_escTop));
    m_kitchen->placeStrip(m_grid);
    placeBanner();
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_frameFixed)
        return;
    m_frameFixed = true;
    // Once framed, take the frame off the configured outer size and put the frame at (LEFT, 0).
    QTimer::singleShot(0, this, [this] {
        const QSize frame = frameGeometry().size() - size();
        if (frame.width() <= 0 && frame.height() <= 0)
            return;
        placeWindow();
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        m_closing = true;
        m_timer1->stop();
        if (m_listRs.isOpen())
            m_listRs.close();
        m_db.close();
        QCoreApplication::exit(0);
    }
    event->accept();
}

} // namespace ordisp
