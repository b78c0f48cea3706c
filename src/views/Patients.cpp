#include "views/Patients.h"

#include "core/ScreenPlacement.h"
#include "ui_Patients.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "core/Main.h"
#include "views/PatientGridModel.h"
#include "views/PatientIdentification.h"
#include "core/RemoteDatabase.h"
#include "views/UNewPatient.h"

#include "core/Common.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>

namespace {

// Searches keep the grid in whatever state a failure left; the trace keeps
// the cause.
void logSearchError(const char *what, const std::exception &error)
{
    const QString text = error.what();
    TfMain::WriteLog(QStringLiteral("Recherche de patients (%1) : %2").arg(QLatin1String(what), text));
}

QString errorText(const std::exception &error)
{
    if (const auto *local = dynamic_cast<const LocalTablesError *>(&error))
        return local->message();
    return QString::fromUtf8(error.what());
}

} // namespace

TfPatients::TfPatients(LocalDatabase &database, QWidget *parent)
    : QDialog(parent), ui(new Ui::TfPatients), m_gridModel(new PatientGridModel(this)), m_database(database)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(680, 712);
    FitOnScreen(*this);

    // The toggle is released by pressing the hidden button of its group.
    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(ui->SBWithBirthday);
    group->addButton(ui->SpeedButton2);
    ui->SpeedButton2->setChecked(true);

    ui->DBGrid1->setModel(m_gridModel);
    ui->DBGrid1->horizontalHeader()->resizeSection(0, 200);
    ui->DBGrid1->horizontalHeader()->resizeSection(1, 200);
    ui->DBGrid1->horizontalHeader()->resizeSection(2, 85);
    ui->DBGrid1->installEventFilter(this);
    ui->NomPatient->installEventFilter(this);
    ui->PrenomPatient->installEventFilter(this);
    connect(m_gridModel, &QAbstractItemModel::modelReset, this, &TfPatients::selectGridRow);
    connect(ui->DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { gridRowChanged(current.row()); });
    connect(ui->DBGrid1, &QAbstractItemView::doubleClicked, this, &TfPatients::bValiderClick);

    for (QLineEdit *edit : {ui->NomPatient, ui->PrenomPatient, ui->EdNe})
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { NomPatientChange(edit); });
    connect(ui->SBWithBirthday, &QToolButton::clicked, this, &TfPatients::SBWithBirthdayClick);
    connect(ui->bValider, &QToolButton::clicked, this, &TfPatients::bValiderClick);
    connect(ui->bVitale, &QToolButton::clicked, this, &TfPatients::bVitaleClick);
    connect(ui->bAjouter, &QToolButton::clicked, this, &TfPatients::bAjouterClick);
    connect(ui->bDoNotImport, &QToolButton::clicked, this, &TfPatients::bDoNotImportClick);
    connect(ui->bFermer, &QToolButton::clicked, this, &TfPatients::bFermerClick);

    connect(&QPatients, &LocalDataSet::afterOpen, this, &TfPatients::QPatientsAfterOpen);
    connect(&QAllPatients, &LocalDataSet::afterOpen, this, &TfPatients::QAllPatientsAfterOpen);
    for (LocalQuery *query : {&QPatients, &QAllPatients}) {
        connect(query, &LocalDataSet::afterScroll, this, [this, query] {
            if (query == m_shown)
                selectGridRow();
        });
    }
    bindMatchCount(true);

    FormCreate();
    showQuery(&QPatients);
    Globals::fPatients = this;
}

TfPatients::~TfPatients()
{
    if (Globals::fPatients == this)
        Globals::fPatients = nullptr;
    // The queries go before the window's children: nothing of theirs may
    // reach the window or the grid any more.
    QPatients.disconnect(this);
    QAllPatients.disconnect(this);
    m_gridModel->setDataSet(nullptr);
    delete ui;
}

int TfPatients::IdentifyPatient(const QString &Nom, const QString &Prenom, const QString &NeLe, const QString &FileName)
{
    Globals::PatientNom = Nom;
    Globals::PatientPrenom = Prenom;
    Globals::PatientNeLe = NeLe;
    return PatientIdentification(identificationNeeds()).identify(FileName);
}

