#pragma once

#include <QColor>
#include <QDateTime>
#include <QVariant>

#include <optional>

namespace ordisp {

enum class WaitBand { None, Yellow, Red };

// How long an open line has waited, as a colour: yellow from one age on, red from another. Done
// lines, and lines whose time reads as none or lies ahead, have no colour.
class WaitColours {
public:
    WaitColours(std::optional<qint32> yellowMinutes, std::optional<qint32> redMinutes)
        : m_yellow(yellowMinutes)
        , m_red(redMinutes) {}

    bool isOn() const { return m_yellow || m_red; }
    WaitBand band(const QVariant& status, const QVariant& insdate, const QDateTime& now) const;
    static QColor colour(WaitBand band);

private:
    std::optional<qint32> m_yellow;
    std::optional<qint32> m_red;
};

} // namespace ordisp
