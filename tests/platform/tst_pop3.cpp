// The POP3 client against the private dovecot of the test services, and the
// message parsing with GMime.

#include "platform/MailMessage.h"
#include "platform/Pop3Client.h"
#include "Pop3TestMailbox.h"
#include "platform/Windows1252.h"

#include <QtTest>

class Pop3Test : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void listAndRetrieve();
    void deletionTakesEffectOnlyAtQuit();
    void wrongPasswordIsAnAuthenticationFailure();
    void tls_data();
    void tls();
    void parsesAttachments();
    void attachmentNamesAreBare_data();
    void attachmentNamesAreBare();
    void notAMessageIsAnError();
    void undeclaredCharsetKeepsAccents_data();
    void undeclaredCharsetKeepsAccents();

private:
    Pop3TestMailbox m_box;
};

void Pop3Test::init()
{
    if (QByteArray(QTest::currentTestFunction()).startsWith("parses")
        || QByteArray(QTest::currentTestFunction()).startsWith("attachment")
        || QByteArray(QTest::currentTestFunction()).startsWith("notA")
        || QByteArray(QTest::currentTestFunction()).startsWith("undeclared"))
        return;
    if (!m_box.available())
        QSKIP("POP3_TEST_* variables missing: test services not started (run ./test.sh)");
    m_box.clear();
}

void Pop3Test::listAndRetrieve()
{
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("Premier"), QStringLiteral("a@example.org"),
                                           QStringLiteral("un")));
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("Second"), QStringLiteral("b@example.org"),
                                           QStringLiteral(".ligne commençant par un point\r\n.")));
    Pop3Session session(m_box.account());
    const Pop3Session::Status status = session.stat();
    QCOMPARE(status.count, 2);
    const QMap<int, qint64> sizes = session.list();
    QCOMPARE(sizes.keys(), QList<int>({1, 2}));
    QCOMPARE(status.size, sizes[1] + sizes[2]);
    QCOMPARE(session.listOne(2), sizes[2]);
    const QMap<int, QString> uidls = session.uidls();
    QCOMPARE(uidls.size(), 2);
    QVERIFY(uidls[1] != uidls[2]);
    QCOMPARE(session.uidl(2), uidls[2]);

    qint64 progressed = 0;
    session.setWorkHandlers({nullptr, [&](qint64 count) { progressed = count; }, nullptr});
    // The server numbers the messages in its own order.
    QStringList subjects;
    for (int i = 1; i <= 2; ++i)
        subjects << MailMessage::parse(session.top(i, 0)).subject;
    const int second = subjects.indexOf(QStringLiteral("Second")) + 1;
    QVERIFY(second > 0 && subjects.contains(QStringLiteral("Premier")));
    const QByteArray raw = session.retrieve(second, sizes[second]);
    QCOMPARE(progressed, raw.size());
    const MailMessage message = MailMessage::parse(raw);
    // Dot-stuffed lines come back as sent.
    QCOMPARE(message.parts.value(0).text.trimmed(), QStringLiteral(".ligne commençant par un point\r\n."));
    QVERIFY_THROWS_EXCEPTION(Pop3Error, session.retrieve(3));
    QVERIFY(!session.isOpen());
}

void Pop3Test::deletionTakesEffectOnlyAtQuit()
{
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("A supprimer"), QStringLiteral("a@example.org"),
                                           QStringLiteral("x")));
    {
        Pop3Session session(m_box.account());
        session.dele(1);
        QCOMPARE(m_box.storedMessages(), 1);
        session.close();
    }
    QCOMPARE(m_box.storedMessages(), 0);
    Pop3Session check(m_box.account());
    QCOMPARE(check.stat().count, 0);
}

void Pop3Test::wrongPasswordIsAnAuthenticationFailure()
{
    Pop3Account account = m_box.account();
    account.password = QStringLiteral("mauvais");
    Pop3Session session(account);
    try {
        session.open();
        QFAIL("login accepted with a wrong password");
    } catch (const Pop3Error &e) {
        QVERIFY(e.authenticationFailed());
        QVERIFY(!e.text().contains(QStringLiteral("mauvais")));
    }
}

void Pop3Test::tls_data()
{
    QTest::addColumn<bool>("withCa");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("private CA named") << true << true;
    QTest::newRow("unknown CA refused") << false << false;
}

void Pop3Test::tls()
{
    QFETCH(bool, withCa);
    QFETCH(bool, accepted);
    Pop3Account account = m_box.account(true);
    if (!withCa)
        account.caFile.clear();
    Pop3Session session(account);
    try {
        session.open();
        QVERIFY(accepted);
        QCOMPARE(session.stat().count, 0);
    } catch (const Pop3Error &e) {
        QVERIFY2(!accepted, qPrintable(e.text()));
        QVERIFY(!e.authenticationFailed());
    }
}