PatientIdentification::Needs TfPatients::identificationNeeds()
{
    TfMain *main = Globals::fMain;
    PatientIdentification::Needs env;
    env.createWindow = [main] { return std::make_unique<TfPatients>(main->database()); };
    env.remote.connect = [main](bool reconnect) { return main->ConnectInternetDatabase(reconnect); };
    env.remote.connectionName = RemoteDatabase::connectionName();
    env.remote.setStatus = [main](const QString &text) { main->setStatusText(0, text); };
    env.addResultLine = [main](const QString &line) { main->addResultLine(line); };
    env.setStatusText = [main](int panel, const QString &text) {
        main->setStatusText(panel, text);
        QCoreApplication::processEvents();
    };
    env.mainWindow = main;
    env.openReport = [](const QString &path) { OpenDocument(path); };
    return env;
}

void TfPatients::FormCreate()
{
    QString folder = m_database.tPatients.databaseName();
    if (folder.isEmpty())
        folder = Globals::BaseFolder;
    QPatients.setDatabaseName(folder);
    QAllPatients.setDatabaseName(folder);
    QPatients.setSql(PatientSearch::patientsSql({}));
    QAllPatients.setSql(PatientSearch::allPatientsSql());
}

void TfPatients::preparePlainChoice()
{
    ui->bDoNotImport->hide();
    ui->bAjouter->setEnabled(false);
    showQuery(&QAllPatients);
    try {
        QAllPatients.open();
    } catch (const std::exception &error) {
        logSearchError("liste", error);
    }
    MatchCount = 3;
    bindMatchCount(false);
}

std::optional<TfPatients::ChosenPatient> TfPatients::shownPatient() const
{
    if (!m_shown || !m_shown->isActive() || m_shown->isEmpty())
        return std::nullopt;
    ChosenPatient patient;
    patient.id = m_shown->field(QStringLiteral("PATIENTS_ID")).asInteger();
    patient.nom = m_shown->field(QStringLiteral("NOM")).asString();
    patient.prenom = m_shown->field(QStringLiteral("PRENOM")).asString();
    patient.neLe = m_shown->field(QStringLiteral("NE_LE")).asString();
    return patient;
}

void TfPatients::closeQueries()
{
    QPatients.close();
    QAllPatients.close();
}

void TfPatients::resetForNextReport()
{
    closeQueries();
    for (QLineEdit *edit : {ui->NomPatient, ui->PrenomPatient, ui->EdNe}) {
        const QSignalBlocker quiet(edit);
        edit->clear();
    }
    ui->SpeedButton2->setChecked(true);
    SBWithBirthdayTag = 0;
    MatchCount = 3;
    ObsNom.clear();
    ObsPrenom.clear();
    ObsNeLe.clear();
    QPatients.clearParams();
    QAllPatients.clearParams();
    QPatients.setSql(PatientSearch::patientsSql({}));
    showQuery(&QPatients);
    ui->bValider->setEnabled(true);
    ui->bFermer->setEnabled(true);
    Globals::fPatients = this;
}

void TfPatients::identificationEnded()
{
    if (Globals::fPatients == this)
        Globals::fPatients = nullptr;
}

void TfPatients::showQuery(LocalQuery *query)
{
    m_shown = query;
    m_gridModel->setDataSet(query);
}

PatientSearchInput TfPatients::searchInput() const
{
    return {ui->NomPatient->text(), ui->PrenomPatient->text(), ui->EdNe->text(), ui->SBWithBirthday->isChecked()};
}

void TfPatients::applyCriteria(const PatientSearchCriteria &criteria, bool openIt)
{
    if (criteria.allPatients) {
        QAllPatients.open();
        showQuery(&QAllPatients);
        return;
    }
    QPatients.setSql(PatientSearch::patientsSql(criteria));
    for (auto it = criteria.params.cbegin(); it != criteria.params.cend(); ++it)
        QPatients.setParam(it.key(), it.value());
    showQuery(&QPatients);
    if (openIt)
        QPatients.open();
}

void TfPatients::NomPatientChange(QObject *sender)
{
    if (sender == ui->EdNe && !ui->SBWithBirthday->isChecked())
        return;
    applySearch(PatientSearch::incremental(searchInput()), false);
}

