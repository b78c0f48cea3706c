// The POP3 worker window and the mail account form against the private
// dovecot of the test services.

#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "reception/MailAccount.h"
#include "Pop3TestMailbox.h"
#include "platform/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "reception/UMessage.h"
#include "reception/uMedecin.h"
#include "app/MainWindow.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>
#include <QtTest>

namespace {

// The local tables of the test's program folder, with a new account record.
void openNewAccount(LocalDatabase &db, const TestHome &home)
{
    QDir().mkpath(home.path() + QStringLiteral("Base"));
    db.createAndOpen(home.path() + QStringLiteral("Base/"), home.path() + QStringLiteral("Obsidra.ini"));
    db.TMail.append();
}

} // namespace

class MailAccountTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void listRetrieveSaveDelete();
    void changedMessageIsNeitherRetrievedNorDeleted();
    void refusalIsTriedOnceAndNeverLogged_data();
    void refusalIsTriedOnceAndNeverLogged();
    void connectionTest_data();
    void connectionTest();
    void saveWithRequiredFieldEmptyIsCancelled();
    void blankNewAccountClosesWithoutQuestion();
    void silentServerIsTriedOnce();
    void formHoldsWhatTheTableKeeps_data();
    void formHoldsWhatTheTableKeeps();
    void enterSavesWhenEnabled();
    void accessKeysInTheMainWindow_data();
    void accessKeysInTheMainWindow();

private:
    MailAccount account(bool secured = false) const;
    Pop3TestMailbox m_box;
};

void MailAccountTest::init()
{
    if (!m_box.available())
        QSKIP("POP3_TEST_* variables missing: test services not started (run ./test.sh)");
    m_box.clear();
    Globals::reset();
}

MailAccount MailAccountTest::account(bool secured) const
{
    const Pop3Account pop3 = m_box.account(secured);
    MailAccount a;
    a.compte = QStringLiteral("Cabinet");
    a.adresse = QStringLiteral("medecin@example.org");
    a.server = pop3.host;
    a.port = pop3.port;
    a.secured = secured;
    a.login = pop3.user;
    a.password = pop3.password;
    return a;
}

void MailAccountTest::listRetrieveSaveDelete()
{
    TestHome home;
    ScriptedDialogs dialogs;
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("Premier"), QStringLiteral("a@example.org"),
                                           QStringLiteral("Bonjour")));
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("Observances"),
                                           QStringLiteral("\"Jean Dupont\" <jd@example.org>"), QStringLiteral("Texte"),
                                           {{QStringLiteral("PJ.7z"), QByteArray("7z\x00\x01", 4)},
                                            {QStringLiteral("../../evil.txt"), "x"}}));
    TfMessage worker;
    QCOMPARE(Globals::EmailsFolder, home.path() + QStringLiteral("Emails/"));
    QVERIFY(QDir(Globals::EmailsFolder).exists());
    QCOMPARE(QFileInfo(Globals::EmailsFolder).permissions() & 0x077, QFileDevice::Permissions());
    worker.setAccountSource([this] { return account(); });
    worker.CheckMailToExecute();
    QCOMPARE(worker.lvHeaders()->topLevelItemCount(), 2);
    QCOMPARE(Globals::ReportRecipient, QStringLiteral("medecin@example.org"));

    // The server numbers the messages in its own order.
    const QList<QTreeWidgetItem *> found = worker.lvHeaders()->findItems(QStringLiteral("Observances"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QTreeWidgetItem *row = found[0];
    QCOMPARE(row->data(0, TfMessage::NumberRole).toInt(), worker.lvHeaders()->indexOfTopLevelItem(row) + 1);
    worker.lvHeaders()->setCurrentItem(row);
    QVERIFY(worker.RetrieveExecute());
    QCOMPARE(worker.From()->text(), QStringLiteral("Jean"));
    QCOMPARE(worker.Memo1()->toPlainText().trimmed(), QStringLiteral("Texte"));
    QVERIFY(!worker.Memo1()->isHidden());
    QCOMPARE(worker.lvMessageParts()->count(), 2);
    QCOMPARE(worker.lvMessageParts()->item(1)->text(), QStringLiteral("evil.txt"));
    QVERIFY(!QFile::exists(TfMessage::tempHtmlFile()));

    QStringList saved;
    QString error;
    QVERIFY(worker.SaveAttachments(QStringLiteral("PJ.7z"), &saved, &error));
    QCOMPARE(saved, QStringList{QStringLiteral("PJ.7z")});
    QFile archive(Globals::EmailsFolder + QStringLiteral("PJ.7z"));
    QVERIFY(archive.open(QIODevice::ReadOnly));
    QCOMPARE(archive.readAll(), QByteArray("7z\x00\x01", 4));
    QVERIFY(worker.SaveAttachments(QString(), &saved, &error));
    QVERIFY(QFile::exists(Globals::EmailsFolder + QStringLiteral("evil.txt")));

    worker.DeleteExecute();
    QCOMPARE(row->data(0, TfMessage::ImageRole).toInt(), 3);
    QCOMPARE(m_box.storedMessages(), 1);
    QVERIFY(dialogs.shown.isEmpty());
}

void MailAccountTest::changedMessageIsNeitherRetrievedNorDeleted()
{
    TestHome home;
    ScriptedDialogs dialogs;
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("Ancien"), QStringLiteral("a@example.org"),
                                           QStringLiteral("x")));
    TfMessage worker;
    worker.setAccountSource([this] { return account(); });
    worker.CheckMailToExecute();
    QCOMPARE(worker.lvHeaders()->topLevelItemCount(), 1);
    // Another program empties the mailbox and a new message takes number 1.
    m_box.clear();
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("Nouveau"), QStringLiteral("b@example.org"),
                                           QStringLiteral("y")));
    worker.lvHeaders()->setCurrentItem(worker.lvHeaders()->topLevelItem(0));
    QVERIFY(!worker.RetrieveExecute());
    // Told apart from a failure, for the reception to explain.
    QVERIFY(worker.mailboxChanged());
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY_THROWS_EXCEPTION(Pop3Error, worker.DeleteExecute());
    QCOMPARE(m_box.storedMessages(), 1);
}

