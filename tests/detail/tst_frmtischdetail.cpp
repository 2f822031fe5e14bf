#include "DataGrid.h"
#include "Database.h"
#include "MessageSink.h"
#include "OrderSql.h"
#include "ResultSet.h"
#include "ResultSetModel.h"
#include "Screen.h"
#include "TestDb.h"
#include "frmTischDetail.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace ordisp;

namespace {

constexpr qint32 kMonitor = 3;

const QString kOnlyDone = QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.");
const QString kChangeLost =
    QStringLiteral("Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.");

struct Line {
    qint16 table;
    qint32 course;
    qint32 guest;
    QString text;
    QVariant status = 0;
    qint32 monitor = kMonitor;
    qint64 id = 0; // 0: the next free one
};

// A real order database in a temporary folder, the window on it, and a message recorder. Lines are
// arranged and read back through the database's side connection, as another station would.
class Fixture {
public:
    explicit Fixture(double twipsPerPixel = 15.0, const QRect& area = QRect(0, 0, 3840, 2160))
        : m_db(QStringLiteral("detail-%1").arg(++s_count))
        , m_screen(twipsPerPixel, area) {
        DbError error;
        if (!data.isValid() || !m_db.open(data.settings(), &error))
            qFatal("test database: %s %s", qPrintable(data.errorText()), qPrintable(error.description));
        window = std::make_unique<frmTischDetail>(m_db, kMonitor, messages, m_screen);
    }
    ~Fixture() {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    qint64 add(const Line& line) {
        TestDb::Order order;
        order.id = line.id;
        order.monitornr = line.monitor;
        order.tisch = line.table;
        order.gang = line.course;
        order.gast = line.guest;
        order.txt = line.text;
        order.status = line.status;
        const qint64 id = data.addOrder(order);
        if (id < 0)
            qFatal("insert: %s", qPrintable(data.errorText()));
        return id;
    }

    // The stored status of the line with that text: "null" for NULL, invalid when the line is gone.
    QVariant storedStatus(const QString& text) {
        const QString where = QStringLiteral("txt = '%1'").arg(text);
        if (data.countOrders(where) != 1)
            return QVariant();
        const QVariant status = data.scalar(QStringLiteral("SELECT status FROM ordisp WHERE ") + where);
        return status.isNull() ? QVariant(QStringLiteral("null")) : QVariant(status.toInt());
    }

    Database& db() { return m_db; }

    void open(qint16 table) {
        window->Init(table);
        window->showDetail();
    }

    DataGrid* grid(int k) const { return window->findChild<DataGrid*>(QStringLiteral("DataGrid%1").arg(k)); }
    QPushButton* button(const char* name) const {
        return window->findChild<QPushButton*>(QLatin1String(name));
    }

    // The cells of one column of grid k as shown, top to bottom.
    QStringList shown(int k, int column) const {
        QStringList cells;
        const ResultSetModel* model = grid(k)->resultModel();
        for (int row = 0; row < model->rowCount(); ++row)
            cells << model->data(model->index(row, column)).toString();
        return cells;
    }

    void clickRow(int k, int row) const {
        DataGrid* g = grid(k);
        const QRect cell = g->visualRect(g->model()->index(row, 2));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

    int selectedRow(int k) const {
        const QModelIndexList rows = grid(k)->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    }

    RecordingMessageSink messages;
    std::unique_ptr<frmTischDetail> window;

    TestDb data;

private:
    static inline int s_count = 0;
    Database m_db;
    FixedScreen m_screen;
};

constexpr int kStatus = 3; // position of the "Status" column
constexpr int kText = 2;
constexpr int kGuest = 0;

} // namespace

class TestFrmTischDetail final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initDoesNotLoad();
    void tableWithoutLines();
    void linesOfOneCourse();
    void orderedByGuest();
    void courseToGrid_data();
    void courseToGrid();
    void otherMonitorsAndTablesAbsent();
    void statusTexts();
    void buttonsActOnClickedGrid();
    void focusChoosesGrid();
    void inArbeitKeepsLineSelected();
    void lineGoneAfterStatusChange();
    void deleteDoneSelectsFirstRow();
    void deleteRefused_data();
    void deleteRefused();
    void idBeyond32Bits();
    void initWhileOpenKeepsTable();
    void closeAndReopen();
    void escapeCloses();
    void layout_data();
    void layout();
    void windowFrame();
    void fitsScreen_data();
    void fitsScreen();
    void buttonColoursVisible();
    void pressNotWrittenIsTold_data();
    void pressNotWrittenIsTold();
    void replacedFileFollowed();
    void lostDatabaseKeepsRows();
    void loadWithoutDatabase();
};

void TestFrmTischDetail::initDoesNotLoad() {
    Fixture f;
    f.window->Init(12);
    QCOMPARE(f.window->DetailTable(), qint16(12));
    QVERIFY(!f.window->isLoaded());
    QVERIFY(!f.window->isVisible());
    QVERIFY(f.grid(0) == nullptr);
}

void TestFrmTischDetail::tableWithoutLines() {
    Fixture f;
    f.add({4, 1, 1, QStringLiteral("Suppe")});
    f.open(12);
    QVERIFY(f.window->isVisible());
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Details - Tisch 12"));
    for (int k = 0; k < frmTischDetail::kGridCount; ++k) {
        QVERIFY(f.grid(k));
        QCOMPARE(f.grid(k)->caption(), QStringLiteral("Gang  %1").arg(k));
        QCOMPARE(f.grid(k)->model()->rowCount(), 0);
    }
    QTest::mouseClick(f.grid(4)->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    for (const char* name : {"cmdIA", "cmdOK", "cmdDel"})
        f.button(name)->click();
    QVERIFY(f.messages.shown().isEmpty());
    QCOMPARE(f.storedStatus(QStringLiteral("Suppe")), QVariant(0));
}

void TestFrmTischDetail::linesOfOneCourse() {
    Fixture f;
    f.add({7, 1, 2, QStringLiteral("Schnitzel")});
    f.add({7, 1, 1, QStringLiteral("Forelle")});
    f.open(7);
    QCOMPARE(f.shown(1, kText), QStringList({QStringLiteral("Forelle"), QStringLiteral("Schnitzel")}));
    for (int k = 0; k < frmTischDetail::kGridCount; ++k) {
        if (k != 1)
            QCOMPARE(f.grid(k)->model()->rowCount(), 0);
    }
    // Grid 1 is the middle one of the top row.
    QCOMPARE(f.grid(1)->geometry().top(), f.grid(0)->geometry().top());
    QCOMPARE(f.grid(1)->geometry().left(), f.grid(0)->geometry().right() + 1);
}

void TestFrmTischDetail::orderedByGuest() {
    Fixture f;
    f.add({7, 2, 3, QStringLiteral("Gast drei")});
    f.add({7, 2, 1, QStringLiteral("Gast eins")});
    f.open(7);
    QCOMPARE(f.shown(2, kGuest), QStringList({QStringLiteral("1"), QStringLiteral("3")}));
    QCOMPARE(f.shown(2, kText), QStringList({QStringLiteral("Gast eins"), QStringLiteral("Gast drei")}));
}

void TestFrmTischDetail::courseToGrid_data() {
    QTest::addColumn<int>("course");
    QTest::addColumn<int>("grid"); // -1: in no grid
    QTest::newRow("course 0") << 0 << 0;
    QTest::newRow("course 4") << 4 << 4;
    QTest::newRow("course 8") << 8 << 8;
    QTest::newRow("course 9") << 9 << -1;
    QTest::newRow("course -1") << -1 << -1;
    QTest::newRow("course 100000") << 100000 << -1;
}

void TestFrmTischDetail::courseToGrid() {
    QFETCH(int, course);
    QFETCH(int, grid);
    Fixture f;
    f.add({7, course, 1, QStringLiteral("Gericht")});
    f.open(7);
    for (int k = 0; k < frmTischDetail::kGridCount; ++k)
        QCOMPARE(f.grid(k)->model()->rowCount(), k == grid ? 1 : 0);
}

void TestFrmTischDetail::otherMonitorsAndTablesAbsent() {
    Fixture f;
    f.add({7, 0, 1, QStringLiteral("hier")});
    f.add({7, 0, 2, QStringLiteral("anderer Monitor"), 0, kMonitor + 1});
    f.add({8, 0, 3, QStringLiteral("anderer Tisch")});
    f.add({-7, 0, 4, QStringLiteral("negativer Tisch")});
    f.open(7);
    QCOMPARE(f.shown(0, kText), QStringList({QStringLiteral("hier")}));
}

void TestFrmTischDetail::statusTexts() {
    Fixture f;
    f.add({7, 3, 1, QStringLiteral("neu"), 0});
    f.add({7, 3, 2, QStringLiteral("in Arbeit"), 1});
    f.add({7, 3, 3, QStringLiteral("fertig"), 2});
    f.add({7, 3, 4, QStringLiteral("drei"), 3});
    f.add({7, 3, 5, QStringLiteral("leer"), QVariant()});
    f.open(7);
    QCOMPARE(f.shown(3, kStatus), QStringList({QStringLiteral("NEU"), QStringLiteral("i.A."),
                                               QStringLiteral("OK"), QStringLiteral("3"), QString()}));
}

void TestFrmTischDetail::buttonsActOnClickedGrid() {
    Fixture f;
    f.add({7, 2, 1, QStringLiteral("Gang zwei")});
    f.add({7, 5, 1, QStringLiteral("Gang fünf")});
    f.open(7);
    f.clickRow(2, 0);
    QCOMPARE(f.window->CurrentGrid(), qint16(2));
    f.clickRow(5, 0);
    QCOMPARE(f.window->CurrentGrid(), qint16(5));
    // Only the chosen grid shows its line in the highlight colour.
    const QColor highlight = QApplication::palette().color(QPalette::Highlight);
    QCOMPARE(f.grid(5)->palette().color(QPalette::Highlight), highlight);
    QVERIFY(f.grid(2)->palette().color(QPalette::Highlight) != highlight);
    f.button("cmdOK")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("Gang fünf")), QVariant(2));
    QCOMPARE(f.storedStatus(QStringLiteral("Gang zwei")), QVariant(0));
    QCOMPARE(f.shown(5, kStatus), QStringList({QStringLiteral("OK")}));
    QCOMPARE(f.shown(2, kStatus), QStringList({QStringLiteral("NEU")}));
}