void TfPatients::NomPatientChange1()
{
    applySearch(PatientSearch::exact(searchInput()), true);
}

void TfPatients::applySearch(const PatientSearchCriteria &criteria, bool exact)
{
    try {
        QPatients.close();
        QAllPatients.close();
        QPatients.clearParams();
        QAllPatients.clearParams();
        applyCriteria(criteria, !exact);
    } catch (const std::exception &error) {
        logSearchError(exact ? "exacte" : "saisie", error);
    }
}

LocalTable &TfPatients::patientTable() const
{
    return m_database.tPatients;
}

void TfPatients::SBWithBirthdayClick()
{
    if (SBWithBirthdayTag % 2 == 0) {
        if (!PatientSearch::isSearchDate(ui->EdNe->text())) {
            ui->SpeedButton2->setChecked(true);
            return;
        }
    } else {
        ui->SpeedButton2->setChecked(true);
    }
    ++SBWithBirthdayTag;
    NomPatientChange(this);
}

void TfPatients::QPatientsAfterScroll()
{
    if (!m_shown || !m_shown->isActive()) {
        MatchCount = 3;
        return;
    }
    PatientIdentity row;
    if (!m_shown->isEmpty()) {
        row.nom = m_shown->field(QStringLiteral("NOM")).asString();
        row.prenom = m_shown->field(QStringLiteral("PRENOM")).asString();
        row.neLe = m_shown->field(QStringLiteral("NE_LE")).asString();
    }
    MatchCount = PatientSearch::matchCount({ObsNom, ObsPrenom, ObsNeLe}, row);
}

void TfPatients::bindMatchCount(bool on)
{
    for (const auto &connection : std::as_const(m_matchConnections))
        disconnect(connection);
    m_matchConnections.clear();
    if (!on)
        return;
    for (LocalQuery *query : {&QPatients, &QAllPatients})
        m_matchConnections << connect(query, &LocalDataSet::afterScroll, this, &TfPatients::QPatientsAfterScroll);
}

void TfPatients::QPatientsAfterOpen()
{
    ui->bValider->setEnabled(!QPatients.isEmpty());
}

void TfPatients::QAllPatientsAfterOpen()
{
    ui->bValider->setEnabled(!QAllPatients.isEmpty());
}

void TfPatients::DBGrid1Enter()
{
    ui->bValider->setEnabled(true);
}

void TfPatients::bValiderClick()
{
    if (!m_matchConnections.isEmpty())
        QPatientsAfterScroll();
    // No row to choose: the choice of nothing is a cancellation.
    if (!m_shown || !m_shown->isActive() || m_shown->isEmpty()) {
        done(ResultCancelled);
        return;
    }
    // Every patient listed: chosen without a question, unless the choice
    // leads to an identity correction sent to the provider.
    if (m_shown != &QPatients && MatchCount != 2) {
        done(ResultChosen);
        return;
    }
    const PatientIdentity row{m_shown->field(QStringLiteral("NOM")).asString(),
                              m_shown->field(QStringLiteral("PRENOM")).asString(),
                              m_shown->field(QStringLiteral("NE_LE")).asString()};
    const QString question = PatientSearch::confirmationQuestion(row, {ObsNom, ObsPrenom, ObsNeLe}, MatchCount);
    if (!question.isEmpty() && !Dialogs::instance().ask(Dialogs::Kind::Warning, question))
        return;
    done(ResultChosen);
}

void TfPatients::bAjouterClick()
{
    TfNewPatient dialog(this);
    dialog.prefill(Globals::PatientNom, Globals::PatientPrenom, Globals::PatientNeLe);
    if (execNewPatient(dialog) != 1)
        return;
    try {
        const int id = NewPatientRules::appendPatient(m_database.tPatients, dialog.input());
        LocalTable &patients = m_database.tPatients;
        const QString neLe = patients.field(QStringLiteral("NE_LE")).asString();
        // A patient without birth date is found only with the toggle up.
        if (neLe.isEmpty() && ui->SBWithBirthday->isChecked()) {
            ui->SpeedButton2->setChecked(true);
            if (SBWithBirthdayTag % 2 != 0)
                ++SBWithBirthdayTag;
        }
        ui->EdNe->setText(neLe);
        ui->NomPatient->setText(patients.field(QStringLiteral("NOM")).asString());
        ui->PrenomPatient->setText(patients.field(QStringLiteral("PRENOM")).asString());
        NomPatientChange(this);
        selectNewPatient(id);
    } catch (const std::exception &error) {
        Dialogs::instance().error(QStringLiteral("Erreur lors de la création du dossier patient :\n") + errorText(error));
    }
}

