#include "MessageSink.h"

#include <QtTest>

class TestMessageSink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Operators grep standard error for these lines; a line break would split one.
    void oneLinePerMessage() {
        QCOMPARE(ordisp::MessageSink::logLine(ordisp::MsgCritical, QStringLiteral("Läuft.\r\n\r\nx\ny\rz")),
                 QStringLiteral("Ordisp [16] Läuft.\\n\\nx\\ny\\nz"));
    }
};

QTEST_GUILESS_MAIN(TestMessageSink)
#include "tst_messagesink.moc"