void TestFrmTischDetail::focusChoosesGrid() {
    Fixture f;
    f.add({7, 4, 1, QStringLiteral("Gang vier")});
    f.add({7, 6, 1, QStringLiteral("Gang sechs")});
    f.open(7);
    QApplication::setActiveWindow(f.window.get());
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    f.grid(4)->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(f.window->CurrentGrid(), qint16(4));
    f.grid(6)->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(f.window->CurrentGrid(), qint16(6));
    // A button taking the focus leaves the choice alone.
    f.button("cmdIA")->setFocus(Qt::TabFocusReason);
    f.button("cmdIA")->click();
    QCOMPARE(f.window->CurrentGrid(), qint16(6));
    QCOMPARE(f.storedStatus(QStringLiteral("Gang sechs")), QVariant(1));
    QCOMPARE(f.storedStatus(QStringLiteral("Gang vier")), QVariant(0));
}

void TestFrmTischDetail::inArbeitKeepsLineSelected() {
    Fixture f;
    f.add({7, 0, 1, QStringLiteral("eins")});
    f.add({7, 0, 2, QStringLiteral("zwei")});
    f.add({7, 0, 3, QStringLiteral("drei")});
    f.open(7);
    f.clickRow(0, 1);
    f.button("cmdIA")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("zwei")), QVariant(1));
    QCOMPARE(f.selectedRow(0), 1);
    QCOMPARE(f.window->CourseRows(0).currentRow(), 1);
    QCOMPARE(f.shown(0, kStatus),
             QStringList({QStringLiteral("NEU"), QStringLiteral("i.A."), QStringLiteral("NEU")}));
    // Done, then back to in progress: both change the same line again.
    f.button("cmdOK")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("zwei")), QVariant(2));
    f.button("cmdIA")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("zwei")), QVariant(1));
    QCOMPARE(f.selectedRow(0), 1);
}

