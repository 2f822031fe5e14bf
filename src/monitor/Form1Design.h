#pragma once

#include <QString>

// The main window's design: lengths in twips relative to the client area, and its fixed numbers.
namespace ordisp::form1 {

// Design lengths in twips, relative to the client area.
struct Rect {
    double left, top, width, height;
};
inline constexpr Rect kGrid{120, 2520, 10215, 6855};
inline constexpr Rect kCmdOK{10560, 3840, 2175, 855};
inline constexpr Rect kCmdIA{10560, 2520, 2175, 855};
inline constexpr Rect kCmdDel{10560, 5160, 2175, 855};
inline constexpr Rect kCmdTisch0{120, 120, 1095, 855};
inline constexpr Rect kCmdEsc{11880, 120, 975, 855};
inline constexpr Rect kShape1{120, 120, 10215, 2295};
inline constexpr double kDesignClientWidth = 12975;
inline constexpr double kDesignClientHeight = 9630;

inline constexpr int kTableButtonCount = 30;
inline constexpr int kTableButtonColumns = 10;
inline constexpr int kTableButtonRows = 3;
inline constexpr int kTimerInterval = 2000;
// Ticks in a row that a lock kept from reading before the banner says so.
inline constexpr int kBusyReadsShown = 3;
inline constexpr int kGridRowLines = 4;
// A caption that does not fit is shrunk down to this size of the design, no further.
inline constexpr double kSmallestPoints = 8.0;

inline const QString kDesignCaption = QStringLiteral("Torvane-Gastronomie Küchenmonitor");

} // namespace ordisp::form1
