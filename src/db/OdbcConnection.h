#pragma once

#include "Connection.h"
#include "ConnectionSettings.h"

#include <memory>

namespace ordisp {

class OdbcSession;

// A server database reached through ODBC (Qt's QODBC), on a session thread of its own so that a
// hung server costs the caller a deadline, not the display.
class OdbcConnection final : public Connection {
public:
    // Connects with the data source DbServer names, or else with the first installed SQL Server
    // driver. connectionName: prefix of the Qt SQL connection names, one per session.
    static std::unique_ptr<OdbcConnection> open(const QString& connectionName,
                                                const ConnectionSettings& settings, DbError* error);
    ~OdbcConnection() override;

    bool isOpen() const override { return m_session != nullptr; }
    bool run(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) override;
    // On PostgreSQL the server's snapshot of committed transactions (see OdbcConnection.cpp);
    // none on other servers, which offer no such sign that cannot miss a change.
    std::optional<DataStamp> dataStamp() override;
    QString dbmsName() const override { return m_dbmsName; }

private:
    OdbcConnection(std::shared_ptr<OdbcSession> session, QString dbmsName, bool unicode);

    // Null once a call overran its deadline and the session was abandoned.
    std::shared_ptr<OdbcSession> m_session;
    QString m_dbmsName;
    bool m_unicode = false; // the driver hands out text as UTF-16
    quint64 m_serial = 0;
    bool m_stamps = false; // the server can tell that nothing changed
};

} // namespace ordisp
