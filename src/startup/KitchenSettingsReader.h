#pragma once

#include "AppConfig.h"

#include <QString>

namespace ordisp {

// Reads the kitchen's opt-in keys of [ORDISP] (GELB-MINUTEN, ROT-MINUTEN, NEU-SIGNAL,
// STORNO-SEKUNDEN). A missing or empty key leaves its signal off and is not written: the file
// stays as the other programs left it. A value that is not a whole number of 0 to 100000 (for
// NEU-SIGNAL: 0 or 1) is ignored with one line on standard error that names the key.
KitchenSettings ReadKitchenSettings(const QString& ini);

} // namespace ordisp
