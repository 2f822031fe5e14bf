#include "MessageSink.h"

#include <QtTest>

using namespace ordisp;

class TestMessageSink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void logLine_data();
    void logLine();
    void answersInOrder();
};

void TestMessageSink::logLine_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << 64 << "Programm läuft bereits."
                           << "Ordisp [64] Programm läuft bereits.";
    QTest::newRow("crlf pairs") << 16 << "a\r\n\r\nb"
                                << "Ordisp [16] a\\n\\nb";
    QTest::newRow("lone lf") << 48 << "a\nb"
                             << "Ordisp [48] a\\nb";
}

void TestMessageSink::logLine() {
    QFETCH(int, style);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(MessageSink::logLine(style, text), expected);
}

void TestMessageSink::answersInOrder() {
    RecordingMessageSink sink;
    sink.setNextAnswer(AnswerNo);
    QCOMPARE(sink.show(MsgYesNoExclamation, QStringLiteral("q1")), int(AnswerNo));
    QCOMPARE(sink.show(MsgYesNoExclamation, QStringLiteral("q2")), int(AnswerYes));
    QCOMPARE(sink.shown().size(), 2);
    QCOMPARE(sink.shown().at(1).text, QStringLiteral("q2"));
}

QTEST_GUILESS_MAIN(TestMessageSink)
#include "tst_messagesink.moc"
