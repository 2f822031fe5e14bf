#pragma once

#include <QStringList>

class QTextStream;

namespace ordisp {

// The administrator's tool: works on the database configured in ZALPOS.INI, as the display does.
// args excludes the program name. Returns the exit status.
struct DbToolStreams {
    QTextStream* out;
    QTextStream* err;
    QTextStream* in;
};

int RunDbTool(const QStringList& args, const DbToolStreams& io, const QString& configFolder,
              const QString& executableFolder);

} // namespace ordisp
