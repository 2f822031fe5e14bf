#include "BinaryProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <unistd.h>

namespace ordisp {

namespace {

constexpr int kStartTimeoutMs = 30000;
// The display's refresh interval; the memory figure is taken after two ticks.
constexpr int kTickMs = 2000;

bool writeFile(const QString& path, const QByteArray& content, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Processor time of the process in nanoseconds; schedstat counts them exactly, stat in ticks.
qint64 cpuNanoseconds(qint64 pid) {
    const QByteArray schedstat = procFile(pid, "schedstat");
    bool ok = false;
    const qint64 ns = schedstat.split(' ').value(0).toLongLong(&ok);
    if (ok)
        return ns;
    const QByteArray stat = procFile(pid, "stat");
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
    return ticks * 1000000000 / sysconf(_SC_CLK_TCK);
}

double peakResidentMiB(qint64 pid) {
    for (const QByteArray& line : procFile(pid, "status").split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

BinaryProbe::BinaryProbe(const QString& program, const QString& workFolder,
                         const QProcessEnvironment& environment)
    : m_program(program)
    , m_workFolder(workFolder)
    , m_environment(environment) {}

bool BinaryProbe::start(QProcess& process, const QString& dbFolder, double* shownMs, QString* error) {
    // A configuration and a single-instance lock of its own: a display running on this machine
    // neither blocks the run nor is asked to come to the front.
    const QDir work(m_workFolder);
    const QString config = work.filePath(QStringLiteral("config"));
    const QString runtime = work.filePath(QStringLiteral("runtime"));
    const QString temp = work.filePath(QStringLiteral("tmp"));
    for (const QString& folder : {config + QStringLiteral("/zalpos"), runtime, temp}) {
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("cannot create %1").arg(folder);
            return false;
        }
    }
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray ini = "[ORDISP]\nLEFT=0\nWIDTH=1024\nHEIGHT=768\nORDISPNR=1\n"
                           "[DATABASE]\nTYP=MS-JET\n"
                           "[PFADE]\nDATENBANK=" +
                           dbFolder.toUtf8() + "\n";
    if (!writeFile(config + QStringLiteral("/zalpos/ZALPOS.INI"), ini, error))
        return false;

    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("TMPDIR"), temp);
    environment.insert(QStringLiteral("ORDISP_REPORT_SHOWN"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProgram(m_program);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardOutputFile(QProcess::nullDevice());

    QElapsedTimer clock;
    clock.start();
    const qint64 started = clock.msecsSinceReference();
    process.start();
    if (!process.waitForStarted(kStartTimeoutMs)) {
        *error = QStringLiteral("%1: %2").arg(m_program, process.errorString());
        return false;
    }
    QByteArray output;
    while (clock.elapsed() < kStartTimeoutMs) {
        if (!process.canReadLine() && !process.waitForReadyRead(100)) {
            if (process.state() == QProcess::NotRunning)
                break;
            continue;
        }
        while (process.canReadLine()) {
            const QByteArray line = process.readLine();
            output += line;
            if (line.startsWith("shown ")) {
                bool ok = false;
                const qint64 shown = line.mid(6).trimmed().toLongLong(&ok);
                if (ok) {
                    *shownMs = double(shown - started);
                    return true;
                }
            }
        }
    }
    stop(process);
    *error = QStringLiteral("%1 reported no shown window: %2")
                 .arg(m_program, QString::fromUtf8(output + process.readAllStandardError()).trimmed());
    return false;
}

void BinaryProbe::stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool BinaryProbe::startToWindow(const QString& dbFolder, double* ms, QString* error) {
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    const bool ok = start(process, dbFolder, ms, error);
    stop(process);
    return ok;
}

bool BinaryProbe::idleCpu(const QString& dbFolder, int seconds, double* percent, QString* error) {
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    double shown = 0;
    if (!start(process, dbFolder, &shown, error))
        return false;
    // The start's own work is over after the first tick.
    QThread::msleep(kTickMs + 500);
    const qint64 pid = process.processId();
    QElapsedTimer wall;
    wall.start();
    const qint64 before = cpuNanoseconds(pid);
    QThread::msleep(qMax(1, seconds) * 1000);
    const qint64 after = cpuNanoseconds(pid);
    const qint64 elapsed = wall.nsecsElapsed();
    const bool running = process.state() == QProcess::Running;
    stop(process);
    if (!running) {
        *error = QStringLiteral("%1 ended while idle: %2")
                     .arg(m_program, QString::fromUtf8(process.readAllStandardError()).trimmed());
        return false;
    }
    *percent = 100.0 * double(after - before) / double(elapsed);
    return true;
}

bool BinaryProbe::peakRss(const QString& dbFolder, double* mb, QString* error) {
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    double shown = 0;
    if (!start(process, dbFolder, &shown, error))
        return false;
    QThread::msleep(2 * kTickMs + 500);
    *mb = peakResidentMiB(process.processId());
    stop(process);
    if (*mb < 0) {
        *error = QStringLiteral("no VmHWM in /proc for %1").arg(m_program);
        return false;
    }
    return true;
}

} // namespace ordisp