void MailAccountTest::refusalIsTriedOnceAndNeverLogged_data()
{
    QTest::addColumn<bool>("secured"); // on the TLS port, with a CA that does not know the server
    QTest::addColumn<QString>("cause");
    QTest::newRow("wrong password") << false << "Identifiant ou mot de passe refusé";
    QTest::newRow("certificate refused") << true << "Connexion chiffrée refusée : le certificat";
}

void MailAccountTest::refusalIsTriedOnceAndNeverLogged()
{
    QFETCH(bool, secured);
    QFETCH(QString, cause);
    TestHome home;
    ScriptedDialogs dialogs;
    m_box.deliver(Pop3TestMailbox::message(QStringLiteral("s"), QStringLiteral("a@example.org"), QStringLiteral("x")));
    MailAccount wrong = account(secured);
    wrong.password = secured ? wrong.password : QStringLiteral("Faux-Secret-42");
    TfMessage worker;
    worker.setAccountSource([&] { return wrong; });
    worker.CheckMailToExecute();
    QCOMPARE(worker.lvHeaders()->topLevelItemCount(), 0);
    QVERIFY2(dialogs.texts().size() == 1 && dialogs.lastText().startsWith(QStringLiteral(
                 "Impossible de se connecter au serveur de messagerie [") + wrong.server + "\nErreur : " + cause)
                 && dialogs.lastText().endsWith(QStringLiteral("\n\nAbandon de la procédure.")),
             qPrintable(dialogs.lastText()));
    QFile log(ProgramFolder::logFile());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QCOMPARE(text.count("TfMessage.Connexion("), 1);
    QVERIFY(!text.contains("Faux-Secret-42"));
    QCOMPARE(m_box.storedMessages(), 1);
}

void MailAccountTest::connectionTest_data()
{
    QTest::addColumn<bool>("secured");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expectedPort");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("saveEnabled");
    QTest::newRow("secured without port") << true << QString() << QString() << QString()
        << QStringLiteral("Veuillez renseigner le port POP3 à utiliser pour cette connexion sécurisée (995 chez gMail).")
        << false;
    QTest::newRow("plain, empty port becomes 110") << false << QString() << QString() << QStringLiteral("110")
        << QStringLiteral("Les paramètres de connexion au serveur POP3 ne sont pas corrects. Veuillez les vérifier.\nErreur : ")
        << false;
    QTest::newRow("plain, success") << false << QStringLiteral("plain") << QString() << QString()
        << QStringLiteral("Le test de connexion au serveur POP3 a réussi.") << true;
    QTest::newRow("TLS, success") << true << QStringLiteral("tls") << QString() << QString()
        << QStringLiteral("Le test de connexion au serveur POP3 a réussi.") << true;
    QTest::newRow("wrong password") << false << QStringLiteral("plain") << QStringLiteral("mauvais") << QString()
        << QStringLiteral("Les paramètres de connexion au serveur POP3 ne sont pas corrects. Veuillez les vérifier.\nErreur : ")
        << false;
    const QString tls = "Les paramètres de connexion au serveur POP3 ne sont pas corrects. Veuillez les vérifier.\n"
                        "Erreur : Connexion chiffrée ";
    QTest::newRow("SSL on the plain port") << true << "plain" << QString() << QString()
                                           << tls + "impossible : le serveur ne répond pas en TLS sur ce port" << false;
    QTest::newRow("certificate refused") << true << "tls, unknown CA" << QString() << QString()
                                         << tls + "refusée : le certificat" << false;
}

