#pragma once

#include <QtGlobal>

#include <optional>

namespace ordisp {

// The kitchen's signals, each off unless its key is in ZALPOS.INI: they change what the display
// shows and sounds.
struct KitchenSettings {
    std::optional<qint32> yellowMinutes; // GELB-MINUTEN: "Zeit" yellow from this age of an open line
    std::optional<qint32> redMinutes;    // ROT-MINUTEN: red from this age
    bool newSignal = false;              // NEU-SIGNAL=1: new lines bold, a chime per refresh with some
    std::optional<qint32> cancelSeconds; // STORNO-SEKUNDEN: how long a cancelled line is shown

    bool any() const { return yellowMinutes || redMinutes || newSignal || cancelSeconds; }
};

// Settings the whole program reads after start-up; window lengths are screen pixels. The
// connection's settings are the database layer's own (ConnectionSettings).
struct AppConfig {
    qint32 windowLeft = 0;
    qint32 windowWidth = 1024;
    qint32 windowHeight = 768;
    qint32 monitorNr = 1;
    KitchenSettings kitchen;
};

} // namespace ordisp
