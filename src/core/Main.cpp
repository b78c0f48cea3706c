#include "core/Main.h"

#include "ui_Main.h"

#include "core/BandLayout.h"
#include "core/Common.h"
#include "core/Configuration.h"
#include "core/DatabaseBackup.h"
#include "core/DeferredMemo.h"
#include "core/SevenZip.h"
#include "core/ServerSettings.h"
#include "core/StartupConnectivity.h"
#include "core/Globals.h"
#include "core/LogWriter.h"
#include "core/MakerContact.h"
#include "platform/ProgramFolder.h"
#include "core/Uabout.h"
#include "core/uStartup.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QProcess>
#include <QShowEvent>
#include <QThread>
#include <QTimer>

// The tool-bar pictures live in this library's resources.
static void initToolbarIcons()
{
    Q_INIT_RESOURCE(MainIcons);
}

namespace {

struct ControlText {
    const char *name;
    const char16_t *text;
};

// The layout holds these texts without accents; the creation handler puts
// the accented ones in place.
const ControlText kAccentedCaptions[] = {
    {"Mdecins1", u"&Médecin"},
    {"Slectionner1", u"&Sélectionner..."},
    {"Voirfichemdecin1", u"&Fiche médecin"},
    {"AMStart2", u"Ouvir une autre fenêtre..."},
    {"mLock", u"Autoriser la modification des données"},
    {"Slectionner2", u"&Sélectionner..."},
    {"Voirlersumedudoissier1", u"&Résumé du dossier"},
    {"Voirlesantcdents1", u"&Antécédents"},
    {"Crerunenouvelleconsultation1", u"Créer une &nouvelle consultation..."},
    {"mVoirCons", u"Sélectionner une consultation..."},
    {"Verifierordonnance1", u"Vérifier l'ordonnance..."},
    {"Documentsetimagesintegrsdansledossier1", u"&Images et documents intégrés dans le dossier..."},
    {"LesDonnes1", u"Do&nnées importées à partir des appareils de mesures..."},
    {"Comptabilit1", u"&Comptabilité"},
    {"Ssamvitale1", u"Fonction Sésam-Vitale..."},
    {"Saisirlesinfospatientmodedgrad1", u"Saisir les infos patient (mode dégradé)..."},
    {"Actesmdicauxeffectus1", u"&Actes médicaux effectués..."},
    {"Listedescrditeurs1", u"&Liste des débiteurs..."},
    {"Payements1", u"&Suivi des réglements des Tiers payant..."},
    {"RglementsdesTiersPayants1", u"&Réglements des Tiers payant..."},
    {"RelevesdesTierspayant1", u"Rele&vés des Tiers payant..."},
    {"RglementsdesTiersPayantsSV1", u"Ré&glements des Tiers payant effectués par Sésam-Vitale..."},
    {"EtatrcapitulatifdesrglementsdesTP1", u"État récapitulatif des réglements des TP..."},
    {"Remisedechques1", u"Remise de c&hèques..."},
    {"Exportation1", u"&Exportation vers le logiciel de comptabilité"},
    {"Paramtrescomptabilit1", u"Paramètres &comptabilité..."},
    {"Courbesdvolution1", u"&Courbes d'évolution..."},
    {"BreezeImporter1", u"&Résultats des analyses..."},
    {"DonnesScanner1", u"&Données du logiciel de numérisation..."},
    {"TltransmissionFSE1", u"&Télétransmission des FSE"},
    {"Configurerlcran1", u"&Définition des écrans..."},
    {"Dfinitiondesbases1", u"Définition de la &base de données..."},
    {"Listedesmdecins1", u"&Liste des médecins, utilisateurs..."},
    {"Vidal", u"Liste des médicaments et traitements..."},
    {"Paramtres1", u"Paramètres..."},
    {"Parametres1", u"Paramètres &comptabilité..."},
    {"ParamtresSsamVitale1", u"Paramètres Sésam-Vitale..."},
    {"Chercherlesmisesjour1", u"Chercher les mises à jour"},
    {"Manueldelutilisateur1", u"Aide à l'utilisateur..."},
    {"AssistanceNTR", u"Effectuer un appel en télémaintenance"},
    {"m_A_Propos", u"A propos de Tolvarenix Light..."},
};

const ControlText kAccentedHints[] = {
    {"bPatient", u"Sélectionner un patient... [Ctrl+P]"},
    {"bResume", u"Résumé du dossier du patient [F6]"},
    {"bAntecedents", u"Antécédents [F8]"},
    {"bNewTask", u"Créer une tâche"},
    {"bImages", u"Images et documents intégrés dans le dossier... [Ctrl+I]"},
    {"bScan", u"Acquérir une image à partir du scanner"},
    {"bEmail", u"Réceptionner et importer les observances"},
    {"bTransfer", u"Télétransmission des FSE"},
    {"bConfigScreen", u"Modifier l'écran"},
    {"bLock", u"Autoriser la modification des données (Ctrl-F9)"},
    {"bRefresh", u"Actualiser les données"},
    {"bNewCons", u"Créer une nouvelle consultation... [Ctrl-N]"},
    {"SDate", u"Date de début des consultations"},
    {"CBsDate", u"Afficher les consultations à partir du..."},
};

// Every control of the full suite this program does not provide.
const char *const kNoticeControls[] = {
    "Slectionner1",
    "AMStart2",
    "AgendadesRV1",
    "Messages1",
    "mLock",
    "Annulerlesmodificationsencours1",
    "Listedesmdecinstraitants1",
    "Voirlersumedudoissier1",
    "Voirlafichedupatient1",
    "Voirlesantcdents1",
    "Examens1",
    "Crerunenouvelleconsultation1",
    "mVoirCons",
    "Supprimerlaconsultation1",
    "Supprimerunexamen1",
    "GetINSC1",
    "Verifierordonnance1",
    "miFindPrescr",
    "Lettresenvoyes1",
    "LesDonnes1",
    "Lettrespatient1",
    "Lettrestypes1",
    "MaquettesdeSMS1",
    "SMS_Board",
    "Ssamvitale1",
    "Saisirlesinfospatientmodedgrad1",
    "Actesmdicauxeffectus1",
    "TableaudesRecettes1",
    "Recettesjournalires1",
    "Listedescrditeurs1",
    "Payements1",
    "Listedesactesparcaisses1",
    "RglementsdesTiersPayants1",
    "RelevesdesTierspayant1",
    "RglementsdesTiersPayantsSV1",
    "EtatrcapitulatifdesrglementsdesTP1",
    "Remisedechques1",
    "Exportation1",
    "Paramtrescomptabilit1",
    "ConfigurationchampsTP1",
    "Courbesdvolution1",
    "Statistique1",
    "Analyse1",
    "BreezeImporter1",
    "DonnesScanner1",
    "TltransmissionFSE1",
    "Configurerlcran1",
    "Dfinitiondesbases1",
    "Listedesmdecins1",
    "Listedesmdecinscorrespondants1",
    "Listedesvariables1",
    "Vidal",
    "Configurationdespr1",
    "Configurationdestableae1",
    "Configurationdesimportation1",
    "IDVALUES1",
    "Paramtres1",
    "Parametres1",
    "ParamtresSsamVitale1",
    "Upgradetemplates1",
    "Manueldelutilisateur1",
    "AssistanceNTR",
    "mtrouble",
    "bResume",
    "bFichePatient",
    "bAntecedents",
    "bMail",
    "bNewTask",
    "bPlanning",
    "bLetters",
    "bScan",
    "bTransfer",
    "bCut",
    "bCopy",
    "bPaste",
    "bConfigScreen",
    "bStallergenes",
    "bALK",
    "bLock",
    "bRefresh",
    "bNewCons",
    "SDate",
    "CBsDate"
};

const char *const kHiddenToolButtons[] = {"bMedecin", "bExamens", "bFicheMedecin", "bApprove"};

struct StatusPanel {
    int width;
    const char *text;
    bool toRightEdge = false; // then the width is the least one
};
const StatusPanel kStatusPanels[] = {{400, "Reception des observances"}, {150, "1/1"}, {50, "", true}};

} // namespace

