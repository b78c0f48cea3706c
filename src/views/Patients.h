#pragma once

#include "platform/LocalTables.h"
#include "views/PatientChoiceWindow.h"
#include "views/PatientIdentification.h"
#include "views/PatientSearch.h"

#include <QDialog>

#include <optional>

class LocalDatabase;
class PatientGridModel;
class QFrame;
class QLabel;
class QLineEdit;
class QTableView;
class QToolButton;
class TfNewPatient;

namespace Ui {
class TfPatients;
}

// The modal window in which the user finds a patient of the local patient
// table and chooses one: for the main window's patient command (a plain
// choice) and for the identification of the patient of a received report.
// It ends with ResultChosen, ResultCancelled or ResultDoNotImport; the
// caller reads the chosen patient from the shown row.
class TfPatients : public QDialog, public PatientChoiceWindow
{
    Q_OBJECT
public:
    // The tables of the database: the queries run on its folder, a new
    // patient goes into its patient table.
    explicit TfPatients(LocalDatabase &database, QWidget *parent = nullptr);
    ~TfPatients() override;

    // The patient of a received report, for the import: a PATIENTS_ID, -3
    // when the user chose not to import the report, or -4 when the window was
    // closed without an answer (the report waits). The identity arguments
    // become Globals::PatientNom, PatientPrenom and PatientNeLe, which the
    // identification may rewrite; FileName has no folder. Works with the main
    // window (Globals::fMain): its tables, MErrors, status bar and the service
    // database.
    static int IdentifyPatient(const QString &Nom, const QString &Prenom, const QString &NeLe, const QString &FileName);
    // What the identification works with in the program: the main window's
    // tables, MErrors, status bar and the service database.
    static PatientIdentification::Needs identificationNeeds();

    // The main window's plain choice: every patient listed, no new patient,
    // no "do not import", no identity question.
    void preparePlainChoice();

    int exec() override { return QDialog::exec(); }
    std::optional<ChosenPatient> shownPatient() const override;
    void closeQueries() override;
    // A window kept for the next report of an import, never shown in
    // between: back to the state of a new window.
    void resetForNextReport() override;
    void identificationEnded() override;

    // Event handlers.
    void FormCreate();
    // Incremental search; sender is the edit that changed, or the window.
    void NomPatientChange(QObject *sender);
    // Prepares the exact search on the three edits without opening it.
    void NomPatientChange1();
    void applySearch(const PatientSearchCriteria &criteria, bool exact) override;
    LocalTable &patientTable() const override;
    void SBWithBirthdayClick();
    void QPatientsAfterScroll() override;
    void QPatientsAfterOpen();
    void QAllPatientsAfterOpen();
    void DBGrid1Enter();
    void bValiderClick();
    void bAjouterClick();
    void bDoNotImportClick();
    void bFermerClick();
    void bVitaleClick();

    // The query the grid shows (DSPatients): QPatients or QAllPatients.
    LocalQuery *shownQuery() const override { return m_shown; }
    void showQuery(LocalQuery *query) override;

    QLabel *Panel2() const override;
    QFrame *Panel1() const override;
    QLabel *Label1() const override;
    QLabel *Label2() const;
    QLineEdit *NomPatient() const override;
    QLineEdit *PrenomPatient() const override;
    QLineEdit *EdNe() const override;
    QToolButton *SBWithBirthday() const override;
    QToolButton *SpeedButton2() const override;
    QTableView *DBGrid1() const;
    QToolButton *bValider() const;
    QToolButton *bVitale() const;
    QToolButton *bSupprimer() const;
    QToolButton *bAjouter() const override;
    QToolButton *bDoNotImport() const override;
    QToolButton *bFermer() const override;

public slots:
    // Closing by the window's system button is a cancellation.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Shows the new-patient dialog modally; its modal result.
    virtual int execNewPatient(TfNewPatient &dialog);

private:
    PatientSearchInput searchInput() const;
    void applyCriteria(const PatientSearchCriteria &criteria, bool openIt);
    void bindMatchCount(bool on);
    void selectGridRow();
    void gridRowChanged(int row);
    void selectNewPatient(int id);

    Ui::TfPatients *ui;
    PatientGridModel *m_gridModel;
    LocalDatabase &m_database;
    LocalQuery *m_shown = nullptr;
    QList<QMetaObject::Connection> m_matchConnections;
    bool m_syncingGrid = false;
};