void MailAccountTest::connectionTest()
{
    QFETCH(bool, secured);
    QFETCH(QString, port);
    QFETCH(QString, password);
    QFETCH(QString, expectedPort);
    QFETCH(QString, message);
    QFETCH(bool, saveEnabled);
    TestHome home;
    ScriptedDialogs dialogs;
    // The private CA of the test server is named in the configuration.
    if (!port.endsWith(u"unknown CA"))
        home.write(QStringLiteral("Obsidra.ini"), "[Main]\nMailCAFile=" + m_box.caFile().toUtf8() + "\n");
    LocalDatabase db;
    openNewAccount(db, home);
    TfMedecin form(db.TMail);
    form.show();
    const MailAccount a = account(secured);
    form.EdPOP3Server()->setText(a.server);
    form.EdLogin()->setText(a.login);
    form.EdPassword()->setText(password.isEmpty() ? a.password : password);
    form.cbSecured()->setChecked(secured);
    form.EdPopPort()->setText(port == u"plain" ? QString::number(m_box.account(false).port)
                              : port.startsWith(u"tls") ? QString::number(m_box.account(true).port)
                                                : port);
    form.bTesterClick();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY2(dialogs.lastText().startsWith(message), qPrintable(dialogs.lastText()));
    if (!expectedPort.isEmpty())
        QCOMPARE(form.EdPopPort()->text(), expectedPort);
    QCOMPARE(form.BValider()->isEnabled(), saveEnabled);
    QCOMPARE(form.bTester()->isEnabled(), !saveEnabled);
}

void MailAccountTest::saveWithRequiredFieldEmptyIsCancelled()
{
    TestHome home;
    ScriptedDialogs dialogs;
    LocalDatabase db;
    openNewAccount(db, home);
    {
        auto *form = new TfMedecin(db.TMail);
        form->show();
        form->EdFrom()->setText(QStringLiteral("medecin@example.org"));
        form->EdLogin()->setText(QStringLiteral("medecin"));
        dialogs.answer({true});
        form->close();
    }
    QCOMPARE(dialogs.texts().value(0), QStringLiteral("Souhaitez-vous enregistrer les modifications ?"));
    QVERIFY(dialogs.texts().value(1).startsWith(QStringLiteral("Impossible d'enregistrer les modifications :\n")));
    QCOMPARE(db.TMail.state(), LocalDataSet::State::Browse);
    db.TMail.close();
    db.TMail.open();
    QCOMPARE(db.TMail.recordCount(), 0);

    // Filled in, the account is saved with its port and password.
    db.TMail.append();
    TfMedecin form(db.TMail);
    form.show();
    form.EdNom()->setText(QStringLiteral("Cabinet"));
    form.EdFrom()->setText(QStringLiteral("medecin@example.org"));
    form.EdPopPort()->setText(QStringLiteral("995"));
    form.EdLogin()->setText(QStringLiteral("medecin"));
    form.EdPassword()->setText(QStringLiteral("secret"));
    form.BValiderClick();
    QCOMPARE(db.TMail.recordCount(), 1);
    QCOMPARE(MailAccount::fromRecord(db.TMail).port, 995);
    QCOMPARE(MailAccount::fromRecord(db.TMail).password, QStringLiteral("secret"));
}

void MailAccountTest::blankNewAccountClosesWithoutQuestion()
{
    TestHome home;
    ScriptedDialogs dialogs;
    LocalDatabase db;
    openNewAccount(db, home);
    auto *form = new TfMedecin(db.TMail);
    form->show();
    form->close();
    QVERIFY(dialogs.shown.isEmpty());
    QCOMPARE(db.TMail.state(), LocalDataSet::State::Browse);
    QCOMPARE(db.TMail.recordCount(), 0);
}

// A server that accepts the connection and never greets: one attempt, then
// the worker's box; not eleven waits in a row.
void MailAccountTest::silentServerIsTriedOnce()
{
    TestHome home;
    ScriptedDialogs dialogs;
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    MailAccount a = account();
    a.server = QStringLiteral("127.0.0.1");
    a.port = silent.serverPort();
    a.connectTimeoutMs = 300;
    TfMessage worker;
    worker.setAccountSource([&] { return a; });
    worker.CheckMailToExecute();
    QCOMPARE(worker.lvHeaders()->topLevelItemCount(), 0);
    QVERIFY2(dialogs.texts().size() == 1 && dialogs.lastText().startsWith(QStringLiteral(
                 "Impossible de se connecter au serveur de messagerie [127.0.0.1\nErreur : Le serveur de messagerie ne")),
             qPrintable(dialogs.lastText()));
    int connections = 0;
    while (silent.hasPendingConnections() || silent.waitForNewConnection(100)) {
        delete silent.nextPendingConnection();
        ++connections;
    }
    QCOMPARE(connections, 1);
}