TfMain::TfMain(QWidget *parent)
    : QMainWindow(parent)
    , tmrClose(new QTimer(this))
    , tmrOpenPatient(new QTimer(this))
    , ui(new Ui::TfMain)
{
    initToolbarIcons();
    ui->setupUi(this);
    m_errorsMemo = new DeferredMemo(ui->MErrors);
    m_documentMemo = new DeferredMemo(ui->MDocument);

    for (const char *name : kHiddenToolButtons)
        hideToolBarWidget(findChild<QWidget *>(QLatin1String(name)));
    wrapTopBand();
    setUpStatusBar();

    tmrClose->setObjectName(QStringLiteral("tmrClose"));
    tmrClose->setInterval(500);
    connect(tmrClose, &QTimer::timeout, this, &TfMain::tmrCloseTimer);

    tmrOpenPatient->setObjectName(QStringLiteral("tmrOpenPatient"));
    tmrOpenPatient->setInterval(500);
    connect(tmrOpenPatient, &QTimer::timeout, this, &TfMain::tmrOpenPatientTimer);

    bindCommands();
}

TfMain::~TfMain()
{
    FormDestroy();
    delete ui;
}

void TfMain::hideToolBarWidget(QWidget *widget)
{
    // A widget on a tool bar is shown and hidden through its action.
    auto *bar = widget ? qobject_cast<QToolBar *>(widget->parentWidget()) : nullptr;
    if (!bar)
        return;
    for (QAction *action : bar->actions()) {
        if (bar->widgetForAction(action) == widget)
            action->setVisible(false);
    }
}

