#include "Cp1252.h"
#include "Password.h"
#include "UnhandledError.h"

#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

using namespace ordisp;

namespace {

QString fromCodes(std::initializer_list<int> codes) {
    QString text;
    for (const int code : codes)
        text.append(Cp1252::toUnicode(quint8(code)));
    return text;
}

} // namespace

class TestPassword : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cp1252RoundTripsEveryCode();
    void cp1252_data();
    void cp1252();
    void hexDecode_data();
    void hexDecode();
    void hexEncode_data();
    void hexEncode();
    void keyIsFixed();
    void keyIsNotTrivial();
    void keyXorTwiceRestores();
    void keyXorLength_data();
    void keyXorLength();
    void encodeDecodeRoundTrip();
    void encodeKnownPassword();
    void decodeLowerCase();
    void decodeLength_data();
    void decodeLength();
    void encodeRefusesCharacterWithoutCode_data();
    void encodeRefusesCharacterWithoutCode();
};

void TestPassword::cp1252RoundTripsEveryCode() {
    QSet<QChar> seen;
    for (int code = 0; code < 256; ++code) {
        const QChar c = Cp1252::toUnicode(quint8(code));
        QCOMPARE(Cp1252::fromUnicode(c), code);
        seen.insert(c);
    }
    QCOMPARE(seen.size(), 256);
}

void TestPassword::cp1252_data() {
    QTest::addColumn<QChar>("character");
    QTest::addColumn<int>("code");
    QTest::newRow("ascii") << QChar(u'A') << 0x41;
    QTest::newRow("nul") << QChar(u'\0') << 0;
    QTest::newRow("euro") << QChar(u'€') << 0x80;
    QTest::newRow("low double quote") << QChar(u'„') << 0x84;
    QTest::newRow("s caron") << QChar(u'š') << 0x9A;
    QTest::newRow("y diaeresis capital") << QChar(u'Ÿ') << 0x9F;
    QTest::newRow("undefined 81") << QChar(0x81) << 0x81;
    QTest::newRow("undefined 9D") << QChar(0x9D) << 0x9D;
    QTest::newRow("no-break space") << QChar(0xA0) << 0xA0;
    QTest::newRow("a umlaut") << QChar(u'ä') << 0xE4;
    QTest::newRow("sharp s") << QChar(u'ß') << 0xDF;
    QTest::newRow("y diaeresis") << QChar(u'ÿ') << 0xFF;
    QTest::newRow("C1 control 80 has no code") << QChar(0x80) << -1;
    QTest::newRow("C1 control 9F has no code") << QChar(0x9F) << -1;
    QTest::newRow("L stroke has no code") << QChar(u'Ł') << -1;
    QTest::newRow("surrogate has no code") << QChar(0xD83C) << -1;
}

void TestPassword::cp1252() {
    QFETCH(QChar, character);
    QFETCH(int, code);
    QCOMPARE(Cp1252::fromUnicode(character), code);
    if (code >= 0)
        QCOMPARE(Cp1252::toUnicode(quint8(code)), character);
}

void TestPassword::hexDecode_data() {
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("one pair") << "41"
                              << "A";
    QTest::newRow("two pairs") << "4142"
                               << "AB";
    QTest::newRow("lower case") << "6a6B"
                                << "jk";
    QTest::newRow("high code") << "E4"
                               << "ä";
    QTest::newRow("1252 code") << "80"
                               << "€";
    QTest::newRow("zero pair") << "00" << fromCodes({0});
    QTest::newRow("1 digit gives nothing") << "4"
                                           << "";
    QTest::newRow("3 digits: last alone") << "414" << fromCodes({0x41, 0x04});
    QTest::newRow("5 digits: last ignored") << "41424"
                                            << "AB";
    QTest::newRow("7 digits: last alone") << "4142434" << fromCodes({0x41, 0x42, 0x43, 0x04});
    QTest::newRow("first not a digit") << "G1" << fromCodes({0});
    QTest::newRow("second not a digit") << "4G" << fromCodes({0x04});
    QTest::newRow("both not digits") << "ZZ41" << fromCodes({0, 0x41});
    QTest::newRow("leading blank skipped") << " 4" << fromCodes({0x04});
    QTest::newRow("trailing blank skipped") << "4 " << fromCodes({0x04});
    QTest::newRow("two blanks") << "  41" << fromCodes({0, 0x41});
    QTest::newRow("sign is not a digit") << "-1" << fromCodes({0});
    QTest::newRow("ampersand pair") << "&H41" << fromCodes({0, 0x41});
}

void TestPassword::hexDecode() {
    QFETCH(QString, digits);
    QFETCH(QString, expected);
    QCOMPARE(HexDecode(digits), expected);
}

void TestPassword::hexEncode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("ascii") << "Ab"
                           << "4162";
    QTest::newRow("leading zero") << fromCodes({0x0A, 0x00}) << "0A00";
    QTest::newRow("upper case digits") << fromCodes({0xAB, 0xFF}) << "ABFF";
    QTest::newRow("1252 characters") << "€ä"
                                     << "80E4";
}

