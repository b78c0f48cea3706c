// The main-window frame: menus, tool bars, the notice, the commands bound to
// the other subsystems, the show handler's decisions, closing and the updater.

#include "core/DatabaseBackup.h"
#include "core/Globals.h"
#include "core/Main.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

namespace {

const QString kNotice = QStringLiteral(
    "Vous n'avez pas accès à cette fonctionnalité.\n\n"
    "Veuillez contacter Tolvarenix au 01 23 45 67 89 si vous souhaitez passer à la version complète du logiciel.");

struct MenuItem {
    const char *name;
    const char16_t *text;
    const char *shortcut;
    bool visible;
    bool notice;
};

// Every menu and item of the main menu, in order, with what the user sees.
const MenuItem kMenuItems[] = {
    {"Mdecins1", u"&Médecin", "", true, false},
    {"Slectionner1", u"&Sélectionner...", "Ctrl+M", true, true},
    {"Voirfichemdecin1", u"&Fiche médecin", "F5", true, false},
    {"AMStart2", u"Ouvir une autre fenêtre...", "", false, true},
    {"AgendadesRV1", u"Agenda des consultations...", "", true, true},
    {"Messages1", u"Messages...", "", true, true},
    {"mLock", u"Autoriser la modification des données", "Ctrl+F9", true, true},
    {"Annulerlesmodificationsencours1", u"Annuler les modifications en cours", "Shift+Alt+Backspace", true, true},
    {"Listedesmdecinstraitants1", u"Carnet d'adresses...", "", true, true},
    {"Quitter1", u"&Quitter", "", true, false},
    {"Patient1", u"&Patient", "", true, false},
    {"Slectionner2", u"&Sélectionner...", "Ctrl+P", true, false},
    {"Voirlersumedudoissier1", u"&Résumé du dossier", "F6", true, true},
    {"Voirlafichedupatient1", u"&Fiche patient", "F7", true, true},
    {"Voirlesantcdents1", u"&Antécédents", "F8", true, true},
    {"Examens1", u"&Examens", "F9", true, true},
    {"Crerunenouvelleconsultation1", u"Créer une &nouvelle consultation...", "Ctrl+N", true, true},
    {"mVoirCons", u"Sélectionner une consultation...", "", false, true},
    {"Supprimerlaconsultation1", u"Su&pprimer cette consultation", "", true, true},
    {"Supprimerunexamen1", u"Supprimer...", "", true, true},
    {"GetINSC1", u"Obtenir l'INS-C", "", false, true},
    {"Verifierordonnance1", u"Vérifier l'ordonnance...", "", true, true},
    {"miFindPrescr", u"Gestion des prescriptions...", "", true, true},
    {"Documents1", u"&Documents", "", true, false},
    {"Lettresenvoyes1", u"&Lettres patient...", "Ctrl+L", true, true},
    {"Documentsetimagesintegrsdansledossier1", u"&Images et documents intégrés dans le dossier...", "Ctrl+I", true, false},
    {"LesDonnes1", u"Do&nnées importées à partir des appareils de mesures...", "Ctrl+O", true, true},
    {"Lettrespatient1", u"T&outes les lettres...", "", false, true},
    {"Lettrestypes1", u"&Maquettes de lettres...", "Ctrl+D", true, true},
    {"MaquettesdeSMS1", u"Maquettes de SMS...", "", true, true},
    {"SMS_Board", u"Tableau de bord des SMS", "", true, true},
    {"Comptabilit1", u"&Comptabilité", "", true, false},
    {"Ssamvitale1", u"Fonction Sésam-Vitale...", "", true, true},
    {"Saisirlesinfospatientmodedgrad1", u"Saisir les infos patient (mode dégradé)...", "", true, true},
    {"Actesmdicauxeffectus1", u"&Actes médicaux effectués...", "", true, true},
    {"TableaudesRecettes1", u"&Tableau des recettes...", "", true, true},
    {"Recettesjournalires1", u"R&ecettes par patient...", "", true, true},
    {"Listedescrditeurs1", u"&Liste des débiteurs...", "", true, true},
    {"Payements1", u"&Suivi des réglements des Tiers payant...", "", true, true},
    {"Listedesactesparcaisses1", u"Recettes par Tiers payant...", "", true, true},
    {"RglementsdesTiersPayants1", u"&Réglements des Tiers payant...", "", true, true},
    {"RelevesdesTierspayant1", u"Rele&vés des Tiers payant...", "", true, true},
    {"RglementsdesTiersPayantsSV1", u"Ré&glements des Tiers payant effectués par Sésam-Vitale...", "", true, true},
    {"EtatrcapitulatifdesrglementsdesTP1", u"État récapitulatif des réglements des TP...", "", true, true},
    {"Remisedechques1", u"Remise de c&hèques...", "", true, true},
    {"Exportation1", u"&Exportation vers le logiciel de comptabilité", "", true, true},
    {"AG20351", u"AG2035", "", true, false},
    {"CielCompta1", u"Ciel Compta", "", true, false},
    {"Paramtrescomptabilit1", u"Paramètres &comptabilité...", "", true, true},
    {"ConfigurationchampsTP1", u"Configuration champs TP...", "", true, true},
    {"Analyse2", u"A&nalyse", "", true, false},
    {"Courbesdvolution1", u"&Courbes d'évolution...", "", true, true},
    {"Statistique1", u"&Statistiques et Recherches...", "", true, true},
    {"Analyse1", u"Analyse", "", false, true},
    {"Transfert1", u"&Transfert", "", true, false},
    {"BreezeImporter1", u"&Résultats des analyses...", "", true, true},
    {"DonnesScanner1", u"&Données du logiciel de numérisation...", "", true, true},
    {"TltransmissionFSE1", u"&Télétransmission des FSE", "", true, true},
    {"Configuration1", u"Con&figuration", "", true, false},
    {"Configurerlcran1", u"&Définition des écrans...", "", true, true},
    {"Dfinitiondesbases1", u"Définition de la &base de données...", "", true, true},
    {"Listedesmdecins1", u"&Liste des médecins, utilisateurs...", "", true, true},
    {"Listedesmdecinscorrespondants1", u"Carnet d'adresses...", "", true, true},
    {"Listedesvariables1", u"Liste des variables...", "", true, true},
    {"Vidal", u"Liste des médicaments et traitements...", "", true, true},
    {"Configurationdespr1", u"Configuration des prescriptions...", "", true, true},
    {"Configurationdestableae1", u"Configuration des &tableaux...", "", true, true},
    {"Configurationdesimportation1", u"Configuration de l'importation des mesures...", "", true, true},
    {"IDVALUES1", u"Compteurs...", "", true, true},
    {"Paramtres1", u"Paramètres...", "", true, true},
    {"Parametres1", u"Paramètres &comptabilité...", "", true, true},
    {"ParamtresSsamVitale1", u"Paramètres Sésam-Vitale...", "", true, true},
    {"Upgradetemplates1", u"Mettre a jour les maquettes de lettres", "", false, true},
    {"Modedebug1", u"Mode debug", "", false, false},
    {"Sauvegarder1", u"&Sauvegarder", "", true, false},
    {"Chercherlesmisesjour1", u"Chercher les mises à jour", "", true, false},
    {"Aide1", u"&Aide", "", true, false},
    {"Manueldelutilisateur1", u"Aide à l'utilisateur...", "", true, true},
    {"AssistanceNTR", u"Effectuer un appel en télémaintenance", "Ctrl+F1", true, true},
    {"m_A_Propos", u"A propos de Tolvarenix Light...", "F1", true, false},
    {"mtrouble", u"Troubleshooting", "", false, true},
    {"Quitter2", u"&Quitter", "", true, false},
};

struct ToolButton {
    const char *name;
    const char16_t *hint;
    bool visible;
    bool notice;
};

const ToolButton kToolButtons[] = {
    {"bMedecin", u"", false, false},
    {"bPatient", u"Sélectionner un patient... [Ctrl+P]", true, false},
    {"bResume", u"Résumé du dossier du patient [F6]", true, true},
    {"bFichePatient", u"Fiche patient [F7]", true, true},
    {"bAntecedents", u"Antécédents [F8]", true, true},
    {"bFicheMedecin", u"", false, false},
    {"bMail", u"Messages internes", true, true},
    {"bNewTask", u"Créer une tâche", true, true},
    {"bPlanning", u"Ouvrir l'agenda des consultations [Shift+Ctrl+P]", true, true},
    {"bExamens", u"", false, false},
    {"bLetters", u"Lettres patient... [Ctrl+L]", true, true},
    {"bImages", u"Images et documents intégrés dans le dossier... [Ctrl+I]", true, false},
    {"bScan", u"Acquérir une image à partir du scanner", true, true},
    {"bEmail", u"Réceptionner et importer les observances", true, false},
    {"bTransfer", u"Télétransmission des FSE", true, true},
    {"bCut", u"Couper [Ctrl-X]", true, true},
    {"bCopy", u"Copier [Ctrl-C]", true, true},
    {"bPaste", u"Coller [Ctrl-V]", true, true},
    {"bConfigScreen", u"Modifier l'écran", true, true},
    {"bStallergenes", u"Effectuer une prescription dans OrdoAPSI", true, true},
    {"bALK", u"Effectuer une prescription dans ALK Ordo", true, true},
    {"bLock", u"Autoriser la modification des données (Ctrl-F9)", true, true},
    {"bRefresh", u"Actualiser les données", true, true},
    {"bApprove", u"", false, false},
    {"bNewCons", u"Créer une nouvelle consultation... [Ctrl-N]", true, true},
};

// A main window whose hooks record what the frame asks of the other
// subsystems.
class RecordingMain : public TfMain
{
public:
    QStringList calls;
    bool mailAccount = true;
    bool patients = false;
    bool connects = true;
    QList<bool> connectArguments;

