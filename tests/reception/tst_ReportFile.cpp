#include "reception/ReportFile.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(FIXTURES_DIR "/reports/") + name;
}

QStringList readAll(const QByteArray &bytes, ReportReadFailure *failure = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ReportLineReader reader(&buffer, QStringLiteral("mémoire"));
    QStringList lines;
    QString line;
    while (reader.readLine(line))
        lines << line;
    if (failure)
        *failure = reader.failure();
    // The same bytes read whole give the same lines and failure.
    ReportLineReader whole(bytes, QStringLiteral("mémoire"));
    QStringList wholeLines;
    while (whole.readLine(line))
        wholeLines << line;
    if (wholeLines != lines || whole.failure() != reader.failure())
        return QStringList{QStringLiteral("<lu en entier, échec %1 :>").arg(int(whole.failure()))} + wholeLines;
    return lines;
}

} // namespace

class ReportFileTest : public QObject
{
    Q_OBJECT
private slots:
    void lineEnds_data();
    void lineEnds();
    void oversizedInputIsRefused();
    void unreadableFilesAreErrors_data();
    void unreadableFilesAreErrors();
    void markers_data();
    void markers();
    void addressValue_data();
    void addressValue();
    void readersOnFixtures_data();
    void readersOnFixtures();
    void reportHasRecipient_data();
    void reportHasRecipient();
    void sendDateFromFileName_data();
    void sendDateFromFileName();
    void dateTimeToMySQL();
    void padLeft_data();
    void padLeft();
};

void ReportFileTest::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("last line unended") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("empty lines kept") << QByteArray("\r\n\n\r\nx") << QStringList{"", "", "", "x"};
    QTest::newRow("lone CR stays in the line") << QByteArray("a\rb\r\n") << QStringList{"a\rb"};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("one byte per character")
        << QByteArray("Jos\xe9 \x80\x9c\r\n\xc9") << QStringList{QString::fromUtf8("José €œ"), QString::fromUtf8("É")};
    QTest::newRow("NUL byte") << QByteArray("a\0b\n", 4) << QStringList{QString("a") + QChar(0) + "b"};
}

void ReportFileTest::lineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    ReportReadFailure failure;
    QCOMPARE(readAll(bytes, &failure), lines);
    QCOMPARE(failure, ReportReadFailure::None);
}

void ReportFileTest::oversizedInputIsRefused()
{
    // A line just at the limit passes; one byte more is refused, CR LF or not.
    const QByteArray atLimit(ReportLineReader::kMaxLineLength, 'x');
    ReportReadFailure failure;
    QCOMPARE(readAll(atLimit + "\r\nok\r\n", &failure).size(), 2);
    QCOMPARE(failure, ReportReadFailure::None);
    QCOMPARE(readAll(atLimit + "x\r\n", &failure).size(), 0);
    QCOMPARE(failure, ReportReadFailure::LineTooLong);
    QCOMPARE(readAll("a\n" + atLimit + "x", &failure), QStringList{"a"});
    QCOMPARE(failure, ReportReadFailure::LineTooLong);

    QTemporaryDir dir;
    const QString big = dir.filePath("KORVA_big.txt");
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("****FIN****\r\n****FINFICHIER****\r\n") > 0);
    QVERIFY(file.resize(ReportLineReader::kMaxFileSize + 1));
    file.close();
    const ReportRead<bool> complete = IsReportComplete(big);
    QVERIFY(!complete.ok());
    QCOMPARE(complete.failure, ReportReadFailure::FileTooLarge);
    QVERIFY(!complete.value);
    QVERIFY(complete.message.contains(big));
    const ReportRead<QByteArray> whole = ReportLineReader::readFile(big);
    QCOMPARE(whole.failure, ReportReadFailure::FileTooLarge);
    QCOMPARE(whole.message, complete.message);
    QVERIFY(whole.value.isEmpty());
}

void ReportFileTest::unreadableFilesAreErrors_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
}

void ReportFileTest::unreadableFilesAreErrors()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("KORVA_x.txt");
    if (kind == "folder")
        QVERIFY(QDir().mkpath(path));
    if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    const ReportRead<bool> complete = IsReportComplete(path);
    QCOMPARE(complete.failure, ReportReadFailure::CannotOpen);
    QVERIFY(!complete.value);
    QCOMPARE(complete.message, QStringLiteral("Impossible d'ouvrir le fichier [%1].").arg(path));
    const ReportRead<QByteArray> whole = ReportLineReader::readFile(path);
    QCOMPARE(whole.failure, ReportReadFailure::CannotOpen);
    QCOMPARE(whole.message, complete.message);
    const ReportRead<ReportContent> content = ReadReportContent(path);
    QCOMPARE(content.failure, ReportReadFailure::CannotOpen);
    QCOMPARE(content.message, complete.message);
    QVERIFY(!GetReportSender(path).ok());
    QVERIFY(!GetReportRecipient(path).ok());
    const ReportRead<bool> has = ReportHasRecipient(QStringLiteral("a@b.fr"), path);
    QVERIFY(!has.ok());
    QVERIFY(!has.value);
}

