#include "QtMessageSink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace ordisp;

class TestQtMessageSink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void boxByStyle_data();
    void boxByStyle();
};

void TestQtMessageSink::boxByStyle_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press");
    QTest::addColumn<int>("answer");
    const int ok = QMessageBox::Ok;
    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("plain") << 0 << int(QMessageBox::NoIcon) << ok << ok << 1;
    QTest::newRow("critical") << 16 << int(QMessageBox::Critical) << ok << ok << 1;
    QTest::newRow("exclamation") << 48 << int(QMessageBox::Warning) << ok << ok << 1;
    QTest::newRow("information") << 64 << int(QMessageBox::Information) << ok << ok << 1;
    QTest::newRow("question, yes") << 52 << int(QMessageBox::Warning) << yesNo << int(QMessageBox::Yes) << 6;
    QTest::newRow("question, no") << 52 << int(QMessageBox::Warning) << yesNo << int(QMessageBox::No) << 7;
}

void TestQtMessageSink::boxByStyle() {
    QFETCH(int, style);
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(int, answer);

    QString title;
    QString text;
    int shownIcon = -1;
    int shownButtons = -1;
    int defaultButton = -1;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        shownIcon = box->icon();
        shownButtons = int(box->standardButtons());
        defaultButton = box->defaultButton() ? int(box->standardButton(box->defaultButton())) : 0;
        box->button(QMessageBox::StandardButton(press))->click();
    });
    QtMessageSink sink;
    QCOMPARE(sink.show(style, QStringLiteral("Eine Meldung")), answer);
    QCOMPARE(title, QStringLiteral("Ordisp"));
    QCOMPARE(text, QStringLiteral("Eine Meldung"));
    QCOMPARE(shownIcon, icon);
    QCOMPARE(shownButtons, buttons);
    if (style == 52)
        QCOMPARE(defaultButton, int(QMessageBox::Yes));
}

QTEST_MAIN(TestQtMessageSink)
#include "tst_qtmessagesink.moc"
