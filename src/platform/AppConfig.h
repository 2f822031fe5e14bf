#pragma once

#include <QtGlobal>

namespace ordisp {

// Settings the whole program reads after start-up; window lengths are screen pixels. The
// connection's settings are the database layer's own (ConnectionSettings).
struct AppConfig {
    qint32 windowLeft = 0;
    qint32 windowWidth = 1024;
    qint32 windowHeight = 768;
    qint32 monitorNr = 1;
};

} // namespace ordisp
