#include "KitchenSettingsReader.h"

#include "MessageSink.h"
#include "ProfileFile.h"

namespace ordisp {

namespace {

constexpr qint32 kLargest = 100000;

// The key's whole number, nothing when it is missing or empty, or not a plain number in range.
std::optional<qint32> WholeNumber(const QString& ini, const QString& key, qint32 largest) {
    const QString value = ProfileFile::read(ini, QStringLiteral("ORDISP"), key).trimmed();
    if (value.isEmpty())
        return std::nullopt;
    bool digits = true;
    for (const QChar c : value)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (digits && ok && number <= largest)
        return qint32(number);
    WriteStderrLine(QStringLiteral("Ordisp: [ORDISP] %1=%2 in %3 wird nicht beachtet: erwartet ist eine "
                                   "ganze Zahl von 0 bis %4.")
                        .arg(key, value, ini)
                        .arg(largest));
    return std::nullopt;
}

} // namespace

KitchenSettings ReadKitchenSettings(const QString& ini) {
    KitchenSettings k;
    k.yellowMinutes = WholeNumber(ini, QStringLiteral("GELB-MINUTEN"), kLargest);
    k.redMinutes = WholeNumber(ini, QStringLiteral("ROT-MINUTEN"), kLargest);
    k.newSignal = WholeNumber(ini, QStringLiteral("NEU-SIGNAL"), 1).value_or(0) == 1;
    k.cancelSeconds = WholeNumber(ini, QStringLiteral("STORNO-SEKUNDEN"), kLargest);
    if (k.cancelSeconds == 0)
        k.cancelSeconds.reset();
    return k;
}

} // namespace ordisp
