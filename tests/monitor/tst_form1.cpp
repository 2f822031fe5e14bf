#include "Clock.h"
#include "DataGrid.h"
#include "Database.h"
#include "DbHelpers.h"
#include "Form1.h"
#include "MessageSink.h"
#include "Screen.h"
#include "TableDetailOpener.h"
#include "TestDb.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace ordisp;

namespace {

const QString kDeleteRefused = QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.");
const QString kNotSaved =
    QStringLiteral("Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.");

class FakeOpener final : public TableDetailOpener {
public:
    void Init(qint16 nTisch1) override { calls << QStringLiteral("Init %1").arg(nTisch1); }
    void showDetail() override { calls << QStringLiteral("show"); }
    QStringList calls;
};

QDateTime at(int hour, int minute) {
    return QDateTime(QDate(2024, 5, 10), QTime(hour, minute));
}

// One window on a fresh database file, with recorded messages and a pinned clock and screen.
struct Fixture {
    TestDb file;
    Database db{QStringLiteral("Form1Test")};
    AppConfig config{0, 1024, 768, 1, {}};
    RecordingMessageSink messages;
    FixedScreen screen{15.0};
    FixedClock clock{QDateTime(QDate(2024, 5, 10), QTime(14, 3, 7))};
    FakeOpener opener;
    std::unique_ptr<Form1> form;

    qint64 add(qint64 id, QVariant tisch, QVariant status, QDateTime insdate, QVariant gang = 1,
               qint32 monitor = 1) {
        TestDb::Order o;
        o.id = id;
        o.tisch = tisch;
        o.status = status;
        o.insdate = insdate;
        o.gang = gang;
        o.monitornr = monitor;
        o.txt = QStringLiteral("Gericht %1").arg(id);
        return file.addOrder(o);
    }

    bool start(TableDetailOpener* detail) {
        if (!file.isValid() || !db.open(file.settings()))
            return false;
        form = std::make_unique<Form1>(db, config, messages, screen, clock, detail);
        return true;
    }
    bool start() { return start(&opener); }

    DataGrid* grid() const { return form->findChild<DataGrid*>(QStringLiteral("DataGrid1")); }
    QPushButton* button(const QString& name) const { return form->findChild<QPushButton*>(name); }
    QPushButton* table(int index) const { return button(QStringLiteral("cmdTisch%1").arg(index)); }
    QLabel* banner() const { return form->findChild<QLabel*>(QStringLiteral("connectionBanner")); }

    QList<qint64> ids() const {
        QList<qint64> result;
        const ResultSet& rs = form->listRs();
        const int column = rs.columnIndex(QStringLiteral("id"));
        for (const ResultRow& row : rs.rows())
            result << row.at(column).toLongLong();
        return result;
    }
    // The selected line's id, 0 when none; the grid's selection must agree with the current row.
    qint64 selected() const {
        const ResultSet& rs = form->listRs();
        const QModelIndexList rows = grid()->selectionModel()->selectedRows();
        if (rs.eof())
            return rows.isEmpty() ? 0 : -1;
        if (rows.size() != 1 || rows.first().row() != rs.currentRow())
            return -1;
        return FieldValue(rs, QStringLiteral("id")).toLongLong();
    }
    void select(qint64 id) const {
        const int row = int(ids().indexOf(id));
        grid()->selectRow(row);
    }
    QStringList captions() const {
        QStringList result;
        for (int i = 1; i < 30; ++i)
            result << table(i)->text();
        return result;
    }
    int indexOfCaption(const QString& caption) const {
        for (int i = 1; i < 30; ++i) {
            if (table(i)->text() == caption)
                return i;
        }
        return -1;
    }
    QVariant status(qint64 id) {
        return file.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(id));
    }
};

QStringList padded(QStringList captions) {
    while (captions.size() < 29)
        captions << QString();
    return captions;
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captionWithVersion_data();
    void captionWithVersion();
    void captionNumber_data();
    void captionNumber();
    void tableNumber_data();
    void tableNumber();

    void composition();
    void windowPlacement_data();
    void windowPlacement();
    void actionButtonsShowTheirColours();
    void layoutFollowsResize();

    void emptyList();
    void tableButtons_data();
    void tableButtons();
    void cellTexts();
    void tickKeepsSelectionWhileCountUnchanged();
    void tickSelectsFirstWhenLinesComeOrGo();
    void selectedLineGoneWhileAnotherCame();
    void unchangedTickEmitsNothing();
    void changedLineUpdatedInPlace();
    void headerClick_data();
    void headerClick();

    void actionsOnEmptyListDoNothing();
    void statusActionsKeepLineSelected_data();
    void statusActionsKeepLineSelected();
    void deleteRefused_data();
    void deleteRefused();
    void deleteDoneSelectsFirst();
    void lineDeletedElsewhereBeforeClick();
    void idBeyond32Bits();

    void firstPressFilters();
    void secondAndThirdPressOpenDetail();
    void alleTischeKeepsOrder();
    void emptyCaptionReadsAsTableZero();
    void tableZeroMarkedWithoutFilter();
    void tableOutsideSixteenBits();
    void noDetailWindowYet();

    void connectionLossKeepsList();
    void unreachableAtStart();
    void buttonDuringOutageSaysNotSaved();
    void pressNotWrittenIsTold_data();
    void pressNotWrittenIsTold();
    void statementRetriedAfterReconnect();
    void replacedFileFollowed_data();
    void replacedFileFollowed();
    void lockKeepsScreen();
    void pressWaitsForLock();

    void closeEndsProgram();
};

void TestForm1::captionWithVersion_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.3") << 1 << 3 << "Torvane-Gastronomie Küchenmonitor 1.3";
    QTest::newRow("minor 10") << 1 << 10 << "Torvane-Gastronomie Küchenmonitor 1.10";
    QTest::newRow("zero") << 2 << 0 << "Torvane-Gastronomie Küchenmonitor 2.0";
}

