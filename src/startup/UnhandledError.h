#pragma once

#include <QString>

#include <stdexcept>

namespace ordisp {

// A failure that the start procedure does not handle. It travels up to the start-up, which shows
// the text, which names the error, as a critical message and ends the process with exit status 1.
class UnhandledError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit UnhandledError(const QString& text)
        : std::runtime_error(text.toStdString()) {}

    static UnhandledError overflow() { return UnhandledError(QStringLiteral("Überlauf (Fehler 6)")); }
    static UnhandledError subscriptOutOfRange() {
        return UnhandledError(QStringLiteral("Index außerhalb des gültigen Bereichs (Fehler 9)"));
    }
    static UnhandledError invalidArgument() {
        return UnhandledError(
            QStringLiteral("Ungültiger Prozeduraufruf oder ungültiges Argument (Fehler 5)"));
    }

    QString text() const { return QString::fromUtf8(what()); }
};

} // namespace ordisp
