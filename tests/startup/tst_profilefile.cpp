#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ordisp;

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Root ignores file permissions; checking as an unprivileged user makes them bite. The file-system
// user is per thread and takes the privileges to override permissions with it while it is not 0.
class AsUnprivilegedUser final {
public:
    AsUnprivilegedUser() {
        if (geteuid() == 0) {
            setfsuid(65534);
            m_active = true;
        }
    }
    ~AsUnprivilegedUser() {
        if (m_active)
            setfsuid(0);
    }
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

private:
    bool m_active = false;
};

const QByteArray Latin1Umlaut("\xE4", 1);   // ä in Windows-1252
const QByteArray Utf8Umlaut("\xC3\xA4", 2); // ä in UTF-8
const QByteArray Bom("\xEF\xBB\xBF", 3);

QByteArray utf16(const QString& text, bool littleEndian = true) {
    QByteArray out = littleEndian ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        out.append(littleEndian ? low : high).append(littleEndian ? high : low);
    }
    return out;
}

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void read_data();
    void read();
    void readMissingFile();
    void write_data();
    void write();
    void writeThenRead_data();
    void writeThenRead();
    void refusesLineBreaks_data();
    void refusesLineBreaks();
    void refusesCharacterOutsideWindows1252();
    void createsFolderAndFile();
    void unwritableFolderKeepsOldFile();
    void writeProtectedFileKeepsOldFile();
    void folderCannotBeCreated();
    void leavesNoTemporaryFiles();
    void keepsOwnerModeAndLinks_data();
    void keepsOwnerModeAndLinks();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("ZALPOS.INI")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestProfileFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestProfileFile::read_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray basic = "[ORDISP]\r\nLEFT=10\r\nWIDTH=800\r\n[DATABASE]\r\nTYP=MS-JET\r\n";
    QTest::newRow("crlf") << basic << "ORDISP"
                          << "WIDTH"
                          << "800";
    QTest::newRow("other section") << basic << "DATABASE"
                                   << "TYP"
                                   << "MS-JET";
    QTest::newRow("lf only") << QByteArray("[ORDISP]\nLEFT=10\n") << "ORDISP"
                             << "LEFT"
                             << "10";
    QTest::newRow("no final line end") << QByteArray("[ORDISP]\nLEFT=10") << "ORDISP"
                                       << "LEFT"
                                       << "10";
    QTest::newRow("names ignore case") << basic << "ordisp"
                                       << "Width"
                                       << "800";
    QTest::newRow("key in wrong section") << basic << "DATABASE"
                                          << "LEFT"
                                          << "";
    QTest::newRow("missing section") << basic << "PFADE"
                                     << "EXE"
                                     << "";
    QTest::newRow("missing key") << basic << "ORDISP"
                                 << "HEIGHT"
                                 << "";
    QTest::newRow("odd spacing") << QByteArray("  [ ORDISP ]  \n\t LEFT \t=\t 12 \t\n") << "ORDISP"
                                 << "LEFT"
                                 << "12";
    QTest::newRow("requested names trimmed") << basic << " ORDISP "
                                             << " LEFT "
                                             << "10";
    QTest::newRow("empty value") << QByteArray("[ORDISP]\nLEFT=\n") << "ORDISP"
                                 << "LEFT"
                                 << "";
    QTest::newRow("blank value") << QByteArray("[ORDISP]\nLEFT=   \n") << "ORDISP"
                                 << "LEFT"
                                 << "";
    QTest::newRow("double quotes") << QByteArray("[P]\nK=\" a b \"\n") << "P"
                                   << "K"
                                   << " a b ";
    QTest::newRow("single quotes") << QByteArray("[P]\nK='x'\n") << "P"
                                   << "K"
                                   << "x";
    QTest::newRow("mixed quotes kept") << QByteArray("[P]\nK=\"x'\n") << "P"
                                       << "K"
                                       << "\"x'";
    QTest::newRow("lone quote kept") << QByteArray("[P]\nK=\"\n") << "P"
                                     << "K"
                                     << "\"";
    QTest::newRow("inner quotes kept") << QByteArray("[P]\nK=a \"b\"\n") << "P"
                                       << "K"
                                       << "a \"b\"";
    QTest::newRow("commented key") << QByteArray("[P]\n;K=1\nK=2\n") << "P"
                                   << "K"
                                   << "2";
    QTest::newRow("indented comment") << QByteArray("[P]\n  ; K=1\n") << "P"
                                      << "K"
                                      << "";
    QTest::newRow("semicolon inside value") << QByteArray("[P]\nK=a;b\n") << "P"
                                            << "K"
                                            << "a;b";
    QTest::newRow("equals inside value") << QByteArray("[P]\nK=a=b\n") << "P"
                                         << "K"
                                         << "a=b";
    QTest::newRow("first key wins") << QByteArray("[P]\nK=1\nk=2\n") << "P"
                                    << "K"
                                    << "1";
    QTest::newRow("first section wins") << QByteArray("[P]\nA=1\n[Q]\nK=3\n[P]\nK=2\n") << "P"
                                        << "K"
                                        << "";
    QTest::newRow("key before any section") << QByteArray("K=1\n[P]\n") << "P"
                                            << "K"
                                            << "";
    QTest::newRow("section without bracket") << QByteArray("[P\nK=1\n") << "P"
                                             << "K"
                                             << "";
    QTest::newRow("line without equals") << QByteArray("[P]\nK\nK=5\n") << "P"
                                         << "K"
                                         << "5";
    QTest::newRow("utf8 bom") << Bom + "[ORDISP]\r\nLEFT=3\r\n"
                              << "ORDISP"
                              << "LEFT"
                              << "3";
    QTest::newRow("utf8 umlaut") << "[PFADE]\nDATENBANK=/srv/B" + Utf8Umlaut + "ckerei\n"
                                 << "PFADE"
                                 << "DATENBANK"
                                 << "/srv/Bäckerei";
    QTest::newRow("1252 umlaut") << "[PFADE]\nDATENBANK=C:\\B" + Latin1Umlaut + "ckerei\n"
                                 << "PFADE"
                                 << "DATENBANK"
                                 << "C:\\Bäckerei";
    QTest::newRow("encoded surrogate means 1252") << QByteArray("[P]\nK=\xC3\xA4\xED\xA0\x80\n") << "P"
                                                  << "K" << QStringLiteral("\u00C3\u00A4\u00ED\u00A0\u20AC");
    QTest::newRow("overlong form means 1252") << QByteArray("[P]\nK=\xC1\xBF\n") << "P"
                                              << "K"
                                              << "Á¿";
    QTest::newRow("truncated sequence at the end means 1252") << QByteArray("[P]\nK=\xE2\x82") << "P"
                                                              << "K"
                                                              << "â‚";
    QTest::newRow("utf16 little endian")
        << utf16(QStringLiteral("[ORDISP]\r\nLEFT=3\r\n[DATABASE]\r\nTYP=MS-JET\r\n")) << "DATABASE"
        << "TYP"
        << "MS-JET";
    QTest::newRow("utf16 big endian")
        << utf16(QStringLiteral("[PFADE]\nDATENBANK=/srv/Bäckerei\n"), false) << "PFADE"
        << "DATENBANK"
        << "/srv/Bäckerei";
    QTest::newRow("cr only line ends")
        << QByteArray("[ORDISP]\rLEFT=3\r[DATABASE]\rTYP=MS-JET\r") << "DATABASE"
        << "TYP"
        << "MS-JET";
    QTest::newRow("1252 euro") << QByteArray("[P]\nK=5\x80\n") << "P"
                               << "K"
                               << "5€";
    QTest::newRow("300 characters cut to 254") << "[P]\nK=" + QByteArray(300, 'x') + "\n"
                                               << "P"
                                               << "K" << QString(254, u'x');
    QTest::newRow("quotes stripped before the cut") << "[P]\nK=\"" + QByteArray(254, 'y') + "\"\n"
                                                    << "P"
                                                    << "K" << QString(254, u'y');
    QTest::newRow("cut does not split a surrogate pair")
        << "[P]\nK=" + QByteArray(253, 'z') + "\xF0\x9F\x8D\xB2\n"
        << "P"
        << "K" << QString(253, u'z');
}