void TestFrmTischDetail::lineGoneAfterStatusChange() {
    Fixture f;
    f.add({7, 0, 1, QStringLiteral("eins")});
    f.add({7, 0, 2, QStringLiteral("zwei")});
    f.open(7);
    f.clickRow(0, 1);
    // Another station moves the line to another course before the press.
    QVERIFY(f.data.exec(QStringLiteral("UPDATE ordisp SET gang = 1 WHERE txt = 'zwei'")));
    f.button("cmdOK")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("zwei")), QVariant(2));
    QCOMPARE(f.shown(0, kText), QStringList({QStringLiteral("eins")}));
    QCOMPARE(f.selectedRow(0), -1);
    // Without a current row the next press does nothing.
    f.button("cmdIA")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("eins")), QVariant(0));
    QVERIFY(f.messages.shown().isEmpty());
}

void TestFrmTischDetail::deleteDoneSelectsFirstRow() {
    Fixture f;
    f.add({7, 8, 1, QStringLiteral("eins"), 0});
    f.add({7, 8, 2, QStringLiteral("zwei"), 1});
    f.add({7, 8, 3, QStringLiteral("drei"), 2});
    f.open(7);
    f.clickRow(8, 2);
    f.button("cmdDel")->click();
    QVERIFY(f.messages.shown().isEmpty());
    QVERIFY(!f.storedStatus(QStringLiteral("drei")).isValid());
    QCOMPARE(f.shown(8, kText), QStringList({QStringLiteral("eins"), QStringLiteral("zwei")}));
    QCOMPARE(f.selectedRow(8), 0);
    QCOMPARE(f.window->CourseRows(8).currentRow(), 0);
}