void MailAccountTest::formHoldsWhatTheTableKeeps_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("field");
    QTest::newRow("account") << QStringLiteral("EdNom") << QStringLiteral("COMPTE");
    QTest::newRow("address") << QStringLiteral("EdFrom") << QStringLiteral("ADRESSE");
    QTest::newRow("server") << QStringLiteral("EdPOP3Server") << QStringLiteral("SERVEUR_POP3");
    QTest::newRow("login") << QStringLiteral("EdLogin") << QStringLiteral("LOGIN");
    QTest::newRow("password") << QStringLiteral("EdPassword") << QStringLiteral("PASSWORD");
}

// Whatever is typed, the text the connection test uses is the one stored.
void MailAccountTest::formHoldsWhatTheTableKeeps()
{
    QFETCH(QString, edit);
    QFETCH(QString, field);
    TestHome home;
    ScriptedDialogs dialogs;
    LocalDatabase db;
    openNewAccount(db, home);
    TfMedecin form(db.TMail);
    form.show();
    const QString filler = QStringLiteral("abcdefghij").repeated(16);
    for (QLineEdit *other : form.findChildren<QLineEdit *>())
        other->setText(other == form.EdPopPort() ? QStringLiteral("110") : QStringLiteral("x"));
    auto *typed = form.findChild<QLineEdit *>(edit);
    typed->clear();
    QTest::keyClicks(typed, filler);
    const QString tested = form.texts().password + form.texts().login + form.texts().server + form.texts().from
                         + form.texts().nom;
    form.BValiderClick();
    QCOMPARE(db.TMail.recordCount(), 1);
    QVERIFY(typed->text().size() < filler.size());
    if (typed == form.EdPassword())
        QCOMPARE(typed->displayText(), QString(typed->text().size(), u'*'));
    QCOMPARE(db.TMail.field(field).asString(), typed->text());
    const MailAccount stored = MailAccount::fromRecord(db.TMail);
    QCOMPARE(stored.password + stored.login + stored.server + stored.adresse + stored.compte, tested);
}

void MailAccountTest::enterSavesWhenEnabled()
{
    TestHome home;
    ScriptedDialogs dialogs;
    LocalDatabase db;
    openNewAccount(db, home);
    TfMedecin form(db.TMail);
    form.show();
    form.EdNom()->setText(QStringLiteral("Cabinet"));
    form.EdFrom()->setText(QStringLiteral("medecin@example.org"));
    form.EdLogin()->setText(QStringLiteral("medecin"));
    QTest::keyClick(form.EdLogin(), Qt::Key_Return);
    QCOMPARE(db.TMail.recordCount(), 0);
    // As after a successful connection test.
    form.BValider()->setEnabled(true);
    QTest::keyClick(form.EdLogin(), Qt::Key_Return);
    QCOMPARE(db.TMail.recordCount(), 1);
    QVERIFY(!form.BValider()->isEnabled());
    QVERIFY(dialogs.shown.isEmpty());
}

void MailAccountTest::accessKeysInTheMainWindow_data()
{
    // The main window's menus "Con&figuration" and "&Transfert" share the
    // letters of "&Fermer" and "&Tester".
    QTest::addColumn<char>("letter");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("closed");
    QTest::newRow("Alt+F closes the form") << 'F' << QStringLiteral("Souhaitez-vous enregistrer les modifications ?")
                                           << true;
    QTest::newRow("Alt+T tests the settings") << 'T' << QStringLiteral("Les paramètres de connexion au serveur POP3")
                                               << false;
}

void MailAccountTest::accessKeysInTheMainWindow()
{
    QFETCH(char, letter);
    QFETCH(QString, box);
    QFETCH(bool, closed);
    TestHome home;
    ScriptedDialogs dialogs;
    LocalDatabase db;
    openNewAccount(db, home);
    MainWindow main;
    QPointer<TfMedecin> form = new TfMedecin(db.TMail);
    main.mdiArea()->addSubWindow(form)->showMaximized();
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    form->EdPOP3Server()->setText(QStringLiteral("127.0.0.1"));
    form->EdPopPort()->setText(QStringLiteral("1"));
    form->EdNom()->setFocus();
    QTest::keyClick(form->EdNom(), Qt::Key(letter), Qt::AltModifier);
    QVERIFY(!QApplication::activePopupWidget());
    QTRY_COMPARE(form.isNull(), closed);
    QVERIFY(form.isNull() || form->EdNom()->text().isEmpty()); // the letter is not typed
    QVERIFY2(dialogs.lastText().startsWith(box), qPrintable(dialogs.lastText()));
}

QTEST_MAIN(MailAccountTest)
#include "tst_mailaccount.moc"
