#include "SqliteSupport.h"

#include "DateConversion.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <cctype>

namespace ordisp {

ColumnKind kindFromDeclaredType(const char* declaredType) {
    if (declaredType == nullptr)
        return ColumnKind::Other;
    const QByteArray type = QByteArray(declaredType).trimmed().toUpper();
    // SQLite's own rule for text affinity, so "NVARCHAR(40)" and "LONGTEXT" count too.
    if (type.contains("CHAR") || type.contains("TEXT") || type.contains("CLOB"))
        return ColumnKind::Character;
    qsizetype end = 0;
    while (end < type.size() &&
           (std::isalnum(static_cast<unsigned char>(type.at(end))) || type.at(end) == '_'))
        ++end;
    const QByteArray base = type.left(end);
    if (base == "BOOL" || base == "BOOLEAN" || base == "BIT")
        return ColumnKind::Boolean;
    if (base == "DATE" || base == "DATETIME" || base == "TIMESTAMP")
        return ColumnKind::Date;
    return ColumnKind::Other;
}

namespace {

std::optional<QDateTime> parseJetLiteral(QStringView body) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    const QRegularExpressionMatch m = pattern.match(body);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.capturedView(3).toInt(), m.capturedView(1).toInt(), m.capturedView(2).toInt());
    const QTime time = m.hasCaptured(4) ? QTime(m.capturedView(4).toInt(), m.capturedView(5).toInt(),
                                                m.hasCaptured(6) ? m.capturedView(6).toInt() : 0)
                                        : QTime(0, 0);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

bool isIdentifierChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.');
}

qsizetype skipSpaceBack(const QString& s, qsizetype end) {
    while (end > 0 && s.at(end - 1).isSpace())
        --end;
    return end;
}

// out ends with "<column> <op> "; wraps the column when it is a whole operand, i.e. stands
// after the start, "(", ",", or a keyword that begins a condition. Anything else (an expression
// such as "a + insdate") is left as written rather than changed in meaning.
void wrapComparedColumn(QString& out) {
    qsizetype pos = skipSpaceBack(out, out.size());
    static const char* const operators[] = {"<=", ">=", "<>", "!=", "<", ">", "="};
    bool haveOperator = false;
    for (const char* op : operators) {
        const QLatin1String o(op);
        if (QStringView(out).left(pos).endsWith(o)) {
            pos -= o.size();
            haveOperator = true;
            break;
        }
    }
    if (!haveOperator)
        return;
    const qsizetype identEnd = skipSpaceBack(out, pos);
    qsizetype identStart = identEnd;
    while (identStart > 0 && isIdentifierChar(out.at(identStart - 1)))
        --identStart;
    if (identStart == identEnd || !(out.at(identStart).isLetter() || out.at(identStart) == QLatin1Char('_')))
        return;

    const qsizetype beforeEnd = skipSpaceBack(out, identStart);
    bool wholeOperand = beforeEnd == 0 || out.at(beforeEnd - 1) == QLatin1Char('(') ||
                        out.at(beforeEnd - 1) == QLatin1Char(',');
    if (!wholeOperand) {
        qsizetype wordStart = beforeEnd;
        while (wordStart > 0 && out.at(wordStart - 1).isLetter())
            --wordStart;
        const bool wordBoundary = wordStart == 0 || !isIdentifierChar(out.at(wordStart - 1));
        static const QStringList keywords = {
            QStringLiteral("WHERE"), QStringLiteral("AND"),    QStringLiteral("OR"),  QStringLiteral("NOT"),
            QStringLiteral("ON"),    QStringLiteral("HAVING"), QStringLiteral("WHEN")};
        const QString word = out.mid(wordStart, beforeEnd - wordStart);
        wholeOperand = wordStart < beforeEnd && wordBoundary && keywords.contains(word, Qt::CaseInsensitive);
    }
    if (!wholeOperand)
        return;
    out.insert(identEnd, QLatin1Char(')'));
    out.insert(identStart, QLatin1String("ordisp_time("));
}

} // namespace

QString translateJetSql(const QString& sql, bool compareStoredTimes) {
    QString out;
    out.reserve(sql.size() + 16);
    QChar quote;
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            // A doubled quote closes and reopens the string, which needs no special case.
            if (c == quote)
                quote = QChar();
            out += c;
            ++i;
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            out += c;
            ++i;
            continue;
        }
        if (c == QLatin1Char('#')) {
            const qsizetype end = sql.indexOf(QLatin1Char('#'), i + 1);
            if (end > i) {
                if (const auto value = parseJetLiteral(QStringView(sql).mid(i + 1, end - i - 1))) {
                    if (compareStoredTimes)
                        wrapComparedColumn(out);
                    out += QLatin1Char('\'') + isoText(*value) + QLatin1Char('\'');
                    i = end + 1;
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}

namespace {

void resultText(sqlite3_context* context, const QDateTime& value) {
    const QByteArray text = isoText(value).toUtf8();
    sqlite3_result_text(context, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void ordispTime(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (argc != 1) {
        sqlite3_result_error(context, "ordisp_time takes one argument", -1);
        return;
    }
    sqlite3_value* value = argv[0];
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const QDateTime time = dateTimeFromNumber(sqlite3_value_double(value));
        // A number that is no time must not compare as "long ago" and get purged.
        if (time.isValid())
            resultText(context, time);
        else
            sqlite3_result_null(context);
        return;
    }
    case SQLITE_TEXT: {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
        const QString text = QString::fromUtf8(bytes, sqlite3_value_bytes(value));
        // Text that reads as no time compares as nothing: as text, '' or '06.12.2026' would sort
        // before every ISO time and be purged as long ago.
        if (const auto time = parseStoredDateTime(text))
            resultText(context, *time);
        else
            sqlite3_result_null(context);
        return;
    }
    default:
        sqlite3_result_null(context);
        return;
    }
}

} // namespace

bool registerSqliteFunctions(sqlite3* handle) {
    return sqlite3_create_function_v2(handle, "ordisp_time", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      &ordispTime, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace ordisp
