// The configuration file shared with the other programs, abused: byte order marks, Windows-1252
// umlauts in other programs' keys, CRLF ends, a file of a megabyte, a file nobody may replace, a
// folder in its place, and a writer killed in the middle of a write.

#include "IniValue.h"
#include "ProfileFile.h"
#include "Startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>

using namespace ordisp;

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Lines with their ends, so that CR LF and a missing final end stay visible.
QList<QByteArray> linesOf(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', from);
        const qsizetype end = lf < 0 ? bytes.size() : lf + 1;
        lines.append(bytes.mid(from, end - from));
        from = end;
    }
    return lines;
}

// Whether every line of before stands, byte for byte and in order, in after; the lines after
// holds besides are returned in *added.
bool keepsEveryLine(const QByteArray& before, const QByteArray& after, QList<QByteArray>* added) {
    const QList<QByteArray> old = linesOf(before);
    const QList<QByteArray> now = linesOf(after);
    qsizetype i = 0;
    for (const QByteArray& line : now) {
        // The old last line may have gained the line end it lacked.
        if (i < old.size() &&
            (line == old.at(i) || (i == old.size() - 1 && !old.at(i).endsWith('\n') &&
                                   line.startsWith(old.at(i)) && line.size() - old.at(i).size() <= 2))) {
            ++i;
            continue;
        }
        added->append(line);
    }
    return i == old.size();
}

// The other programs' part of the shared file, in Windows-1252 with CR LF ends.
const QByteArray kForeign1252 = "; Kasse und Drucker\r\n[KASSE]\r\nDRUCKER=COM1\r\nKOPFZEILE=Gr\xFC\xDF"
                                "e aus der K\xFC"
                                "che \x80 5\r\nWAEHRUNG=\xA4\r\n\r\n[BONDRUCK]\r\nFUSS=Auf Wiederseh"
                                "en \x84"
                                "bis bald\x93\r\n";

// Clears the immutable flag again whatever happens to the test.
class ImmutableFile {
public:
    explicit ImmutableFile(QString path)
        : m_path(std::move(path)) {
        m_set = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0;
    }
    ~ImmutableFile() {
        if (m_set)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
    }
    bool isSet() const { return m_set; }

private:
    QString m_path;
    bool m_set = false;
};

bool waitUntilStopped(pid_t pid) {
    for (int i = 0; i < 2000; ++i) {
        const QByteArray stat = readBytes(QStringLiteral("/proc/%1/stat").arg(pid));
        // "pid (name) state ...": the state follows the last ')'.
        const qsizetype close = stat.lastIndexOf(')');
        if (close > 0 && close + 2 < stat.size() && stat.at(close + 2) == 'T')
            return true;
        QThread::usleep(500);
    }
    return false;
}

// Whether the process holds a file open in folder that is not (yet) the configuration file: the
// new file being written, unnamed until it is put in place.
bool holdsNewFile(pid_t pid, const QString& folder) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        if (target.startsWith(folder + QLatin1Char('/')) && !target.endsWith(QLatin1String("/ZALPOS.INI")))
            return true;
    }
    return false;
}

} // namespace

class TestConfigAbuse : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sharedFileKeepsOtherBytes_data();
    void sharedFileKeepsOtherBytes();
    void megabyteFile_data();
    void megabyteFile();
    void unwritableFile_data();
    void unwritableFile();
    void killedDuringWrite();
};

void TestConfigAbuse::sharedFileKeepsOtherBytes_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("database"); // DbFile as read
    QTest::addColumn<qint32>("monitorNr");

    QTest::newRow("utf-8 with byte order mark, CR LF")
        << QByteArray("\xEF\xBB\xBF[ORDISP]\r\nORDISPNR=4\r\n[KASSE]\r\nTEXT=K\xC3\xBC"
                      "che\r\n[PFADE]\r\nDATENBANK=/srv/k\xC3\xBC"
                      "che\r\n")
        << QStringLiteral("/srv/küche/ZALPOS.MDB") << 4;
    QTest::newRow("windows-1252 umlauts in other programs' keys, CR LF")
        << kForeign1252 + "[PFADE]\r\nDATENBANK=C:\\B\xE4"
                          "ckerei\r\n[ORDISP]\r\nORDISPNR=-2.5\r\n"
        << QStringLiteral("C:\\Bäckerei/ZALPOS.MDB") << 2;
    QTest::newRow("windows-1252, byte order mark bytes inside a value")
        << "[X]\r\nY=\xEF\xBB\xBF\r\n" + kForeign1252 << QString() << 1;
    QTest::newRow("CR LF, no final line end")
        << QByteArray("[ORDISP]\r\nORDISPNR=7\r\n[KASSE]\r\nDRUCKER=LPT1") << QString() << 7;
    QTest::newRow("mixed line ends, blanks and comments")
        << QByteArray("  [ ordisp ]  \n; ORDISPNR=9\r\n\tordispnr = ' 3 '\r\n\r\n;Ende\n") << QString() << 3;
}

