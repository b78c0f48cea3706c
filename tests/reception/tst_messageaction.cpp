// The per-message dialog: its report preview, views, buttons and links.

#include "core/Globals.h"
#include "reception/MessageAction.h"
#include "reception/MessageActionState.h"
#include "reception/MessageBrowser.h"
#include "ScriptedDialogs.h"
#include "platform/ShellLauncher.h"
#include "TestHome.h"
#include "reception/UMessage.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

// A report of two blocks: 12 header lines, free text, then the data section.
QByteArray reportFile()
{
    QStringList lines;
    for (int i = 1; i <= 12; ++i)
        lines << QStringLiteral("entete %1").arg(i);
    lines << QStringLiteral("Texte libre 1") << QStringLiteral("  Texte libre 2") << QStringLiteral("****LAB****")
          << QStringLiteral("KORVA|Observance|OBS|N|6,5|") << QStringLiteral("non lue")
          << QStringLiteral("KORVA|Masque|MASK|B|True|") << QStringLiteral("****FIN****")
          << QStringLiteral("entete bloc 2") << QStringLiteral("****LAB****")
          << QStringLiteral("KORVA|Fuites|LEAK|B|False|") << QStringLiteral("****FIN****")
          << QStringLiteral("****FINFICHIER****");
    return lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
}

} // namespace

class MessageActionTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void reportLineText_data();
    void reportLineText();
    void preview_data();
    void preview();
    void viewsForMessage_data();
    void viewsForMessage();
    void answers_data();
    void answers();
    void unreadableReportIsReportedAndSettled();
    void linksOpenOnlyOnTheWeb_data();
    void linksOpenOnlyOnTheWeb();
    void htmlBodyFetchesNothing_data();
    void htmlBodyFetchesNothing();
    void filledFromWorker();

private:
    std::unique_ptr<TestHome> m_home;
    QList<QUrl> m_opened;
};

void MessageActionTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    Globals::EmailsFolder = m_home->path() + QStringLiteral("Emails/");
    QDir().mkpath(Globals::EmailsFolder);
    m_opened.clear();
    ShellLauncher::setHandler([this](const QUrl &url) {
        m_opened << url;
        return true;
    });
}

void MessageActionTest::cleanup()
{
    ShellLauncher::setHandler({});
    m_home.reset();
}

void MessageActionTest::reportLineText_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected"); // "-" = nothing added
    QTest::newRow("True") << "KORVA|Humidificateur|HUM|B|True|" << "Humidificateur : Oui";
    QTest::newRow("False") << "KORVA|Humidificateur|HUM|B|False|" << "Humidificateur : Non";
    QTest::newRow("blanks kept") << "KORVA|Pression|P|N|  12 |x|" << "Pression :   12 ";
    QTest::newRow("blank value") << "KORVA|Pression|P|N|   |" << "-";
    QTest::newRow("value not closed") << "KORVA|Pression|P|N|12" << "-";
}

void MessageActionTest::reportLineText()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    const auto text = MessageActionState::reportLineText(line);
    QCOMPARE(text.value_or(QStringLiteral("-")), expected);
}

void MessageActionTest::preview_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("two blocks")
        << reportFile()
        << QStringList{"Texte libre 1", "  Texte libre 2", "Observance : 6,5", "Masque : Oui", "Fuites : Non"};

    QByteArray early;
    for (int i = 1; i <= 9; ++i)
        early += "ligne " + QByteArray::number(i) + "\n";
    early += "****LAB****\nligne 11\nligne 12\nligne 13\nKORVA|Masque|MASK|B|False|\n****FINFICHIER****\n";
    QTest::newRow("data section at line 10") << early << QStringList{"Masque : Non"};

    QByteArray truncated;
    for (int i = 1; i <= 15; ++i)
        truncated += "ligne " + QByteArray::number(i) + "\n";
    QTest::newRow("no end-of-file marker") << truncated << QStringList{"ligne 13", "ligne 14"};
}

void MessageActionTest::preview()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    m_home->write(QStringLiteral("Emails/KORVA_1.txt"), content);
    QStringList lines;
    QString failure;
    QVERIFY(MessageActionState::readPreview(Globals::EmailsFolder + QStringLiteral("KORVA_1.txt"), lines, &failure));
    QCOMPARE(lines, expected);
    QVERIFY(failure.isEmpty());
}

void MessageActionTest::viewsForMessage_data()
{
    QTest::addColumn<QStringList>("attachments");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("previewInFront");
    QTest::addColumn<bool>("toggleShown");
    QTest::addColumn<bool>("deleteEnabled");
    QTest::newRow("no report") << QStringList{"lettre.pdf"} << "Bonjour" << false << false << true;
    QTest::newRow("report and body") << QStringList{"KORVA_1.txt", "lettre.pdf"} << "\n  \n" << false << true
                                     << false;
    QTest::newRow("report, empty body") << QStringList{"KORVA_1.txt"} << "\n" << true << false << true;
    QTest::newRow("report in a folder of an archive") << QStringList{".archive1/envoi/KORVA_1.txt"} << "Bonjour"
                                                      << false << true << false;
}

