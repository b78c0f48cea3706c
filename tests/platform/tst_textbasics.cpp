#include "platform/IniFile.h"
#include "platform/TextRules.h"
#include "platform/Windows1252.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TextBasicsTest : public QObject
{
    Q_OBJECT
private slots:
    void upperAZ_data();
    void upperAZ();
    void trim32_data();
    void trim32();
    void windows1252RoundTripsEveryByte();
    void windows1252Decode_data();
    void windows1252Decode();
    void windows1252EncodeUnmappable();
    void iniKeysIgnoreLetterCase();
    void iniIntegers_data();
    void iniIntegers();
    void iniFileIsPrivate();
    void iniWriteKeepsOtherLines_data();
    void iniWriteKeepsOtherLines();
    void iniBatchWrite();
    void iniBatchOfStoredValuesLeavesFile();
};

void TextBasicsTest::upperAZ_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ascii") << "dupont-martin" << "DUPONT-MARTIN";
    QTest::newRow("accents stay") << QString::fromUtf8("éloïse à") << QString::fromUtf8("éLOïSE à");
    QTest::newRow("digits and marks") << "a1|b2_z" << "A1|B2_Z";
    QTest::newRow("empty") << "" << "";
}

void TextBasicsTest::upperAZ()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(TextRules::upperAZ(input), expected);
}

void TextBasicsTest::trim32_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blanks") << "  ****FIN****  " << "****FIN****";
    QTest::newRow("controls") << QString("\t\r\x01KORVA|\x1f\n") << "KORVA|";
    QTest::newRow("inner kept") << "  a  b  " << "a  b";
    QTest::newRow("only controls") << QString("\x01\x02 \t") << "";
    QTest::newRow("nbsp is not trimmed") << QString(QChar(0xA0)) + "x" << QString(QChar(0xA0)) + "x";
}

void TextBasicsTest::trim32()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(TextRules::trim32(input), expected);
}

void TextBasicsTest::windows1252RoundTripsEveryByte()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = Windows1252::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(Windows1252::encode(text), all);
}

void TextBasicsTest::windows1252Decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("euro") << QByteArray("\x80") << QString(QChar(0x20AC));
    QTest::newRow("e acute") << QByteArray("\xE9t\xE9") << QString::fromUtf8("été");
    QTest::newRow("oe ligature") << QByteArray("\x9C") << QString(QChar(0x0153));
    QTest::newRow("quotes") << QByteArray("\x93x\x94") << QString(QChar(0x201C)) + "x" + QChar(0x201D);
}

void TextBasicsTest::windows1252Decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(Windows1252::decode(bytes), expected);
}

void TextBasicsTest::windows1252EncodeUnmappable()
{
    QCOMPARE(Windows1252::encode(QString::fromUtf8("a€ж")), QByteArray("a\x80?"));
}

void TextBasicsTest::iniKeysIgnoreLetterCase()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("Obsidra.ini");
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[main]\ndebugmode=1\nBackupPath=/srv/sauvegarde\n");
    f.close();

    IniFile ini(name);
    QCOMPARE(ini.readInteger("Main", "DebugMode", 0), 1);
    QCOMPARE(ini.readString("MAIN", "backuppath"), QString("/srv/sauvegarde"));

    // Writing keeps the spelling already in the file: one key, not two.
    QVERIFY(ini.writeInteger("Main", "DEBUGMODE", 0));
    QFile back(name);
    QVERIFY(back.open(QIODevice::ReadOnly));
    const QByteArray content = back.readAll();
    QCOMPARE(content.count("ebug"), 1);
    QCOMPARE(ini.readInteger("Main", "DebugMode", 7), 0);
}

void TextBasicsTest::iniIntegers_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("one") << QByteArray("1") << 1;
    QTest::newRow("negative") << QByteArray("-3") << -3;
    QTest::newRow("word") << QByteArray("true") << 42;
    QTest::newRow("empty") << QByteArray("") << 42;
    QTest::newRow("decimal") << QByteArray("1.5") << 42;
    QTest::newRow("padded") << QByteArray(" 7 ") << 7;
}

