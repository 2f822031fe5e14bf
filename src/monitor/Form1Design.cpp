#include "Form1Design.h"
#include "Form1.h"

#include "DataGrid.h"
#include "DesignLook.h"
#include "Form1Layout.h"
#include "KitchenSignals.h"
#include "ScaledScreen.h"
#include "Screen.h"
#include "Twips.h"
#include "WrappingButton.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

// How the main window builds, scales and lays out its controls.
namespace ordisp {

using namespace form1;

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

} // namespace ordisp