void TfMain::wrapTopBand()
{
    // The tool bars of the top band make one row where the window is wide
    // enough and wrap where it is not, so the window fits a small screen;
    // the date list and the buttons after it keep to the right.
    QLayout *row = ui->pMain->layout();
    QList<QWidget *> bars;
    while (QLayoutItem *item = row->takeAt(0)) {
        if (item->widget())
            bars << item->widget();
        delete item;
    }
    delete row;
    auto *band = new BandLayout(ui->pMain);
    for (QWidget *bar : bars)
        band->addWidget(bar, bar == ui->RecordToolbarPanel);
}

void TfMain::setUpStatusBar()
{
    for (const StatusPanel &p : kStatusPanels) {
        auto *label = new QLabel(QString::fromLatin1(p.text), ui->StatusBar1);
        if (p.toRightEdge)
            label->setMinimumWidth(p.width); // a long text never widens the window
        else
            label->setFixedWidth(p.width);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        ui->StatusBar1->addWidget(label, p.toRightEdge ? 1 : 0);
        m_statusPanels.append(label);
    }
    ui->StatusBar1->hide();
}

void TfMain::bindCommands()
{
    for (const char *name : kNoticeControls)
        bindNotice(findChild<QObject *>(QLatin1String(name)));

    connect(ui->Voirfichemdecin1, &QAction::triggered, this, [this] { runCommand(&TfMain::Voirfichemdecin1Click); });
    connect(ui->Quitter1, &QAction::triggered, this, [this] { QuitterClick(); });
    connect(ui->Quitter2, &QAction::triggered, this, [this] { QuitterClick(); });
    connect(ui->m_A_Propos, &QAction::triggered, this, [this] { runCommand(&TfMain::m_A_ProposClick); });
    connect(ui->Chercherlesmisesjour1, &QAction::triggered, this,
            [this] { runCommand(&TfMain::Chercherlesmisesjour1Click); });
    connect(ui->Sauvegarder1, &QAction::triggered, this, [this] { runCommand(&TfMain::Sauvegarder1Click); });

    connect(ui->Slectionner2, &QAction::triggered, this, [this] { runCommand(&TfMain::bPatientClick); });
    connect(ui->bPatient, &QToolButton::clicked, this, [this] { runCommand(&TfMain::bPatientClick); });
    connect(ui->Documentsetimagesintegrsdansledossier1, &QAction::triggered, this,
            [this] { runCommand(&TfMain::bImagesClick); });
    connect(ui->bImages, &QToolButton::clicked, this, [this] { runCommand(&TfMain::bImagesClick); });
    connect(ui->bEmail, &QToolButton::clicked, this, [this] { runCommand(&TfMain::bEmailClick); });
    // Only a choice of the user moves the display; filling the list does not.
    connect(ui->fDate, &QComboBox::activated, this, [this] { runCommand(&TfMain::fDateChange); });
}

