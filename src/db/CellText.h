#pragma once

#include <QVariant>

namespace ordisp {

// Cell texts: 0/1/2 become "NEU"/"i.A."/"OK", anything else (null too) is passed on unchanged.
QVariant StatusText(const QVariant& value);
// "HH:NN" of a date and time; empty for null.
QVariant TimeText(const QVariant& value);

} // namespace ordisp
