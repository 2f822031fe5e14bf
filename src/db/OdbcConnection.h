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
    std::optional<DataStamp> dataStamp() override { return std::nullopt; }
    QString dbmsName() const override { return m_dbmsName; }

private:
    OdbcConnection(std::shared_ptr<OdbcSession> session, QString dbmsName);

    // Null once a call overran its deadline and the session was abandoned.
    std::shared_ptr<OdbcSession> m_session;
    QString m_dbmsName;
};

} // namespace ordisp
