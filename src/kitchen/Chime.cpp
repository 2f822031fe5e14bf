#include "Chime.h"

#include "MessageSink.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace ordisp {

Chime::Chime(QObject* parent)
    : QObject(parent) {}

void Chime::play() {
    ++m_requests;
    if (m_silent)
        return;
    if (!m_sound) {
        // Asked only now: a display without the signal never touches the sound system. What the
        // sound system says while it finds no device goes into the one line that says so.
        static QStringList said;
        said.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { said << text; });
        const bool none = QMediaDevices::audioOutputs().isEmpty();
        qInstallMessageHandler(previous);
        if (none) {
            QString reason = QStringLiteral("kein Audioausgang gefunden");
            if (!said.isEmpty())
                reason +=
                    QStringLiteral(" (") + said.join(QStringLiteral("; ")).simplified() + QLatin1Char(')');
            silence(reason);
            return;
        }
        m_sound = new QSoundEffect(this);
        connect(m_sound, &QSoundEffect::statusChanged, this, [this] {
            if (m_sound->status() == QSoundEffect::Error)
                silence(QStringLiteral("die Tondatei kann nicht gespielt werden"));
        });
        m_sound->setSource(QUrl(QStringLiteral("qrc:/ordisp/chime.wav")));
    }
    m_sound->play();
}

void Chime::silence(const QString& reason) {
    if (m_silent)
        return;
    m_silent = true;
    WriteStderrLine(QStringLiteral("Ordisp: Hinweiston für neue und stornierte Gerichte aus: %1. Prüfen Sie "
                                   "Lautsprecher und Audioeinstellungen.")
                        .arg(reason));
}

} // namespace ordisp