void TestForm1::captionWithVersion() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, expected);
    QCOMPARE(CaptionWithVersion(QStringLiteral("Torvane-Gastronomie Küchenmonitor"), major, minor), expected);
}

void TestForm1::captionNumber_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "12" << 12.0;
    QTest::newRow("marked") << "12 Detail" << 12.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("leading blanks") << "   7" << 7.0;
    QTest::newRow("negative") << "-3 Detail" << -3.0;
    QTest::newRow("words only") << "Alle Tische" << 0.0;
    QTest::newRow("fraction") << "12.5 Detail" << 12.5;
    QTest::newRow("large") << "40000" << 40000.0;
    QTest::newRow("sign alone") << "- 5" << 0.0;
}

void TestForm1::captionNumber() {
    QFETCH(QString, caption);
    QFETCH(double, expected);
    QCOMPARE(CaptionNumber(caption), expected);
}

void TestForm1::tableNumber_data() {
    QTest::addColumn<double>("number");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("expected");
    QTest::newRow("twelve") << 12.0 << true << 12;
    QTest::newRow("half to even, down") << 12.5 << true << 12;
    QTest::newRow("half to even, up") << 13.5 << true << 14;
    QTest::newRow("largest") << 32767.0 << true << 32767;
    QTest::newRow("one above") << 32768.0 << false << 0;
    QTest::newRow("rounds above") << 32767.5 << false << 0;
    QTest::newRow("smallest") << -32768.0 << true << -32768;
    QTest::newRow("one below") << -32769.0 << false << 0;
    QTest::newRow("40000") << 40000.0 << false << 0;
}

void TestForm1::tableNumber() {
    QFETCH(double, number);
    QFETCH(bool, valid);
    QFETCH(int, expected);
    const std::optional<qint16> table = TableNumber(number);
    QCOMPARE(table.has_value(), valid);
    if (valid)
        QCOMPARE(int(*table), expected);
}

void TestForm1::composition() {
    Fixture f;
    QVERIFY(f.start());
    Form1& form = *f.form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Torvane-Gastronomie Küchenmonitor 1.3"));

    // Thirty table buttons in three rows of ten on whole pixels: pitch 1020 x 795, size 930 x 720.
    for (int i = 0; i < 30; ++i) {
        QPushButton* b = f.table(i);
        QVERIFY2(b, qPrintable(QString::number(i)));
        QCOMPARE(b->geometry(), QRect(8 + (i % 10) * 68, 8 + (i / 10) * 53, 62, 48));
        QVERIFY(!b->isHidden());
        QCOMPARE(b->font().family(), QStringLiteral("Arial"));
        QCOMPARE(b->font().pointSize(), 12);
        QVERIFY(b->font().bold());
    }
    QVERIFY(!f.table(30));
    QCOMPARE(f.table(0)->text(), QStringLiteral("Alle Tische"));
    QCOMPARE(f.table(10)->pos(), QPoint(8, 61));    // first of the second row
    QCOMPARE(f.table(29)->pos(), QPoint(620, 114)); // last of the third

    // Shape1 marks the button area and lies beneath every button.
    auto* shape = form.findChild<QWidget*>(QStringLiteral("Shape1"));
    QVERIFY(shape);
    QCOMPARE(shape->geometry(), QRect(8, 8, 681, 153));
    const QObjectList stack = form.children();
    for (int i = 0; i < 30; ++i)
        QVERIFY(stack.indexOf(shape) < stack.indexOf(f.table(i)));

    const QStringList captions{"Fertig", "in Arbeit", "Eintrag löschen", "X"};
    const QStringList names{"cmdOK", "cmdIA", "cmdDel", "cmdEsc"};
    for (int i = 0; i < names.size(); ++i) {
        QPushButton* b = f.button(names.at(i));
        QVERIFY(b);
        QCOMPARE(b->text(), captions.at(i));
        QCOMPARE(b->font().family(), QStringLiteral("Arial"));
        QCOMPARE(b->font().pointSize(), names.at(i) == QLatin1String("cmdEsc") ? 36 : 12);
        QCOMPARE(b->font().bold(), names.at(i) != QLatin1String("cmdEsc"));
    }
    QCOMPARE(f.button(QStringLiteral("cmdIA"))->y(), 168); // level with the grid's top
    QCOMPARE(f.button(QStringLiteral("cmdOK"))->y(), 256);
    QCOMPARE(f.button(QStringLiteral("cmdDel"))->y(), 344);

    DataGrid* grid = f.grid();
    QVERIFY(grid);
    QCOMPARE(grid->font().family(), QStringLiteral("Arial"));
    QCOMPARE(grid->font().pointSize(), 12);
    QVERIFY(!grid->font().bold());
    QVERIFY(grid->horizontalHeader()->font().bold());
    QStringList headers;
    for (int i = 0; i < grid->model()->columnCount(); ++i)
        headers << grid->model()->headerData(i, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"Zeit", "Tisch", "Gang", "Menge", "Bezeichnung", "Status"}));

    // Tab order: grid, Fertig, in Arbeit, löschen, Alle Tische, X, then the copied buttons.
    QList<QWidget*> chain{grid,       f.button("cmdOK"),  f.button("cmdIA"), f.button("cmdDel"),
                          f.table(0), f.button("cmdEsc"), f.table(1),        f.table(2)};
    auto nextTabStop = [](QWidget* w) {
        QWidget* next = w->nextInFocusChain();
        while (next != w && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        return next;
    };
    for (int i = 0; i + 1 < chain.size(); ++i)
        QCOMPARE(nextTabStop(chain.at(i)), chain.at(i + 1));

    auto* timer = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 2000);
    QVERIFY(timer->isActive());
    QCOMPARE(form.sortOrder(), QStringLiteral("status, insdate"));
    QCOMPARE(form.tableFilter(), qint16(0));
    QVERIFY(form.tableFilterSql().isEmpty());
}