void TfMain::runCommand(void (TfMain::*command)())
{
    // Nothing new starts once the program is closing.
    if (m_closeRequested)
        return;
    RunningCommand running(*this);
    (this->*command)();
}

void TfMain::bindNotice(QObject *control)
{
    Q_ASSERT(control);
    if (auto *menu = qobject_cast<QMenu *>(control)) {
        // A sub-menu answers when it opens: the notice comes once the menus
        // are closed, since a box cannot open over an opening menu.
        connect(menu->menuAction(), &QAction::triggered, this, [this] { NoAccessClick(); });
        connect(menu, &QMenu::aboutToShow, this, [this] {
            QTimer::singleShot(0, this, [this] {
                while (QWidget *popup = QApplication::activePopupWidget())
                    popup->close();
                NoAccessClick();
            });
        });
    } else if (auto *action = qobject_cast<QAction *>(control)) {
        connect(action, &QAction::triggered, this, [this] { NoAccessClick(); });
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        connect(button, &QAbstractButton::clicked, this, [this] { NoAccessClick(); });
    } else if (control) {
        // The date edit: a click in it.
        control->installEventFilter(this);
    }
}

bool TfMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->SDate && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        NoAccessClick();
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

QMdiArea *TfMain::mdiArea() const
{
    return ui->mdiArea;
}

QProgressBar *TfMain::pbReception() const
{
    return ui->pbReception;
}

QPlainTextEdit *TfMain::MErrors() const
{
    return m_errorsMemo->widget();
}

void TfMain::addResultLine(const QString &line)
{
    m_resultLines << line;
    m_errorsMemo->append(line);
}

void TfMain::setResultLines(const QStringList &lines)
{
    m_resultLines = lines;
    m_errorsMemo->setText(lines.join(u'\n'));
}

QPlainTextEdit *TfMain::MDocument() const
{
    return m_documentMemo->widget();
}

QComboBox *TfMain::fDate() const
{
    return ui->fDate;
}

QToolButton *TfMain::bEmail() const
{
    return ui->bEmail;
}

QStatusBar *TfMain::StatusBar1() const
{
    return ui->StatusBar1;
}

void TfMain::setStatusText(int panel, const QString &text)
{
    if (panel < 0 || panel >= m_statusPanels.size())
        return;
    m_statusPanels[panel]->setText(text);
    ui->StatusBar1->show();
}

void TfMain::repaintStatus()
{
    ui->StatusBar1->repaint();
}

void TfMain::setProgressMaximum(int maximum)
{
    ui->pbReception->setMaximum(maximum);
}

int TfMain::progressMaximum() const
{
    return ui->pbReception->maximum();
}

void TfMain::setProgress(int value)
{
    ui->pbReception->setValue(value);
}

void TfMain::setProgressVisible(bool visible)
{
    ui->pbReception->setVisible(visible);
}

void TfMain::addDocumentLine(const QString &line)
{
    m_documentMemo->append(line);
}

void TfMain::clearDocumentLines()
{
    m_documentMemo->setText(QString());
}

void TfMain::armCloseTimer()
{
    tmrClose->start();
}

QString TfMain::statusText(int panel) const
{
    return panel >= 0 && panel < m_statusPanels.size() ? m_statusPanels[panel]->text() : QString();
}

void TfMain::showStartupStep(const QString &text)
{
    if (Globals::fStartup)
        Globals::fStartup->setStep(text);
    QCoreApplication::processEvents();
}

void TfMain::SetAccentedTexts()
{
    for (const ControlText &c : kAccentedCaptions) {
        const QString text = QString::fromUtf16(c.text);
        QObject *control = findChild<QObject *>(QLatin1String(c.name));
        if (auto *menu = qobject_cast<QMenu *>(control))
            menu->setTitle(text);
        else if (auto *action = qobject_cast<QAction *>(control))
            action->setText(text);
    }
    for (const ControlText &c : kAccentedHints) {
        if (auto *widget = findChild<QWidget *>(QLatin1String(c.name)))
            widget->setToolTip(QString::fromUtf16(c.text));
    }
}

