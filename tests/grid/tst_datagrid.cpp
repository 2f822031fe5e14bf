#include "DataGrid.h"
#include "ResultSet.h"
#include "ResultSetModel.h"
#include "Screen.h"

#include <QAbstractItemModelTester>
#include <QBackingStore>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QScrollBar>
#include <QtTest>

using namespace ordisp;

namespace {

ResultSet makeSet(int rows) {
    ResultData data;
    data.columns = {{QStringLiteral("id"), ColumnKind::Other},
                    {QStringLiteral("tisch"), ColumnKind::Other},
                    {QStringLiteral("txt"), ColumnKind::Character}};
    for (int i = 1; i <= rows; ++i)
        data.rows.append({qlonglong(i), 10 + i, QStringLiteral("Gericht %1").arg(i)});
    ResultSet rs;
    rs.assign(data, QStringLiteral("SELECT"));
    return rs;
}

QList<GridColumn> designColumns() {
    return {
        {QStringLiteral("Zeit"), QStringLiteral("insdate"), 1005.17, false, {}},
        {QStringLiteral("Tisch"), QStringLiteral("tisch"), 720.00, false, {}},
        {QStringLiteral("Gang"), QStringLiteral("gang"), 750.05, false, {}},
        {QStringLiteral("Menge"), QStringLiteral("menge"), 810.14, false, {}},
        {QStringLiteral("Bezeichnung"), QStringLiteral("txt"), 5430.05, true, {}},
        {QStringLiteral("Status"), QStringLiteral("status"), 810.14, false, {}},
    };
}

// Lines by id, each showing its id in its text unless texts says otherwise.
ResultSet setOf(const QList<int>& ids, const QHash<int, QString>& texts = {}) {
    ResultData data;
    data.columns = {{QStringLiteral("id"), ColumnKind::Other},
                    {QStringLiteral("tisch"), ColumnKind::Other},
                    {QStringLiteral("txt"), ColumnKind::Character}};
    for (int id : ids)
        data.rows.append({qlonglong(id), 10 + id, texts.value(id, QStringLiteral("Gericht %1").arg(id))});
    ResultSet rs;
    rs.assign(data, QStringLiteral("SELECT"));
    return rs;
}

// The viewport's pixels as they are in the window's backing store, i.e. on screen.
QImage shown(const DataGrid& grid) {
    QPaintDevice* device = grid.window()->backingStore()->paintDevice();
    if (device->devType() != QInternal::Image)
        return {};
    const QRect rect(grid.viewport()->mapTo(grid.window(), QPoint(0, 0)), grid.viewport()->size());
    return static_cast<QImage*>(device)->copy(rect);
}

// Gathers what a widget is asked to paint.
class PaintedArea : public QObject {
public:
    explicit PaintedArea(QWidget* widget) { widget->installEventFilter(this); }
    QRegion region;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

int selectedRow(const DataGrid& grid) {
    const QModelIndexList rows = grid.selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first().row() : (rows.isEmpty() ? -1 : -2);
}

} // namespace

class TestDataGrid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void columnWidthsInPixels_data();
    void columnWidthsInPixels();
    void widthsSurviveNewDataSource();
    void draggedWidthBecomesTwips();
    void columnByCaption();
    void selectionFollowsCurrentRow();
    void clickMovesCurrentRow();
    void headerClickReportsPosition_data();
    void headerClickReportsPosition();
    void captionAboveHeaders();
    void unchangedRefreshTouchesNothing();
    void tallRowsAndWrapping();
    void refreshRepaintsOnlyChanges_data();
    void refreshRepaintsOnlyChanges();
};

void TestDataGrid::columnWidthsInPixels_data() {
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<QList<int>>("pixels");
    QTest::newRow("96 dpi") << 15.0 << QList<int>{67, 48, 50, 54, 362, 54};
    QTest::newRow("120 dpi") << 12.0 << QList<int>{84, 60, 63, 68, 453, 68};
}

void TestDataGrid::columnWidthsInPixels() {
    QFETCH(double, twipsPerPixel);
    QFETCH(QList<int>, pixels);
    const FixedScreen screen(twipsPerPixel);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    for (int i = 0; i < pixels.size(); ++i)
        QCOMPARE(grid.columnWidth(i), pixels.at(i));
    QCOMPARE(grid.columnWidthTwips(0), 1005.17);

    grid.setColumnWidthTwips(4, 7469.5);
    QCOMPARE(grid.columnWidthTwips(4), 7469.5); // the fraction is kept
    QCOMPARE(grid.columnWidth(4), qRound(7469.5 / twipsPerPixel));
    QCOMPARE(grid.columnWidthTwips(3), 810.14);
}