void ReportFileTest::markers_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("endOfBlock");
    QTest::addColumn<bool>("endOfFile");
    QTest::addColumn<bool>("dataSection");
    QTest::addColumn<bool>("dataLine");
    QTest::addColumn<bool>("sender");
    QTest::addColumn<bool>("recipient");
    QTest::newRow("end of block") << "****FIN****" << true << false << false << false << false << false;
    QTest::newRow("end of block lower padded") << " \t****fin****\r " << true << false << false << false << false << false;
    QTest::newRow("end of file lower padded") << "  ****FinFichier**** " << false << true << false << false << false << false;
    QTest::newRow("end of block with text") << "****FIN**** x" << false << false << false << false << false << false;
    QTest::newRow("data section padded") << "  ****LAB****\t" << false << false << true << false << false << false;
    QTest::newRow("data section lower") << "****lab****" << false << false << false << false << false << false;
    QTest::newRow("data line") << "KORVA|a|b|c|d|" << false << false << false << true << false << false;
    QTest::newRow("data line after blank") << " KORVA|a|b|c|d|" << false << false << false << false << false << false;
    QTest::newRow("data line lower") << "korva|a|b|c|d|" << false << false << false << false << false << false;
    QTest::newRow("sender lower") << "korva|expediteur|sender||x@y.fr||||" << false << false << false << false << true << false;
    QTest::newRow("sender with accent") << QString::fromUtf8("KORVA|EXPÉDITEUR|SENDER||x||||") << false << false << false << true << false << false;
    QTest::newRow("sender inside a line") << " texte KORVA|EXPEDITEUR|SENDER|" << false << false << false << false << true << false;
    QTest::newRow("recipient lower") << "korva|destinataire|x||y||||" << false << false << false << false << false << true;
    QTest::newRow("recipient data line") << "KORVA|DESTINATAIRE|RECIPIENT||y||||" << false << false << false << true << false << true;
}

void ReportFileTest::markers()
{
    QFETCH(QString, line);
    QFETCH(bool, endOfBlock);
    QFETCH(bool, endOfFile);
    QFETCH(bool, dataSection);
    QFETCH(bool, dataLine);
    QFETCH(bool, sender);
    QFETCH(bool, recipient);
    QCOMPARE(ReportMarkers::isEndOfBlock(line), endOfBlock);
    QCOMPARE(ReportMarkers::isEndOfFile(line), endOfFile);
    QCOMPARE(ReportMarkers::isDataSectionStart(line), dataSection);
    QCOMPARE(ReportMarkers::isDataLine(line), dataLine);
    QCOMPARE(ReportMarkers::isSenderLine(line), sender);
    QCOMPARE(ReportMarkers::isRecipientLine(line), recipient);
}

void ReportFileTest::addressValue_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("value");
    QTest::newRow("usual") << "KORVA|EXPEDITEUR|SENDER||Prest@Dom.fr||||" << "Prest@Dom.fr";
    QTest::newRow("only two bars after") << "KORVA|EXPEDITEUR|SENDER||a@b.fr||" << "";
    QTest::newRow("empty address") << "KORVA|EXPEDITEUR|SENDER||||" << "";
    QTest::newRow("one character") << "KORVA|DESTINATAIRE|R||x||||" << "x";
    QTest::newRow("no bars") << "KORVA|DESTINATAIRE|" << "";
    QTest::newRow("first pair wins") << "KORVA|D|||a||b||||" << "|a||b";
    QTest::newRow("blanks kept") << "KORVA|D|R|| a ||||" << " a ";
}

void ReportFileTest::addressValue()
{
    QFETCH(QString, line);
    QFETCH(QString, value);
    QCOMPARE(ReportMarkers::addressValue(line), value);
}

void ReportFileTest::readersOnFixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("recipient");
    QTest::newRow("complete") << "complete.txt" << true << "prestataire@souffle-dom.fr" << "dr.martin@cabinet.fr";
    QTest::newRow("FINFICHIER before FIN") << "finfichier-before-fin.txt" << true << "" << "";
    QTest::newRow("FIN without FINFICHIER") << "fin-without-finfichier.txt" << false << "" << "";
    QTest::newRow("markers lower and padded") << "lowercase-padded-markers.txt" << true << "" << "";
    QTest::newRow("LF line ends") << "lf-only.txt" << true << "prestataire@souffle-dom.fr" << "";
    QTest::newRow("two recipients") << "two-recipients.txt" << true << "" << "Second@Clinique.FR";
    QTest::newRow("accented bytes before the address")
        << "accented-address.txt" << true << QString::fromUtf8("Prest.École@dom.fr") << QString::fromUtf8("médecin@cabinet.fr");
    QTest::newRow("first sender line wins even when empty") << "sender-short-close.txt" << true << "" << "";
    QTest::newRow("no address") << "no-address.txt" << true << "" << "";
}

