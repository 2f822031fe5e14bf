#include "ResultSet.h"
#include "ResultSetModel.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace ordisp;

namespace {

// "1:a 2:b" is two rows: id 1 with text "a", id 2 with text "b".
ResultSet makeSet(const QString& rows, bool withId = true) {
    ResultData data;
    if (withId)
        data.columns.append({QStringLiteral("id"), ColumnKind::Other});
    data.columns.append({QStringLiteral("txt"), ColumnKind::Character});
    data.columns.append({QStringLiteral("status"), ColumnKind::Other});
    for (const QString& cell : rows.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = cell.split(QLatin1Char(':'));
        ResultRow row;
        if (withId)
            row.append(parts.at(0).toLongLong());
        row.append(parts.at(1));
        row.append(0);
        data.rows.append(row);
    }
    ResultSet rs;
    rs.assign(data, QStringLiteral("SELECT"));
    return rs;
}

QList<GridColumn> textAndStatus() {
    return {
        {QStringLiteral("Bezeichnung"), QStringLiteral("txt"), 2000, true, {}},
        {QStringLiteral("Status"), QStringLiteral("status"), 800, false,
         [](const QVariant& v) { return v.toInt() == 0 ? QVariant(QStringLiteral("NEU")) : v; }},
    };
}

QStringList shownTexts(const ResultSetModel& model) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.data(model.index(r, 0)).toString();
    return texts;
}

QStringList textsOf(const QString& rows) {
    QStringList texts;
    for (const QString& cell : rows.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        texts << cell.section(QLatin1Char(':'), 1);
    return texts;
}

// Records every structural signal of a model as one line each.
class SignalLog : public QObject {
public:
    explicit SignalLog(QAbstractItemModel* model) {
        connect(model, &QAbstractItemModel::modelReset, this, [this] { lines << QStringLiteral("reset"); });
        connect(model, &QAbstractItemModel::layoutChanged, this,
                [this] { lines << QStringLiteral("layout"); });
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int last) {
                    lines << QStringLiteral("inserted %1-%2").arg(first).arg(last);
                });
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex&, int first, int last) {
                    lines << QStringLiteral("removed %1-%2").arg(first).arg(last);
                });
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& tl, const QModelIndex& br) {
                    lines << QStringLiteral("changed %1-%2").arg(tl.row()).arg(br.row());
                });
    }
    QStringList lines;
};

} // namespace

class TestResultSetModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsFormattedAndRawValues();
    void readOnly();
    void closedSetShowsNothing();
    void sync_data();
    void sync();
    void syncWithoutKey_data();
    void syncWithoutKey();
    void duplicateKeysReset();
    void randomChangesArriveInPlace();
    void valueOfAnotherTypeIsAChange_data();
    void valueOfAnotherTypeIsAChange();
    void setColumnFormatShowsColumnAnew();
};

void TestResultSetModel::showsFormattedAndRawValues() {
    ResultSet rs = makeSet(QStringLiteral("1:Suppe"));
    ResultSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("Suppe"));
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("NEU"));
    QCOMPARE(model.rawValue(0, 1).toInt(), 0);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Status"));
}

void TestResultSetModel::readOnly() {
    ResultSet rs = makeSet(QStringLiteral("1:a"));
    ResultSetModel model;
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    const QModelIndex cell = model.index(0, 0);
    QVERIFY(!(model.flags(cell) & Qt::ItemIsEditable));
    QVERIFY(model.flags(cell) & Qt::ItemIsSelectable);
    QVERIFY(!model.setData(cell, QStringLiteral("b")));
    QCOMPARE(model.data(cell).toString(), QStringLiteral("a"));
}

void TestResultSetModel::closedSetShowsNothing() {
    ResultSet rs = makeSet(QStringLiteral("1:a 2:b"));
    ResultSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    rs.close();
    model.sync();
    QCOMPARE(model.rowCount(), 0);
}

