#include "IniValue.h"
#include "ProfileFile.h"
#include "UnhandledError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

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

} // namespace

class TestIniValue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void leadingNumber_data();
    void leadingNumber();
    void leadingNumberOverflow_data();
    void leadingNumberOverflow();
    void roundToInt32_data();
    void roundToInt32();
    void roundToInt32Overflow_data();
    void roundToInt32Overflow();
    void iniNumber_data();
    void iniNumber();
    void iniNumberOverflow_data();
    void iniNumberOverflow();
    void readIniPresent();
    void readIniMissingWritesDefault_data();
    void readIniMissingWritesDefault();
    void readIniLongValueCutNotRewritten();
    void readIniUnwritableReturnsDefault();
};

void TestIniValue::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("integer") << "1024" << 1024.0;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("plus sign") << "+3" << 3.0;
    QTest::newRow("two signs") << "--3" << 0.0;
    QTest::newRow("leading blank") << " 7" << 7.0;
    QTest::newRow("leading tab and line feed") << "\t\n7" << 7.0;
    QTest::newRow("blank inside") << "1 2" << 12.0;
    QTest::newRow("blank after sign") << "- 3" << -3.0;
    QTest::newRow("blank in exponent") << "1 e 3" << 1000.0;
    QTest::newRow("carriage return ends") << "1\r2" << 1.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("trailing letters") << "12abc" << 12.0;
    QTest::newRow("fraction") << "2.5" << 2.5;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("second point ends") << "1.2.3" << 1.2;
    QTest::newRow("comma is no point") << "1,5" << 1.0;
    QTest::newRow("exponent") << "1.5e3" << 1500.0;
    QTest::newRow("upper exponent") << "1.5E3" << 1500.0;
    QTest::newRow("d exponent") << "2D2" << 200.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("exponent plus sign") << "1e+2" << 100.0;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("exponent sign without digits") << "7e-" << 7.0;
    QTest::newRow("exponent alone") << "e3" << 0.0;
    QTest::newRow("exponent then point") << "1e3.5" << 1000.0;
    QTest::newRow("tiny underflows to zero") << "1e-400" << 0.0;
    QTest::newRow("many zeros then tiny") << "0." + QString(400, u'0') + "1" << 0.0;
    QTest::newRow("hex") << "&H1F" << 31.0;
    QTest::newRow("hex lower case") << "&h1f" << 31.0;
    QTest::newRow("hex stops at non-digit") << "&H1G" << 1.0;
    QTest::newRow("hex without digits") << "&H" << 0.0;
    QTest::newRow("hex with blanks") << " & H 1 F" << 31.0;
    QTest::newRow("hex FFFF is 16-bit") << "&HFFFF" << -1.0;
    QTest::newRow("hex 8000 is 16-bit") << "&H8000" << -32768.0;
    QTest::newRow("hex 7FFF") << "&H7FFF" << 32767.0;
    QTest::newRow("hex 10000") << "&H10000" << 65536.0;
    QTest::newRow("hex leading zeros do not widen") << "&H0000FFFF" << -1.0;
    QTest::newRow("hex FFFFFFFF is 32-bit") << "&HFFFFFFFF" << -1.0;
    QTest::newRow("hex 80000000") << "&H80000000" << -2147483648.0;
    QTest::newRow("hex 7FFFFFFF") << "&H7FFFFFFF" << 2147483647.0;
    QTest::newRow("hex beyond 32 bits") << "&H100000000" << 4294967296.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O178" << 15.0;
    QTest::newRow("octal 177777 is 16-bit") << "&O177777" << -1.0;
    QTest::newRow("ampersand alone") << "&" << 0.0;
    QTest::newRow("ampersand other letter") << "&X12" << 0.0;
    QTest::newRow("sign before hex") << "-&H10" << 0.0;
    QTest::newRow("full-width digit") << "\uFF17" << 0.0;
    QTest::newRow("arabic-indic digit") << "\u0667" << 0.0;
    QTest::newRow("long digit string")
        << "123456789012345678901234567890" << 123456789012345678901234567890.0;
}