void TestFrmTischDetail::deleteRefused_data() {
    QTest::addColumn<QVariant>("status");
    QTest::newRow("new") << QVariant(0);
    QTest::newRow("in progress") << QVariant(1);
    QTest::newRow("unknown 3") << QVariant(3);
    QTest::newRow("null") << QVariant();
}

void TestFrmTischDetail::deleteRefused() {
    QFETCH(QVariant, status);
    Fixture f;
    f.add({7, 0, 1, QStringLiteral("Gericht"), status});
    f.open(7);
    f.clickRow(0, 0);
    f.button("cmdDel")->click();
    QCOMPARE(f.messages.shown().size(), 1);
    QCOMPARE(f.messages.shown().first().style, int(MsgExclamation));
    QCOMPARE(f.messages.shown().first().text, kOnlyDone);
    QVERIFY(f.storedStatus(QStringLiteral("Gericht")).isValid());
    QCOMPARE(f.shown(0, kText), QStringList({QStringLiteral("Gericht")}));
}

void TestFrmTischDetail::idBeyond32Bits() {
    Fixture f;
    // Cut to 32 bits, 2^32 + 5 would name the line with id 5 at another table.
    f.add({9, 0, 1, QStringLiteral("anderer Tisch"), 2, kMonitor, 5});
    f.add({7, 0, 1, QStringLiteral("großes id"), 2, kMonitor, 4294967301LL});
    f.open(7);
    f.clickRow(0, 0);
    f.button("cmdIA")->click();
    f.button("cmdDel")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("anderer Tisch")), QVariant(2));
    QCOMPARE(f.storedStatus(QStringLiteral("großes id")), QVariant(2));
}