void TfPatients::selectNewPatient(int id)
{
    LocalQuery *query = m_shown;
    if (!query || !query->isActive() || query->isEmpty())
        return;
    if (query->recordCount() == 1) {
        bValiderClick();
        return;
    }
    if (id <= 0)
        return;
    for (;;) {
        if (query->field(QStringLiteral("PATIENTS_ID")).asInteger() == id) {
            bValiderClick();
            return;
        }
        if (query->recNo() >= query->recordCount() - 1)
            return;
        query->next();
    }
}

int TfPatients::execNewPatient(TfNewPatient &dialog)
{
    return dialog.exec();
}

void TfPatients::bDoNotImportClick()
{
    done(ResultDoNotImport);
}

void TfPatients::bFermerClick()
{
    done(ResultCancelled);
}

void TfPatients::reject()
{
    done(ResultCancelled);
}

void TfPatients::bVitaleClick()
{
    if (Globals::fMain)
        Globals::fMain->NoAccessClick();
    else
        Dialogs::instance().information(TfMain::noAccessNotice());
}

bool TfPatients::eventFilter(QObject *watched, QEvent *event)
{
    const bool inEdit = watched == ui->NomPatient || watched == ui->PrenomPatient;
    if (watched == ui->DBGrid1 && event->type() == QEvent::FocusIn)
        DBGrid1Enter();
    if ((inEdit || watched == ui->DBGrid1) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (ui->bValider->isEnabled())
                bValiderClick();
            return true;
        }
        if (inEdit && key == Qt::Key_Down) {
            if (m_shown && m_shown->isActive())
                m_shown->next();
            ui->DBGrid1->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfPatients::selectGridRow()
{
    if (m_syncingGrid)
        return;
    m_syncingGrid = true;
    const int row = m_shown && m_shown->isActive() ? m_shown->recNo() : -1;
    if (row >= 0)
        ui->DBGrid1->selectRow(row);
    else
        ui->DBGrid1->clearSelection();
    m_syncingGrid = false;
}

void TfPatients::gridRowChanged(int row)
{
    if (m_syncingGrid || !m_shown || !m_shown->isActive() || row < 0 || row == m_shown->recNo())
        return;
    m_syncingGrid = true;
    m_shown->moveTo(row);
    m_syncingGrid = false;
}

QLabel *TfPatients::Panel2() const { return ui->Panel2; }
QFrame *TfPatients::Panel1() const { return ui->Panel1; }
QLabel *TfPatients::Label1() const { return ui->Label1; }
QLabel *TfPatients::Label2() const { return ui->Label2; }
QLineEdit *TfPatients::NomPatient() const { return ui->NomPatient; }
QLineEdit *TfPatients::PrenomPatient() const { return ui->PrenomPatient; }
QLineEdit *TfPatients::EdNe() const { return ui->EdNe; }
QToolButton *TfPatients::SBWithBirthday() const { return ui->SBWithBirthday; }
QToolButton *TfPatients::SpeedButton2() const { return ui->SpeedButton2; }
QTableView *TfPatients::DBGrid1() const { return ui->DBGrid1; }
QToolButton *TfPatients::bValider() const { return ui->bValider; }
QToolButton *TfPatients::bVitale() const { return ui->bVitale; }
QToolButton *TfPatients::bSupprimer() const { return ui->bSupprimer; }
QToolButton *TfPatients::bAjouter() const { return ui->bAjouter; }
QToolButton *TfPatients::bDoNotImport() const { return ui->bDoNotImport; }
QToolButton *TfPatients::bFermer() const { return ui->bFermer; }