void TestForm1::windowPlacement_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QRect>("outer");
    const QRect large(0, 0, 3840, 2160);
    QTest::newRow("defaults") << 0 << 1024 << 768 << large << QRect(0, 0, 1024, 768);
    QTest::newRow("second screen") << 1280 << 1280 << 1024 << large << QRect(1280, 0, 1280, 1024);
    QTest::newRow("just fits") << 0 << 1024 << 768 << QRect(0, 0, 1024, 768) << QRect(0, 0, 1024, 768);
    // Too large: scaled as a whole to the free area, and moved onto it where LEFT would cut it.
    QTest::newRow("800x600") << 0 << 1024 << 768 << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600);
    QTest::newRow("800x600 left 300") << 300 << 1024 << 768 << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600);
    QTest::newRow("panel above") << 0 << 1024 << 768 << QRect(0, 40, 1024, 728) << QRect(0, 40, 971, 728);
}

void TestForm1::windowPlacement() {
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QRect, area);
    QFETCH(QRect, outer);
    Fixture f;
    f.screen = FixedScreen(15.0, area);
    f.config.windowLeft = left;
    f.config.windowWidth = width;
    f.config.windowHeight = height;
    QVERIFY(f.start());
    // Once shown and framed, the frame counts into the configured size.
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    QTRY_COMPARE(f.form->frameGeometry(), outer);
    const double factor = f.form->scaleFactor();
    QCOMPARE(factor == 1.0, outer.size() == QSize(width, height));
    QCOMPARE(f.button("cmdOK")->font().pointSizeF(), 12.0 * factor);
    // The close button in the top right corner, every table button inside the window.
    QCOMPARE(f.button("cmdEsc")->geometry().right(), f.form->width() - 1);
    QVERIFY(f.form->rect().contains(f.table(29)->geometry()));
}

void TestForm1::actionButtonsShowTheirColours() {
    Fixture f;
    QVERIFY(f.start());
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    const QList<QPair<QString, QColor>> expected{{"cmdOK", QColor(192, 255, 192)},
                                                 {"cmdIA", QColor(255, 255, 192)},
                                                 {"cmdDel", QColor(255, 192, 192)}};
    for (const auto& [name, colour] : expected) {
        QPushButton* b = f.button(name);
        const QImage image = b->grab().toImage();
        // A point inside the border, above the caption.
        const QColor shown = image.pixelColor(image.width() / 2, image.height() / 6);
        QCOMPARE(shown.rgb(), colour.rgb());
    }
}

void TestForm1::layoutFollowsResize() {
    Fixture f;
    QVERIFY(f.start());
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    f.form->resize(1024, 768);
    QCoreApplication::processEvents();
    // A client area of 1024 x 768 px = 15360 x 11520 twips: grid 12685 x 9000, "Bezeichnung" 7589.5.
    DataGrid* grid = f.grid();
    QCOMPARE(grid->geometry(), QRect(8, 168, 846, 600));
    QVERIFY(std::abs(grid->columnWidthTwips(4) - 7589.5) < 0.005);
    QCOMPARE(f.button("cmdOK")->x(), 862);
    QCOMPARE(f.button("cmdEsc")->pos(), QPoint(959, 0));

    f.form->resize(1124, 768); // 1500 twips wider
    QCoreApplication::processEvents();
    QCOMPARE(grid->geometry(), QRect(8, 168, 946, 600));
    QVERIFY(std::abs(grid->columnWidthTwips(4) - 9089.5) < 0.005);
    QCOMPARE(grid->columnWidthTwips(0), 1005.17);
    QCOMPARE(f.button("cmdIA")->x(), 962);
    QCOMPARE(f.button("cmdEsc")->pos(), QPoint(1059, 0));
    QCOMPARE(f.table(0)->pos(), QPoint(8, 8));
}

void TestForm1::emptyList() {
    Fixture f;
    f.add(1, 4, 0, at(9, 0), 1, 2); // another monitor's line
    QVERIFY(f.start());
    QCOMPARE(f.grid()->model()->rowCount(), 0);
    QCOMPARE(f.captions(), padded({}));
    QCOMPARE(f.table(0)->text(), QStringLiteral("Alle Tische"));
    QCOMPARE(f.selected(), 0);
    f.form->Timer1_Timer();
    QCOMPARE(f.grid()->model()->rowCount(), 0);
    QCOMPARE(f.selected(), 0);
    QVERIFY(f.messages.shown().isEmpty());
}

void TestForm1::tableButtons_data() {
    QTest::addColumn<QList<int>>("tables");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three tables, ascending") << QList<int>{12, 5, 3} << padded({"3", "5", "12"});
    QList<int> many;
    QStringList lowest;
    for (int t = 31; t >= 1; --t)
        many << t;
    for (int t = 1; t <= 29; ++t)
        lowest << QString::number(t);
    QTest::newRow("31 tables, lowest 29") << many << lowest;
    QTest::newRow("table 0 marked without filter") << QList<int>{4, 0} << padded({"0 Detail", "4"});
    QTest::newRow("negative table") << QList<int>{-2, 7} << padded({"-2", "7"});
}

void TestForm1::tableButtons() {
    QFETCH(QList<int>, tables);
    QFETCH(QStringList, expected);
    Fixture f;
    for (int i = 0; i < tables.size(); ++i)
        f.add(i + 1, tables.at(i), 0, at(9, i % 60));
    f.add(100, 99, 0, at(9, 0), 1, 2); // another monitor's table gets no button
    QVERIFY(f.start());
    QCOMPARE(f.captions(), expected);
}