void TestIniValue::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(LeadingNumber(text), expected);
}

void TestIniValue::leadingNumberOverflow_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("huge exponent") << "1e400";
    QTest::newRow("huge negative") << "-1e400";
    QTest::newRow("exponent beyond every integer") << "1e99999999999999999999";
    QTest::newRow("400 digits") << QString(400, u'9');
    QTest::newRow("300 hex digits") << "&H" + QString(300, u'F');
}

void TestIniValue::leadingNumberOverflow() {
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(UnhandledError, LeadingNumber(text));
}

void TestIniValue::roundToInt32_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("0.5 to even 0") << 0.5 << 0;
    QTest::newRow("1.5 to even 2") << 1.5 << 2;
    QTest::newRow("2.5 to even 2") << 2.5 << 2;
    QTest::newRow("3.5 to even 4") << 3.5 << 4;
    QTest::newRow("-2.5 to even -2") << -2.5 << -2;
    QTest::newRow("-3.5 to even -4") << -3.5 << -4;
    QTest::newRow("just below half") << 2.4999999 << 2;
    QTest::newRow("just above half") << 2.5000001 << 3;
    QTest::newRow("-0.7") << -0.7 << -1;
    QTest::newRow("max") << 2147483647.0 << std::numeric_limits<qint32>::max();
    QTest::newRow("max plus 0.4") << 2147483647.4 << std::numeric_limits<qint32>::max();
    QTest::newRow("min") << -2147483648.0 << std::numeric_limits<qint32>::min();
    QTest::newRow("min minus half rounds to even min") << -2147483648.5 << std::numeric_limits<qint32>::min();
}

void TestIniValue::roundToInt32() {
    QFETCH(double, value);
    QFETCH(qint32, expected);
    QCOMPARE(RoundToInt32(value), expected);
}

void TestIniValue::roundToInt32Overflow_data() {
    QTest::addColumn<double>("value");
    QTest::newRow("max plus one") << 2147483648.0;
    QTest::newRow("max plus half rounds up to even") << 2147483647.5;
    QTest::newRow("min minus one") << -2147483649.0;
    QTest::newRow("min minus 0.6") << -2147483648.6;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
}

void TestIniValue::roundToInt32Overflow() {
    QFETCH(double, value);
    try {
        RoundToInt32(value);
        QFAIL("no error");
    } catch (const UnhandledError& e) {
        QCOMPARE(e.text(), QStringLiteral("Überlauf (Fehler 6)"));
    }
}

void TestIniValue::iniNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("absolute");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("-3") << "-3" << false << -3;
    QTest::newRow("-3 absolute") << "-3" << true << 3;
    QTest::newRow("-2.5 absolute") << "-2.5" << true << 2;
    QTest::newRow("-3.5 absolute") << "-3.5" << true << 4;
    QTest::newRow("2.5") << "2.5" << false << 2;
    QTest::newRow("3.5") << "3.5" << false << 4;
    QTest::newRow("letters") << "abc" << true << 0;
    QTest::newRow("leading blank") << " 7" << true << 7;
    QTest::newRow("blank inside") << "10 24" << false << 1024;
    QTest::newRow("hex") << "&H400" << false << 1024;
    QTest::newRow("hex FFFF absolute") << "&HFFFF" << true << 1;
    QTest::newRow("octal") << "&O17" << false << 15;
    QTest::newRow("exponent") << "1.024e3" << false << 1024;
    QTest::newRow("max") << "2147483647" << false << std::numeric_limits<qint32>::max();
    QTest::newRow("min") << "-2147483648" << false << std::numeric_limits<qint32>::min();
    QTest::newRow("hex 80000000") << "&H80000000" << false << std::numeric_limits<qint32>::min();
    QTest::newRow("empty") << "" << false << 0;
}

