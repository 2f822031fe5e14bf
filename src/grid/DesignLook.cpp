#include "DesignLook.h"

#include <QFontMetrics>

namespace ordisp {

QFont DesignFont(double points, bool bold) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont FittingFont(const QFont& font, const QString& text, const QSize& room, double smallestPoints) {
    constexpr double kStep = 0.25;
    QFont fitting = font;
    for (double points = font.pointSizeF(); points > 0; points -= kStep) {
        fitting.setPointSizeF(points);
        const QRect needed =
            QFontMetrics(fitting).boundingRect(QRect(QPoint(0, 0), room), Qt::TextWordWrap, text);
        if ((needed.width() <= room.width() && needed.height() <= room.height()) ||
            points - kStep < smallestPoints)
            return fitting;
    }
    return font;
}

QString ColouredButtonStyle(const QColor& colour) {
    return QStringLiteral(
               "QPushButton { background-color: %1; border: 1px solid #6f6f6f; border-radius: 3px; }"
               "QPushButton:focus { border: 2px solid #202020; }"
               "QPushButton:pressed { background-color: %2; }")
        .arg(colour.name(), colour.darker(115).name());
}

QString OnlyDoneDeletableText() {
    return QStringLiteral("Nur fertige Gerichte können aus der Liste gelöscht werden.");
}

QString ChangeNotSavedText() {
    return QStringLiteral("Die Datenbank ist nicht erreichbar. Die Änderung wurde nicht gespeichert.");
}

} // namespace ordisp