void TestFrmTischDetail::initWhileOpenKeepsTable() {
    Fixture f;
    f.add({5, 0, 1, QStringLiteral("Tisch fünf")});
    f.add({7, 0, 1, QStringLiteral("Tisch sieben")});
    f.open(5);
    f.open(7);
    QCOMPARE(f.window->DetailTable(), qint16(7));
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Details - Tisch 5"));
    QCOMPARE(f.shown(0, kText), QStringList({QStringLiteral("Tisch fünf")}));
    // The buttons still act on the table shown.
    f.clickRow(0, 0);
    f.button("cmdOK")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("Tisch fünf")), QVariant(2));
    QCOMPARE(f.shown(0, kText), QStringList({QStringLiteral("Tisch fünf")}));
}

void TestFrmTischDetail::closeAndReopen() {
    Fixture f;
    f.add({5, 6, 1, QStringLiteral("Tisch fünf")});
    f.add({7, 0, 1, QStringLiteral("Tisch sieben")});
    f.open(5);
    f.clickRow(6, 0);
    QCOMPARE(f.window->CurrentGrid(), qint16(6));
    f.button("cmdEsc")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.window->isVisible());
    QVERIFY(!f.window->isLoaded());
    QVERIFY(f.window->findChildren<DataGrid*>().isEmpty());
    for (int k = 0; k < frmTischDetail::kGridCount; ++k)
        QVERIFY(!f.window->CourseRows(k).isOpen());
    QCOMPARE(f.window->DetailTable(), qint16(5));
    QCOMPARE(f.window->CurrentGrid(), qint16(6));

    f.open(7);
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Details - Tisch 7"));
    QCOMPARE(f.window->findChildren<DataGrid*>().size(), frmTischDetail::kGridCount);
    QCOMPARE(f.shown(0, kText), QStringList({QStringLiteral("Tisch sieben")}));
    QCOMPARE(f.grid(6)->model()->rowCount(), 0);
    // The grid chosen in the last opening is gone from view; the buttons start on grid 0.
    QCOMPARE(f.window->CurrentGrid(), qint16(0));
    f.button("cmdOK")->click();
    QCOMPARE(f.storedStatus(QStringLiteral("Tisch sieben")), QVariant(2));
}

void TestFrmTischDetail::escapeCloses() {
    Fixture f;
    f.open(7);
    QTest::keyClick(f.window.get(), Qt::Key_Escape);
    QVERIFY(!f.window->isVisible());
    QVERIFY(!f.window->isLoaded());
    // The title bar's close box unloads the same way.
    f.open(7);
    QVERIFY(f.window->isLoaded());
    QVERIFY(f.window->close());
    QVERIFY(!f.window->isLoaded());
}

void TestFrmTischDetail::layout_data() {
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QRect>("grid0");
    QTest::addColumn<QRect>("cmdDel");
    QTest::newRow("96 dpi") << 15.0 << QSize(1327, 641) << QRect(8, 8, 377, 209) << QRect(1184, 264, 129, 57);
    // 1990.5 and 961.5 pixels: halves go to the even neighbour.
    QTest::newRow("144 dpi") << 10.0 << QSize(1990, 962) << QRect(12, 12, 566, 314)
                             << QRect(1776, 396, 194, 86);
}