void MessageActionTest::viewsForMessage()
{
    QFETCH(QStringList, attachments);
    QFETCH(QString, body);
    QFETCH(bool, previewInFront);
    QFETCH(bool, toggleShown);
    QFETCH(bool, deleteEnabled);
    m_home->write(QStringLiteral("Emails/") + attachments.first(), reportFile());

    QWidget main; // in a corner of the screen
    TFMessageAction dialog(&main);
    for (const QString &name : attachments)
        dialog.addAttachment(QFileInfo(name).fileName(), name);
    dialog.Memo1()->setPlainText(body);
    dialog.show();

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Réception d'un email"));
    QCOMPARE(dialog.size(), QSize(675, 471));
    QCOMPARE(dialog.frameGeometry().center(), dialog.screen()->availableGeometry().center());
    QCOMPARE(dialog.BtValider()->text(), QStringLiteral("&Importer"));
    QCOMPARE(dialog.BtAnnuler()->text(), QStringLiteral("&Supprimer"));
    QCOMPARE(dialog.PiecesJointes()->count(), attachments.size());
    QCOMPARE(dialog.frontView() == dialog.MDocument(), previewInFront);
    QCOMPARE(dialog.LShowSelvantineDatas()->isVisible(), toggleShown);
    QCOMPARE(dialog.BtAnnuler()->isEnabled(), deleteEnabled);
    const bool report = QFileInfo(attachments.first()).fileName().startsWith(QLatin1String("KORVA_"));
    QCOMPARE(dialog.MDocument()->toPlainText().contains(QLatin1String("Masque : Oui")), report);

    if (toggleShown) {
        // Entering the label, without a click, swaps the preview and the body.
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(dialog.LShowSelvantineDatas(), &enter);
        QCOMPARE(dialog.frontView(), dialog.MDocument());
        QCOMPARE(dialog.LShowSelvantineDatas()->text(), QStringLiteral("Masquer les données provenant de Selvantine"));
        QCoreApplication::sendEvent(dialog.LShowSelvantineDatas(), &enter);
        QVERIFY(dialog.frontView() != dialog.MDocument());
        QCOMPARE(dialog.LShowSelvantineDatas()->text(), QStringLiteral("Afficher les données provenant de Selvantine"));
    }
}

void MessageActionTest::answers_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("withReport");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("result");
    QTest::newRow("Importer") << "import" << true << true << 1;
    QTest::newRow("Supprimer") << "delete" << false << true << 2;
    QTest::newRow("Esc") << "escape" << false << true << 2;
    QTest::newRow("Esc while Supprimer disabled") << "escape" << true << false << 0;
}

void MessageActionTest::answers()
{
    QFETCH(QString, action);
    QFETCH(bool, withReport);
    QFETCH(bool, closes);
    QFETCH(int, result);
    m_home->write(QStringLiteral("Emails/KORVA_1.txt"), reportFile());

    TFMessageAction dialog;
    if (withReport)
        dialog.addAttachment(QStringLiteral("KORVA_1.txt"));
    dialog.Memo1()->setPlainText(QStringLiteral("Bonjour"));
    dialog.open();
    QVERIFY(dialog.isVisible());
    if (action == QLatin1String("import"))
        QTest::mouseClick(dialog.BtValider(), Qt::LeftButton);
    else if (action == QLatin1String("delete"))
        QTest::mouseClick(dialog.BtAnnuler(), Qt::LeftButton);
    else
        QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.isVisible(), !closes);
    QCOMPARE(dialog.result(), result);
    if (closes)
        QCOMPARE(dialog.answer(), result == 1 ? TFMessageAction::Answer::Import : TFMessageAction::Answer::Delete);
    QCOMPARE(TFMessageAction::answerFor(0), TFMessageAction::Answer::Delete);
}

void MessageActionTest::unreadableReportIsReportedAndSettled()
{
    // A folder bearing a report's name cannot be read: the user is told, and
    // the dialog still settles its label and buttons.
    QDir().mkpath(Globals::EmailsFolder + QStringLiteral("KORVA_dossier"));
    ScriptedDialogs dialogs;
    TFMessageAction dialog;
    dialog.addAttachment(QStringLiteral("KORVA_dossier"));
    dialog.Memo1()->setPlainText(QStringLiteral("Bonjour"));
    dialog.FormShow();
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Error);
    QVERIFY(dialogs.lastText().contains(QLatin1String("KORVA_dossier")));
    QVERIFY(!dialog.LShowSelvantineDatas()->isHidden());
    QVERIFY(!dialog.BtAnnuler()->isEnabled());
}

