#pragma once

#include <QObject>

class QSoundEffect;

namespace ordisp {

// The short sound for new and cancelled dishes, shipped with the program. Without a sound device
// it stays silent and says so once on standard error; it never shows a message.
class Chime final : public QObject {
    Q_OBJECT
public:
    explicit Chime(QObject* parent = nullptr);

    void play();
    // How often play() was asked for, sounded or not.
    int requests() const { return m_requests; }

private:
    void silence(const QString& reason);

    QSoundEffect* m_sound = nullptr;
    int m_requests = 0;
    bool m_silent = false;
};

} // namespace ordisp