void TfMain::FormCreate()
{
    // 1. Caption, accented texts.
    setWindowTitle(QStringLiteral("Tolvarenix Light - "));
    SetAccentedTexts();

    // 2. Desktop shortcut.
    CreateDesktopShortcut(ProgramFolder::programFile(), QString(), QStringLiteral("Tolvarenix Light"),
                          QStringLiteral("Démarrer Tolvarenix Light"));

    // 3. Configuration, data folders, leftovers of the last run.
    showStartupStep(QStringLiteral("Lecture de la configuration..."));
    if (m_closeRequested)
        return;
    Configuration::prepare();
    DatabaseBackup(m_db, {}).recoverInterruptedBackup();
    ServerSettings::applyTo(IdHTTP1);
    m_downloader = std::make_unique<Downloader>(IdHTTP1, *pbReception(),
                                                [this](bool reconnect) { return ConnectInternetDatabase(reconnect); });

    // 4. Local tables: created when missing, opened; Temp.db made anew.
    try {
        m_db.createAndOpen();
    } catch (const LocalTablesError &e) {
        // The remaining steps do not run; the window is still shown.
        Dialogs::instance().error(e.message());
        m_mailTableFailed = !m_db.TMail.isActive();
        return;
    }
    // 5. Local-address watcher and 7-Zip.
    showStartupStep(QStringLiteral("Contrôle de l'application 7zip..."));
    if (m_closeRequested || !SevenZip::checkPresence(startupNeeds()) || m_closeRequested)
        return;

    // 6. Internet presence and the access code; a failed fetch arms the
    // closing timer but the next steps still run.
    showStartupStep(QStringLiteral("Vérification de la connexion internet..."));
    if (m_closeRequested)
        return;
    StartupConnectivity::checkInternetConnection(startupNeeds());

    // 7. ODBC driver.
    showStartupStep(QStringLiteral("Vérification du driver MyOSQL..."));
    QString driver;
    if (m_closeRequested || !StartupConnectivity::checkOdbcDriver(startupNeeds(), driver))
        return;

    // 8. ODBC data source.
    showStartupStep(QStringLiteral("Connexion à la base de données MySQL..."));
    if (m_closeRequested || !StartupConnectivity::registerDataSource(startupNeeds(), driver))
        return;

    m_startupComplete = true;
}

StartupNeeds TfMain::startupNeeds()
{
    return {&IdHTTP1, &DBFTP, &IdIPWatch1, this, [this] { tmrClose->start(); }, m_downloader.get(),
            [this] { requestClose(); }};
}

void TfMain::disconnectHttpClient()
{
    if (IdHTTP1.connected())
        IdHTTP1.disconnect();
}

void TfMain::disconnectRemoteDatabase()
{
    if (DBFTP.connected())
        DBFTP.disconnect();
}

bool TfMain::hasMailAccount()
{
    return m_db.TMail.isActive() && m_db.TMail.recordCount() > 0;
}

bool TfMain::hasPatients()
{
    return m_db.tPatients.isActive() && m_db.tPatients.recordCount() > 0;
}

bool TfMain::editMailAccountRecord()
{
    try {
        if (!m_db.TMail.isActive())
            m_db.TMail.open();
        // A record already being entered stays as it is.
        const LocalDataSet::State state = m_db.TMail.state();
        if (state == LocalDataSet::State::Insert || state == LocalDataSet::State::Edit)
            return true;
        if (m_db.TMail.isEmpty()) {
            m_db.TMail.append();
        } else {
            m_db.TMail.first();
            m_db.TMail.edit();
        }
    } catch (const LocalTablesError &e) {
        Dialogs::instance().error(e.message());
        return m_db.TMail.isActive();
    }
    return true;
}

void TfMain::closeLocalTables()
{
    m_db.close();
}

void TfMain::FormShow()
{
    if (!hasMailAccount()) {
        // A mail table that could not be opened has given its error already.
        if (!m_mailTableFailed)
            Voirfichemdecin1Click();
        return;
    }
    ui->bEmail->setEnabled(ConnectInternetDatabase(true));
    if (hasPatients())
        tmrOpenPatient->start();
}