    void bPatientClick() override { calls << QStringLiteral("bPatientClick"); }
    void bImagesClick() override { calls << QStringLiteral("bImagesClick"); }
    void bEmailClick() override { calls << QStringLiteral("bEmailClick"); }
    void fDateChange() override { calls << QStringLiteral("fDateChange"); }
    void Sauvegarder1Click() override { calls << QStringLiteral("Sauvegarder1Click"); }
    bool ConnectInternetDatabase(bool reconnect) override
    {
        calls << QStringLiteral("ConnectInternetDatabase");
        connectArguments << reconnect;
        return connects;
    }

protected:
    bool hasMailAccount() override
    {
        calls << QStringLiteral("hasMailAccount");
        return mailAccount;
    }
    bool hasPatients() override
    {
        calls << QStringLiteral("hasPatients");
        return patients;
    }
    bool editMailAccountRecord() override { calls << QStringLiteral("editMailAccountRecord"); return true; }
    void openMailAccountForm() override { calls << QStringLiteral("openMailAccountForm"); }
    void showAboutBox() override { calls << QStringLiteral("showAboutBox"); }
    void searchForUpdates() override { calls << QStringLiteral("searchForUpdates"); }
    void disconnectHttpClient() override { calls << QStringLiteral("disconnectHttpClient"); }
    void disconnectRemoteDatabase() override { calls << QStringLiteral("disconnectRemoteDatabase"); }
    void closeLocalTables() override { calls << QStringLiteral("closeLocalTables"); }
};

// A child window that refuses to close while told so.
class StubbornChild : public QWidget
{
public:
    bool refuse = true;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (refuse)
            event->ignore();
        else
            event->accept();
    }
};

