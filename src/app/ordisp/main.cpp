#include "Clock.h"
#include "Database.h"
#include "Form1.h"
#include "InstanceGuard.h"
#include "MessageSink.h"
#include "QtMessageSink.h"
#include "QtScreen.h"
#include "Startup.h"
#include "frmTischDetail.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

namespace {
// For ordisp-bench: "shown <ms>" on stderr once the main window is exposed and drawn, in
// milliseconds of the monotonic clock.
class ShownReporter final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, [] {
                QElapsedTimer now;
                now.start();
                ordisp::WriteStderrLine(QStringLiteral("shown %1").arg(now.msecsSinceReference()));
            });
        }
        return false;
    }
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // No application display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("ordisp"));

    // The message boxes' buttons read "Ja" and "Nein", whatever the session's language.
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
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
    detail.setKitchenSignals(form.kitchenSignals());
    QObject::connect(&guard, &ordisp::LocalInstanceGuard::activationRequested, &form, [&form] {
        if (form.isMinimized())
            form.showNormal();
        form.raise();
        form.activateWindow();
    });
    form.show();
    ShownReporter shown;
    if (qEnvironmentVariableIsSet("ORDISP_REPORT_SHOWN") && form.windowHandle())
        form.windowHandle()->installEventFilter(&shown);
    return QApplication::exec();
}