void ReportFileTest::readersOnFixtures()
{
    QFETCH(QString, file);
    QFETCH(bool, complete);
    QFETCH(QString, sender);
    QFETCH(QString, recipient);
    const QString path = fixture(file);
    const ReportRead<bool> isComplete = IsReportComplete(path);
    QVERIFY(isComplete.ok());
    QCOMPARE(isComplete.value, complete);
    const ReportRead<QString> foundSender = GetReportSender(path);
    QVERIFY(foundSender.ok());
    QCOMPARE(foundSender.value, sender);
    const ReportRead<QString> foundRecipient = GetReportRecipient(path);
    QVERIFY(foundRecipient.ok());
    QCOMPARE(foundRecipient.value, recipient);

    // Readers taking their passes over the same bytes, read once.
    const ReportRead<QByteArray> content = ReportLineReader::readFile(path);
    QVERIFY(content.ok());
    ReportLineReader first(content.value, path);
    ReportLineReader second(content.value, path);
    QCOMPARE(IsReportComplete(first), complete);
    QCOMPARE(GetReportSender(second), sender);
    const ReportRead<ReportContent> whole = ReadReportContent(path);
    QVERIFY(whole.ok());
    QCOMPARE(whole.value.bytes, content.value);
    QCOMPARE(whole.value.complete, complete);
    QCOMPARE(whole.value.sender, sender);
}

void ReportFileTest::reportHasRecipient_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("found");
    QTest::newRow("first of two") << "two-recipients.txt" << "premier@cabinet.fr" << true;
    QTest::newRow("second of two, other case") << "two-recipients.txt" << "second@clinique.fr" << true;
    QTest::newRow("part of the address") << "two-recipients.txt" << "clinique" << true;
    QTest::newRow("empty address never matches") << "two-recipients.txt" << "" << false;
    QTest::newRow("absent address") << "two-recipients.txt" << "autre@cabinet.fr" << false;
    QTest::newRow("sender address is no recipient") << "complete.txt" << "prestataire@souffle-dom.fr" << false;
    QTest::newRow("accented address") << "accented-address.txt" << QString::fromUtf8("médecin@cabinet.fr") << true;
    QTest::newRow("accent case not folded") << "accented-address.txt" << QString::fromUtf8("MÉDECIN@cabinet.fr") << false;
}

void ReportFileTest::reportHasRecipient()
{
    QFETCH(QString, file);
    QFETCH(QString, email);
    QFETCH(bool, found);
    const ReportRead<bool> result = ReportHasRecipient(email, fixture(file));
    QVERIFY(result.ok());
    QCOMPARE(result.value, found);
}

void ReportFileTest::sendDateFromFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // empty: invalid
    QTest::newRow("usual") << "KORVA_A1_B2_C3_05-03-2017_14-02-09.txt" << "2017-03-05 14:02:09";
    QTest::newRow("empty fields") << "KORVA____31-12-2020_23-59-59.TXT" << "2020-12-31 23:59:59";
    QTest::newRow("other extension") << "KORVA_a_b_c_05-03-2017_14-02-09.tar.gz" << "2017-03-05 14:02:09";
    QTest::newRow("prefix in lower case") << "korva_a_b_c_05-03-2017_14-02-09.txt" << "";
    QTest::newRow("two fields") << "KORVA_a_b_05-03-2017_14-02-09.txt" << "";
    QTest::newRow("field holding _") << "KORVA_a_b_c_d_05-03-2017_14-02-09.txt" << "";
    QTest::newRow("no extension") << "KORVA_a_b_c_05-03-2017_14-02-09" << "";
    QTest::newRow("short year") << "KORVA_a_b_c_05-03-17_14-02-09.txt" << "";
    QTest::newRow("no such day") << "KORVA_a_b_c_31-02-2017_14-02-09.txt" << "";
    QTest::newRow("no such hour") << "KORVA_a_b_c_05-03-2017_24-02-09.txt" << "";
    QTest::newRow("letters in the date") << "KORVA_a_b_c_0a-03-2017_14-02-09.txt" << "";
    QTest::newRow("folder in front") << "/tmp/KORVA_a_b_c_05-03-2017_14-02-09.txt" << "";
    QTest::newRow("empty") << "" << "";
}

void ReportFileTest::sendDateFromFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const std::optional<QString> result = SendDateFromFileName(name);
    QCOMPARE(result.has_value(), !expected.isEmpty());
    if (result)
        QCOMPARE(*result, expected);
}

void ReportFileTest::dateTimeToMySQL()
{
    QCOMPARE(DateTimeToMySQL(QDateTime(QDate(2017, 3, 5), QTime(14, 2, 9, 750))), QStringLiteral("2017-03-05 14:02:09"));
    QCOMPARE(DateTimeToMySQL(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999))), QStringLiteral("2024-12-31 23:59:59"));
}

void ReportFileTest::padLeft_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one digit") << "5" << 2 << "05";
    QTest::newRow("three digits unchanged") << "123" << 2 << "123";
    QTest::newRow("exact width") << "12" << 2 << "12";
    QTest::newRow("empty") << "" << 3 << "000";
}

void ReportFileTest::padLeft()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(PadLeft(u'0', text, width), expected);
}

QTEST_GUILESS_MAIN(ReportFileTest)
#include "tst_ReportFile.moc"
