// The configuration file shared with the other programs, written by a process killed at random
// moments: what stays is always a whole file, the old one or the new one.

#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
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
        QSet<QByteArray> seen;
        for (int round = 0; round < 60; ++round) {
            const pid_t writer = ::fork();
            for (bool odd = false; writer == 0; odd = !odd) {
                if (!ProfileFile::write(ini, u"ORDISP"_s, u"LEFT"_s, odd ? u"1"_s : u"2222222222"_s))
                    ::_exit(1);
            }
            QThread::usleep(QRandomGenerator::global()->bounded(50000));
            QVERIFY(::kill(writer, SIGKILL) == 0 && ::waitpid(writer, nullptr, 0) == writer);
            QFile file(ini);
            QVERIFY(file.open(QIODevice::ReadOnly));
            seen << file.readAll();
        }
        // Whole files only, and both: the writer got through writes, so kills fell into writes too.
        QCOMPARE(seen, QSet<QByteArray>({head + "1\n", head + "2222222222\n"}));
    }
};

QTEST_GUILESS_MAIN(TestConfigAbuse)
#include "tst_configabuse.moc"
