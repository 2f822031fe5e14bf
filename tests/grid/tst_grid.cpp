#include "ResultSetModel.h"
#include "SteadyScrollBar.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace ordisp;

namespace {

// Lines "id:value" apart by blanks: a value that reads as a whole number is one, any other a text
// ('0' the text 0). Without ids (":value") the set has no id column; "closed" is a set not open.
ResultSet SetOf(const QString& lines) {
    ResultData data;
    data.columns = {{lines.startsWith(u':') ? QStringLiteral("nr") : QStringLiteral("id")},
                    {QStringLiteral("txt")}};
    for (const QString& line : lines.split(u' ', Qt::SkipEmptyParts)) {
        bool number = false;
        const qlonglong n = line.section(u':', 1).toLongLong(&number);
        data.rows.append({line.section(u':', 0, 0).toLongLong(),
                          number ? QVariant(n) : QVariant(line.section(u':', 1).remove(u'\''))});
    }
    ResultSet rs;
    if (lines != QLatin1String("closed"))
        rs.assign(data, QStringLiteral("SELECT"));
    return rs;
}

struct PaintCount : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        return (count += event->type() == QEvent::Paint) < 0;
    }
};

} // namespace

class TestGrid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sync_data();
    void sync();
    void scrollBar();
};

void TestGrid::sync_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("signalled");
    QString many;
    QString interleaved; // every other line moved: more signals than a reset costs
    for (int i = 1; i <= 40; ++i) {
        many += QStringLiteral(" %1:t").arg(i);
        interleaved += QStringLiteral(" %1:t").arg(i <= 20 ? 2 * i : 2 * i - 41);
    }
    // clang-format off
    QTest::newRow("unchanged")                 << "1:a 2:b"         << "1:a 2:b"         << "";
    QTest::newRow("values changed")            << "1:a 2:b 3:c 4:d" << "1:x 2:y 3:c 4:z" << "changed 0-1, changed 3-3";
    QTest::newRow("line added in between")     << "1:a 3:c"         << "1:a 2:b 3:c"     << "inserted 1-1";
    QTest::newRow("removed, added, changed")   << "1:a 2:b 3:c 4:d" << "1:a 4:x 5:e"     << "removed 1-2, inserted 2-2, changed 1-1";
    QTest::newRow("all gone")                  << "1:a 2:b"         << ""                << "removed 0-1";
    QTest::newRow("first lines")               << ""                << "1:a 2:b"         << "inserted 0-1";
    QTest::newRow("moved to the top")          << "1:a 2:b 3:c"     << "3:c 1:a 2:b"     << "removed 2-2, inserted 0-0";
    QTest::newRow("moved, added and removed")  << "1:a 2:b 3:c 4:d" << "4:d 1:a 3:c 5:e" << "removed 3-3, removed 1-1, inserted 0-0, inserted 3-3";
    QTest::newRow("every line in a new order") << "1:a 2:b 3:c 4:d" << "4:d 3:c 2:b 1:a" << "removed 0-2, inserted 1-3";
    QTest::newRow("every other line moved")    << many              << interleaved       << "reset";
    QTest::newRow("an id twice")               << "1:a 2:b 3:c"     << "1:a 4:x 4:y 3:c" << "reset";
    QTest::newRow("no ids, value changed")     << ":a :b"           << ":a :x"           << "changed 1-1";
    QTest::newRow("no ids, one more")          << ":a :b"           << ":a :b :c"        << "reset";
    QTest::newRow("set closed")                << "1:a 2:b"         << "closed"          << "reset";
    QTest::newRow("text 0 to number 0")        << "1:'0'"           << "1:0"             << "changed 0-0";
    // clang-format on
}

// A refresh tells the view exactly what changed, the fewest rows it can: nothing when nothing did,
// so that its scroll position, selection and focus stay as they are.
void TestGrid::sync() {
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, signalled);
    QStringList log;
    ResultSet rs = SetOf(before);
    ResultSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setColumns({{QStringLiteral("Bezeichnung"), QStringLiteral("txt"), 0, false, {}}});
    model.setResultSet(&rs);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, [&log](const QModelIndex&, int first, int last) {
        log << QStringLiteral("removed %1-%2").arg(first).arg(last);
    });
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&log](const QModelIndex&, int first, int last) {
        log << QStringLiteral("inserted %1-%2").arg(first).arg(last);
    });
    connect(&model, &QAbstractItemModel::modelReset, this, [&log] { log << QStringLiteral("reset"); });
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [&log](const QModelIndex& from, const QModelIndex& to) {
                log << QStringLiteral("changed %1-%2").arg(from.row()).arg(to.row());
            });
    rs = SetOf(after);
    QCOMPARE(model.sync(), !signalled.isEmpty());
    QCOMPARE(log.join(QStringLiteral(", ")), signalled);
}

// The grid's scroll bar is drawn again when its handle moves, not for a line that leaves it in place.
void TestGrid::scrollBar() {
    SteadyScrollBar bar(Qt::Vertical, nullptr);
    bar.setGeometry(0, 0, 20, 300);
    bar.setMaximum(1000);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QCoreApplication::processEvents();
    PaintCount paints;
    bar.installEventFilter(&paints);
    for (const int lines : {1001, 10}) { // one more; a hundredth, so a longer handle
        bar.setMaximum(lines);
        QCoreApplication::processEvents();
        QCOMPARE(paints.count > 0, lines == 10);
    }
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