void TextBasicsTest::iniIntegers()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString name = dir.filePath("x.ini");
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Main]\nKey=" + value + "\n");
    f.close();
    QCOMPARE(IniFile(name).readInteger("Main", "Key", 42), expected);
}

void TextBasicsTest::iniWriteKeepsOtherLines_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray head = "; Réglages du cabinet\n[Main]\n; DebugMode=1\nWebServer=https://a.example\n";
    const QByteArray tail = "\n[Proxy]\n# port du pare-feu\nHTTPPort=3128\n";
    QTest::newRow("existing key") << "main" << "webserver" << "https://b.example"
                                  << QByteArray("; Réglages du cabinet\n[Main]\n; DebugMode=1\nWebServer=https://b.example\n")
                                         + tail;
    QTest::newRow("new key") << "Main" << "BackupPath" << "/srv/sauvegarde/"
                             << head + "BackupPath=/srv/sauvegarde/\n" + tail;
    QTest::newRow("new section") << "ShowResults" << "Width" << "640"
                                 << head + tail + "\n[ShowResults]\nWidth=640\n";
    QTest::newRow("value needing quotes") << "Proxy" << "HTTPPort" << "a, b"
                                          << head + "\n[Proxy]\n# port du pare-feu\nHTTPPort=\"a, b\"\n";
}

void TextBasicsTest::iniWriteKeepsOtherLines()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    const QString name = dir.filePath("Obsidra.ini");
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("; Réglages du cabinet\n[Main]\n; DebugMode=1\nWebServer=https://a.example\n"
            "\n[Proxy]\n# port du pare-feu\nHTTPPort=3128\n");
    f.close();
    IniFile ini(name);
    QVERIFY(ini.writeString(section, key, value));
    QFile back(name);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), expected);
    QCOMPARE(ini.readString(section, key), value);
}

namespace {

QByteArray writeIni(const QString &name, const QByteArray &content)
{
    QFile f(name);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return content;
}

QByteArray readIni(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void TextBasicsTest::iniBatchWrite()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("Obsidra.ini");
    writeIni(name, "; Réglages\r\n[Main]\r\nWebServer=https://a.example\r\nDebugMode=0\r\n");
    IniFile ini(name);
    // An existing key, a new section taking two keys, the format's own
    // section name and a value needing quotes, all in one batch.
    QVERIFY(ini.writeStrings({{"main", "webserver", "https://b.example"},
                              {"ShowResults", "Grid_Column0_Width", "100"},
                              {"General", "Key", "1"},
                              {"showresults", "NomPat", "a, b"},
                              {"Main", "DebugMode", "0"}}));
    QCOMPARE(readIni(name), QByteArray("; Réglages\r\n[Main]\r\nWebServer=https://b.example\r\nDebugMode=0\r\n\r\n"
                                       "[ShowResults]\r\nGrid_Column0_Width=100\r\nNomPat=\"a, b\"\r\n\r\n"
                                       "[%General]\r\nKey=1\r\n"));
    QCOMPARE(ini.readString("ShowResults", "NomPat"), QString("a, b"));
    QCOMPARE(ini.readInteger("General", "Key", 0), 1);
    QCOMPARE(ini.readInteger("showresults", "grid_column0_width", 0), 100);
}

void TextBasicsTest::iniBatchOfStoredValuesLeavesFile()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("Obsidra.ini");
    const QByteArray content = writeIni(name, "[Main]\nDebugMode=1\nBackupPath=/srv/sauvegarde\n");
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(name).constData(), &before), 0);
    QVERIFY(IniFile(name).writeStrings({{"MAIN", "debugmode", "1"}, {"Main", "BackupPath", "/srv/sauvegarde"}}));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(name).constData(), &after), 0);
    // A save replaces the file: the same inode shows that none took place.
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(readIni(name), content);
}

void TextBasicsTest::iniFileIsPrivate()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("Obsidra.ini");
    QVERIFY(IniFile(name).writeString("Proxy", "HTTPPassword", "x"));
    QCOMPARE(QFile::permissions(name) & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                                         | QFileDevice::WriteOther),
             QFileDevice::Permissions());
}

QTEST_GUILESS_MAIN(TextBasicsTest)
#include "tst_textbasics.moc"
