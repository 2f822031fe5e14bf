#pragma once

#include "DataStamp.h"
#include "DbError.h"
#include "ResultSet.h"

#include <QString>

#include <chrono>
#include <optional>

namespace ordisp {

// One open connection to one back end. Database picks the kind when it opens and hands every
// statement to it.
class Connection {
public:
    virtual ~Connection() = default;

    // False once the back end has given the connection up (a server call past its deadline).
    virtual bool isOpen() const = 0;
    // Runs one statement. out == nullptr releases any rows unread; previous: see Database::select.
    [[nodiscard]] virtual bool run(const QString& sql, ResultData* out, DbError* error,
                                   const ResultData* previous) = 0;
    // See Database::dataStamp.
    virtual std::optional<DataStamp> dataStamp() = 0;
    // How long the next calls wait for a lock another connection holds; a back end whose locks
    // the server itself times out ignores it.
    virtual void setLockWait(std::chrono::milliseconds) {}
    virtual QString dbmsName() const = 0;
};

// Error texts both back ends give.
inline QString NotOpenText() {
    return QStringLiteral("Die Verbindung zur Datenbank ist nicht geöffnet.");
}

} // namespace ordisp