void TestForm1::cellTexts() {
    Fixture f;
    f.add(1, 12, 0, at(9, 5));
    f.add(2, 3, 1, at(21, 40));
    f.add(3, 7, 2, at(22, 0));
    f.add(4, 8, 3, at(23, 0));
    f.add(5, 9, QVariant(), at(23, 30));
    QVERIFY(f.start());
    QAbstractItemModel* model = f.grid()->model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // "status, insdate": the null status first.
    QCOMPARE(f.ids(), (QList<qint64>{5, 1, 2, 3, 4}));
    auto cell = [&](int row, int column) { return model->data(model->index(row, column)).toString(); };
    QCOMPARE(cell(0, 5), QString());
    QCOMPARE(cell(1, 5), QStringLiteral("NEU"));
    QCOMPARE(cell(2, 5), QStringLiteral("i.A."));
    QCOMPARE(cell(3, 5), QStringLiteral("OK"));
    QCOMPARE(cell(4, 5), QStringLiteral("3"));
    QCOMPARE(cell(1, 0), QStringLiteral("09:05"));
    QCOMPARE(cell(2, 0), QStringLiteral("21:40"));
    QCOMPARE(cell(1, 1), QStringLiteral("12"));
    QCOMPARE(cell(1, 4), QStringLiteral("Gericht 1"));
    QCOMPARE(f.selected(), 5);
}

void TestForm1::tickKeepsSelectionWhileCountUnchanged() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 0, at(9, 1));
    f.add(3, 3, 0, at(9, 2));
    QVERIFY(f.start());
    f.select(3);
    QCOMPARE(f.selected(), 3);
    QVERIFY(f.file.exec(QStringLiteral("UPDATE ordisp SET status = 1 WHERE id = 1")));
    f.form->Timer1_Timer();
    QCOMPARE(f.ids(), (QList<qint64>{2, 3, 1}));
    QCOMPARE(f.selected(), 3);
}

void TestForm1::tickSelectsFirstWhenLinesComeOrGo() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 0, at(9, 1));
    QVERIFY(f.start());
    f.select(2);
    f.add(3, 3, 0, at(9, 2));
    f.form->Timer1_Timer();
    QCOMPARE(f.ids(), (QList<qint64>{1, 2, 3}));
    QCOMPARE(f.selected(), 1);

    f.select(3);
    QVERIFY(f.file.exec(QStringLiteral("DELETE FROM ordisp WHERE id = 2")));
    f.form->Timer1_Timer();
    QCOMPARE(f.ids(), (QList<qint64>{1, 3}));
    QCOMPARE(f.selected(), 1);
}

void TestForm1::selectedLineGoneWhileAnotherCame() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 0, at(9, 1));
    QVERIFY(f.start());
    f.select(2);
    QVERIFY(f.file.exec(QStringLiteral("DELETE FROM ordisp WHERE id = 2")));
    f.add(3, 3, 0, at(9, 2));
    f.form->Timer1_Timer();
    QCOMPARE(f.ids(), (QList<qint64>{1, 3}));
    QCOMPARE(f.selected(), 0); // count unchanged, the line is gone: nothing selected
    f.form->Timer1_Timer();
    QCOMPARE(f.selected(), 1);
}

void TestForm1::unchangedTickEmitsNothing() {
    Fixture f;
    for (int i = 1; i <= 30; ++i)
        f.add(i, i % 4, 0, at(9, i));
    QVERIFY(f.start());
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    f.select(25);
    QScrollBar* scroll = f.grid()->verticalScrollBar();
    scroll->setValue(scroll->maximum());
    const int position = scroll->value();
    QAbstractItemModel* model = f.grid()->model();
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy layout(model, &QAbstractItemModel::layoutChanged);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy selection(f.grid()->selectionModel(), &QItemSelectionModel::selectionChanged);

    f.form->Timer1_Timer();
    f.form->Timer1_Timer();

    QCOMPARE(reset.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(layout.count(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(selection.count(), 0);
    QCOMPARE(scroll->value(), position);
    QCOMPARE(f.selected(), 25);
}

void TestForm1::changedLineUpdatedInPlace() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 1, at(9, 1));
    QVERIFY(f.start());
    QAbstractItemModel* model = f.grid()->model();
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QVERIFY(f.file.exec(QStringLiteral("UPDATE ordisp SET txt = 'Suppe' WHERE id = 2")));
    f.form->Timer1_Timer();
    QCOMPARE(reset.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
    QCOMPARE(model->data(model->index(1, 4)).toString(), QStringLiteral("Suppe"));
}

void TestForm1::headerClick_data() {
    QTest::addColumn<int>("before"); // a first click, -1 for none
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QList<qint64>>("ids");
    const QList<qint64> byStatus{3, 2, 1, 4};
    const QList<qint64> byTime{4, 3, 1, 2};
    QTest::newRow("Zeit") << -1 << 0 << "insdate" << byTime;
    QTest::newRow("Tisch") << -1 << 1 << "tisch, status" << QList<qint64>{2, 4, 3, 1};
    QTest::newRow("Status after Zeit") << 0 << 5 << "status, insdate" << byStatus;
    QTest::newRow("Gang keeps order") << 0 << 2 << "insdate" << byTime;
    QTest::newRow("Menge keeps order") << 0 << 3 << "insdate" << byTime;
    QTest::newRow("Bezeichnung keeps order") << 0 << 4 << "insdate" << byTime;
    QTest::newRow("Status at start") << -1 << 5 << "status, insdate" << byStatus;
}

void TestForm1::headerClick() {
    QFETCH(int, before);
    QFETCH(int, column);
    QFETCH(QString, order);
    QFETCH(QList<qint64>, ids);
    Fixture f;
    f.add(1, 5, 1, at(10, 0), 2);
    f.add(2, 3, 0, at(11, 0));
    f.add(3, 5, 0, at(9, 0));
    f.add(4, 3, 2, at(8, 0));
    QVERIFY(f.start());
    QCOMPARE(f.ids(), (QList<qint64>{3, 2, 1, 4}));
    if (before >= 0)
        f.form->DataGrid1_HeadClick(before);
    f.select(1);
    f.add(5, 9, 2, at(23, 0)); // shows that the click refreshes
    ids << 5;

    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    QHeaderView* header = f.grid()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                             header->viewport()->height() / 2));
    QCOMPARE(f.form->sortOrder(), order);
    QCOMPARE(f.ids(), ids);
    QCOMPARE(f.selected(), 1); // the same line stays selected in the new order
}