void TestResultSetModel::sync_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("unchanged") << "1:a 2:b"
                               << "1:a 2:b" << QStringList();
    QTest::newRow("empty stays empty") << ""
                                       << "" << QStringList();
    QTest::newRow("one value changed") << "1:a 2:b 3:c"
                                       << "1:a 2:x 3:c" << QStringList{"changed 1-1"};
    QTest::newRow("two apart") << "1:a 2:b 3:c"
                               << "1:x 2:b 3:y" << QStringList{"changed 0-0", "changed 2-2"};
    QTest::newRow("line added at the end") << "1:a 2:b"
                                           << "1:a 2:b 3:c" << QStringList{"inserted 2-2"};
    QTest::newRow("line added in between") << "1:a 3:c"
                                           << "1:a 2:b 3:c" << QStringList{"inserted 1-1"};
    QTest::newRow("lines removed") << "1:a 2:b 3:c 4:d"
                                   << "1:a 4:d" << QStringList{"removed 1-2"};
    QTest::newRow("removed and added") << "1:a 2:b 3:c"
                                       << "1:a 3:c 4:d" << QStringList{"removed 1-1", "inserted 2-2"};
    QTest::newRow("removed, added, changed")
        << "1:a 2:b 3:c"
        << "3:x 5:e" << QStringList{"removed 0-1", "inserted 1-1", "changed 0-0"};
    QTest::newRow("all gone") << "1:a 2:b"
                              << "" << QStringList{"removed 0-1"};
    QTest::newRow("first lines") << ""
                                 << "1:a 2:b" << QStringList{"inserted 0-1"};
    QTest::newRow("other lines, same count") << "1:a 2:b"
                                             << "3:a 4:b" << QStringList{"removed 0-1", "inserted 0-1"};
    QTest::newRow("line moved to the top") << "1:a 2:b 3:c"
                                           << "3:c 1:a 2:b" << QStringList{"removed 2-2", "inserted 0-0"};
    QTest::newRow("line moved down, changed")
        << "1:a 2:b 3:c 4:d"
        << "2:b 3:c 1:x 4:d" << QStringList{"removed 0-0", "inserted 2-2"};
    QTest::newRow("two lines swapped") << "1:a 2:b 3:c 4:d"
                                       << "1:a 3:c 2:b 4:d" << QStringList{"removed 1-1", "inserted 2-2"};
    QTest::newRow("moved, added and removed")
        << "1:a 2:b 3:c 4:d"
        << "4:d 1:a 3:c 5:e" << QStringList{"removed 3-3", "removed 1-1", "inserted 0-0", "inserted 3-3"};
    QTest::newRow("new order of every line")
        << "1:a 2:b 3:c 4:d"
        << "4:d 3:c 2:b 1:a" << QStringList{"removed 0-2", "inserted 1-3"};
    // Every other line out of place: one signal per line would cost the view more than a reset.
    QString many;
    QString interleaved;
    for (int i = 1; i <= 40; ++i)
        many += QStringLiteral("%1:t%1 ").arg(i);
    for (int i = 2; i <= 40; i += 2)
        interleaved += QStringLiteral("%1:t%1 ").arg(i);
    for (int i = 1; i <= 40; i += 2)
        interleaved += QStringLiteral("%1:t%1 ").arg(i);
    QTest::newRow("many lines resorted") << many << interleaved << QStringList{"reset"};
}

void TestResultSetModel::sync() {
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, expected);

    ResultSet rs = makeSet(before);
    ResultSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    SignalLog log(&model);

    rs = makeSet(after);
    model.sync();
    QCOMPARE(log.lines, expected);
    QCOMPARE(shownTexts(model), textsOf(after));
}

void TestResultSetModel::syncWithoutKey_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("unchanged") << "1:a 2:b"
                               << "1:a 2:b" << QStringList();
    QTest::newRow("same count, one changed") << "1:a 2:b"
                                             << "1:a 2:x" << QStringList{"changed 1-1"};
    QTest::newRow("count differs") << "1:a 2:b"
                                   << "1:a 2:b 3:c" << QStringList{"reset"};
}

void TestResultSetModel::syncWithoutKey() {
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, expected);

    ResultSet rs = makeSet(before, false);
    ResultSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    SignalLog log(&model);

    rs = makeSet(after, false);
    model.sync();
    QCOMPARE(log.lines, expected);
    QCOMPARE(shownTexts(model), textsOf(after));
}

