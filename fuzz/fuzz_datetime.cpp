// Stored times as a terminal may write them: the ISO parser on any text (its quick path and its
// pattern must agree, for UTF-16 and UTF-8 alike, with the forms it promises), the stored-time rule
// over it, numbers read as Windows date numbers, Julian days or Unix time, and ordisp_time(), by
// which the start-up purge compares stored times in the SQLite file.

#include "CellText.h"
#include "DateConversion.h"
#include "FuzzCheck.h"
#include "OrderSql.h"
#include "SqliteSupport.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <cstdint>
#include <cstring>

using namespace ordisp;
using ordisp::fuzz::check;
using ordisp::fuzz::shown;

namespace {

sqlite3* g_db = nullptr;
sqlite3_stmt* g_timeOf = nullptr;

// The promised forms, written out independently of the parser: 'YYYY-MM-DD', then optionally
// ' ' or 'T' and 'HH:MM', ':SS', '.fraction'; blanks around allowed.
std::optional<QDateTime> promised(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*([0-9]{4})-([0-9]{2})-([0-9]{2})(?:[ "
                       "T]([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:\\.([0-9]{1,9}))?)?)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const int msec = m.captured(7).isEmpty() ? 0 : m.captured(7).left(3).leftJustified(3, u'0').toInt();
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

// ordisp_time(value) as the purge's statement sees it: its text, or null.
std::optional<QByteArray> timeOf(const std::function<void(sqlite3_stmt*)>& bind) {
    sqlite3_reset(g_timeOf);
    bind(g_timeOf);
    check(sqlite3_step(g_timeOf) == SQLITE_ROW, "ordisp_time() gives a row");
    if (sqlite3_column_type(g_timeOf, 0) == SQLITE_NULL)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(g_timeOf, 0));
    return QByteArray(text, sqlite3_column_bytes(g_timeOf, 0));
}

void checkText(const QByteArray& utf8) {
    const QString text = QString::fromUtf8(utf8);
    const std::optional<QDateTime> wide = parseIsoDateTime(QStringView(text));
    const QByteArray clean = text.toUtf8(); // invalid bytes replaced, as SQLite's text would not be
    const std::optional<QDateTime> narrow = parseIsoDateTime(QByteArrayView(clean));
    check(wide.has_value() == narrow.has_value() && (!wide || *wide == *narrow),
          "UTF-16 and UTF-8 text read alike", shown(text));
    const std::optional<QDateTime> expected = promised(text);
    check(wide.has_value() == expected.has_value() && (!wide || *wide == *expected),
          "exactly the promised forms are times",
          shown(text + QStringLiteral(" => ") + (wide ? isoText(*wide) : QStringLiteral("none"))));

    // The one rule for stored text reads ISO text as the ISO parser does, and more.
    const std::optional<QDateTime> stored = parseStoredDateTime(QStringView(text));
    check(!wide || (stored && *stored == *wide), "ISO text reads alike by the stored-time rule", shown(text));

    const QString cell = TimeText(QVariant(text)).toString();
    check(cell == (stored ? stored->toString(QStringLiteral("HH:mm")) : QString()),
          "the time column shows HH:MM", shown(text));

    const std::optional<QByteArray> sql = timeOf([&](sqlite3_stmt* s) {
        sqlite3_bind_text(s, 1, clean.constData(), int(clean.size()), SQLITE_TRANSIENT);
    });
    // Text that is no time must stay null, or the purge would take it for long ago.
    check(sql.has_value() == stored.has_value() && (!sql || *sql == isoText(*stored).toUtf8()),
          "ordisp_time() turns stored times into ISO text, the rest into null", shown(text));
}

void checkNumber(double value) {
    const QDateTime time = dateTimeFromNumber(value);
    const std::optional<QByteArray> sql = timeOf([&](sqlite3_stmt* s) { sqlite3_bind_double(s, 1, value); });
    // A number that is no time must stay null, or the purge would take it for long ago.
    check(sql.has_value() == time.isValid(), "ordisp_time() of a number is null exactly when it is no time",
          QString::number(value, 'g', 17));
    if (sql)
        check(*sql == isoText(time).toUtf8(), "ordisp_time() of a number is its local time",
              QString::number(value, 'g', 17));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    check(sqlite3_open(":memory:", &g_db) == SQLITE_OK, "in-memory database");
    check(registerSqliteFunctions(g_db), "ordisp_time() registered");
    check(sqlite3_prepare_v2(g_db, "SELECT ordisp_time(?1)", -1, &g_timeOf, nullptr) == SQLITE_OK,
          "statement prepared");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    checkText(bytes);
    if (size >= sizeof(double)) {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        checkNumber(value);
    }
    // The text read as a number, the way a terminal might have meant it.
    bool ok = false;
    const double number = QString::fromUtf8(bytes).toDouble(&ok);
    if (ok)
        checkNumber(number);
    return 0;
}