void TestForm1::actionsOnEmptyListDoNothing() {
    Fixture f;
    f.add(1, 4, 0, at(9, 0), 1, 2); // another monitor's line
    f.add(2, 4, 1, at(9, 0), 1, 2);
    QVERIFY(f.start());
    f.form->cmdIA_Click();
    f.form->cmdOK_Click();
    f.form->cmdDel_Click();
    QVERIFY(f.messages.shown().isEmpty());
    QCOMPARE(f.status(1).toInt(), 0);
    QCOMPARE(f.status(2).toInt(), 1);
    QCOMPARE(f.file.countOrders(), 2);
}

void TestForm1::statusActionsKeepLineSelected_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<qint64>>("ids");
    // Lines 1 and 2 new, 3 in progress; line 1 is pressed.
    QTest::newRow("Fertig moves the line to the done ones") << "cmdOK" << 2 << QList<qint64>{2, 3, 1};
    QTest::newRow("in Arbeit moves it among those in progress") << "cmdIA" << 1 << QList<qint64>{2, 1, 3};
}

void TestForm1::statusActionsKeepLineSelected() {
    QFETCH(QString, button);
    QFETCH(int, status);
    QFETCH(QList<qint64>, ids);
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 0, at(9, 1));
    f.add(3, 3, 1, at(9, 2));
    QVERIFY(f.start());
    QCOMPARE(f.selected(), 1);
    f.form->show();
    QTest::mouseClick(f.button(button), Qt::LeftButton);
    QCOMPARE(f.status(1).toInt(), status);
    QCOMPARE(f.ids(), ids);
    QCOMPARE(f.selected(), 1);
    QVERIFY(f.messages.shown().isEmpty());
}

void TestForm1::deleteRefused_data() {
    QTest::addColumn<QVariant>("status");
    QTest::newRow("new") << QVariant(0);
    QTest::newRow("in progress") << QVariant(1);
    QTest::newRow("unknown 3") << QVariant(3);
    QTest::newRow("null") << QVariant();
}

void TestForm1::deleteRefused() {
    QFETCH(QVariant, status);
    Fixture f;
    f.add(1, 1, 2, at(9, 0));
    f.add(2, 2, status, at(9, 1));
    QVERIFY(f.start());
    f.select(2);
    f.form->cmdDel_Click();
    QCOMPARE(f.messages.shown().size(), 1);
    QCOMPARE(f.messages.shown().at(0).style, int(MsgExclamation));
    QCOMPARE(f.messages.shown().at(0).text, kDeleteRefused);
    QCOMPARE(f.file.countOrders(), 2);
    QCOMPARE(f.selected(), 2);
}

void TestForm1::deleteDoneSelectsFirst() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 2, at(9, 1));
    f.add(3, 3, 2, at(9, 2));
    QVERIFY(f.start());
    f.select(3);
    f.form->cmdDel_Click();
    QVERIFY(f.messages.shown().isEmpty());
    QCOMPARE(f.file.countOrders(QStringLiteral("id = 3")), 0);
    QCOMPARE(f.ids(), (QList<qint64>{1, 2}));
    QCOMPARE(f.selected(), 1);
}

void TestForm1::lineDeletedElsewhereBeforeClick() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 0, at(9, 1));
    QVERIFY(f.start());
    f.select(2);
    QVERIFY(f.file.exec(QStringLiteral("DELETE FROM ordisp WHERE id = 2")));
    f.form->cmdOK_Click();
    QCOMPARE(f.file.countOrders(), 1);
    QCOMPARE(f.ids(), (QList<qint64>{1}));
    QCOMPARE(f.selected(), 0);
    QVERIFY(f.messages.shown().isEmpty());
    f.form->Timer1_Timer();
    QCOMPARE(f.selected(), 1);
}

void TestForm1::idBeyond32Bits() {
    Fixture f;
    // Cut to 32 bits, 2^32 + 5 would name line 5.
    f.add(5, 9, 2, at(9, 0));
    f.add(4294967301LL, 7, 2, at(8, 0));
    QVERIFY(f.start());
    QCOMPARE(f.selected(), 4294967301LL);
    f.form->cmdIA_Click();
    f.form->cmdDel_Click();
    QCOMPARE(f.status(5).toInt(), 2);
    QCOMPARE(f.status(4294967301LL).toInt(), 2);
    QCOMPARE(f.file.countOrders(), 2);
}