void TestFrmTischDetail::layout() {
    QFETCH(double, twipsPerPixel);
    QFETCH(QSize, client);
    QFETCH(QRect, grid0);
    QFETCH(QRect, cmdDel);
    Fixture f(twipsPerPixel);
    f.open(7);
    QCOMPARE(f.window->size(), client);
    QCOMPARE(f.window->minimumSize(), client);
    QCOMPARE(f.window->maximumSize(), client);
    QCOMPARE(f.grid(0)->geometry(), grid0);
    QCOMPARE(f.button("cmdDel")->geometry(), cmdDel);
    // Three rows of three grids, touching without gaps.
    for (int k = 0; k < frmTischDetail::kGridCount; ++k) {
        const QRect g = f.grid(k)->geometry();
        if (k % 3 != 2)
            QCOMPARE(f.grid(k + 1)->geometry().left(), g.right() + 1);
        if (k < 6)
            QCOMPARE(f.grid(k + 3)->geometry().top(), g.bottom() + 1);
        QCOMPARE(f.grid(k)->columnWidthTwips(2), 2760.0);
        QVERIFY(f.grid(k)->isVisible());
    }
    const QStringList headers = {QStringLiteral("G"), QStringLiteral("Menge"), QStringLiteral("Bezeichnung"),
                                 QStringLiteral("Status")};
    for (int c = 0; c < headers.size(); ++c)
        QCOMPARE(f.grid(8)->model()->headerData(c, Qt::Horizontal).toString(), headers.at(c));
    QVERIFY(f.grid(8)->columns().at(2).wrap);
    // Rows hold several lines of the cell font.
    QVERIFY(f.grid(0)->verticalHeader()->defaultSectionSize() >= 3 * f.grid(0)->fontMetrics().lineSpacing());

    QCOMPARE(f.button("cmdEsc")->text(), QStringLiteral("Schließen"));
    QCOMPARE(f.button("cmdIA")->text(), QStringLiteral("in Arbeit"));
    QCOMPARE(f.button("cmdOK")->text(), QStringLiteral("Fertig"));
    QCOMPARE(f.button("cmdDel")->text(), QStringLiteral("Löschen"));
    // Tab order: grid 0, Schließen, Löschen, in Arbeit, Fertig, then the other grids.
    QList<QWidget*> expected = {f.grid(0), f.button("cmdEsc"), f.button("cmdDel"), f.button("cmdIA"),
                                f.button("cmdOK")};
    for (int k = 1; k < frmTischDetail::kGridCount; ++k)
        expected.append(f.grid(k));
    for (int i = 1; i < expected.size(); ++i) {
        QWidget* next = expected.at(i - 1)->nextInFocusChain();
        while (next && next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        QCOMPARE(next, expected.at(i));
    }
}

void TestFrmTischDetail::windowFrame() {
    // Small enough for the offscreen screen of 800 x 600 pixels.
    Fixture f(30.0);
    f.open(7);
    const Qt::WindowFlags flags = f.window->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!f.window->isModal());
    QVERIFY(f.window->parentWidget() == nullptr);
}

void TestFrmTischDetail::fitsScreen_data() {
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QSize>("client"); // the design where it fits; empty where scaled
    QTest::newRow("1920x1080") << 15.0 << QRect(0, 0, 1920, 1080) << QSize(1327, 641);
    QTest::newRow("1280x1024") << 15.0 << QRect(0, 0, 1280, 1024) << QSize();
    QTest::newRow("1024x768") << 15.0 << QRect(0, 0, 1024, 768) << QSize();
    QTest::newRow("800x600") << 15.0 << QRect(0, 0, 800, 600) << QSize();
    QTest::newRow("1024x768 120 dpi") << 12.0 << QRect(0, 0, 1024, 768) << QSize();
    QTest::newRow("2560x1440 144 dpi") << 10.0 << QRect(0, 0, 2560, 1440) << QSize(1990, 962);
    QTest::newRow("panel above") << 15.0 << QRect(0, 40, 1024, 728) << QSize();
    // Too low rather than too narrow: the height decides.
    QTest::newRow("1600x600") << 15.0 << QRect(0, 0, 1600, 600) << QSize();
}

void TestFrmTischDetail::fitsScreen() {
    QFETCH(double, twipsPerPixel);
    QFETCH(QRect, area);
    QFETCH(QSize, client);
    Fixture f(twipsPerPixel, area);
    f.open(7);
    // Scaled again once the frame is known; then it fits whole and centred.
    const auto centred = [&] {
        const QRect outer = f.window->frameGeometry();
        return area.contains(outer) && qAbs(outer.center().x() - area.center().x()) <= 1 &&
               qAbs(outer.center().y() - area.center().y()) <= 1;
    };
    QTRY_VERIFY(centred());
    const QRect outer = f.window->frameGeometry();
    const double factor = f.window->scaleFactor();
    if (client.isValid()) {
        QCOMPARE(factor, 1.0);
        QCOMPARE(f.window->size(), client);
    } else {
        QVERIFY(factor < 1.0);
        QVERIFY(outer.width() == area.width() || outer.height() == area.height());
    }
    // Every control inside the window, at the window's scale.
    const QRect inside = f.window->rect();
    for (const char* name : {"cmdEsc", "cmdIA", "cmdOK", "cmdDel"}) {
        QVERIFY2(inside.contains(f.button(name)->geometry()), name);
        QCOMPARE(f.button(name)->font().pointSizeF(), 12.0 * factor);
    }
    QVERIFY(inside.contains(f.grid(8)->geometry()));
    QCOMPARE(f.grid(8)->font().pointSizeF(), 9.75 * factor);
    QVERIFY(qAbs(f.button("cmdDel")->geometry().right() + 1 - (17760 + 1935) * factor / twipsPerPixel) <= 1);
}

