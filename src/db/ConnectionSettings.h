#pragma once

#include <QString>

namespace ordisp {

inline const QString kDbTypeSql = QStringLiteral("MS-SQL");
inline const QString kDbTypeJet = QStringLiteral("MS-JET");

// Seconds a login, a connection or a statement may take before it fails; also how long the file
// waits for another writer.
inline constexpr int kDbTimeoutSeconds = 10;

// What a connection needs; for the file only `file` counts, for the server the rest. Any type
// other than kDbTypeSql means the file.
struct ConnectionSettings {
    QString type; // kDbTypeSql or kDbTypeJet
    QString server;
    QString user;
    QString password;
    QString file;
    // For the administrator's tool: a missing SQLite file is created (see SqliteConnection::createFile).
    bool createFile = false;

    bool isServer() const { return type == kDbTypeSql; }
};

} // namespace ordisp