void TestForm1::firstPressFilters() {
    Fixture f;
    f.add(1, 12, 2, at(9, 0), 1);
    f.add(2, 5, 0, at(9, 1));
    f.add(3, 12, 0, at(9, 2), 2);
    f.add(4, 12, 1, at(9, 3), 1);
    QVERIFY(f.start());
    f.select(2);
    const int index = f.indexOfCaption(QStringLiteral("12"));
    QCOMPARE(index, 2);
    f.form->show();
    QTest::mouseClick(f.table(index), Qt::LeftButton);
    QCOMPARE(f.form->tableFilter(), qint16(12));
    QCOMPARE(f.form->tableFilterSql(), QStringLiteral(" AND tisch =  12"));
    QCOMPARE(f.form->sortOrder(), QStringLiteral("tisch, gang, status"));
    QCOMPARE(f.ids(), (QList<qint64>{4, 1, 3}));
    QCOMPARE(f.selected(), 4);
    // The table list ignores the filter; the chosen table is marked.
    QCOMPARE(f.captions(), padded({"5", "12 Detail"}));
    QVERIFY(f.opener.calls.isEmpty());

    // A new line of another table gets a button at the next tick, the filtered list stays.
    f.add(5, 7, 0, at(9, 4));
    f.form->Timer1_Timer();
    QCOMPARE(f.captions(), padded({"5", "7", "12 Detail"}));
    QCOMPARE(f.ids(), (QList<qint64>{4, 1, 3}));
}

void TestForm1::secondAndThirdPressOpenDetail() {
    Fixture f;
    f.add(1, 12, 0, at(9, 0));
    f.add(2, 12, 0, at(9, 1));
    f.add(3, 5, 0, at(9, 2));
    QVERIFY(f.start());
    f.form->cmdTisch_Click(f.indexOfCaption(QStringLiteral("12")));
    f.select(2);
    f.form->cmdTisch_Click(f.indexOfCaption(QStringLiteral("12 Detail")));
    QCOMPARE(f.opener.calls, (QStringList{"Init 12", "show"}));
    QCOMPARE(f.form->tableFilter(), qint16(12));
    QCOMPARE(f.form->sortOrder(), QStringLiteral("tisch, gang, status"));
    QCOMPARE(f.selected(), 1); // refreshed, first line
    f.form->cmdTisch_Click(f.indexOfCaption(QStringLiteral("12 Detail")));
    QCOMPARE(f.opener.calls, (QStringList{"Init 12", "show", "Init 12", "show"}));

    // Another table while the detail is open: filter moves, detail untouched until pressed again.
    f.form->cmdTisch_Click(f.indexOfCaption(QStringLiteral("5")));
    QCOMPARE(f.form->tableFilter(), qint16(5));
    QCOMPARE(f.opener.calls.size(), 4);
}

void TestForm1::alleTischeKeepsOrder() {
    Fixture f;
    f.add(1, 12, 0, at(9, 0));
    f.add(2, 5, 0, at(9, 1));
    QVERIFY(f.start());
    f.form->cmdTisch_Click(f.indexOfCaption(QStringLiteral("12")));
    QCOMPARE(f.ids(), (QList<qint64>{1}));
    f.form->cmdTisch_Click(0);
    QCOMPARE(f.form->tableFilter(), qint16(0));
    QVERIFY(f.form->tableFilterSql().isEmpty());
    QCOMPARE(f.form->sortOrder(), QStringLiteral("tisch, gang, status"));
    QCOMPARE(f.ids(), (QList<qint64>{2, 1}));
    QCOMPARE(f.captions(), padded({"5", "12"}));
    QCOMPARE(f.table(0)->text(), QStringLiteral("Alle Tische"));
    QCOMPARE(f.selected(), 2);
    // A header click on "Zeit" replaces the order, the filter stays off.
    f.form->DataGrid1_HeadClick(0);
    QCOMPARE(f.form->sortOrder(), QStringLiteral("insdate"));
}

void TestForm1::emptyCaptionReadsAsTableZero() {
    Fixture f;
    f.add(1, 12, 0, at(9, 0));
    QVERIFY(f.start());
    QVERIFY(f.table(29)->text().isEmpty());
    f.form->cmdTisch_Click(29); // no filter: table 0 is "selected" already
    QCOMPARE(f.opener.calls, (QStringList{"Init 0", "show"}));
    QCOMPARE(f.form->tableFilter(), qint16(0));
    QVERIFY(f.form->tableFilterSql().isEmpty());

    f.form->cmdTisch_Click(f.indexOfCaption(QStringLiteral("12")));
    f.form->cmdTisch_Click(29); // with a filter: selects table 0
    QCOMPARE(f.form->tableFilter(), qint16(0));
    QCOMPARE(f.form->tableFilterSql(), QStringLiteral(" AND tisch =  0"));
    QCOMPARE(f.ids(), QList<qint64>());
    QCOMPARE(f.selected(), 0);
    QCOMPARE(f.opener.calls.size(), 2);
}

void TestForm1::tableZeroMarkedWithoutFilter() {
    Fixture f;
    f.add(1, 0, 0, at(9, 0));
    f.add(2, 3, 0, at(9, 1));
    QVERIFY(f.start());
    QCOMPARE(f.table(1)->text(), QStringLiteral("0 Detail"));
    f.form->cmdTisch_Click(1);
    QCOMPARE(f.opener.calls, (QStringList{"Init 0", "show"}));
    QCOMPARE(f.ids(), (QList<qint64>{1, 2}));
}

void TestForm1::tableOutsideSixteenBits() {
    Fixture f;
    f.add(1, 40000, 0, at(9, 0));
    f.add(2, 5, 0, at(9, 1));
    QVERIFY(f.start());
    f.form->cmdTisch_Click(f.indexOfCaption(QStringLiteral("5")));
    const int index = f.indexOfCaption(QStringLiteral("40000"));
    QVERIFY(index > 0);
    f.form->cmdTisch_Click(index);
    QCOMPARE(f.messages.shown().size(), 1);
    QCOMPARE(f.messages.shown().at(0).style, int(MsgExclamation));
    QVERIFY(f.messages.shown().at(0).text.contains(QStringLiteral("40000")));
    QCOMPARE(f.form->tableFilter(), qint16(5));
    QCOMPARE(f.ids(), (QList<qint64>{2}));
    QVERIFY(f.opener.calls.isEmpty());
}