void TestFrmTischDetail::buttonColoursVisible() {
    Fixture f;
    f.open(7);
    const QList<QPair<const char*, QColor>> buttons = {{"cmdIA", QColor(255, 255, 192)},
                                                       {"cmdOK", QColor(192, 255, 192)},
                                                       {"cmdDel", QColor(255, 192, 192)}};
    for (const auto& [name, colour] : buttons) {
        const QImage image = f.button(name)->grab().toImage();
        // Left of the centred caption, inside the frame.
        const QColor shown = image.pixelColor(image.width() / 8, image.height() / 2);
        QVERIFY2(qAbs(shown.red() - colour.red()) <= 24 && qAbs(shown.green() - colour.green()) <= 24 &&
                     qAbs(shown.blue() - colour.blue()) <= 24,
                 qPrintable(QStringLiteral("%1 shows %2").arg(QLatin1String(name), shown.name())));
    }
}

void TestFrmTischDetail::pressNotWrittenIsTold_data() {
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("caption");
    QTest::newRow("refused by the database") << "trigger"
                                             << "Gang  0";
    QTest::newRow("locked beyond the busy time-out") << "lock"
                                                     << "Gang  0 – Datenbank belegt";
    QTest::newRow("file moved away") << "moved"
                                     << "Gang  0 – keine Verbindung";
}

void TestFrmTischDetail::pressNotWrittenIsTold() {
    QFETCH(QString, cause);
    QFETCH(QString, caption);
    Fixture f;
    f.add({7, 0, 1, QStringLiteral("Gericht"), 2});
    if (cause == QLatin1String("trigger")) {
        QVERIFY(f.data.exec(QStringLiteral("CREATE TRIGGER no_change BEFORE UPDATE ON ordisp "
                                           "BEGIN SELECT RAISE(ABORT, 'gesperrt'); END")));
        QVERIFY(f.data.exec(QStringLiteral("CREATE TRIGGER no_delete BEFORE DELETE ON ordisp "
                                           "BEGIN SELECT RAISE(ABORT, 'gesperrt'); END")));
    }
    f.open(7);
    f.clickRow(0, 0);
    std::unique_ptr<FileLock> lock;
    const QString away = f.data.path() + QStringLiteral(".weg");
    if (cause == QLatin1String("lock")) {
        lock = std::make_unique<FileLock>(f.data.path());
        QVERIFY(lock->isHeld());
    } else if (cause == QLatin1String("moved")) {
        f.data.closeSide();
        QVERIFY(QFile::rename(f.data.path(), away));
    }
    f.button("cmdIA")->click();
    QCOMPARE(f.messages.texts(), QStringList{kChangeLost});
    QCOMPARE(f.shown(0, kStatus), QStringList({QStringLiteral("OK")}));
    QCOMPARE(f.grid(0)->caption(), caption);
    if (cause == QLatin1String("trigger")) {
        f.button("cmdDel")->click(); // one message per press
        QCOMPARE(f.messages.texts(), (QStringList{kChangeLost, kChangeLost}));
    }
    lock.reset();
    if (cause == QLatin1String("moved"))
        QVERIFY(QFile::rename(away, f.data.path()));
    QCOMPARE(f.storedStatus(QStringLiteral("Gericht")), QVariant(2));
}

