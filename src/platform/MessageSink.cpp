#include "MessageSink.h"

#include <cstdio>

namespace ordisp {

void WriteStderrLine(const QString& text) {
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

QString MessageSink::logLine(int style, const QString& text) {
    QString oneLine = text;
    oneLine.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    // Stray CR or LF would split the line that operators grep for.
    oneLine.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    oneLine.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    return QStringLiteral("Ordisp [%1] %2").arg(style).arg(oneLine);
}

int MessageSink::show(int style, const QString& text) {
    WriteStderrLine(logLine(style, text));
    return present(style, text);
}

QStringList RecordingMessageSink::texts() const {
    QStringList result;
    for (const Entry& e : m_shown)
        result << e.text;
    return result;
}

int RecordingMessageSink::present(int style, const QString& text) {
    m_shown.append({style, text});
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    return style == MsgYesNoExclamation ? AnswerYes : AnswerOk;
}

} // namespace ordisp
