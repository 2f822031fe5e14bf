#include "BenchData.h"

#include "BenchSql.h"
#include "Schema.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>

#include <random>

namespace ordisp {

namespace {

const char* const kDishes[] = {
    "Forelle Müllerin", "Wiener Schnitzel", "Rinderroulade", "Käsespätzle", "Zwiebelrostbraten",
    "Flädlesuppe",      "Kaiserschmarrn",   "Salatteller",   "Maultaschen", "Apfelstrudel mit Vanillesoße",
};

QString sqlErrorText(const QSqlError& error) {
    return error.text().isEmpty() ? QStringLiteral("unknown error") : error.text();
}

OrderInput lineFor(std::mt19937& random, qint32 monitor, int serial, const QDateTime& first) {
    OrderInput order;
    order.monitorNr = monitor;
    // More tables than there are buttons, so that the list of tables is cut as on a full evening.
    order.table = int(random() % 40) + 1;
    order.course = int(random() % 9);
    order.guest = int(random() % 8) + 1;
    order.quantity = double(random() % 3 + 1);
    const int dish = int(random() % std::size(kDishes));
    order.text = QString::fromUtf8(kDishes[dish]);
    if (random() % 4 == 0)
        order.text += QStringLiteral(" ohne Zwiebeln, Soße extra");
    const unsigned roll = random() % 20;
    order.status = roll < 12 ? 0 : roll < 17 ? 1 : 2;
    order.insdate = first.addSecs(serial);
    return order;
}

} // namespace

BenchData::BenchData(Database& db, qint32 monitorNr)
    : m_db(db)
    , m_monitorNr(monitorNr) {}

bool BenchData::fill(int lines, int otherLines, QString* error) {
    DbError dbError;
    if (!EnsureOrderSchema(m_db, nullptr, &dbError)) {
        *error = dbError.description;
        return false;
    }
    // One transaction makes the file's lines a matter of seconds; the server's connection lives on
    // a thread of its own and takes each line as it comes.
    const bool file = m_db.type() != kDbTypeSql;
    QSqlDatabase connection = QSqlDatabase::database(m_db.connectionName(), false);
    if (file && !connection.transaction()) {
        *error = sqlErrorText(connection.lastError());
        return false;
    }
    std::mt19937 random(20240510u + unsigned(lines));
    // Written today, so that the start-up purge of done lines from earlier days leaves them.
    const QDateTime first(QDate::currentDate(), QTime(0, 0));
    // The lines of all monitors interleave as the terminals write them.
    const int total = lines + otherLines;
    int ours = 0;
    for (int serial = 0; serial < total; ++serial) {
        const bool mine = qint64(ours) * total < qint64(serial + 1) * lines;
        const qint32 monitor = mine ? m_monitorNr : m_monitorNr + 1 + qint32(serial % kOtherMonitors);
        if (mine)
            ++ours;
        // Spread over the day, a second or so apart at most.
        const int second = int(qint64(serial) * 86000 / qMax(total, 1));
        if (!InsertOrder(m_db, lineFor(random, monitor, second, first), &dbError)) {
            *error = dbError.description;
            if (file)
                connection.rollback();
            return false;
        }
    }
    if (file && !connection.commit()) {
        *error = sqlErrorText(connection.lastError());
        return false;
    }
    return true;
}

bool BenchData::clear(QString* error) {
    DbError dbError;
    // A server new to the bench has no table yet.
    if (!EnsureOrderSchema(m_db, nullptr, &dbError)) {
        *error = dbError.description;
        return false;
    }
    for (qint32 monitor = m_monitorNr; monitor <= m_monitorNr + kOtherMonitors; ++monitor) {
        if (!m_db.exec(BenchSql::deleteMonitorLines(monitor), &dbError)) {
            *error = dbError.description;
            return false;
        }
    }
    return true;
}

bool BenchData::addLine(int serial, QString* error) {
    OrderInput order;
    order.monitorNr = m_monitorNr;
    order.table = serial % 40 + 1;
    order.course = serial % 9;
    order.guest = serial % 8 + 1;
    order.text = QStringLiteral("Tagesgericht %1").arg(serial);
    order.insdate = QDateTime::currentDateTime();
    DbError dbError;
    if (!InsertOrder(m_db, order, &dbError)) {
        *error = dbError.description;
        return false;
    }
    return true;
}

} // namespace ordisp