void TestIniValue::iniNumber() {
    QFETCH(QString, text);
    QFETCH(bool, absolute);
    QFETCH(qint32, expected);
    QCOMPARE(IniNumber(text, absolute), expected);
}

void TestIniValue::iniNumberOverflow_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("absolute");
    QTest::newRow("2147483648") << "2147483648" << false;
    QTest::newRow("-2147483649") << "-2147483649" << false;
    QTest::newRow("-2147483648 absolute") << "-2147483648" << true;
    QTest::newRow("1e10") << "1e10" << false;
    QTest::newRow("hex beyond 32 bits") << "&H100000000" << false;
    QTest::newRow("hex 80000000 absolute") << "&H80000000" << true;
}

void TestIniValue::iniNumberOverflow() {
    QFETCH(QString, text);
    QFETCH(bool, absolute);
    QVERIFY_THROWS_EXCEPTION(UnhandledError, IniNumber(text, absolute));
}

void TestIniValue::readIniPresent() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    const QByteArray content = "[ORDISP]\r\nLEFT= 12 \r\n";
    QVERIFY(writeBytes(ini, content));
    QCOMPARE(ReadIni(ini, QStringLiteral("ORDISP"), QStringLiteral("LEFT"), QStringLiteral("0")),
             QStringLiteral("12"));
    QCOMPARE(readBytes(ini), content);
}

void TestIniValue::readIniMissingWritesDefault_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("missing file") << QByteArray("<missing>") << "1024"
                                  << QByteArray("[ORDISP]\nWIDTH=1024\n");
    QTest::newRow("missing key") << QByteArray("[ORDISP]\r\nLEFT=0\r\n") << "1024"
                                 << QByteArray("[ORDISP]\r\nLEFT=0\r\nWIDTH=1024\r\n");
    QTest::newRow("empty value replaced")
        << QByteArray("[ORDISP]\r\nWIDTH=\r\n") << "1024" << QByteArray("[ORDISP]\r\nWIDTH=1024\r\n");
    QTest::newRow("quoted empty value replaced")
        << QByteArray("[ORDISP]\r\nWIDTH=\"\"\r\n") << "1024" << QByteArray("[ORDISP]\r\nWIDTH=1024\r\n");
    QTest::newRow("empty default written")
        << QByteArray("[ORDISP]\r\n") << "" << QByteArray("[ORDISP]\r\nWIDTH=\r\n");
}

void TestIniValue::readIniMissingWritesDefault() {
    QFETCH(QByteArray, before);
    QFETCH(QString, defaultValue);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    if (before != "<missing>")
        QVERIFY(writeBytes(ini, before));
    QCOMPARE(ReadIni(ini, QStringLiteral("ORDISP"), QStringLiteral("WIDTH"), defaultValue), defaultValue);
    QCOMPARE(readBytes(ini), after);
}

void TestIniValue::readIniLongValueCutNotRewritten() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ZALPOS.INI"));
    const QByteArray content = "[PFADE]\r\nTRESK=" + QByteArray(300, 'x') + "\r\n";
    QVERIFY(writeBytes(ini, content));
    QCOMPARE(ReadIni(ini, QStringLiteral("PFADE"), QStringLiteral("TRESK"), QStringLiteral("d")),
             QString(254, u'x'));
    QCOMPARE(readBytes(ini), content);
}

void TestIniValue::readIniUnwritableReturnsDefault() {
    QTemporaryDir dir;
    // A file stands where the configuration folder would be, so the default cannot be stored.
    const QString blocker = dir.filePath(QStringLiteral("zalpos"));
    QVERIFY(writeBytes(blocker, "x"));
    QCOMPARE(ReadIni(blocker + QStringLiteral("/ZALPOS.INI"), QStringLiteral("ORDISP"),
                     QStringLiteral("LEFT"), QStringLiteral("0")),
             QStringLiteral("0"));
}

QTEST_GUILESS_MAIN(TestIniValue)
#include "tst_inivalue.moc"