void TestProfileFile::read() {
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY(writeBytes(iniPath(), content));
    QCOMPARE(ProfileFile::read(iniPath(), section, key), expected);
}

void TestProfileFile::readMissingFile() {
    QCOMPARE(ProfileFile::read(iniPath(), QStringLiteral("ORDISP"), QStringLiteral("LEFT")), QString());
    QCOMPARE(ProfileFile::read(m_dir->path(), QStringLiteral("ORDISP"), QStringLiteral("LEFT")), QString());
    QVERIFY(!QFile::exists(iniPath()));
}

void TestProfileFile::write_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QByteArray shared = "; shared by the POS programs\r\n"
                              "[KASSE]\r\n"
                              "Drucker = EPSON  \r\n"
                              "Name=Caf" +
                              Latin1Umlaut + " M" + Latin1Umlaut +
                              "ller\r\n"
                              "\r\n"
                              "[ORDISP]\r\n"
                              "LEFT=0\r\n"
                              "   WIDTH   =   1024   ; not a comment\r\n"
                              "\r\n"
                              "; the database\r\n"
                              "[DATABASE]\r\n"
                              "TYP=MS-SQL\r\n";

    QTest::newRow("replace keeps every other byte")
        << shared << "ORDISP"
        << "LEFT"
        << "-5" << QByteArray(shared).replace("LEFT=0\r\n", "LEFT=-5\r\n");
    QTest::newRow("replace keeps spacing before the value")
        << shared << "ORDISP"
        << "width"
        << "800"
        << QByteArray(shared).replace("   WIDTH   =   1024   ; not a comment\r\n", "   WIDTH   =   800\r\n");
    QTest::newRow("missing key goes after the section's last key, before blank line and comment")
        << shared << "ORDISP"
        << "HEIGHT"
        << "768" << QByteArray(shared).replace("; not a comment\r\n", "; not a comment\r\nHEIGHT=768\r\n");
    QTest::newRow("missing key at the end of the last section") << shared << "DATABASE"
                                                                << "USER"
                                                                << "sa" << shared + "USER=sa\r\n";
    QTest::newRow("missing section at the end after a blank line")
        << shared << "PFADE"
        << "EXE"
        << "/opt/ordisp/" << shared + "\r\n[PFADE]\r\nEXE=/opt/ordisp/\r\n";
    QTest::newRow("missing section after an existing blank line")
        << QByteArray("[A]\nX=1\n\n") << "PFADE"
        << "EXE"
        << "e" << QByteArray("[A]\nX=1\n\n[PFADE]\nEXE=e\n");
    QTest::newRow("file without final line end, new section")
        << QByteArray("[A]\r\nX=1") << "B"
        << "Y"
        << "2" << QByteArray("[A]\r\nX=1\r\n\r\n[B]\r\nY=2\r\n");
    QTest::newRow("file without final line end, new key") << QByteArray("[A]\nX=1") << "A"
                                                          << "Y"
                                                          << "2" << QByteArray("[A]\nX=1\nY=2\n");
    QTest::newRow("file without final line end, replaced key") << QByteArray("[A]\nX=1") << "A"
                                                               << "X"
                                                               << "22" << QByteArray("[A]\nX=22");
    QTest::newRow("empty section gets the key after its header")
        << QByteArray("[A]\n\n[B]\nZ=1\n") << "A"
        << "X"
        << "1" << QByteArray("[A]\nX=1\n\n[B]\nZ=1\n");
    QTest::newRow("first of two equal sections") << QByteArray("[A]\nX=1\n[B]\n[a]\nY=2\n") << "A"
                                                 << "Y"
                                                 << "3" << QByteArray("[A]\nX=1\nY=3\n[B]\n[a]\nY=2\n");
    QTest::newRow("first of two equal keys") << QByteArray("[A]\nX=1\nx=2\n") << "A"
                                             << "X"
                                             << "3" << QByteArray("[A]\nX=3\nx=2\n");
    QTest::newRow("commented key is not replaced") << QByteArray("[A]\n;X=1\n") << "A"
                                                   << "X"
                                                   << "2" << QByteArray("[A]\nX=2\n;X=1\n");
    QTest::newRow("empty value replaced") << QByteArray("[ORDISP]\nLEFT=\nWIDTH=9\n") << "ORDISP"
                                          << "LEFT"
                                          << "0" << QByteArray("[ORDISP]\nLEFT=0\nWIDTH=9\n");
    QTest::newRow("empty value written") << QByteArray("[DATABASE]\n") << "DATABASE"
                                         << "PWD"
                                         << "" << QByteArray("[DATABASE]\nPWD=\n");
    QTest::newRow("bom kept") << Bom + "[A]\r\nX=1\r\n"
                              << "A"
                              << "X"
                              << "ü" << Bom + "[A]\r\nX=\xC3\xBC\r\n";
    QTest::newRow("bom only file") << Bom << "A"
                                   << "X"
                                   << "1" << Bom + "[A]\nX=1\n";
    QTest::newRow("empty file") << QByteArray() << "A"
                                << "X"
                                << "1" << QByteArray("[A]\nX=1\n");
    QTest::newRow("1252 file stays 1252")
        << "[A]\r\nN=M" + Latin1Umlaut + "ller\r\n"
        << "A"
        << "P"
        << "C:\\Bäckerei €"
        << "[A]\r\nN=M" + Latin1Umlaut + "ller\r\nP=C:\\B" + Latin1Umlaut + "ckerei \x80\r\n";
    QTest::newRow("utf8 file stays utf8") << "[A]\nN=M" + Utf8Umlaut + "ller\n"
                                          << "A"
                                          << "P"
                                          << "Bäckerei"
                                          << "[A]\nN=M" + Utf8Umlaut + "ller\nP=B" + Utf8Umlaut + "ckerei\n";
    QTest::newRow("undefined 1252 bytes survive")
        << QByteArray("[A]\nR=\x81\x8D\x8F\x90\x9D\n[B]\n") << "B"
        << "X"
        << "1" << QByteArray("[A]\nR=\x81\x8D\x8F\x90\x9D\n[B]\nX=1\n");
    QTest::newRow("mixed line ends kept, first one used") << QByteArray("[A]\nX=1\r\n[B]\r\n") << "B"
                                                          << "Y"
                                                          << "2" << QByteArray("[A]\nX=1\r\n[B]\r\nY=2\n");
    QTest::newRow("utf16 stays utf16 with its line ends")
        << utf16(QStringLiteral("[A]\r\nN=Müller\r\n")) << "B"
        << "P"
        << "Bäckerei" << utf16(QStringLiteral("[A]\r\nN=Müller\r\n\r\n[B]\r\nP=Bäckerei\r\n"));
    QTest::newRow("utf16 big endian, replaced key") << utf16(QStringLiteral("[A]\nX=1\n"), false) << "A"
                                                    << "X"
                                                    << "22" << utf16(QStringLiteral("[A]\nX=22\n"), false);
    QTest::newRow("cr only line ends kept") << QByteArray("[A]\rX=1\r[B]\rZ=1\r") << "A"
                                            << "Y"
                                            << "2" << QByteArray("[A]\rX=1\rY=2\r[B]\rZ=1\r");
    QTest::newRow("cr only, new section") << QByteArray("[A]\rX=1\r") << "B"
                                          << "Y"
                                          << "2" << QByteArray("[A]\rX=1\r\r[B]\rY=2\r");
    QTest::newRow("same value leaves the line as it is") << QByteArray("[A]\nX = 1 \n") << "A"
                                                         << "X"
                                                         << "1" << QByteArray("[A]\nX = 1 \n");
    QTest::newRow("trailing blanks go with a new value") << QByteArray("[A]\nX = 1 \n") << "A"
                                                         << "X"
                                                         << "2" << QByteArray("[A]\nX = 2\n");
}