void TestDataGrid::widthsSurviveNewDataSource() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    grid.setColumnWidthTwips(4, 3000);
    ResultSet rs = makeSet(3);
    grid.setDataSource(&rs); // resets the model
    QCOMPARE(grid.columnWidth(4), 200);
    QCOMPARE(grid.columnWidth(0), 67);
    QCOMPARE(grid.columnWidthTwips(4), 3000.0);
}

void TestDataGrid::draggedWidthBecomesTwips() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    grid.horizontalHeader()->resizeSection(1, 100); // as a drag by the user does
    QCOMPARE(grid.columnWidthTwips(1), 1500.0);
    QCOMPARE(grid.columnWidthTwips(2), 750.05);
}

void TestDataGrid::columnByCaption() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    QCOMPARE(grid.columnByCaption(QStringLiteral("Status")), 5);
    QCOMPARE(grid.columnByCaption(QStringLiteral("Zeit")), 0);
    QCOMPARE(grid.columnByCaption(QStringLiteral("status")), -1);
}

void TestDataGrid::selectionFollowsCurrentRow() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    QAbstractItemModelTester tester(grid.resultModel(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setColumns(designColumns());
    ResultSet rs = makeSet(4);
    grid.setDataSource(&rs);
    QCOMPARE(selectedRow(grid), 0); // a fresh result stands on its first row

    rs.setCurrentRow(2);
    grid.refreshGrid();
    QCOMPARE(selectedRow(grid), 2);

    rs.setCurrentRow(-1); // at its end
    grid.refreshGrid();
    QCOMPARE(selectedRow(grid), -1);
    QVERIFY(rs.eof());

    rs = makeSet(0);
    grid.refreshGrid();
    QCOMPARE(grid.model()->rowCount(), 0);
    QCOMPARE(selectedRow(grid), -1);
}

void TestDataGrid::clickMovesCurrentRow() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    grid.setRowLines(1);
    ResultSet rs = makeSet(3);
    grid.setDataSource(&rs);
    grid.resize(800, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    const QRect cell = grid.visualRect(grid.model()->index(2, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(rs.currentRow(), 2);
    QCOMPARE(selectedRow(grid), 2);

    grid.selectRow(1);
    QCOMPARE(rs.currentRow(), 1);
}

void TestDataGrid::headerClickReportsPosition_data() {
    QTest::addColumn<int>("position");
    for (int i = 0; i < 6; ++i)
        QTest::newRow(qPrintable(designColumns().at(i).caption)) << i;
}

void TestDataGrid::headerClickReportsPosition() {
    QFETCH(int, position);
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    ResultSet rs = makeSet(3);
    grid.setDataSource(&rs);
    rs.setCurrentRow(1);
    grid.refreshGrid();
    grid.resize(900, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    QSignalSpy clicked(&grid, &DataGrid::headerClicked);
    QHeaderView* header = grid.horizontalHeader();
    const QPoint at(header->sectionViewportPosition(position) + header->sectionSize(position) / 2,
                    header->viewport()->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), position);
    QCOMPARE(selectedRow(grid), 1); // a header click selects no column
    QCOMPARE(rs.currentRow(), 1);
}

void TestDataGrid::captionAboveHeaders() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    grid.resize(900, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QHeaderView* header = grid.horizontalHeader();
    const int plainHeight = header->height();
    QCOMPARE(grid.headerLineHeight(), plainHeight);

    grid.setCaption(QStringLiteral("Gang  0"));
    QCoreApplication::processEvents();
    auto* caption = header->findChild<QLabel*>(QStringLiteral("gridCaption"));
    QVERIFY(caption);
    QVERIFY(caption->isVisible());
    QCOMPARE(caption->text(), QStringLiteral("Gang  0"));
    QVERIFY(header->height() > plainHeight);
    QCOMPARE(header->viewport()->y(), caption->height());
    QCOMPARE(grid.headerLineHeight(), header->height() - caption->height());
    QVERIFY(header->viewport()->height() >= plainHeight - 2);
    // The rows start below caption and headers.
    QVERIFY(grid.viewport()->y() >= header->height());

    QSignalSpy clicked(&grid, &DataGrid::headerClicked);
    QTest::mouseClick(caption, Qt::LeftButton, {}, caption->rect().center());
    QCOMPARE(clicked.count(), 0);

    grid.setCaption(QString());
    QCoreApplication::processEvents();
    QVERIFY(!caption->isVisible());
    QCOMPARE(header->height(), plainHeight);
}

void TestDataGrid::unchangedRefreshTouchesNothing() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    grid.setRowLines(4);
    ResultSet rs = makeSet(40);
    grid.setDataSource(&rs);
    grid.resize(800, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.selectRow(30);
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum() / 2);
    const int scroll = grid.verticalScrollBar()->value();
    QVERIFY(scroll > 0);
    const QModelIndex current = grid.currentIndex();

    QSignalSpy reset(grid.model(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
    QSignalSpy layout(grid.model(), &QAbstractItemModel::layoutChanged);
    QSignalSpy selection(grid.selectionModel(), &QItemSelectionModel::selectionChanged);
    QSignalSpy currentMoved(grid.selectionModel(), &QItemSelectionModel::currentChanged);

    ResultSet fresh = makeSet(40); // the same rows, queried again
    fresh.setCurrentRow(30);
    rs = fresh;
    grid.refreshGrid();

    QCOMPARE(reset.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(layout.count(), 0);
    QCOMPARE(selection.count(), 0);
    QCOMPARE(currentMoved.count(), 0);
    QCOMPARE(grid.verticalScrollBar()->value(), scroll);
    QCOMPARE(grid.currentIndex(), current);
}

void TestDataGrid::tallRowsAndWrapping() {
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    QFont cell(QStringLiteral("Arial"));
    cell.setPointSize(12);
    grid.setCellFont(cell);
    grid.setRowLines(4);
    grid.setColumns(designColumns());
    ResultSet rs = makeSet(2);
    grid.setDataSource(&rs);
    QVERIFY(grid.rowHeight(0) >= 4 * QFontMetrics(cell).lineSpacing());
    QVERIFY(grid.rowHeight(0) < 6 * QFontMetrics(cell).lineSpacing());
    QVERIFY(!grid.wordWrap());
    QVERIFY(grid.itemDelegateForColumn(4) != nullptr);
    QVERIFY(grid.itemDelegateForColumn(3) == nullptr);
    QVERIFY(grid.editTriggers() == QAbstractItemView::NoEditTriggers);
}

void TestDataGrid::refreshRepaintsOnlyChanges_data() {
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<int>("rewritten");
    QTest::addColumn<bool>("scrolled");
    QList<int> all;
    for (int id = 1; id <= 40; ++id)
        all << id;
    QList<int> moved = all;
    moved.move(4, 12);
    QList<int> added = all;
    added.insert(3, 100);
    QList<int> deleted = all;
    deleted.removeAt(6);
    QList<int> addedAbove = all;
    addedAbove.insert(1, 100);
    QTest::newRow("line moves") << moved << 0 << false;
    QTest::newRow("line comes in") << added << 0 << false;
    QTest::newRow("line deleted") << deleted << 0 << false;
    QTest::newRow("line rewritten") << all << 3 << false;
    QTest::newRow("scrolled, line comes in above") << addedAbove << 0 << true;
    QTest::newRow("scrolled, line deleted above") << deleted << 0 << true;
    QTest::newRow("scrolled, last lines deleted") << all.mid(0, 38) << 0 << true;
    QTest::newRow("tall line comes in") << added << 100 << false;
}

// A refresh draws the new, moved and rewritten lines only, the lines below moved on screen as they
// are; the grid then looks exactly as drawn whole.
void TestDataGrid::refreshRepaintsOnlyChanges() {
    QFETCH(QList<int>, ids);
    QFETCH(int, rewritten);
    QFETCH(bool, scrolled);
    const FixedScreen screen(15.0);
    DataGrid grid(screen);
    grid.setColumns(designColumns());
    ResultSet rs = makeSet(40);
    rs.setCurrentRow(8);
    grid.setDataSource(&rs);
    grid.resize(800, 400);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    if (scrolled)
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum() - 5);
    QTest::qWait(20);
    QVERIFY(!shown(grid).isNull());

    const QHash<int, QString> texts = {
        {3, QStringLiteral("Gericht 3 ohne Zwiebeln")},
        {100, QStringLiteral("Neu: ein langer Text, der in der Spalte Bezeichnung nicht auf eine Zeile "
                             "passt und darum mehrere Zeilen hoch gezeichnet wird")}};
    ResultSet fresh = setOf(ids, rewritten ? QHash<int, QString>{{rewritten, texts.value(rewritten)}}
                                           : QHash<int, QString>{});
    // The selected line stays selected wherever it is now.
    fresh.moveFirst();
    fresh.find(QStringLiteral("id"), 9);
    rs = fresh;
    PaintedArea painted(grid.viewport());
    grid.refreshGrid();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    const QImage partly = shown(grid);
    qint64 area = 0;
    for (const QRect& rect : painted.region)
        area += qint64(rect.width()) * rect.height();
    const qint64 whole = qint64(grid.viewport()->width()) * grid.viewport()->height();
    QVERIFY2(area > 0 && area <= whole / 2, qPrintable(QStringLiteral("%1 of %2").arg(area).arg(whole)));

    grid.viewport()->repaint();
    QCOMPARE(partly, shown(grid));
}

QTEST_MAIN(TestDataGrid)
#include "tst_datagrid.moc"
