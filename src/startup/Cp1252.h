#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace ordisp {

// Windows-1252 ("ANSI" on western Windows), with our own table so that the result does not depend
// on which codecs the Qt build carries. The five codes 1252 leaves undefined (81, 8D, 8F, 90, 9D)
// stand for the C1 controls of the same number, as on Windows, so every byte survives a round trip.
class Cp1252 final {
public:
    static QChar toUnicode(quint8 code);
    // The code of a character, or -1 when 1252 has none for it.
    static int fromUnicode(QChar c);

    static QString decode(QByteArrayView bytes);
    // Sets *ok to false (and leaves the rest of the text encoded) when a character has no code.
    static QByteArray encode(const QString& text, bool* ok = nullptr);
};

} // namespace ordisp