void TestConfigAbuse::sharedFileKeepsOtherBytes() {
    QFETCH(QByteArray, before);
    QFETCH(QString, database);
    QFETCH(qint32, monitorNr);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    QVERIFY(writeBytes(ini, before));

    const Configuration config = ReadConfiguration(ini, QStringLiteral("/opt/ordisp"));
    QCOMPARE(config.app.monitorNr, monitorNr);
    if (!database.isEmpty())
        QCOMPARE(config.db.file, database);

    const QByteArray after = readBytes(ini);
    QList<QByteArray> added;
    QVERIFY2(keepsEveryLine(before, after, &added), after.constData());
    // Only our missing keys were added, each as one line with the file's own line ends.
    const qsizetype firstEnd = before.indexOf('\n');
    const bool crlf = firstEnd > 0 && before.at(firstEnd - 1) == '\r';
    for (const QByteArray& line : std::as_const(added)) {
        QVERIFY2(line.isEmpty() || line == "\r\n" || line == "\n" || line.startsWith('[') ||
                     QByteArrayList({"LEFT=", "WIDTH=", "HEIGHT=", "TYP=", "SERVER=", "USER=", "PWD=",
                                     "PWDC=", "DATENBANK=", "ORDISPNR=", "JET-PROVIDER=", "EXE=", "TRESK="})
                         .contains(line.left(line.indexOf('=') + 1)),
                 line.constData());
        if (crlf)
            QVERIFY2(line.endsWith("\r\n"), line.constData());
    }
    QCOMPARE(after.startsWith("\xEF\xBB\xBF"), before.startsWith("\xEF\xBB\xBF"));

    // A second start finds every key and writes nothing.
    ReadConfiguration(ini, QStringLiteral("/opt/ordisp"));
    QCOMPARE(readBytes(ini), after);
}

void TestConfigAbuse::megabyteFile_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("database");

    QByteArray sections;
    for (int i = 0; sections.size() < 1024 * 1024; ++i)
        sections += "[PROGRAMM" + QByteArray::number(i) + "]\r\nKEY=Wert " + QByteArray::number(i) +
                    " K\xFC"
                    "che\r\nLEFT=99\r\n";
    QTest::newRow("many sections, ours at the end") << sections + "[PFADE]\r\nDATENBANK=/srv/db\r\n"
                                                    << QStringLiteral("/srv/db/ZALPOS.MDB");

    const QByteArray huge(1024 * 1024, 'x');
    QTest::newRow("one value of a megabyte")
        << "[PFADE]\nDATENBANK=/" + huge + "\n[ORDISP]\nORDISPNR=5\n"
        << QLatin1Char('/') + QString(253, QLatin1Char('x')) + QStringLiteral("/ZALPOS.MDB");
}

void TestConfigAbuse::megabyteFile() {
    QFETCH(QByteArray, before);
    QFETCH(QString, database);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    QVERIFY(writeBytes(ini, before));

    QElapsedTimer timer;
    timer.start();
    const Configuration config = ReadConfiguration(ini, QStringLiteral("/opt/ordisp"));
    const qint64 elapsed = timer.elapsed();
    // Thirteen reads and a write per missing key, each through the whole file; even a slow
    // machine starts within seconds.
    QVERIFY2(elapsed < 30000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    qInfo("start-up configuration read from %lld bytes in %lld ms", qint64(before.size()), elapsed);
    QCOMPARE(config.db.file, database);
    QCOMPARE(config.app.windowLeft, 0); // the other programs' LEFT keys are not ours

    const QByteArray after = readBytes(ini);
    QList<QByteArray> added;
    QVERIFY(keepsEveryLine(before, after, &added));
    QVERIFY(added.size() <= 16);
}

void TestConfigAbuse::unwritableFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("file nobody may replace") << "immutable";
    QTest::newRow("folder that is a file") << "folder is a file";
    QTest::newRow("folder where the file should be") << "folder";
}

