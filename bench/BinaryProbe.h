#pragma once

#include <QProcessEnvironment>
#include <QString>

class QProcess;

namespace ordisp {

// Runs the real display binary on a database file and measures it from outside: the time until its
// main window is first drawn, its processor time while idle, its peak resident memory.
class BinaryProbe {
public:
    // workFolder holds the configuration and runtime folders of the runs; environment is what the
    // binary starts with (it needs a display or QT_QPA_PLATFORM=offscreen).
    BinaryProbe(const QString& program, const QString& workFolder, const QProcessEnvironment& environment);

    // Milliseconds from starting the process to its report of the first drawn window.
    bool startToWindow(const QString& dbFolder, double* ms, QString* error);
    // Processor time over `seconds` of idle ticks, as a share of one core in percent.
    bool idleCpu(const QString& dbFolder, int seconds, double* percent, QString* error);
    // Peak resident memory after the first list and two ticks, in MiB.
    bool peakRss(const QString& dbFolder, double* mb, QString* error);

private:
    bool start(QProcess& process, const QString& dbFolder, double* shownMs, QString* error);
    static void stop(QProcess& process);

    QString m_program;
    QString m_workFolder;
    QProcessEnvironment m_environment;
};

} // namespace ordisp
