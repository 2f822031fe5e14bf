#pragma once

#include "ConnectionSettings.h"

#include <QDate>
#include <QString>

namespace ordisp {

class Database;
class MessageSink;

// Opens the connection for the configured type. On failure the messages have been shown and the
// caller ends the process.
bool OpenDatabase(Database& db, const ConnectionSettings& settings, MessageSink& messages,
                  const QString& configFile);

void ProbeDateFormat(Database& db, MessageSink& messages);

// Server only. False when no true value could be found (the connection is closed then).
bool ProbeBooleanTrue(Database& db, MessageSink& messages);

void PurgeDoneOrders(Database& db, const QDate& today);

} // namespace ordisp