void TestProfileFile::write() {
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QVERIFY(writeBytes(iniPath(), before));
    QString error;
    QVERIFY2(ProfileFile::write(iniPath(), section, key, value, &error), qPrintable(error));
    QCOMPARE(readBytes(iniPath()), after);
}

void TestProfileFile::writeThenRead_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "MS-JET"
                           << "MS-JET";
    QTest::newRow("backslashes") << "<NAME>\\SQLEXPRESS"
                                 << "<NAME>\\SQLEXPRESS";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blanks around are lost") << "  x  "
                                            << "x";
    QTest::newRow("semicolon and equals") << "a;b=c"
                                          << "a;b=c";
    QTest::newRow("umlauts") << "/home/küche/ÄÖÜß"
                             << "/home/küche/ÄÖÜß";
    QTest::newRow("beyond Windows-1252") << "Łódź 東京 🍲"
                                         << "Łódź 東京 🍲";
}

void TestProfileFile::writeThenRead() {
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QVERIFY(writeBytes(iniPath(), "[OTHER]\r\nA=1\r\n"));
    QVERIFY(ProfileFile::write(iniPath(), QStringLiteral("PFADE"), QStringLiteral("DATENBANK"), value));
    QCOMPARE(ProfileFile::read(iniPath(), QStringLiteral("PFADE"), QStringLiteral("DATENBANK")), expected);
    QCOMPARE(ProfileFile::read(iniPath(), QStringLiteral("OTHER"), QStringLiteral("A")), QStringLiteral("1"));
}

