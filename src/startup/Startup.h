#pragma once

#include "AppConfig.h"
#include "ConnectionSettings.h"

#include <QString>

#include <functional>
#include <memory>

namespace ordisp {

class Clock;
class Database;
class InstanceGuard;
class MessageSink;

// What the start-up needs from the world; tests fill it with their own folders, clock and answers.
struct StartupEnvironment {
    MessageSink* messages = nullptr;
    const Clock* clock = nullptr;
    InstanceGuard* instance = nullptr;
    QString configFolder;     // holds ZALPOS.INI
    QString executableFolder; // without a trailing '/'
    QString currentFolder;    // the process's working folder
    std::function<void()> processEvents;
};

struct StartupOutcome {
    bool showMainWindow = false; // false: end the process with exitCode
    int exitCode = 0;
    AppConfig config;
    std::unique_ptr<Database> db; // open when showMainWindow
};

QString ConfigFilePath(const QString& configFolder);

struct Configuration {
    AppConfig app;
    ConnectionSettings db;
};

// Reads every key in its order, writing the defaults of missing ones. Throws UnhandledError on a
// number outside 32 bits or a coded password that is too long.
Configuration ReadConfiguration(const QString& ini, const QString& executableFolder);

// The folder holding ZALPOS.INI: $XDG_CONFIG_HOME/zalpos (by default ~/.config/zalpos).
QString DefaultConfigFolder();

// Runs the start-up sequence up to (not including) showing the main window.
StartupOutcome RunStartup(const StartupEnvironment& env);

} // namespace ordisp