void TestFrmTischDetail::replacedFileFollowed() {
    Fixture f;
    f.add({7, 0, 1, QStringLiteral("eins"), 0});
    f.open(7);
    const QString backup =
        f.data.changedCopy(QStringLiteral("UPDATE ordisp SET txt = 'aus der Sicherung' WHERE txt = 'eins'"));
    QVERIFY2(!backup.isEmpty() && f.data.moveOver(backup), qPrintable(f.data.errorText()));
    f.clickRow(0, 0);
    f.button("cmdOK")->click();
    QVERIFY(f.messages.shown().isEmpty());
    QCOMPARE(f.storedStatus(QStringLiteral("aus der Sicherung")), QVariant(2));
    QCOMPARE(f.shown(0, kText), QStringList({QStringLiteral("aus der Sicherung")}));
    QCOMPARE(f.grid(0)->caption(), QStringLiteral("Gang  0"));
}

void TestFrmTischDetail::lostDatabaseKeepsRows() {
    Fixture f;
    f.add({7, 4, 1, QStringLiteral("eins"), 0});
    f.add({7, 4, 2, QStringLiteral("zwei"), 2});
    f.open(7);
    f.clickRow(4, 1);
    f.db().close();
    const QString away = f.data.path() + QStringLiteral(".weg");
    QVERIFY(QFile::rename(f.data.path(), away));

    f.button("cmdOK")->click();
    QCOMPARE(f.messages.shown().size(), 1);
    QCOMPARE(f.messages.shown().first().style, int(MsgExclamation));
    QCOMPARE(f.messages.shown().first().text, kChangeLost);
    QCOMPARE(f.shown(4, kText), QStringList({QStringLiteral("eins"), QStringLiteral("zwei")}));
    QCOMPARE(f.selectedRow(4), 1);
    QCOMPARE(f.grid(4)->caption(), QStringLiteral("Gang  4 – keine Verbindung"));
    QCOMPARE(f.grid(3)->caption(), QStringLiteral("Gang  3"));

    f.messages.clear();
    f.button("cmdDel")->click();
    QCOMPARE(f.messages.texts(), QStringList({kChangeLost}));
    QCOMPARE(f.shown(4, kText), QStringList({QStringLiteral("eins"), QStringLiteral("zwei")}));
    QVERIFY(f.window->isVisible());

    // Back again: the next press opens the connection again, as in the main window, reads the
    // grid and clears the note.
    QVERIFY(QFile::rename(away, f.data.path()));
    QCOMPARE(f.storedStatus(QStringLiteral("zwei")), QVariant(2));
    f.messages.clear();
    f.button("cmdIA")->click();
    QVERIFY(f.messages.shown().isEmpty());
    QCOMPARE(f.grid(4)->caption(), QStringLiteral("Gang  4"));
    QCOMPARE(f.storedStatus(QStringLiteral("zwei")), QVariant(1));
    QCOMPARE(f.shown(4, kStatus), QStringList({QStringLiteral("NEU"), QStringLiteral("i.A.")}));
}

void TestFrmTischDetail::loadWithoutDatabase() {
    Fixture f;
    f.add({7, 0, 1, QStringLiteral("Gericht")});
    f.db().close();
    f.data.closeSide();
    QVERIFY(QFile::rename(f.data.path(), f.data.path() + QStringLiteral(".weg")));
    f.open(7);
    QVERIFY(f.window->isVisible());
    for (int k = 0; k < frmTischDetail::kGridCount; ++k) {
        QCOMPARE(f.grid(k)->caption(), QStringLiteral("Gang  %1 – keine Verbindung").arg(k));
        QCOMPARE(f.grid(k)->model()->rowCount(), 0);
    }
    for (const char* name : {"cmdIA", "cmdOK", "cmdDel"})
        f.button(name)->click();
    QVERIFY(f.messages.shown().isEmpty());
}

QTEST_MAIN(TestFrmTischDetail)
#include "tst_frmtischdetail.moc"