void MessageActionTest::linksOpenOnlyOnTheWeb_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("opened");
    QTest::newRow("http") << "http://exemple.fr/a" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
}

void MessageActionTest::linksOpenOnlyOnTheWeb()
{
    QFETCH(QString, link);
    QFETCH(bool, opened);
    TFMessageAction dialog;
    // The status text of the link under the mouse is kept only for http.
    emit dialog.WebBrowser1()->statusTextChanged(link);
    QCOMPARE(Globals::HoveredUrl, link.startsWith(QLatin1String("http://")) ? link : QString());
    emit dialog.WebBrowser1()->anchorClicked(QUrl(link));
    QCOMPARE(m_opened.size(), opened ? 1 : 0);
    if (opened)
        QCOMPARE(m_opened.first(), QUrl(link));
}

void MessageActionTest::htmlBodyFetchesNothing_data()
{
    QTest::addColumn<QString>("page"); // %1: the resource's address
    QTest::addColumn<QString>("address");
    const QString image = "<html><body><p>Corps HTML</p><img src=\"%1\"></body></html>";
    const QString sheet = "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"%1\"></head><body><p>Corps HTML</p></body></html>";
    QTest::newRow("image beside the page") << image << "pixel.png";
    QTest::newRow("image by file: URL") << image << "{home}pixel.png";
    QTest::newRow("image by path") << image << "{path}pixel.png";
    QTest::newRow("style sheet beside the page") << sheet << "style.css";
    QTest::newRow("style sheet by file: URL") << sheet << "{home}style.css";
    QTest::newRow("remote image") << image << "{web}pixel.png";
}

// A message's HTML body is shown without anything it names: no image or
// style sheet, beside it, elsewhere on the disk or on the web.
void MessageActionTest::htmlBodyFetchesNothing()
{
    QFETCH(QString, page);
    QFETCH(QString, address);
    QTcpServer web;
    QVERIFY(web.listen(QHostAddress::LocalHost));
    QImage pixel(3, 2, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    QVERIFY(pixel.save(m_home->file(QStringLiteral("pixel.png"))));
    m_home->write(QStringLiteral("style.css"), "p { background-color: #ff0000; }");
    address.replace(QLatin1String("{home}"), QUrl::fromLocalFile(m_home->path()).toString())
        .replace(QLatin1String("{path}"), m_home->path())
        .replace(QLatin1String("{web}"), QStringLiteral("http://127.0.0.1:%1/").arg(web.serverPort()));
    m_home->write(QStringLiteral("temp.html"), page.arg(address).toUtf8());

    MessageBrowser browser;
    browser.showFile(m_home->file(QStringLiteral("temp.html")));
    browser.resize(300, 200);
    QVERIFY(browser.toPlainText().contains(QLatin1String("Corps HTML")));
    // Red is what the image and the style sheet would bring.
    const QImage shot = browser.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(shot.width() > 0);
    int red = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            red += shot.pixel(x, y) == qRgb(255, 0, 0);
    QCOMPARE(red, 0);
    QVERIFY(!web.waitForNewConnection(100));
}

void MessageActionTest::filledFromWorker()
{
    TfMessage worker;
    worker.From()->setText(QStringLiteral("prestataire@exemple.fr"));
    worker.Subject()->setText(QStringLiteral("Observances"));
    worker.Date()->setText(QStringLiteral("02 mars 2024 10:00:00"));
    worker.Memo1()->setPlainText(QStringLiteral("<html><body><a href=\"http://exemple.fr\">lien</a></body></html>"));
    worker.Memo1()->hide();
    worker.WebBrowser1()->show();
    m_home->write(QStringLiteral("temp.html"), "<html><body><p>Corps HTML</p></body></html>");

    TFMessageAction dialog;
    dialog.fillFromWorker(worker, 2, 5);
    QCOMPARE(dialog.LFrom()->text(), QStringLiteral("prestataire@exemple.fr"));
    QCOMPARE(dialog.LObjet()->text(), QStringLiteral("Observances"));
    QCOMPARE(dialog.LDate()->text(), QStringLiteral("02 mars 2024 10:00:00"));
    QCOMPARE(dialog.LMessageNumber()->text(), QStringLiteral("Message n°2/5"));
    QCOMPARE(dialog.frontView(), dialog.WebBrowser1());
    QVERIFY(dialog.Memo1()->isHidden());
    QVERIFY(dialog.WebBrowser1()->toPlainText().contains(QLatin1String("Corps HTML")));
}

QTEST_MAIN(MessageActionTest)
#include "tst_messageaction.moc"