void TestPassword::hexEncode() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(HexEncode(text), expected);
    QCOMPARE(HexDecode(expected), text);
}

void TestPassword::keyIsFixed() {
    // Coded passwords already stored in configuration files depend on these bytes.
    const auto& key = PasswordKey();
    const std::array<quint8, 8> first = {72, 168, 253, 144, 236, 84, 253, 214};
    for (std::size_t i = 0; i < first.size(); ++i)
        QCOMPARE(key[i], first[i]);
    QCOMPARE(key[100], quint8(128));
    QCOMPARE(&PasswordKey(), &key);
}

void TestPassword::keyIsNotTrivial() {
    const auto& key = PasswordKey();
    const QSet<quint8> distinct(key.begin(), key.end());
    QVERIFY2(distinct.size() > 50, "key bytes repeat too much");
    int zeros = 0;
    for (const quint8 b : key)
        zeros += b == 0 ? 1 : 0;
    QVERIFY(zeros < 5);
}

void TestPassword::keyXorTwiceRestores() {
    const QString text = QStringLiteral("geheim€ÄÖÜ");
    const QString once = KeyXor(text);
    QCOMPARE(once.size(), text.size());
    QVERIFY(once != text);
    QCOMPARE(KeyXor(once), text);
}

void TestPassword::keyXorLength_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("fails");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << false;
    QTest::newRow("101") << 101 << false;
    QTest::newRow("102") << 102 << true;
    QTest::newRow("500") << 500 << true;
}

void TestPassword::keyXorLength() {
    QFETCH(int, length);
    QFETCH(bool, fails);
    const QString text(length, u'x');
    if (fails) {
        try {
            KeyXor(text);
            QFAIL("no error");
        } catch (const UnhandledError& e) {
            QCOMPARE(e.text(), QStringLiteral("Index außerhalb des gültigen Bereichs (Fehler 9)"));
        }
    } else {
        QCOMPARE(KeyXor(text).size(), length);
    }
}

void TestPassword::encodeDecodeRoundTrip() {
    QRandomGenerator random(20240501);
    for (int round = 0; round < 2000; ++round) {
        const int length = int(random.bounded(102));
        QString clear;
        for (int i = 0; i < length; ++i)
            clear.append(Cp1252::toUnicode(quint8(random.bounded(1, 256))));
        const QString coded = EncodePassword(clear);
        QCOMPARE(coded.size(), 2 * length);
        QVERIFY(!coded.contains(QRegularExpression(QStringLiteral("[^0-9A-F]"))));
        QCOMPARE(DecodePassword(coded), clear);
    }
}

void TestPassword::encodeKnownPassword() {
    // Each code combined with its own key byte, so equal characters code differently by position.
    const auto& key = PasswordKey();
    const QString coded = EncodePassword(QStringLiteral("aa"));
    QCOMPARE(coded, QStringLiteral("%1%2")
                        .arg(0x61 ^ key[0], 2, 16, QLatin1Char('0'))
                        .arg(0x61 ^ key[1], 2, 16, QLatin1Char('0'))
                        .toUpper());
}

void TestPassword::decodeLowerCase() {
    const QString coded = EncodePassword(QStringLiteral("Küche!2024"));
    QCOMPARE(DecodePassword(coded.toLower()), QStringLiteral("Küche!2024"));
    QCOMPARE(DecodePassword(coded), DecodePassword(coded));
}

void TestPassword::decodeLength_data() {
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("characters"); // -1: the text is too long for the key
    QTest::newRow("201 digits") << 201 << 100;
    QTest::newRow("202 digits") << 202 << 101;
    QTest::newRow("203 digits round to 102 pairs") << 203 << -1;
    QTest::newRow("204 digits") << 204 << -1;
}

void TestPassword::decodeLength() {
    QFETCH(int, digits);
    QFETCH(int, characters);
    const QString coded(digits, u'A');
    if (characters < 0)
        QVERIFY_THROWS_EXCEPTION(UnhandledError, DecodePassword(coded));
    else
        QCOMPARE(DecodePassword(coded).size(), characters);
}

void TestPassword::encodeRefusesCharacterWithoutCode_data() {
    QTest::addColumn<QString>("clear");
    QTest::newRow("L stroke") << "Łódź";
    QTest::newRow("emoji") << "pw🍲";
    QTest::newRow("C1 control without a code") << QString(QChar(0x80));
}

void TestPassword::encodeRefusesCharacterWithoutCode() {
    QFETCH(QString, clear);
    QVERIFY_THROWS_EXCEPTION(UnhandledError, EncodePassword(clear));
    QVERIFY_THROWS_EXCEPTION(UnhandledError, HexEncode(clear));
}

QTEST_GUILESS_MAIN(TestPassword)
#include "tst_password.moc"