void TestForm1::noDetailWindowYet() {
    Fixture f;
    f.add(1, 12, 0, at(9, 0));
    QVERIFY(f.start(nullptr));
    f.form->cmdTisch_Click(1);
    f.form->cmdTisch_Click(1); // second press without a detail window only refreshes
    QCOMPARE(f.form->tableFilter(), qint16(12));
    QCOMPARE(f.ids(), (QList<qint64>{1}));
}

void TestForm1::connectionLossKeepsList() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 0, at(9, 1));
    QVERIFY(f.start());
    f.form->show();
    f.select(2);
    QVERIFY(!f.banner()->isVisible());

    // The connection drops and the file is out of reach.
    f.db.close();
    f.file.closeSide();
    QVERIFY(QFile::rename(f.file.path(), f.file.path() + QStringLiteral(".weg")));
    f.form->Timer1_Timer();
    QVERIFY(f.form->isConnectionLost());
    QVERIFY(f.banner()->isVisible());
    QCOMPARE(f.banner()->text(), QStringLiteral("Keine Verbindung zur Datenbank seit 14:03:07"));
    QCOMPARE(f.ids(), (QList<qint64>{1, 2}));
    QCOMPARE(f.grid()->model()->rowCount(), 2);
    QCOMPARE(f.selected(), 2);
    QCOMPARE(f.captions(), padded({"1", "2"}));
    auto* timer = f.form->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer->isActive()); // keeps trying

    f.clock.set(QDateTime(QDate(2024, 5, 10), QTime(14, 3, 9)));
    f.form->Timer1_Timer();
    QCOMPARE(f.banner()->text(), QStringLiteral("Keine Verbindung zur Datenbank seit 14:03:07"));
    QVERIFY(f.messages.shown().isEmpty());

    QVERIFY(QFile::rename(f.file.path() + QStringLiteral(".weg"), f.file.path()));
    f.add(3, 3, 0, at(9, 2));
    f.form->Timer1_Timer();
    QVERIFY(!f.form->isConnectionLost());
    QVERIFY(!f.banner()->isVisible());
    QCOMPARE(f.ids(), (QList<qint64>{1, 2, 3}));
    QCOMPARE(f.selected(), 1);
    QVERIFY(f.messages.shown().isEmpty());
}

void TestForm1::unreachableAtStart() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    QVERIFY(f.file.isValid() && f.db.open(f.file.settings()));
    f.db.close();
    f.file.closeSide();
    QVERIFY(QFile::rename(f.file.path(), f.file.path() + QStringLiteral(".weg")));
    f.form = std::make_unique<Form1>(f.db, f.config, f.messages, f.screen, f.clock, &f.opener);
    // The window comes up empty with the banner and keeps trying.
    QVERIFY(f.form->isConnectionLost());
    QVERIFY(!f.banner()->isHidden());
    QCOMPARE(f.grid()->model()->rowCount(), 0);
    QCOMPARE(f.captions(), padded({}));
    QVERIFY(f.form->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    QVERIFY(f.messages.shown().isEmpty());

    QVERIFY(QFile::rename(f.file.path() + QStringLiteral(".weg"), f.file.path()));
    f.form->Timer1_Timer();
    QVERIFY(!f.form->isConnectionLost());
    QCOMPARE(f.ids(), (QList<qint64>{1}));
    QCOMPARE(f.selected(), 1);
}

void TestForm1::buttonDuringOutageSaysNotSaved() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    QVERIFY(f.start());
    f.db.close();
    f.file.closeSide();
    QVERIFY(QFile::rename(f.file.path(), f.file.path() + QStringLiteral(".weg")));
    f.form->cmdOK_Click();
    QCOMPARE(f.messages.shown().size(), 1);
    QCOMPARE(f.messages.shown().at(0).style, int(MsgExclamation));
    QCOMPARE(f.messages.shown().at(0).text, kNotSaved);
    QVERIFY(f.form->isConnectionLost());
    QCOMPARE(f.selected(), 1);

    f.form->Timer1_Timer(); // ticks stay silent
    QCOMPARE(f.messages.shown().size(), 1);
    QVERIFY(QFile::rename(f.file.path() + QStringLiteral(".weg"), f.file.path()));
    f.form->Timer1_Timer();
    QVERIFY(!f.form->isConnectionLost());
    QCOMPARE(f.status(1).toInt(), 0); // nothing was kept for later
}

void TestForm1::pressNotWrittenIsTold_data() {
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("banner");
    // Read back fine: the list is current, only the message tells.
    QTest::newRow("refused by the database") << "trigger"
                                             << "";
    QTest::newRow("locked beyond the busy time-out") << "lock"
                                                     << "Datenbank belegt seit 14:03:07";
    QTest::newRow("file moved away") << "moved"
                                     << "Keine Verbindung zur Datenbank seit 14:03:07";
}

void TestForm1::pressNotWrittenIsTold() {
    QFETCH(QString, cause);
    QFETCH(QString, banner);
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    const QString away = f.file.path() + QStringLiteral(".weg");
    if (cause == QLatin1String("trigger"))
        QVERIFY(f.file.exec(QStringLiteral(
            "CREATE TRIGGER locked BEFORE UPDATE ON ordisp BEGIN SELECT RAISE(ABORT, 'gesperrt'); END")));
    QVERIFY(f.start());
    f.form->show();
    std::unique_ptr<FileLock> lock;
    if (cause == QLatin1String("lock")) {
        lock = std::make_unique<FileLock>(f.file.path());
        QVERIFY(lock->isHeld());
    } else if (cause == QLatin1String("moved")) {
        f.file.closeSide();
        QVERIFY(QFile::rename(f.file.path(), away));
    }
    QElapsedTimer pressed;
    pressed.start();
    f.form->cmdOK_Click();
    qInfo("%s: press refused after %lld ms", qPrintable(cause), pressed.elapsed());
    QCOMPARE(f.messages.texts(), QStringList{kNotSaved});
    QCOMPARE(f.banner()->isVisible(), !banner.isEmpty());
    if (!banner.isEmpty())
        QCOMPARE(f.banner()->text(), banner);
    QCOMPARE(f.ids(), (QList<qint64>{1}));
    QCOMPARE(f.selected(), 1);

    lock.reset();
    if (cause == QLatin1String("moved"))
        QVERIFY(QFile::rename(away, f.file.path())); // the moved file got nothing either
    QCOMPARE(f.status(1).toInt(), 0);
}

