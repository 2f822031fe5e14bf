#pragma once

#include <QFrame>
#include <QList>
#include <QStringList>

class QLabel;

namespace ordisp {

// The strip above a grid that tells the cook which dishes were cancelled, one line each, newest
// first. Hidden while there is nothing to tell.
class CancelStrip final : public QFrame {
    Q_OBJECT
public:
    explicit CancelStrip(QWidget* parent = nullptr);

    // Returns whether the lines changed.
    bool setLines(const QStringList& lines);
    QStringList lines() const { return m_lines; }
    // The style sheet keeps the labels from taking the strip's font.
    void setTextFont(const QFont& font);

private:
    QList<QLabel*> m_labels;
    QStringList m_lines;
};

} // namespace ordisp