void TestProfileFile::refusesLineBreaks_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("lf in value") << "DATABASE"
                                 << "PWD"
                                 << "x\n[EVIL]\nK=1";
    QTest::newRow("cr in value") << "DATABASE"
                                 << "PWD"
                                 << "x\rY=2";
    QTest::newRow("crlf in value") << "DATABASE"
                                   << "PWD"
                                   << "x\r\nTYP=ODBC";
    QTest::newRow("nul in value") << "DATABASE"
                                  << "PWD" << QString(QStringLiteral("a") + QChar(0) + u'b');
    QTest::newRow("lf in key") << "DATABASE"
                               << "P\nTYP"
                               << "1";
    QTest::newRow("equals in key") << "DATABASE"
                                   << "TYP=X"
                                   << "1";
    QTest::newRow("empty key") << "DATABASE"
                               << " "
                               << "1";
    QTest::newRow("bracket in section") << "A]\n[B"
                                        << "K"
                                        << "1";
    QTest::newRow("empty section") << ""
                                   << "K"
                                   << "1";
}

void TestProfileFile::refusesLineBreaks() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QByteArray before = "[DATABASE]\r\nTYP=MS-SQL\r\nPWD=old\r\n";
    QVERIFY(writeBytes(iniPath(), before));
    QString error;
    QVERIFY(!ProfileFile::write(iniPath(), section, key, value, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readBytes(iniPath()), before);
}

