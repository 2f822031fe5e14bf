#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>

namespace ordisp {

// Looks and texts both windows share.

// The design's fonts are Arial; Liberation Sans stands in where Arial is missing.
QFont DesignFont(double points, bool bold);

// The font, or a smaller size of it but not below smallestPoints, in which the text, wrapped at
// word boundaries, fits the room; a caption is then shown whole instead of cut mid-word.
QFont FittingFont(const QFont& font, const QString& text, const QSize& room, double smallestPoints);

// Plain background colours are ignored by some styles; a style sheet shows them everywhere.
QString ColouredButtonStyle(const QColor& colour);

// The refusal of a delete for a line that is not done.
QString OnlyDoneDeletableText();
// A button's change that neither reached the database nor can be confirmed by a refresh.
QString ChangeNotSavedText();

} // namespace ordisp
