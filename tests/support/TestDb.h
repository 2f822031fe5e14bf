#pragma once

#include "Database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <thread>

struct sqlite3;

namespace ordisp {

// A real SQLite database file ZALPOS.MDB in a temporary folder, holding the tables ordisp and
// system as the terminals' database has them, plus a side connection for arranging rows. Triggers
// log every INSERT, UPDATE and DELETE on ordisp and system, so that a test can say exactly what the
// display wrote.
class TestDb {
public:
    // One order line; a field left invalid is written as NULL.
    struct Order {
        qint64 id = 0; // 0 picks the next free id
        qint32 monitornr = 1;
        QVariant tisch = 1;
        QVariant gang = 1;
        QVariant gast = 1;
        QVariant menge = 1;
        QVariant txt = QStringLiteral("Schnitzel");
        QVariant status = 0;
        QVariant insdate = QDateTime(QDate(2024, 5, 10), QTime(12, 0));
    };

    // The tables as the administrator's tool creates them, or a foreign order table (e.g. without a
    // primary key) that has the nine columns the display knows.
    explicit TestDb(const QString& ordispDdl = QString());
    ~TestDb();
    TestDb(const TestDb&) = delete;
    TestDb& operator=(const TestDb&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString errorText() const { return m_error; }
    QString folder() const { return m_dir.path(); }
    QString path() const;
    // The connection settings of the file, as the start-up hands them to Database::open.
    ConnectionSettings settings() const;

    // Inserts the line and returns its id, or -1 on failure (see errorText).
    qint64 addOrder(const Order& order);
    // Runs one statement on the side connection; false (and errorText) on failure.
    bool exec(const QString& sql);
    // The first column of the first row of a query; invalid when there is none.
    QVariant scalar(const QString& sql);

    // The writes since the last clearWrites(), in order, e.g. "UPDATE ordisp id=5 status 0->2",
    // "DELETE ordisp id=5 status 2", "UPDATE system". A change to any other column of ordisp ends
    // the entry in " AND MORE".
    QStringList writes();
    void clearWrites();

    // Closes the side connection, e.g. before moving the file away.
    void closeSide();

    // A backup as an administrator would restore it: a copy of the file beside it, changed by
    // sql; its path, or empty (see errorText).
    QString changedCopy(const QString& sql);
    // Moves the copy over the file as `mv` does: a new file at the path, the old one unlinked.
    bool moveOver(const QString& copy);

private:
    bool openSide();
    // Every row of a query on the side connection; empty (and errorText) on failure.
    QList<QVariantList> rows(const QString& sql);

    QTemporaryDir m_dir;
    QString m_connection;
    QString m_error;
};

// Another program's write lock on a file: a connection of its own in BEGIN EXCLUSIVE, until
// release() or, on a thread of its own, until releaseAfter()'s time has passed.
class FileLock {
public:
    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isHeld() const { return m_held; }
    void release();
    void releaseAfter(std::chrono::milliseconds wait);

private:
    sqlite3* m_db = nullptr;
    std::atomic<bool> m_held{false};
    std::thread m_releaser;
};

} // namespace ordisp