void TestProfileFile::refusesCharacterOutsideWindows1252() {
    const QByteArray before = "[A]\nN=M" + Latin1Umlaut + "ller\n";
    QVERIFY(writeBytes(iniPath(), before));
    QString error;
    QVERIFY(!ProfileFile::write(iniPath(), QStringLiteral("A"), QStringLiteral("P"), QStringLiteral("Łódź"),
                                &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readBytes(iniPath()), before);
}

void TestProfileFile::createsFolderAndFile() {
    const QString path = m_dir->filePath(QStringLiteral("config/zalpos/ZALPOS.INI"));
    QVERIFY(ProfileFile::write(path, QStringLiteral("ORDISP"), QStringLiteral("LEFT"), QStringLiteral("0")));
    QVERIFY(
        ProfileFile::write(path, QStringLiteral("ORDISP"), QStringLiteral("WIDTH"), QStringLiteral("1024")));
    QVERIFY(ProfileFile::write(path, QStringLiteral("DATABASE"), QStringLiteral("TYP"),
                               QStringLiteral("MS-SQL")));
    QCOMPARE(readBytes(path), QByteArray("[ORDISP]\nLEFT=0\nWIDTH=1024\n\n[DATABASE]\nTYP=MS-SQL\n"));
}

void TestProfileFile::unwritableFolderKeepsOldFile() {
    const QString folder = m_dir->filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/ZALPOS.INI");
    const QByteArray before = "[ORDISP]\r\nLEFT=0\r\n";
    QVERIFY(writeBytes(path, before));
    // Only the folder stands in the way: the file itself is open to everyone.
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6666)));
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(m_dir->path(), open));
    QVERIFY(QFile::setPermissions(folder, open & ~QFile::WriteOwner));
    bool written = true;
    QString error;
    {
        const AsUnprivilegedUser unprivileged;
        written = ProfileFile::write(path, QStringLiteral("ORDISP"), QStringLiteral("LEFT"),
                                     QStringLiteral("7"), &error);
    }
    QVERIFY(QFile::setPermissions(folder, open));
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readBytes(path), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ZALPOS.INI")});
}