// Runs a control the way the user does: a menu item or a sub-menu is
// triggered, a button or the date edit is clicked.
void activate(QObject *control)
{
    QVERIFY2(control, "control not found");
    if (auto *menu = qobject_cast<QMenu *>(control))
        menu->menuAction()->trigger();
    else if (auto *action = qobject_cast<QAction *>(control))
        action->trigger();
    else if (auto *widget = qobject_cast<QWidget *>(control))
        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(4, widget->height() / 2));
}

// A command that waits for the user in a modal dialog, or in a question of
// the message boxes, while something asks the program to close.
class CommandMain : public RecordingMain
{
public:
    bool question = false;
    std::function<void(CommandMain &)> whileOpen;
    int result = 0;

    void bEmailClick() override
    {
        QTimer::singleShot(30, this, [this] { whileOpen(*this); });
        if (question) {
            result = MessageBoxDialogs().question(QStringLiteral("Supprimer le message ?")) ? 1 : 0;
        } else {
            QDialog dialog(this);
            result = dialog.exec();
        }
        calls << QStringLiteral("returned");
    }
};

void showAndWait(QWidget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

} // namespace

class TestMainFrame : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noticeControls_data();
    void noticeControls();
    void noticeCountsAsListed();
    void noticeWhenTheExportMenuOpens();
    void noticeUsesTheConfiguredPhone_data();
    void noticeUsesTheConfiguredPhone();
    void commands_data();
    void commands();
    void dateBoxOnlyAnswersTheUser();
    void shortcuts_data();
    void shortcuts();
    void menuTexts_data();
    void menuTexts();
    void toolButtons_data();
    void toolButtons();
    void hiddenPartsOfTheLayout();
    void statusPanels();
    void updateSearchHiddenAfterFirstUse();
    void quitCommands_data();
    void quitCommands();
    void closingRunsOnceWhileTimerFires();
    void closingTimerWaitsForTheEventLoop();
    void childRefusalKeepsProcessedFiles();
    void showDecisions_data();
    void showDecisions();
    void showHandlerRunsOnce();
    void startUpFinishesAnInterruptedBackup();
    void patientChooserOpensOnce();
    void updaterAtDestruction_data();
    void updaterAtDestruction();
    void missingUpdaterIsNotReported();
    void closeWaitsForTheRunningCommand_data();
    void closeWaitsForTheRunningCommand();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestMainFrame::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
}

void TestMainFrame::cleanup()
{
    Dialogs::resetClosing();
    Globals::reset();
    m_home.reset();
}

void TestMainFrame::noticeControls_data()
{
    QTest::addColumn<QString>("name");
    for (const MenuItem &item : kMenuItems) {
        if (item.notice)
            QTest::newRow(item.name) << QString::fromLatin1(item.name);
    }
    for (const ToolButton &button : kToolButtons) {
        if (button.notice)
            QTest::newRow(button.name) << QString::fromLatin1(button.name);
    }
    QTest::newRow("SDate") << QStringLiteral("SDate");
    QTest::newRow("CBsDate") << QStringLiteral("CBsDate");
}

void TestMainFrame::noticeControls()
{
    QFETCH(QString, name);
    RecordingMain window;
    window.mailAccount = false;
    showAndWait(window);
    window.calls.clear();

    ScriptedDialogs dialogs;
    activate(window.findChild<QObject *>(name));

    QCOMPARE(dialogs.texts(), QStringList{kNotice});
    QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Information);
    QVERIFY2(window.calls.isEmpty(), qPrintable(window.calls.join(u',')));
}