void TestConfigAbuse::unwritableFile() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    const QByteArray content = kForeign1252 + "[ORDISP]\r\nORDISPNR=3\r\n";
    std::unique_ptr<ImmutableFile> immutable;
    QString blocker; // what stands in the way; its bytes must survive
    if (kind == QLatin1String("immutable")) {
        QVERIFY(writeBytes(ini, content));
        immutable = std::make_unique<ImmutableFile>(ini);
        // Root passes any permission check; only the immutable flag stops it.
        if (!immutable->isSet())
            QSKIP("chattr +i is not available here; the other rows cover the failing write");
        blocker = ini;
    } else if (kind == QLatin1String("folder is a file")) {
        blocker = dir.filePath(QStringLiteral("zalpos"));
        QVERIFY(writeBytes(blocker, content));
        ini = blocker + QStringLiteral("/ZALPOS.INI");
    } else {
        QVERIFY(QDir().mkpath(ini));
    }
    const QStringList entriesBefore = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    QString error;
    QVERIFY(!ProfileFile::write(ini, QStringLiteral("ORDISP"), QStringLiteral("LEFT"), QStringLiteral("5"),
                                &error));
    QVERIFY(!error.isEmpty());
    // The default serves this run even though it cannot be stored.
    QCOMPARE(ReadIni(ini, QStringLiteral("ORDISP"), QStringLiteral("WIDTH"), QStringLiteral("1024")),
             QStringLiteral("1024"));
    if (kind == QLatin1String("immutable")) {
        // What the file holds is still read.
        const Configuration config = ReadConfiguration(ini, QStringLiteral("/opt/ordisp"));
        QCOMPARE(config.app.monitorNr, 3);
        QCOMPARE(config.db.type, QStringLiteral("MS-SQL"));
    }
    if (!blocker.isEmpty())
        QCOMPARE(readBytes(blocker), content);
    else
        QVERIFY(QFileInfo(ini).isDir());
    // No temporary files left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), entriesBefore);
}

void TestConfigAbuse::killedDuringWrite() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    const QByteArray start = kForeign1252 + "[ORDISP]\r\nLEFT=0\r\n[PFADE]\r\nDATENBANK=C:\\ZALPOS\r\n";

    // The four states a complete pair of writes can leave, built by the same writer in a copy.
    QList<QByteArray> complete;
    const QString scratch = dir.filePath(QStringLiteral("scratch.ini"));
    for (const char* left : {"1", "2222222222"}) {
        for (const char* folder : {"C:\\Küche", "/srv/Bar"}) {
            QVERIFY(writeBytes(scratch, start));
            QVERIFY(ProfileFile::write(scratch, QStringLiteral("ORDISP"), QStringLiteral("LEFT"),
                                       QString::fromUtf8(left)));
            QVERIFY(ProfileFile::write(scratch, QStringLiteral("PFADE"), QStringLiteral("DATENBANK"),
                                       QString::fromUtf8(folder)));
            complete.append(readBytes(scratch));
        }
    }
    QFile::remove(scratch);
    QVERIFY(writeBytes(ini, start));

    const int rounds = 60;
    int interrupted = 0;
    int leftBeside = 0;
    for (int round = 0; round < rounds; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(ORDISP_PROFILE_WRITER), {ini});
        QVERIFY(writer.waitForStarted());
        QVERIFY2(writer.waitForReadyRead(30000), writer.readAllStandardError().constData());
        QThread::usleep(QRandomGenerator::global()->bounded(20000));
        const auto pid = static_cast<pid_t>(writer.processId());
        // Frozen first, so that what it holds open can be looked at before it dies.
        ::kill(pid, SIGSTOP);
        QVERIFY(waitUntilStopped(pid));
        if (holdsNewFile(pid, dir.path()))
            ++interrupted;
        ::kill(pid, SIGKILL);
        QVERIFY(writer.waitForFinished(30000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const QByteArray now = readBytes(ini);
        QVERIFY2(complete.contains(now), qPrintable(QStringLiteral("round %1 left %2 bytes: %3")
                                                        .arg(round)
                                                        .arg(now.size())
                                                        .arg(QString::fromLatin1(now.toHex()))));
        // The new file is written unnamed and gets a name only to be renamed at once; a kill
        // between the two leaves it beside the file, complete, under its temporary name.
        for (const QString& name :
             QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (name == QLatin1String("ZALPOS.INI"))
                continue;
            QVERIFY2(name.startsWith(QLatin1String("ZALPOS.INI")), qPrintable(name));
            QVERIFY2(complete.contains(readBytes(dir.filePath(name))), qPrintable(name));
            QVERIFY(QFile::remove(dir.filePath(name)));
            ++leftBeside;
        }
    }
    qInfo("%d of %d kills hit the writer while it held the new file, before putting it in place; %d left it "
          "beside the file under a temporary name",
          interrupted, rounds, leftBeside);
    QVERIFY2(interrupted > 0, "no kill hit a write in progress; the test proves nothing");
}

QTEST_GUILESS_MAIN(TestConfigAbuse)
#include "tst_configabuse.moc"
