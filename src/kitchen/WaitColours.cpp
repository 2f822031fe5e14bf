#include "WaitColours.h"

#include "DateConversion.h"
#include "OrderSql.h"

namespace ordisp {

WaitBand WaitColours::band(const QVariant& status, const QVariant& insdate, const QDateTime& now) const {
    if (!isOn())
        return WaitBand::None;
    bool number = false;
    if (status.toDouble(&number) == double(StatusDone) && number)
        return WaitBand::None;
    const QDateTime written =
        insdate.metaType().id() == QMetaType::QDateTime ? insdate.toDateTime() : storedDateTime(insdate);
    if (!written.isValid())
        return WaitBand::None;
    const qint64 waited = written.secsTo(now);
    if (waited < 0)
        return WaitBand::None;
    if (m_red && waited >= qint64(*m_red) * 60)
        return WaitBand::Red;
    if (m_yellow && waited >= qint64(*m_yellow) * 60)
        return WaitBand::Yellow;
    return WaitBand::None;
}

QColor WaitColours::colour(WaitBand band) {
    switch (band) {
    case WaitBand::Yellow:
        return QColor(255, 214, 0);
    case WaitBand::Red:
        return QColor(255, 72, 72);
    case WaitBand::None:
        break;
    }
    return QColor();
}

} // namespace ordisp