void TestMainFrame::noticeCountsAsListed()
{
    // Every named menu, item and tool button of the window is tried, and
    // those that answer with the notice alone are counted.
    RecordingMain window;
    window.mailAccount = false;
    showAndWait(window);
    ScriptedDialogs dialogs;
    const auto answersWithNotice = [&](QObject *control) {
        dialogs.shown.clear();
        activate(control);
        QCoreApplication::processEvents();
        return dialogs.texts() == QStringList{kNotice};
    };
    int items = 0;
    for (QMenu *menu : window.findChildren<QMenu *>()) {
        if (!menu->objectName().isEmpty() && answersWithNotice(menu))
            ++items;
    }
    for (QAction *action : window.findChildren<QAction *>()) {
        // The quit items would close the window under the test.
        const QString name = action->objectName();
        if (!name.isEmpty() && !action->menu() && name != u"Quitter1" && name != u"Quitter2"
            && answersWithNotice(action))
            ++items;
    }
    int buttons = 0;
    for (QToolButton *button : window.findChildren<QToolButton *>()) {
        // Qt's own buttons (a tool bar's extension) open menus of their own.
        if (!button->objectName().isEmpty() && !button->objectName().startsWith(u"qt_") && !button->menu()
            && answersWithNotice(button))
            ++buttons;
    }
    QCOMPARE(items, 63);
    QCOMPARE(buttons, 18);
}

void TestMainFrame::noticeWhenTheExportMenuOpens()
{
    RecordingMain window;
    showAndWait(window);
    ScriptedDialogs dialogs;
    auto *menu = window.findChild<QMenu *>(QStringLiteral("Exportation1"));
    QVERIFY(menu);

    menu->popup(window.mapToGlobal(QPoint(10, 10)));
    // The notice comes once the menu is closed again.
    QTRY_COMPARE(dialogs.texts(), QStringList{kNotice});
    QVERIFY(!menu->isVisible());
    QTest::qWait(50);
    QCOMPARE(dialogs.shown.size(), 1);
}

void TestMainFrame::noticeUsesTheConfiguredPhone_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("phone");
    QTest::newRow("no file") << QByteArray() << QStringLiteral("01 23 45 67 89");
    QTest::newRow("set") << QByteArray("[Main]\r\nMakerPhone=04 72 00 11 22\r\n") << QStringLiteral("04 72 00 11 22");
    QTest::newRow("other case") << QByteArray("[MAIN]\nmakerphone=05 00 00 00 01\n") << QStringLiteral("05 00 00 00 01");
    QTest::newRow("blank") << QByteArray("[Main]\nMakerPhone=  \n") << QStringLiteral("01 23 45 67 89");
}

void TestMainFrame::noticeUsesTheConfiguredPhone()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, phone);
    if (!ini.isEmpty())
        m_home->write(QStringLiteral("Obsidra.ini"), ini);
    RecordingMain window;
    ScriptedDialogs dialogs;
    window.NoAccessClick();
    QCOMPARE(dialogs.lastText(),
             QStringLiteral("Vous n'avez pas accès à cette fonctionnalité.\n\nVeuillez contacter Tolvarenix au ") + phone
                 + QStringLiteral(" si vous souhaitez passer à la version complète du logiciel."));
}

void TestMainFrame::commands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("calls");
    const QStringList account{QStringLiteral("editMailAccountRecord"), QStringLiteral("openMailAccountForm")};
    QTest::newRow("Voirfichemdecin1") << QStringLiteral("Voirfichemdecin1") << account;
    QTest::newRow("Slectionner2") << QStringLiteral("Slectionner2") << QStringList{QStringLiteral("bPatientClick")};
    QTest::newRow("bPatient") << QStringLiteral("bPatient") << QStringList{QStringLiteral("bPatientClick")};
    QTest::newRow("images item") << QStringLiteral("Documentsetimagesintegrsdansledossier1")
                                 << QStringList{QStringLiteral("bImagesClick")};
    QTest::newRow("bImages") << QStringLiteral("bImages") << QStringList{QStringLiteral("bImagesClick")};
    QTest::newRow("bEmail") << QStringLiteral("bEmail") << QStringList{QStringLiteral("bEmailClick")};
    QTest::newRow("Sauvegarder1") << QStringLiteral("Sauvegarder1") << QStringList{QStringLiteral("Sauvegarder1Click")};
    QTest::newRow("m_A_Propos") << QStringLiteral("m_A_Propos") << QStringList{QStringLiteral("showAboutBox")};
    QTest::newRow("Chercherlesmisesjour1") << QStringLiteral("Chercherlesmisesjour1")
                                           << QStringList{QStringLiteral("searchForUpdates")};
    // Items without any action.
    QTest::newRow("Modedebug1") << QStringLiteral("Modedebug1") << QStringList();
    QTest::newRow("AG20351") << QStringLiteral("AG20351") << QStringList();
    QTest::newRow("CielCompta1") << QStringLiteral("CielCompta1") << QStringList();
    QTest::newRow("BtnsDate") << QStringLiteral("BtnsDate") << QStringList();
}