bool TfMain::ConnectInternetDatabase(bool reconnect)
{
    return DBFTP.ConnectInternetDatabase(reconnect);
}

void TfMain::tmrOpenPatientTimer()
{
    tmrOpenPatient->stop();
    bPatientClick();
}

void TfMain::NoAccessClick()
{
    Dialogs::instance().information(noAccessNotice());
}

QString TfMain::noAccessNotice()
{
    return QStringLiteral("Vous n'avez pas accès à cette fonctionnalité.") + QStringLiteral("\n\n")
         + QStringLiteral("Veuillez contacter Tolvarenix au ") + MakerContact::telephone()
         + QStringLiteral(" si vous souhaitez passer à la version complète du logiciel.");
}

void TfMain::Voirfichemdecin1Click()
{
    // The open form keeps its record as it is being edited.
    if (raiseMailAccountForm())
        return;
    // A form whose table is not open could not save what is typed.
    if (editMailAccountRecord())
        openMailAccountForm();
}

void TfMain::QuitterClick()
{
    close();
}

void TfMain::m_A_ProposClick()
{
    showAboutBox();
}

void TfMain::Chercherlesmisesjour1Click()
{
    searchForUpdates();
    // One search per run from the menu; the about box keeps its own button.
    ui->Chercherlesmisesjour1->setVisible(false);
}

UpdateSearch::Needs TfMain::updateNeeds()
{
    return {[this](bool reconnect) { return ConnectInternetDatabase(reconnect); }, downloader(),
            [this] { QuitterClick(); }};
}

void TfMain::showAboutBox()
{
    TfAbout box(updateNeeds(), this);
    box.exec();
}

void TfMain::searchForUpdates()
{
    if (!fAbout)
        fAbout = new TfAbout(updateNeeds(), this);
    fAbout->bSearchUpdateClick();
}

void TfMain::WriteLog(const QString &message)
{
    LogWriter::write(message);
}

void TfMain::eventLoopStarted()
{
    m_eventLoopRunning = true;
}

void TfMain::requestClose()
{
    m_closeRequested = true;
    Dialogs::endForClosing();
    tmrClose->start();
}

bool TfMain::busy() const
{
    return m_runningCommands > 0 || QThread::currentThread()->loopLevel() > 1;
}

void TfMain::tmrCloseTimer()
{
    // While the window is still being created (a modal box of a start-up
    // step lets timers fire) closing would only hide it: the timer stays
    // armed and closes the window at a later tick, once the loop runs.
    if (!m_eventLoopRunning || m_closed)
        return;
    // Closing under a running command would answer its dialogs and pull the
    // tables from under it: its dialogs end as cancelled, it returns, and a
    // later tick closes.
    if (busy()) {
        m_closeRequested = true;
        Dialogs::endForClosing();
        return;
    }
    close();
}

void TfMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous() || m_shown)
        return;
    m_shown = true;
    // Closing already: nothing is opened or connected any more.
    if (!m_closeRequested)
        FormShow();
}

void TfMain::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    if (busy()) {
        event->ignore();
        requestClose();
        return;
    }
    // Children are asked first; one refusal stops the close.
    ui->mdiArea->closeAllSubWindows();
    if (!ui->mdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    FormClose();
    m_closed = true;
    event->accept();
    // The program entry leaves its message loop on this signal (queued, so
    // never from inside a loop opened by a handler).
    emit closingHandlersRan();
}

void TfMain::FormCloseQuery(bool &canClose)
{
    // The children have agreed already and nothing here refuses, so the
    // close goes on: the list is released now, and stays a usable (empty)
    // list for whatever still runs until the program ends.
    Globals::ProcessedFiles = QStringList();
    canClose = true;
}

void TfMain::FormClose()
{
    disconnectHttpClient();
    disconnectRemoteDatabase();
    closeLocalTables();
}

void TfMain::FormDestroy()
{
    if (!Globals::RunUpdaterOnExit)
        return;
    // The updater replaces files of this program: it is started, never
    // waited for, and a missing updater is not reported.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString folder = ProgramFolder::path();
    const bool started = QProcess::startDetached(folder + QStringLiteral("Updater"), QStringList(), folder);
    Q_UNUSED(started);
    QApplication::restoreOverrideCursor();
}
