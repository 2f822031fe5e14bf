// The configuration file shared with the other programs, written by a process killed at random
// moments: what stays is always a whole file, the old one or the new one.

#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace ordisp;
using namespace Qt::StringLiterals;

class TestConfigAbuse : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesAWholeFile() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(u"ZALPOS.INI"_s);
        QVERIFY(ProfileFile::write(ini, u"KASSE"_s, u"KOPF"_s, u"Grüße"_s) &&
                ProfileFile::write(ini, u"ORDISP"_s, u"LEFT"_s, u"1"_s));
        const QByteArray head = "[KASSE]\nKOPF=Grüße\n\n[ORDISP]\nLEFT=";
        for (int round = 0; round < 60; ++round) {
            const pid_t writer = ::fork();
            for (bool odd = false; writer == 0; odd = !odd) {
                if (!ProfileFile::write(ini, u"ORDISP"_s, u"LEFT"_s, odd ? u"1"_s : u"2222222222"_s))
                    ::_exit(1);
            }
            QThread::usleep(QRandomGenerator::global()->bounded(20000));
            int status = 0;
            QVERIFY(::kill(writer, SIGKILL) == 0 && ::waitpid(writer, &status, 0) == writer &&
                    WIFSIGNALED(status));
            QFile file(ini);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(bytes == head + "1\n" || bytes == head + "2222222222\n", bytes.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestConfigAbuse)
#include "tst_configabuse.moc"