void TestMainFrame::commands()
{
    QFETCH(QString, name);
    QFETCH(QStringList, calls);
    RecordingMain window;
    showAndWait(window);
    window.calls.clear();

    ScriptedDialogs dialogs;
    activate(window.findChild<QObject *>(name));

    QCOMPARE(window.calls, calls);
    QVERIFY(dialogs.shown.isEmpty());
}

void TestMainFrame::dateBoxOnlyAnswersTheUser()
{
    RecordingMain window;
    QComboBox *box = window.fDate();
    QCOMPARE(box->objectName(), QStringLiteral("fDate"));
    box->addItems({QStringLiteral("01/02/2024 10:00"), QStringLiteral("03/02/2024 11:30")});
    box->setCurrentIndex(1);
    QVERIFY(window.calls.isEmpty());
    emit box->activated(0);
    QCOMPARE(window.calls, QStringList{QStringLiteral("fDateChange")});
}

void TestMainFrame::shortcuts_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("notice");
    for (const char *keys : {"Ctrl+M", "F6", "F7", "F8", "F9", "Ctrl+N", "Ctrl+L", "Ctrl+O", "Ctrl+D", "Ctrl+F1",
                             "Ctrl+F9", "Shift+Alt+Backspace"})
        QTest::newRow(keys) << QKeySequence(QString::fromLatin1(keys)) << QStringList() << true;
    QTest::newRow("Ctrl+P") << QKeySequence(QStringLiteral("Ctrl+P")) << QStringList{QStringLiteral("bPatientClick")}
                            << false;
    QTest::newRow("Ctrl+I") << QKeySequence(QStringLiteral("Ctrl+I")) << QStringList{QStringLiteral("bImagesClick")}
                            << false;
    QTest::newRow("F1") << QKeySequence(QStringLiteral("F1")) << QStringList{QStringLiteral("showAboutBox")} << false;
    QTest::newRow("F5") << QKeySequence(QStringLiteral("F5"))
                        << QStringList{QStringLiteral("editMailAccountRecord"), QStringLiteral("openMailAccountForm")}
                        << false;
}

void TestMainFrame::shortcuts()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QStringList, calls);
    QFETCH(bool, notice);
    RecordingMain window;
    showAndWait(window);
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.calls.clear();

    ScriptedDialogs dialogs;
    QTest::keySequence(&window, keys);

    QCOMPARE(window.calls, calls);
    QCOMPARE(dialogs.texts(), notice ? QStringList{kNotice} : QStringList());
}

void TestMainFrame::menuTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("visible");
    for (const MenuItem &item : kMenuItems)
        QTest::newRow(item.name) << QString::fromLatin1(item.name) << QString::fromUtf16(item.text)
                                 << QString::fromLatin1(item.shortcut) << item.visible;
}

void TestMainFrame::menuTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(bool, visible);
    RecordingMain window;
    window.SetAccentedTexts();

    QObject *control = window.findChild<QObject *>(name);
    QVERIFY2(control, qPrintable(name));
    QAction *action = qobject_cast<QAction *>(control);
    if (auto *menu = qobject_cast<QMenu *>(control)) {
        QCOMPARE(menu->title(), text);
        action = menu->menuAction();
    } else {
        QVERIFY(action);
        QCOMPARE(action->text(), text);
    }
    QCOMPARE(action->shortcut(), QKeySequence(shortcut));
    QCOMPARE(action->isVisible(), visible);
}

void TestMainFrame::toolButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("visible");
    for (const ToolButton &button : kToolButtons)
        QTest::newRow(button.name) << QString::fromLatin1(button.name) << QString::fromUtf16(button.hint)
                                   << button.visible;
}

void TestMainFrame::toolButtons()
{
    QFETCH(QString, name);
    QFETCH(QString, hint);
    QFETCH(bool, visible);
    RecordingMain window;
    window.SetAccentedTexts();
    // Wide enough for every tool bar (narrower, the last buttons go into
    // the tool bars' overflow menus).
    window.resize(1600, 900);
    showAndWait(window);

    auto *button = window.findChild<QToolButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->toolTip(), hint);
    QCOMPARE(button->isVisibleTo(&window), visible);
    QVERIFY(qobject_cast<QToolBar *>(button->parentWidget()));
    QVERIFY(button->autoRaise());
    QCOMPARE(button->iconSize(), QSize(24, 24));
    if (button->popupMode() != QToolButton::MenuButtonPopup) {
        QCOMPARE(button->minimumSize(), QSize(31, 30));
        QCOMPARE(button->maximumSize(), QSize(31, 30));
    }
    // The three pictures of the button: normal, hot (brighter), disabled.
    const QIcon icon = button->icon();
    QVERIFY(!icon.isNull());
    const QImage normal = icon.pixmap(QSize(24, 24), QIcon::Normal).toImage();
    const QImage hot = icon.pixmap(QSize(24, 24), QIcon::Active).toImage();
    const QImage disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage();
    QCOMPARE(normal.size(), QSize(24, 24));
    QVERIFY(hot != normal);
    QVERIFY(disabled != normal);
    QVERIFY(hot != disabled);
}

