#pragma once

#include "Database.h"
#include "SqliteConnection.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace ordisp::test {

// A new SQLite file in dir, opened on db; statements run in order and must all succeed.
inline bool openScratchDatabase(Database& db, const QTemporaryDir& dir, const QStringList& statements,
                                const QString& fileName = QStringLiteral("ZALPOS.MDB")) {
    const QString path = dir.filePath(fileName);
    DbError error;
    if (!SqliteConnection::createFile(path, &error)) {
        qWarning() << "create" << path << error.description;
        return false;
    }
    if (!db.open(ConnectionSettings{kDbTypeJet, {}, {}, {}, path}, &error)) {
        qWarning() << "open" << path << error.description;
        return false;
    }
    for (const QString& sql : statements) {
        if (!db.exec(sql, &error)) {
            qWarning() << sql << error.number << error.description;
            return false;
        }
    }
    return true;
}

// The nine columns a terminal fills, as the administrator's tool creates them.
inline QString orderTableDdl() {
    return QStringLiteral("CREATE TABLE ordisp (id INTEGER PRIMARY KEY AUTOINCREMENT, monitornr INTEGER, "
                          "tisch INTEGER, gang INTEGER, gast INTEGER, menge REAL, txt VARCHAR(255), "
                          "status INTEGER, insdate DATETIME)");
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace ordisp::test
