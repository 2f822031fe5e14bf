#pragma once

#include <QString>

namespace ordisp {

// Settings the whole program reads after start-up; window lengths are screen pixels.
struct AppConfig {
    qint32 windowLeft = 0;
    qint32 windowWidth = 1024;
    qint32 windowHeight = 768;
    QString dbType;
    qint32 monitorNr = 1;
};

// Connection inputs, needed only until the database is open.
struct DbSettings {
    QString server;
    QString user;
    QString password;
    QString file;
};

} // namespace ordisp