void TestMainFrame::hiddenPartsOfTheLayout()
{
    RecordingMain window;
    window.SetAccentedTexts();
    window.resize(1280, 768); // the band's one row
    showAndWait(window);

    for (const char *bar : {"PatientToolBar", "MainToolBar", "ExamensToolBar", "DocumentsToolBar", "pTransfer",
                            "pClipBoard", "ConfigToolBar", "StallergeneToolbar", "ALKToolBar", "RecordToolbar",
                            "pLock", "NewConsToolbar", "SDateToolBar"})
        QVERIFY2(window.findChild<QToolBar *>(QLatin1String(bar)), bar);
    for (int i = 1; i <= 15; ++i) {
        auto *separator = window.findChild<QFrame *>(QStringLiteral("ToolButton%1").arg(i));
        QVERIFY(separator);
        QCOMPARE(separator->width(), 8);
        QVERIFY(qobject_cast<QToolBar *>(separator->parentWidget()));
    }
    QCOMPARE(window.findChild<QWidget *>(QStringLiteral("pMain"))->height(), 38);
    QCOMPARE(window.fDate()->width(), 123);

    QVERIFY(window.pbReception()->isHidden());
    QCOMPARE(window.pbReception()->objectName(), QStringLiteral("pbReception"));
    for (QPlainTextEdit *memo : {window.MErrors(), window.MDocument()}) {
        QVERIFY(memo->isHidden());
        QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    }
    QCOMPARE(window.MErrors()->objectName(), QStringLiteral("MErrors"));
    QCOMPARE(window.MDocument()->objectName(), QStringLiteral("MDocument"));
    QVERIFY(window.mdiArea());

    auto *date = window.findChild<QLineEdit *>(QStringLiteral("SDate"));
    QVERIFY(date);
    QCOMPARE(date->toolTip(), QStringLiteral("Date de début des consultations"));
    auto *check = window.findChild<QCheckBox *>(QStringLiteral("CBsDate"));
    QVERIFY(check);
    QCOMPARE(check->toolTip(), QStringLiteral("Afficher les consultations à partir du..."));

    auto *save = window.findChild<QAction *>(QStringLiteral("Sauvegarder1"));
    QCOMPARE(save->statusTip(), QStringLiteral("Effectuer une sauvegarde de la base de donnees"));
    QVERIFY(!window.tmrClose->isActive());
    QVERIFY(!window.tmrOpenPatient->isActive());
    QCOMPARE(window.tmrClose->interval(), 500);
    QCOMPARE(window.tmrOpenPatient->interval(), 500);
}

void TestMainFrame::statusPanels()
{
    RecordingMain window;
    window.resize(1166, 768);
    showAndWait(window);
    QStatusBar *bar = window.StatusBar1();
    QCOMPARE(bar->objectName(), QStringLiteral("StatusBar1"));
    QVERIFY(bar->isHidden());

    const QList<QLabel *> panels = bar->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(panels.size(), 3);
    QCOMPARE(panels[0]->width(), 400);
    QCOMPARE(panels[1]->width(), 150);

    window.setStatusText(1, QStringLiteral("2/5"));
    QVERIFY(bar->isVisible());
    QCOMPARE(window.statusText(1), QStringLiteral("2/5"));
    window.setStatusText(0, QStringLiteral("Importation des observances"));
    window.setStatusText(2, QStringLiteral("Affectation du patient de KORVA_SOUFFLE_PPC_0412_23-11-2026_08-30-00.txt"));
    QCOMPARE(window.statusText(0), QStringLiteral("Importation des observances"));
    // The last panel runs to the right edge: what it reports is read whole.
    QVERIFY(panels[2]->contentsRect().width() >= panels[2]->fontMetrics().horizontalAdvance(window.statusText(2)));
    // A panel that does not exist changes nothing.
    window.setStatusText(3, QStringLiteral("x"));
    QCOMPARE(window.statusText(3), QString());
}

void TestMainFrame::updateSearchHiddenAfterFirstUse()
{
    RecordingMain window;
    window.calls.clear();
    auto *search = window.findChild<QAction *>(QStringLiteral("Chercherlesmisesjour1"));
    QVERIFY(search->isVisible());

    search->trigger();
    QCOMPARE(window.calls, QStringList{QStringLiteral("searchForUpdates")});
    QVERIFY(!search->isVisible());

    // The about box still opens.
    window.calls.clear();
    window.findChild<QAction *>(QStringLiteral("m_A_Propos"))->trigger();
    QCOMPARE(window.calls, QStringList{QStringLiteral("showAboutBox")});
}

void TestMainFrame::quitCommands_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Quitter1") << QStringLiteral("Quitter1");
    QTest::newRow("Quitter2") << QStringLiteral("Quitter2");
}

