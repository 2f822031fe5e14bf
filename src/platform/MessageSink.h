#pragma once

#include <QList>
#include <QPair>
#include <QQueue>
#include <QString>

namespace ordisp {

// Message-box styles as the design numbers them.
enum MessageStyle : int {
    MsgPlain = 0,
    MsgCritical = 16,
    MsgExclamation = 48,
    MsgInformation = 64,
    MsgYesNoExclamation = 52,
};

enum MessageAnswer : int {
    AnswerOk = 1,
    AnswerYes = 6,
    AnswerNo = 7,
};

// Writes one line to standard error at once, for operators and tests to read.
void WriteStderrLine(const QString& text);

// Every message the program shows goes through one sink, so that tests can answer in advance and
// operators can read each message on standard error.
class MessageSink {
public:
    virtual ~MessageSink() = default;

    // Writes the message to standard error, then shows it; returns the answer.
    int show(int style, const QString& text);

    // The line written to standard error for a message, without the line end.
    static QString logLine(int style, const QString& text);

protected:
    virtual int present(int style, const QString& text) = 0;
};

// Shows nothing; records what would have been shown and hands out prepared answers.
class RecordingMessageSink final : public MessageSink {
public:
    struct Entry {
        int style;
        QString text;
    };

    void setNextAnswer(int answer) { m_answers.enqueue(answer); }
    const QList<Entry>& shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

protected:
    int present(int style, const QString& text) override;

private:
    QQueue<int> m_answers;
    QList<Entry> m_shown;
};

} // namespace ordisp
