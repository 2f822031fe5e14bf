// The Jet date-literal translation on any statement text: quoted text comes through untouched,
// what is added is date literals (and, when stored times are compared, ordisp_time() around a
// column), and no literal is left for a second pass to translate.

#include "DbHelpers.h"
#include "FuzzCheck.h"
#include "SqliteSupport.h"

#include <QRegularExpression>

#include <cstdint>

using namespace ordisp;
using ordisp::fuzz::check;
using ordisp::fuzz::shown;

namespace {

// Quoted pieces in order, quotes included; an unterminated one runs to the end. A doubled quote
// closes and reopens, so it splits a piece in two, which is just as good for comparing.
QStringList quotedPieces(const QString& sql) {
    QStringList pieces;
    QChar quote;
    QString piece;
    for (const QChar c : sql) {
        if (quote.isNull()) {
            if (c == u'\'' || c == u'"') {
                quote = c;
                piece = c;
            }
            continue;
        }
        piece += c;
        if (c == quote) {
            pieces.append(piece);
            quote = QChar();
        }
    }
    if (!quote.isNull())
        pieces.append(piece);
    return pieces;
}

void checkTranslation(const QString& sql, bool compareStoredTimes) {
    const QString out = translateJetSql(sql, compareStoredTimes);
    static const QRegularExpression isoLiteral(QStringLiteral(R"(^'\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}'$)"));

    const QStringList in = quotedPieces(sql);
    const QStringList got = quotedPieces(out);
    qsizetype i = 0;
    for (const QString& piece : got) {
        if (i < in.size() && piece == in.at(i)) {
            ++i;
            continue;
        }
        check(isoLiteral.match(piece).hasMatch(), "only date literals are added inside quotes",
              shown(sql + QStringLiteral(" => ") + out));
    }
    check(i == in.size(), "quoted text is passed on unchanged", shown(sql + QStringLiteral(" => ") + out));

    if (!compareStoredTimes) {
        // The shortest literal, #1/1/2000#, grows by 11 characters into '2000-01-01 00:00:00'.
        const qsizetype literals = got.size() - in.size();
        check(out.size() - sql.size() <= literals * 11, "nothing but literals is added",
              shown(sql + QStringLiteral(" => ") + out));
    }
    check(translateJetSql(out, compareStoredTimes) == out, "no literal is left for a second pass",
          shown(sql + QStringLiteral(" => ") + out));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString sql = QString::fromUtf8(fuzz::bytesOf(data, size));
    checkTranslation(sql, false);
    checkTranslation(sql, true);
    return 0;
}
