#include "IniValue.h"
#include "Password.h"
#include "UnhandledError.h"

#include <QtTest>

#include <functional>

using namespace ordisp;
using namespace Qt::StringLiterals;

// An expected value that stands for the overflow error.
static const double Overflow = qQNaN();

static void check(const std::function<double()>& read, double expected) {
    if (qIsNaN(expected))
        QVERIFY_THROWS_EXCEPTION(UnhandledError, read());
    else
        QCOMPARE(read(), expected);
}

// Numbers and coded passwords in the configuration file.
class TestIniValue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");  // LeadingNumber
        QTest::addColumn<double>("setting"); // IniNumber
        // clang-format off
        QTest::newRow("empty") << "" << 0.0 << 0.0;
        QTest::newRow("minus, letters after") << "-3 kg" << -3.0 << -3.0;
        QTest::newRow("blanks, tabs and line feeds skipped") << "\t\n+ 1 2 e + 3" << 12000.0 << 12000.0;
        QTest::newRow("halves to even") << "2.5" << 2.5 << 2.0;
        QTest::newRow("D exponent, a point ends it") << ".25D1.9" << 2.5 << 2.0;
        QTest::newRow("exponent without digits") << "7e" << 7.0 << 7.0;
        QTest::newRow("tiny underflows") << "1e-400" << 0.0 << 0.0;
        QTest::newRow("zeros before a tiny fraction") << "0." + QString(400, u'0') + "1" << 0.0 << 0.0;
        QTest::newRow("below the smallest") << "-2147483648.6" << -2147483648.6 << Overflow;
        QTest::newRow("hex ffff is 16-bit") << "&hffFF" << -1.0 << -1.0;
        QTest::newRow("hex 80000000 is 32-bit") << "&H80000000" << -2147483648.0 << -2147483648.0;
        QTest::newRow("hex beyond 32 bits") << "&H100000000" << 4294967296.0 << Overflow;
        QTest::newRow("octal ends at 8") << "&O2000008" << 65536.0 << 65536.0;
        QTest::newRow("other letter after &") << "&X12" << 0.0 << 0.0;
        QTest::newRow("exponent beyond every integer") << "1e99999999999999999999" << Overflow << Overflow;
        QTest::newRow("300 hex digits") << "&H" + QString(300, u'F') << Overflow << Overflow;
        // clang-format on
    }

    void numbers() {
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(double, setting);
        check([&] { return LeadingNumber(text); }, number);
        check([&] { return double(IniNumber(text)); }, setting);
    }

    void passwords_data() {
        QTest::addColumn<QString>("clear");
        QTest::addColumn<QString>("coded"); // as kept in ZALPOS.INI
        // clang-format off
        QTest::newRow("equal characters differ by position") << "aa" << "29C9";
        QTest::newRow("umlauts and euro") << "Küche€2024" << "03549EF889D4CFE628B4";
        QTest::newRow("1252 letters 80 to 9F") << "€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ" << "C82A7E1469D27A5E930A0B8F97E4623234FAD378644D5F4B5EBE6E";
        // clang-format on
    }

    void passwords() {
        QFETCH(QString, clear);
        QFETCH(QString, coded);
        QCOMPARE(EncodePassword(clear), coded);
        QCOMPARE(DecodePassword(coded), clear);
        QCOMPARE(DecodePassword(coded.toLower()), clear);
    }

    void limits() {
        check([] { return double(RoundToInt32(qInf())); }, Overflow);
        // Half as many pairs as digits, halves to even; a non-digit ends a pair's number, blanks do not.
        QCOMPARE(HexEncode(HexDecode(u"41424"_s)), u"4142"_s);
        QCOMPARE(HexEncode(HexDecode(u"G1 1-14"_s)), u"00010004"_s);
        // The key covers 101 characters.
        QCOMPARE(DecodePassword(EncodePassword(QString(101, u'x'))), QString(101, u'x'));
        QVERIFY_THROWS_EXCEPTION(UnhandledError, EncodePassword(QString(102, u'x')));
        QVERIFY_THROWS_EXCEPTION(UnhandledError, DecodePassword(QString(203, u'A')));
        QVERIFY_THROWS_EXCEPTION(UnhandledError, EncodePassword(u"Łódź"_s));
        QVERIFY_THROWS_EXCEPTION(UnhandledError, HexEncode(u"Łódź"_s));
    }
};

QTEST_GUILESS_MAIN(TestIniValue)
#include "tst_inivalue.moc"
