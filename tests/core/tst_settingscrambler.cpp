#include "core/SettingScrambler.h"

#include "platform/Windows1252.h"

#include <QRegularExpression>
#include <QtTest>

using namespace SettingScrambler;

class SettingScramblerTest : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void decodeRejects_data();
    void decodeRejects();
    void positionsOf32AreStoredUnchanged();
    void colonToAtCountAsZero();
    void hexToInt_data();
    void hexToInt();
    void usableCodes();
};

void SettingScramblerTest::roundTrip_data()
{
    QTest::addColumn<QString>("clear");
    QTest::newRow("empty") << QString();
    QTest::newRow("word") << "true";
    QTest::newRow("accents") << QStringLiteral("mot de passe été àç €");
    QTest::newRow("32 characters") << QString(32, u'k');
    QTest::newRow("100 characters") << QStringLiteral("0123456789").repeated(10);
    QTest::newRow("equal and semicolon") << "a=b;c#d[e]";
    // Characters equal to their key byte give a scrambled byte of 0.
    QString zeroBytes;
    for (int i = 1; i <= 40; ++i)
        zeroBytes += Windows1252::decodeByte(static_cast<unsigned char>(
            HexToInt(EncodeSetting(QString(i, QChar(u'\x01'))).right(2)) ^ 0x01));
    QTest::newRow("bytes scrambled to 0") << zeroBytes;
}

void SettingScramblerTest::roundTrip()
{
    QFETCH(QString, clear);
    const QString scrambled = EncodeSetting(clear);
    QCOMPARE(scrambled.size(), clear.size() * 2);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]*$")).match(scrambled).hasMatch());
    QCOMPARE(DecodeSetting(scrambled), clear);
}

void SettingScramblerTest::decodeRejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("odd length") << "A" << "_";
    QTest::newRow("lower case digits") << EncodeSetting("abc").toLower() << "_";
    QTest::newRow("html page") << "<html><body>404</body></html>" << "_";
    QTest::newRow("blank") << "  " << "_";
}

void SettingScramblerTest::decodeRejects()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(DecodeSetting(text), expected);
}

void SettingScramblerTest::positionsOf32AreStoredUnchanged()
{
    const QString clear = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN"); // 40 characters
    const QString scrambled = EncodeSetting(clear);
    // Character 32 ('F', 0x46) keeps its own code.
    QCOMPARE(scrambled.mid(62, 2), QStringLiteral("46"));
    // Its neighbours do not (the key bytes are not 0).
    QVERIFY(scrambled.mid(60, 2) != QStringLiteral("45"));
    QVERIFY(scrambled.mid(64, 2) != QStringLiteral("47"));
    // Position 33 uses the same key byte as position 1.
    const int key1 = HexToInt(scrambled.mid(0, 2)) ^ 'a';
    QCOMPARE(HexToInt(scrambled.mid(64, 2)) ^ 'G', key1);
}

void SettingScramblerTest::colonToAtCountAsZero()
{
    // ":" counts as the digit 0, so ":0" and "00" decode alike.
    QCOMPARE(DecodeSetting(QStringLiteral(":0")), DecodeSetting(QStringLiteral("00")));
    QCOMPARE(DecodeSetting(QStringLiteral("@A")), DecodeSetting(QStringLiteral("0A")));
}

void SettingScramblerTest::hexToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("FF") << "FF" << 255;
    QTest::newRow("lower case") << "ff" << 255;
    QTest::newRow("leading zero") << "0A" << 10;
    QTest::newRow("outside digits") << "G1" << 1;
    QTest::newRow("four digits") << "1A2B" << 0x1A2B;
}

void SettingScramblerTest::hexToInt()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(HexToInt(text), value);
}

void SettingScramblerTest::usableCodes()
{
    QVERIFY(!isUsable(QString()));
    QVERIFY(!isUsable(QStringLiteral("_")));
    QVERIFY(isUsable(QStringLiteral("x")));
    QVERIFY(!isUsable(DecodeSetting(QStringLiteral("<html>"))));
}

QTEST_GUILESS_MAIN(SettingScramblerTest)
#include "tst_settingscrambler.moc"