void TestMainFrame::quitCommands()
{
    QFETCH(QString, name);
    RecordingMain window;
    showAndWait(window);
    window.calls.clear();
    QSignalSpy closed(&window, &TfMain::closingHandlersRan);

    window.findChild<QAction *>(name)->trigger();

    QCOMPARE(closed.count(), 1);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.calls, (QStringList{QStringLiteral("disconnectHttpClient"),
                                        QStringLiteral("disconnectRemoteDatabase"),
                                        QStringLiteral("closeLocalTables")}));
}

void TestMainFrame::closingRunsOnceWhileTimerFires()
{
    Globals::ProcessedFiles = QStringList{QStringLiteral("A.txt"), QStringLiteral("B.txt")};
    RecordingMain window;
    showAndWait(window);
    window.calls.clear();
    QSignalSpy closed(&window, &TfMain::closingHandlersRan);

    window.eventLoopStarted();
    window.tmrClose->setInterval(10);
    window.tmrClose->start();
    QTest::qWait(200);

    QCOMPARE(closed.count(), 1);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.calls.count(QStringLiteral("disconnectHttpClient")), 1);
    QCOMPARE(window.calls.count(QStringLiteral("disconnectRemoteDatabase")), 1);
    QCOMPARE(window.calls.count(QStringLiteral("closeLocalTables")), 1);
    QVERIFY(Globals::ProcessedFiles.isEmpty());
    // Whatever still runs can use the list.
    Globals::ProcessedFiles.append(QStringLiteral("C.txt"));
    QCOMPARE(Globals::ProcessedFiles.size(), 1);
    // A later close request is answered without running the handlers again.
    window.close();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(Globals::ProcessedFiles.size(), 1);
}

void TestMainFrame::closingTimerWaitsForTheEventLoop()
{
    RecordingMain window;
    showAndWait(window);
    QSignalSpy closed(&window, &TfMain::closingHandlersRan);

    window.tmrClose->setInterval(10);
    window.tmrClose->start();
    QTest::qWait(150);
    QCOMPARE(closed.count(), 0);
    QVERIFY(window.isVisible());
    QVERIFY(window.tmrClose->isActive());

    window.eventLoopStarted();
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!window.isVisible());
}