void Pop3Test::parsesAttachments()
{
    const QByteArray archive("7z\xBC\xAF\x27\x1C\x00\x04binaire\r\n\x00\xFF", 20);
    const MailMessage message = MailMessage::parse(Pop3TestMailbox::message(
        QStringLiteral("Observances de mai"), QStringLiteral("\"Jean Dupont\" <jd@example.org>"),
        QStringLiteral("Bonjour"), {{QStringLiteral("PJ.7z"), archive}}));
    QCOMPARE(message.subject, QStringLiteral("Observances de mai"));
    QVERIFY(message.from.contains(QStringLiteral("jd@example.org")));
    QVERIFY(message.from.startsWith(QStringLiteral("\"Jean Dupont\"")) || message.from.startsWith(u'J'));
    QCOMPARE(message.date, QDateTime(QDate(2024, 5, 14), QTime(8, 30), Qt::UTC));
    QVERIFY(message.hasParts);
    QCOMPARE(message.parts.size(), 2);
    QCOMPARE(message.parts[0].kind, MailPart::Kind::Text);
    QCOMPARE(message.parts[0].text.trimmed(), QStringLiteral("Bonjour"));
    const QList<MailPart> attachments = message.attachments();
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments[0].fileName, QStringLiteral("PJ.7z"));
    QCOMPARE(attachments[0].content, archive);
}

void Pop3Test::attachmentNamesAreBare_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("bare");
    QTest::newRow("relative path") << QStringLiteral("../../etc/cron.d/x") << QStringLiteral("x");
    QTest::newRow("absolute path") << QStringLiteral("/tmp/PJ.7z") << QStringLiteral("PJ.7z");
    QTest::newRow("windows path") << QStringLiteral("C:\\\\Temp\\\\KORVA_1.txt") << QStringLiteral("KORVA_1.txt");
    QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("PieceJointe2");
    QTest::newRow("hidden") << QStringLiteral(".profile") << QStringLiteral("profile");
}

void Pop3Test::attachmentNamesAreBare()
{
    QFETCH(QString, sent);
    QFETCH(QString, bare);
    const MailMessage message = MailMessage::parse(Pop3TestMailbox::message(
        QStringLiteral("s"), QStringLiteral("a@example.org"), QStringLiteral("t"), {{sent, "data"}}));
    QCOMPARE(message.attachments().value(0).fileName, bare);
}

void Pop3Test::notAMessageIsAnError()
{
    QVERIFY_THROWS_EXCEPTION(MailParseError, MailMessage::parse(QByteArray()));
}

// Older mailers send 8-bit text without naming its character set (or naming
// one nobody knows): it is read as UTF-8 when it is valid UTF-8, else as
// Windows-1252.
void Pop3Test::undeclaredCharsetKeepsAccents_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QByteArray>("contentType");
    const QString text = QStringLiteral("Relevé d'août : 5 € réglés");
    QTest::newRow("utf-8, plain") << text.toUtf8() << QByteArray("text/plain");
    QTest::newRow("windows-1252, plain") << Windows1252::encode(text) << QByteArray("text/plain");
    QTest::newRow("windows-1252, html") << Windows1252::encode(text) << QByteArray("text/html");
    QTest::newRow("windows-1252, multipart") << Windows1252::encode(text) << QByteArray("multipart");
    QTest::newRow("unknown charset") << Windows1252::encode(text) << QByteArray("text/plain; charset=x-inconnu");
    QTest::newRow("multipart without boundary") << text.toUtf8() << QByteArray("multipart/mixed");
}

void Pop3Test::undeclaredCharsetKeepsAccents()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QByteArray, contentType);
    const QString text = QStringLiteral("Relevé d'août : 5 € réglés");
    QByteArray raw = "From: =?utf-8?q?S=C3=A9bastien?= <s@example.org>\r\nSubject: " + encoded
                   + "\r\nMIME-Version: 1.0\r\n";
    if (contentType == "multipart")
        raw += "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
             + encoded + "\r\n--b\r\nContent-Type: application/octet-stream\r\n"
             "Content-Disposition: attachment; filename=\"a.bin\"\r\n\r\nxx\r\n--b--\r\n";
    else
        raw += "Content-Type: " + contentType + "\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + encoded + "\r\n";
    const MailMessage message = MailMessage::parse(raw);
    QCOMPARE(message.subject, text);
    const QString body = message.hasParts ? message.parts.value(0).text : message.body;
    QCOMPARE(body.trimmed(), text);
}

QTEST_GUILESS_MAIN(Pop3Test)
#include "tst_pop3.moc"
