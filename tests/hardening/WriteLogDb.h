#pragma once

#include "Database.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace ordisp {

// A real SQLite order database in a temporary folder in which triggers log every INSERT, UPDATE and
// DELETE on ordisp and system, so that a test can say exactly what the display wrote. Rows are
// arranged through a side connection of its own, as a terminal would write them.
class WriteLogDb {
public:
    // The order table as the administrator's tool creates it.
    WriteLogDb();
    // A foreign order table, e.g. without a primary key or with columns of no type; it must have
    // the nine columns the display knows.
    explicit WriteLogDb(const QString& ordispDdl);
    ~WriteLogDb();
    WriteLogDb(const WriteLogDb&) = delete;
    WriteLogDb& operator=(const WriteLogDb&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString errorText() const { return m_error; }
    QString folder() const { return m_dir.path(); }
    QString path() const;
    ConnectionSettings settings() const;

    // Runs one statement on the side connection; false (and errorText) on failure.
    bool exec(const QString& sql);
    QVariant scalar(const QString& sql);

    // The writes since the last clearWrites(), in order, e.g. "UPDATE ordisp id=5 status 0->2",
    // "DELETE ordisp id=5 status 2", "UPDATE system". A change to any other column of ordisp
    // ends the entry in " AND MORE".
    QStringList writes();
    void clearWrites();
    // The schema's statements: the display must create, drop or alter nothing.
    QString schema();

private:
    void create(const QString& ordispDdl);
    bool openSide();

    QTemporaryDir m_dir;
    QString m_connection;
    QString m_error;
};

} // namespace ordisp
