#include "IniValue.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ordisp;
using namespace Qt::StringLiterals;
using B = QByteArray;

static const B Missing("<missing>");

static B readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : Missing;
}

// Missing leaves the file missing.
static bool writeBytes(const QString& path, const B& bytes) {
    QFile file(path);
    return bytes == Missing || (QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                                file.write(bytes) == bytes.size());
}

static bool setMode(const QString& path, int mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

class TestProfileFile : public QObject {
    Q_OBJECT
    QString path() const { return m_dir->filePath(u"zalpos/ZALPOS.INI"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    // Root's powers back, and a folder its owner can empty.
    void cleanup() {
        setfsuid(geteuid());
        setMode(QFileInfo(path()).path(), 0755);
    }

    void read_data() {
        QTest::addColumn<B>("content");
        QTest::addColumn<QString>("expected"); // of key K in section P; "d": missing, the default is stored
        // clang-format off
        QTest::newRow("crlf, names ignore case") << B("[A]\r\nK=1\r\n[P]\r\nX=0\r\nK=2\r\n[Q]\r\n") << "2";
        QTest::newRow("cr only") << B("[A]\rK=1\r[P]\rK=2\r") << "2";
        QTest::newRow("blanks around names and value") << B("  [ P ]  \n\t K \t=\t 2 \t\n") << "2";
        QTest::newRow("missing section") << B("[A]\nK=\n") << "d";
        QTest::newRow("key only in the next section") << B("[P]\nX=1\n[A]\nK=1\n") << "d";
        QTest::newRow("first key of the first section") << B("[P]\nK=1\nk=2\n[p]\nK=3\n") << "1";
        QTest::newRow("comments") << B("[P]\n;K=1\n  ; K=3\nK=a;b=c\n") << "a;b=c";
        QTest::newRow("neither section nor key") << B("[P]\n[Q\nK\nK=5\n") << "5";
        QTest::newRow("single quotes") << B("[P]\nK=' x '\n") << " x ";
        QTest::newRow("mixed quotes kept") << B("[P]\nK=\"x'\n") << "\"x'";
        QTest::newRow("empty quotes") << B("[P]\nK=\"\"\n") << "d";
        QTest::newRow("an encoded surrogate means 1252") << B("[P]\nK=\xED\xA0\x80\n") << "í\u00A0€";
        QTest::newRow("an overlong form means 1252") << B("[P]\nK=\xC1\xBF\n") << "Á¿";
        QTest::newRow("a cut sequence at the end means 1252") << B("[P]\nK=\xE2\x82") << "â‚";
        QTest::newRow("cut at 254 characters") << "[P]\nK=" + B(300, 'x') << QString(254, u'x');
        QTest::newRow("the cut keeps a surrogate pair whole") << "[P]\nK=" + B(253, 'z') + "\xF0\x9F\x8D\xB2" << QString(253, u'z');
        // clang-format on
    }

    // Through ReadIni, which stores the default for a missing value.
    void read() {
        QFETCH(B, content);
        QFETCH(QString, expected);
        QVERIFY(writeBytes(path(), content));
        QCOMPARE(ReadIni(path(), u" p "_s, u" k "_s, u"d"_s), expected);
        QCOMPARE(readBytes(path()) == content, expected != u"d"_s);
    }

    void write_data() {
        QTest::addColumn<B>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<B>("after"); // Missing: the write is refused
        // Another program's part in Windows-1252, then ours with a blank line and a comment after it.
        const B shared = "[KASSE]\r\nN=\xE9\r\n\r\n[P]\r\nX=0\r\n  K  =  0  ; x\r\n\r\n; DB\r\n[DB]\r\n";
        const B plain = "[P]\nK=1\n";
        // clang-format off
        const auto utf16 = [](bool le, const char* text) { return B(QStringEncoder(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom)(QString::fromUtf8(text))); };
        QTest::newRow("replace keeps every other byte") << shared << "P" << "k" << "-5" << B(shared).replace("0  ; x", "-5");
        QTest::newRow("new key after the last entry") << shared << "P" << "H" << "768" << B(shared).replace("; x\r\n", "; x\r\nH=768\r\n");
        QTest::newRow("new section, no final line end") << B("[A]\r\nX=1") << "P" << "K" << "2" << B("[A]\r\nX=1\r\n\r\n[P]\r\nK=2\r\n");
        QTest::newRow("new section after a blank line") << B("[A]\nX=1\n\n") << "P" << "K" << "1" << B("[A]\nX=1\n\n[P]\nK=1\n");
        QTest::newRow("new key, no final line end") << B("[P]\nX=1") << "P" << "K" << "2" << B("[P]\nX=1\nK=2\n");
        QTest::newRow("a commented key stays") << B("[P]\n;K=1\n\n[Q]\n") << "P" << "K" << "2" << B("[P]\nK=2\n;K=1\n\n[Q]\n");
        QTest::newRow("bom kept") << B("\xEF\xBB\xBF[P]\r\nK=1\r\n") << "P" << "K" << "ü" << B("\xEF\xBB\xBF[P]\r\nK=\xC3\xBC\r\n");
        QTest::newRow("missing file and folder") << Missing << "P" << "K" << "1" << plain;
        QTest::newRow("1252 stays 1252") << B("[P]\nN=M\xFCller\n") << "P" << "K" << "Bäcker €" << B("[P]\nN=M\xFCller\nK=B\xE4""cker \x80\n");
        QTest::newRow("utf8 stays utf8") << B("[P]\nN=Müller\n") << "P" << "K" << "Łódź 東京 🍲" << B("[P]\nN=Müller\nK=Łódź 東京 🍲\n");
        QTest::newRow("utf16 stays utf16") << utf16(true, "[A]\r\nN=Müller\r\n") << "P" << "K" << "Bäckerei" << utf16(true, "[A]\r\nN=Müller\r\n\r\n[P]\r\nK=Bäckerei\r\n");
        QTest::newRow("utf16 big endian") << utf16(false, "[P]\nK=1\n") << "P" << "K" << "22" << utf16(false, "[P]\nK=22\n");
        QTest::newRow("same value, line untouched") << B("[P]\nK = 1 \n") << "P" << "K" << "1" << B("[P]\nK = 1 \n");
        QTest::newRow("line feed in the value") << plain << "P" << "K" << "x\n[Q]" << Missing;
        QTest::newRow("carriage return in the value") << plain << "P" << "K" << "x\rY=2" << Missing;
        QTest::newRow("nul in the value") << plain << "P" << "K" << QString(u"a"_s + QChar(0)) << Missing;
        QTest::newRow("line feed in the key") << plain << "P" << "K\nX" << "1" << Missing;
        QTest::newRow("equals in the key") << plain << "P" << "K=X" << "1" << Missing;
        QTest::newRow("blank key") << plain << "P" << " " << "1" << Missing;
        QTest::newRow("line break in the section") << plain << "A]\n[B" << "K" << "1" << Missing;
        QTest::newRow("empty section name") << plain << "" << "K" << "1" << Missing;
        QTest::newRow("1252 cannot hold it") << B("[P]\nN=M\xFCller\n") << "P" << "K" << "Łódź" << Missing;
        // clang-format on
    }

    void write() {
        QFETCH(B, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(B, after);
        QVERIFY(writeBytes(path(), before));
        QString error;
        QCOMPARE(ProfileFile::write(path(), section, key, value, &error), after != Missing);
        QCOMPARE(error.isEmpty(), after != Missing);
        QCOMPARE(readBytes(path()), after == Missing ? before : after);
        QCOMPARE(QDir(QFileInfo(path()).path()).entryList(QDir::Files), QStringList(u"ZALPOS.INI"_s));
    }

    void failedWriteChangesNothing_data() {
        QTest::addColumn<QString>("blocker"); // holds the old bytes
        QTest::addColumn<int>("folderMode");  // of the blocker's folder
        QTest::addColumn<int>("fileMode");
        // clang-format off
        QTest::newRow("folder not writable") << "zalpos/ZALPOS.INI" << 0555 << 0666;
        QTest::newRow("file write-protected") << "zalpos/ZALPOS.INI" << 0777 << 0444;
        QTest::newRow("a file where the folder goes") << "zalpos" << 0777 << 0644;
        QTest::newRow("a folder where the file goes") << "zalpos/ZALPOS.INI/x" << 0777 << 0644;
        // clang-format on
    }

    void failedWriteChangesNothing() {
        QFETCH(QString, blocker);
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        const QString stop = m_dir->filePath(blocker), folder = QFileInfo(stop).path();
        QVERIFY(writeBytes(stop, "[P]\nK=1\n"));
        QVERIFY(setMode(stop, fileMode) && setMode(m_dir->path(), 0777) && setMode(folder, folderMode));
        QString error;
        setfsuid(65534); // root passes every permission check, another user of this thread does not
        QVERIFY(!ProfileFile::write(path(), u"P"_s, u"K"_s, u"7"_s, &error));
        QVERIFY(!error.isEmpty());
        // The default serves this run all the same.
        QCOMPARE(ReadIni(path(), u"P"_s, u"W"_s, u"1024"_s), u"1024"_s);
        QCOMPARE(readBytes(stop), B("[P]\nK=1\n"));
    }

    void keepsOwnerModeAndLinks_data() {
        QTest::addColumn<uint>("owner"); // of the file, mode 0777; root's file is written by a user
        QTest::addColumn<bool>("link");  // a second name for the file
        QTest::addColumn<QString>("value");
        // clang-format off
        QTest::newRow("root writes the kitchen user's file") << 65534u << false << "0";
        QTest::newRow("a user writes root's file, longer") << 0u << false << "1234";
        QTest::newRow("a hard link sees the change, shorter") << uint(geteuid()) << true << "";
        // clang-format on
    }

    void keepsOwnerModeAndLinks() {
        QFETCH(uint, owner);
        QFETCH(bool, link);
        QFETCH(QString, value);
        if (owner != geteuid() && geteuid() != 0)
            QSKIP("needs root to hand the file to another user");
        const B file = QFile::encodeName(path()), second = file + ".link";
        QVERIFY(writeBytes(path(), "[P]\nK=1"));
        QCOMPARE(::chown(file.constData(), owner, owner), 0);
        QVERIFY(setMode(path(), 0777) && setMode(m_dir->path(), 0777) &&
                setMode(QFileInfo(path()).path(), 0777));
        QVERIFY(!link || ::link(file.constData(), second.constData()) == 0);
        if (owner == 0)
            setfsuid(65534);
        QVERIFY(ProfileFile::write(path(), u"P"_s, u"K"_s, value));
        const B expected = "[P]\nK=" + value.toUtf8();
        QCOMPARE(readBytes(path()), expected);
        QCOMPARE(readBytes(QFile::decodeName(second)), link ? expected : Missing);
        const QFileInfo info(path());
        QCOMPARE(QList<uint>({info.ownerId(), info.groupId(), uint(info.permissions())}),
                 QList<uint>({owner, owner, 0x7777}));
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
