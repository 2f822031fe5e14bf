#include "Clock.h"
#include "Database.h"
#include "Form1.h"
#include "InstanceGuard.h"
#include "QtMessageSink.h"
#include "QtScreen.h"
#include "Startup.h"
#include "frmTischDetail.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // No application display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("ordisp"));

    // The message boxes' buttons read "Ja" and "Nein", whatever the session's language.
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtGerman);

    ordisp::QtMessageSink messages;
    ordisp::SystemClock clock;
    ordisp::QtScreen screen;
    ordisp::LocalInstanceGuard guard;

    ordisp::StartupEnvironment env;
    env.messages = &messages;
    env.clock = &clock;
    env.instance = &guard;
    env.configFolder = ordisp::DefaultConfigFolder();
    env.executableFolder = QCoreApplication::applicationDirPath();
    env.currentFolder = QDir::currentPath();
    env.processEvents = [] { QCoreApplication::processEvents(); };

    ordisp::StartupOutcome outcome = ordisp::RunStartup(env);
    if (!outcome.showMainWindow)
        return outcome.exitCode;

    ordisp::frmTischDetail detail(*outcome.db, outcome.config.monitorNr, messages, screen);
    ordisp::Form1 form(*outcome.db, outcome.config, messages, screen, clock, &detail);
    QObject::connect(&guard, &ordisp::LocalInstanceGuard::activationRequested, &form, [&form] {
        if (form.isMinimized())
            form.showNormal();
        form.raise();
        form.activateWindow();
    });
    form.show();
    return QApplication::exec();
}
