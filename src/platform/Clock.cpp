#include "Clock.h"

namespace ordisp {

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

} // namespace ordisp
