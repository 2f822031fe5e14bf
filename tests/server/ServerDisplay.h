#pragma once

#include "Display.h"

namespace ordisp {

// The outage test's name for a Display on the server, with its way of adding lines.
class ServerDisplay : public Display {
public:
    ServerDisplay(const PgCluster& /*cluster*/, const QString& /*roleName*/)
        : Display(1, QStringLiteral("server"))
        , role(*Display::role) {}
    bool prepare() const { return errorText().isEmpty(); }
    qint64 add(int table, int course, int guest, std::optional<int> status, const QDateTime& insdate,
               const QString& text) {
        return Display::add({1, table, course, guest, 1.0, text, status, insdate});
    }
    int tableButton(const QString& caption) const { return int(tableCaptions().indexOf(caption)) + 1; }
    QString storedStatus(qint64 id) {
        const QVariant status =
            role.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(id));
        return status.isNull() ? QString() : QString::number(status.toInt());
    }

    ScratchRole& role;
};

} // namespace ordisp