void TestProfileFile::writeProtectedFileKeepsOldFile() {
    const QByteArray before = "[ORDISP]\r\nLEFT=0\r\n";
    QVERIFY(writeBytes(iniPath(), before));
    // The folder is open to everyone, so only the file's own protection can stop the write.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
    QVERIFY(QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    bool written = true;
    {
        const AsUnprivilegedUser unprivileged;
        written = ProfileFile::write(iniPath(), QStringLiteral("ORDISP"), QStringLiteral("LEFT"),
                                     QStringLiteral("7"));
    }
    QVERIFY(!written);
    QCOMPARE(readBytes(iniPath()), before);
}

void TestProfileFile::folderCannotBeCreated() {
    // A file stands where the folder would have to be.
    const QString blocker = m_dir->filePath(QStringLiteral("zalpos"));
    QVERIFY(writeBytes(blocker, "not a folder"));
    QString error;
    QVERIFY(!ProfileFile::write(blocker + QStringLiteral("/ZALPOS.INI"), QStringLiteral("A"),
                                QStringLiteral("K"), QStringLiteral("1"), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readBytes(blocker), QByteArray("not a folder"));
}

void TestProfileFile::leavesNoTemporaryFiles() {
    for (int i = 0; i < 5; ++i)
        QVERIFY(ProfileFile::write(iniPath(), QStringLiteral("A"), QStringLiteral("K%1").arg(i),
                                   QStringLiteral("v")));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("ZALPOS.INI")});
}

void TestProfileFile::keepsOwnerModeAndLinks_data() {
    QTest::addColumn<uint>("owner"); // of the file before the write
    QTest::addColumn<uint>("mode");
    QTest::addColumn<bool>("hardLink"); // a second name for the file
    QTest::addColumn<bool>("asUser");   // written by an unprivileged user
    QTest::newRow("root writes the kitchen user's file") << 65534u << 0640u << false << false;
    QTest::newRow("user writes root's shared file") << 0u << 0666u << false << true;
    QTest::newRow("hard link sees the change") << uint(geteuid()) << 0644u << true << false;
}

void TestProfileFile::keepsOwnerModeAndLinks() {
    QFETCH(uint, owner);
    QFETCH(uint, mode);
    QFETCH(bool, hardLink);
    QFETCH(bool, asUser);
    if (geteuid() != 0 && (owner != geteuid() || asUser))
        QSKIP("needs root to hand the file to another user");
    const QByteArray path = QFile::encodeName(iniPath());
    QVERIFY(writeBytes(iniPath(), "[ORDISP]\nLEFT=0\n"));
    QCOMPARE(::chown(path.constData(), owner, owner), 0);
    QCOMPARE(::chmod(path.constData(), mode), 0);
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
    const QByteArray link = QFile::encodeName(m_dir->filePath(QStringLiteral("link.ini")));
    if (hardLink)
        QCOMPARE(::link(path.constData(), link.constData()), 0);
    struct stat before {};
    QCOMPARE(::stat(path.constData(), &before), 0);
    bool written = false;
    QString error;
    {
        std::optional<AsUnprivilegedUser> unprivileged;
        if (asUser)
            unprivileged.emplace();
        written = ProfileFile::write(iniPath(), QStringLiteral("ORDISP"), QStringLiteral("WIDTH"),
                                     QStringLiteral("1024"), &error);
    }
    QVERIFY2(written, qPrintable(error));
    const QByteArray expected = "[ORDISP]\nLEFT=0\nWIDTH=1024\n";
    QCOMPARE(readBytes(iniPath()), expected);
    struct stat after {};
    QCOMPARE(::stat(path.constData(), &after), 0);
    QCOMPARE(uint(after.st_uid), owner);
    QCOMPARE(uint(after.st_gid), owner);
    QCOMPARE(uint(after.st_mode & 07777), mode);
    if (hardLink) {
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(readBytes(QFile::decodeName(link)), expected);
    }
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