void TestResultSetModel::duplicateKeysReset() {
    // Lines that kept their place at either end are not looked at again; among the others a
    // repeated key leaves nothing to match lines by.
    ResultSet rs = makeSet(QStringLiteral("1:a 2:b 3:c"));
    ResultSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    SignalLog log(&model);
    rs = makeSet(QStringLiteral("1:a 4:x 4:y 3:c"));
    model.sync();
    QCOMPARE(log.lines, QStringList{QStringLiteral("reset")});
    QCOMPARE(shownTexts(model), (QStringList{"a", "x", "y", "c"}));
}

void TestResultSetModel::randomChangesArriveInPlace() {
    // Lines added, removed, moved and changed at random; the model must end with exactly the new
    // lines, tell the view consistently (the tester checks each signal) and never need a reset
    // for a few changes.
    QRandomGenerator random(20240510);
    int nextKey = 1;
    for (int round = 0; round < 400; ++round) {
        QStringList before;
        const int size = int(random.bounded(25));
        for (int i = 0; i < size; ++i, ++nextKey)
            before << QStringLiteral("%1:t%1").arg(nextKey);
        QStringList after = before;
        const int changes = 1 + int(random.bounded(4));
        for (int c = 0; c < changes; ++c) {
            const int op = int(random.bounded(4));
            const int at = after.isEmpty() ? 0 : int(random.bounded(after.size()));
            if (op == 0 || after.isEmpty()) {
                after.insert(int(random.bounded(after.size() + 1)), QStringLiteral("%1:t%1").arg(nextKey++));
            } else if (op == 1) {
                after.removeAt(at);
            } else if (op == 2) {
                const QString line = after.takeAt(at);
                after.insert(int(random.bounded(after.size() + 1)), line);
            } else {
                after[at] += QStringLiteral("x");
            }
        }

        ResultSet rs = makeSet(before.join(QLatin1Char(' ')));
        ResultSetModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumns(textAndStatus());
        model.setResultSet(&rs);
        SignalLog log(&model);
        rs = makeSet(after.join(QLatin1Char(' ')));
        model.sync();
        const QString context =
            before.join(QLatin1Char(' ')) + QStringLiteral(" -> ") + after.join(QLatin1Char(' '));
        QVERIFY2(shownTexts(model) == textsOf(after.join(QLatin1Char(' '))), qPrintable(context));
        QVERIFY2(!log.lines.contains(QStringLiteral("reset")), qPrintable(context));
    }
}

void TestResultSetModel::valueOfAnotherTypeIsAChange_data() {
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("after");
    QTest::newRow("text 0 becomes the number 0") << QVariant(QStringLiteral("0")) << QVariant(0LL);
    QTest::newRow("number 2 becomes text 2") << QVariant(2LL) << QVariant(QStringLiteral("2"));
    QTest::newRow("whole number becomes a fraction") << QVariant(1LL) << QVariant(1.0);
    // A database null reads as a null value of the column's type.
    QTest::newRow("empty text becomes null")
        << QVariant(QString(QLatin1String(""))) << QVariant(QMetaType::fromType<QString>());
}

void TestResultSetModel::valueOfAnotherTypeIsAChange() {
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);
    // The status format shows numbers by name and text as it is: each such change shows.
    const auto setWith = [](const QVariant& status) {
        ResultData data;
        data.columns = {{QStringLiteral("id"), ColumnKind::Other},
                        {QStringLiteral("txt"), ColumnKind::Character},
                        {QStringLiteral("status"), ColumnKind::Other}};
        data.rows = {{1LL, QStringLiteral("a"), status}};
        ResultSet rs;
        rs.assign(data, QStringLiteral("SELECT"));
        return rs;
    };
    ResultSet rs = setWith(before);
    ResultSetModel model;
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    SignalLog log(&model);
    rs = setWith(after);
    QVERIFY(model.sync());
    QCOMPARE(log.lines, QStringList{QStringLiteral("changed 0-0")});
}

void TestResultSetModel::setColumnFormatShowsColumnAnew() {
    ResultSet rs = makeSet(QStringLiteral("1:a 2:b"));
    ResultSetModel model;
    model.setColumns(textAndStatus());
    model.setResultSet(&rs);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setColumnFormat(0, [](const QVariant& v) { return QVariant(v.toString().toUpper()); });
    QCOMPARE(reset.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(1, 0));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("B"));
}

QTEST_GUILESS_MAIN(TestResultSetModel)
#include "tst_resultsetmodel.moc"