void TestMainFrame::childRefusalKeepsProcessedFiles()
{
    Globals::ProcessedFiles = QStringList{QStringLiteral("R1.txt")};
    RecordingMain window;
    showAndWait(window);
    window.calls.clear();
    auto *child = new StubbornChild;
    QMdiSubWindow *sub = window.mdiArea()->addSubWindow(child);
    sub->show();
    QSignalSpy closed(&window, &TfMain::closingHandlersRan);

    QVERIFY(!window.close());
    QCOMPARE(closed.count(), 0);
    QVERIFY(window.isVisible());
    QCOMPARE(Globals::ProcessedFiles, QStringList{QStringLiteral("R1.txt")});
    QVERIFY(window.calls.isEmpty());

    child->refuse = false;
    QVERIFY(window.close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(Globals::ProcessedFiles.isEmpty());
}

void TestMainFrame::showDecisions_data()
{
    QTest::addColumn<bool>("mailAccount");
    QTest::addColumn<bool>("patients");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("emailEnabled");
    QTest::addColumn<bool>("chooserArmed");

    const QString mail = QStringLiteral("hasMailAccount");
    const QString connect = QStringLiteral("ConnectInternetDatabase");
    const QString patientsAsked = QStringLiteral("hasPatients");
    QTest::newRow("no account")
        << false << true << true
        << QStringList{mail, QStringLiteral("editMailAccountRecord"), QStringLiteral("openMailAccountForm")} << false
        << false;
    QTest::newRow("connected, patients") << true << true << true << QStringList{mail, connect, patientsAsked} << true
                                         << true;
    QTest::newRow("connected, no patient") << true << false << true << QStringList{mail, connect, patientsAsked}
                                           << true << false;
    QTest::newRow("offline, patients") << true << true << false << QStringList{mail, connect, patientsAsked} << false
                                       << true;
    QTest::newRow("offline, no patient") << true << false << false << QStringList{mail, connect, patientsAsked}
                                         << false << false;
}

void TestMainFrame::showDecisions()
{
    QFETCH(bool, mailAccount);
    QFETCH(bool, patients);
    QFETCH(bool, connects);
    QFETCH(QStringList, calls);
    QFETCH(bool, emailEnabled);
    QFETCH(bool, chooserArmed);

    RecordingMain window;
    window.mailAccount = mailAccount;
    window.patients = patients;
    window.connects = connects;
    // The layout state of the reception command, kept when no account exists.
    window.bEmail()->setEnabled(false);
    showAndWait(window);

    QCOMPARE(window.calls, calls);
    QCOMPARE(window.bEmail()->isEnabled(), emailEnabled);
    QCOMPARE(window.tmrOpenPatient->isActive(), chooserArmed);
    if (mailAccount)
        QCOMPARE(window.connectArguments, QList<bool>{true});
}

void TestMainFrame::showHandlerRunsOnce()
{
    RecordingMain window;
    showAndWait(window);
    window.hide();
    window.show();
    QCOMPARE(window.calls.count(QStringLiteral("hasMailAccount")), 1);
}

void TestMainFrame::startUpFinishesAnInterruptedBackup()
{
    m_home->write(QStringLiteral("Base/Mail.db"), "damaged"); // the start-up stops at the tables
    const QString base = m_home->file(QStringLiteral("Base/")), backup = m_home->file(QStringLiteral("Sauvegarde/"));
    m_home->write(QStringLiteral("Obsidra.ini"), "[Main]\nBackupPath=" + backup.toUtf8());
    m_home->write(QStringLiteral("Base/Imports/K2"), "rapport");
    int step = 0; // a crash once the copy is complete and its first file in place
    QVERIFY_THROWS_EXCEPTION(int, DatabaseBackup::copyKeepingPrevious(base, backup, [&] { if (++step == 4) throw step; }));
    const auto expected = folderContent(base);
    ScriptedDialogs dialogs;
    TfMain().FormCreate();
    QCOMPARE(folderContent(backup), expected);
}

void TestMainFrame::patientChooserOpensOnce()
{
    RecordingMain window;
    window.patients = true;
    window.connects = false;
    showAndWait(window);
    QVERIFY(window.tmrOpenPatient->isActive());

    QTRY_COMPARE(window.calls.count(QStringLiteral("bPatientClick")), 1);
    QVERIFY(!window.tmrOpenPatient->isActive());
    QTest::qWait(700);
    QCOMPARE(window.calls.count(QStringLiteral("bPatientClick")), 1);
}

void TestMainFrame::updaterAtDestruction_data()
{
    QTest::addColumn<bool>("asked");
    QTest::newRow("asked") << true;
    QTest::newRow("not asked") << false;
}

void TestMainFrame::updaterAtDestruction()
{
    QFETCH(bool, asked);
    // The stand-in updater notes where it ran.
    m_home->write(QStringLiteral("Updater"), QByteArray("#!/bin/sh\npwd > updater-ran.part && mv updater-ran.part updater-ran\n"));
    QFile::setPermissions(m_home->file(QStringLiteral("Updater")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString marker = m_home->file(QStringLiteral("updater-ran"));

    ScriptedDialogs dialogs;
    {
        RecordingMain window;
        Globals::RunUpdaterOnExit = asked;
    }
    if (asked) {
        QTRY_VERIFY(QFile::exists(marker));
        QFile file(marker);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString folder = QString::fromLocal8Bit(file.readAll()).trimmed() + u'/';
        QCOMPARE(QFileInfo(folder).canonicalFilePath(), QFileInfo(m_home->path()).canonicalFilePath());
    } else {
        QTest::qWait(500);
        QVERIFY(!QFile::exists(marker));
    }
    QVERIFY(dialogs.shown.isEmpty());
}

void TestMainFrame::missingUpdaterIsNotReported()
{
    ScriptedDialogs dialogs;
    {
        RecordingMain window;
        Globals::RunUpdaterOnExit = true;
    }
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(!QFile::exists(m_home->file(QStringLiteral("Updater"))));
}

void TestMainFrame::closeWaitsForTheRunningCommand_data()
{
    QTest::addColumn<bool>("question");
    QTest::addColumn<int>("trigger"); // 0 session end, 1 closing timer, 2 "Quitter"
    QTest::addColumn<int>("result");
    QTest::newRow("session end, dialog") << false << 0 << Dialogs::kEndedForClosing;
    QTest::newRow("closing timer, dialog") << false << 1 << Dialogs::kEndedForClosing;
    QTest::newRow("quit, dialog") << false << 2 << Dialogs::kEndedForClosing;
    QTest::newRow("session end, question") << true << 0 << 0;
    QTest::newRow("closing timer, question") << true << 1 << 0;
}

// The open dialog ends as cancelled, never as an answer; the command
// returns; only then do the closing handlers run, once.
void TestMainFrame::closeWaitsForTheRunningCommand()
{
    QFETCH(bool, question);
    QFETCH(int, trigger);
    QFETCH(int, result);
    CommandMain window;
    window.question = question;
    showAndWait(window);
    window.eventLoopStarted();
    window.tmrClose->setInterval(10);
    window.calls.clear();
    QSignalSpy closed(&window, &TfMain::closingHandlersRan);
    window.whileOpen = [trigger](CommandMain &main) {
        if (trigger == 0)
            main.requestClose();
        else if (trigger == 1)
            main.tmrClose->start();
        else
            main.QuitterClick();
    };

    window.bEmail()->click();

    QCOMPARE(window.result, result);
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(window.calls.value(0), QStringLiteral("returned"));
    QCOMPARE(window.calls.count(QStringLiteral("closeLocalTables")), 1);
    QVERIFY(!window.isVisible());
    QVERIFY(window.closeRequested());
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