void TestForm1::statementRetriedAfterReconnect() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    QVERIFY(f.start());
    f.db.close(); // dropped, but the database is there again at once
    f.form->cmdOK_Click();
    QCOMPARE(f.status(1).toInt(), 2);
    QVERIFY(f.messages.shown().isEmpty());
    QVERIFY(!f.form->isConnectionLost());
    QCOMPARE(f.selected(), 1);
}

void TestForm1::replacedFileFollowed_data() {
    QTest::addColumn<bool>("gap");
    QTest::newRow("backup moved over the file") << false;
    QTest::newRow("file deleted, backup copied back later") << true;
}

void TestForm1::replacedFileFollowed() {
    QFETCH(bool, gap);
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    QVERIFY(f.start());
    f.form->show();
    const QString backup = f.file.changedCopy(
        QStringLiteral("INSERT INTO ordisp (id, monitornr, tisch, gang, gast, menge, txt, status, insdate) "
                       "VALUES (2, 1, 2, 1, 1, 1, 'aus der Sicherung', 0, '2024-05-10 09:01:00')"));
    QVERIFY2(!backup.isEmpty(), qPrintable(f.file.errorText()));
    if (gap) {
        f.file.closeSide();
        QVERIFY(QFile::remove(f.file.path()));
        f.form->Timer1_Timer();
        QCOMPARE(f.banner()->text(), QStringLiteral("Keine Verbindung zur Datenbank seit 14:03:07"));
        QCOMPARE(f.ids(), (QList<qint64>{1}));
        f.form->cmdOK_Click(); // not into the deleted file
        QCOMPARE(f.messages.texts(), QStringList{kNotSaved});
        QVERIFY(QFile::copy(backup, f.file.path()));
    } else {
        QVERIFY2(f.file.moveOver(backup), qPrintable(f.file.errorText()));
    }
    f.form->Timer1_Timer();
    QVERIFY(!f.banner()->isVisible());
    QCOMPARE(f.ids(), (QList<qint64>{1, 2}));
    f.select(2);
    f.form->cmdOK_Click();
    QCOMPARE(f.status(2).toInt(), 2);
    QCOMPARE(f.status(1).toInt(), 0);
    QCOMPARE(f.messages.shown().size(), gap ? 1 : 0);

    // Once more with the display's own timer, for the time it takes to notice.
    const QString next = f.file.changedCopy(QStringLiteral("DELETE FROM ordisp WHERE id = 1"));
    QVERIFY2(f.file.moveOver(next), qPrintable(f.file.errorText()));
    QElapsedTimer noticed;
    noticed.start();
    QTRY_COMPARE_WITH_TIMEOUT(f.ids(), (QList<qint64>{2}), 10000);
    qInfo("replaced file: list current %lld ms after the move (ticks every 2000 ms)", noticed.elapsed());
}

void TestForm1::lockKeepsScreen() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    f.add(2, 2, 0, at(9, 1));
    QVERIFY(f.start());
    f.form->show();
    f.select(2);
    FileLock lock(f.file.path());
    QVERIFY(lock.isHeld());
    qint64 longest = 0;
    // Ticks in a row that cannot read; the banner names the first.
    const QStringList seconds = {QStringLiteral("07"), QStringLiteral("09"), QStringLiteral("11")};
    for (const QString& second : seconds) {
        f.clock.set(QDateTime(QDate(2024, 5, 10), QTime::fromString(QStringLiteral("14:03:") + second)));
        QElapsedTimer tick;
        tick.start();
        f.form->Timer1_Timer();
        longest = qMax(longest, tick.elapsed());
        QCOMPARE(f.banner()->isVisible(), second == seconds.last());
        QCOMPARE(f.ids(), (QList<qint64>{1, 2}));
        QCOMPARE(f.selected(), 2);
    }
    QCOMPARE(f.banner()->text(), QStringLiteral("Datenbank belegt seit 14:03:07"));
    QVERIFY(!f.form->isConnectionLost());
    QVERIFY(f.messages.shown().isEmpty());
    qInfo("locked file: longest tick (the window frozen) %lld ms", longest);

    lock.release();
    f.form->Timer1_Timer();
    QVERIFY(!f.banner()->isVisible());
    QCOMPARE(f.selected(), 2);
}

void TestForm1::pressWaitsForLock() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    QVERIFY(f.start());
    FileLock lock(f.file.path());
    QVERIFY(lock.isHeld());
    lock.releaseAfter(std::chrono::milliseconds(1500));
    QElapsedTimer pressed;
    pressed.start();
    f.form->cmdOK_Click();
    qInfo("press during a lock of 1500 ms: written after %lld ms", pressed.elapsed());
    QCOMPARE(f.status(1).toInt(), 2);
    QVERIFY(f.messages.shown().isEmpty());
    QVERIFY(!f.banner()->isVisible());
}

void TestForm1::closeEndsProgram() {
    Fixture f;
    f.add(1, 1, 0, at(9, 0));
    QVERIFY(f.start());
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    QTest::mouseClick(f.button(QStringLiteral("cmdEsc")), Qt::LeftButton);
    QVERIFY(!f.form->isVisible());
    QVERIFY(!f.form->listRs().isOpen());
    QVERIFY(!f.db.isOpen());
    QVERIFY(!f.form->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
