#pragma once

#include "platform/LocalTables.h"
#include "views/PatientSearch.h"

#include <QString>

#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QObject;
class QToolButton;

// What the identification of a report's patient works with in the patient
// selection window: its search edits and toggles, its panels and buttons, its
// two queries, the report's identity it compares rows with, and its modal
// result. The selection window implements it, so the identification never
// depends on the window class.
class PatientChoiceWindow
{
public:
    enum ModalResult { ResultChosen = 1, ResultCancelled = 2, ResultDoNotImport = 5 };

    // The patient of the shown row.
    struct ChosenPatient {
        int id = 0;
        QString nom;
        QString prenom;
        QString neLe;
    };

    virtual ~PatientChoiceWindow() = default;

    // Shows the window modally; its modal result.
    virtual int exec() = 0;
    // The patient of the shown row; nothing when the shown query is closed or
    // has no row.
    virtual std::optional<ChosenPatient> shownPatient() const = 0;
    // Closes both queries (the caller's last step).
    virtual void closeQueries() = 0;
    // A window kept for the next report of an import, never shown in
    // between: back to the state of a new window.
    virtual void resetForNextReport() = 0;
    // The identification of one report is over: the window is no longer the
    // program's current selection window.
    virtual void identificationEnded() = 0;
    // Runs a search on criteria made from the search row: the incremental
    // one opened, the exact one only prepared (as the edits' changes do).
    virtual void applySearch(const PatientSearchCriteria &criteria, bool exact) = 0;
    // The patient table: a new patient goes into it.
    virtual LocalTable &patientTable() const = 0;
    // Counts how far the shown row matches the report's identity (MatchCount).
    virtual void QPatientsAfterScroll() = 0;
    // The query the grid shows: QPatients or QAllPatients.
    virtual LocalQuery *shownQuery() const = 0;
    virtual void showQuery(LocalQuery *query) = 0;

    virtual QLabel *Panel2() const = 0;
    virtual QFrame *Panel1() const = 0;
    virtual QLabel *Label1() const = 0;
    virtual QLineEdit *NomPatient() const = 0;
    virtual QLineEdit *PrenomPatient() const = 0;
    virtual QLineEdit *EdNe() const = 0;
    virtual QToolButton *SBWithBirthday() const = 0;
    virtual QToolButton *SpeedButton2() const = 0;
    virtual QToolButton *bAjouter() const = 0;
    virtual QToolButton *bDoNotImport() const = 0;
    virtual QToolButton *bFermer() const = 0;

    LocalQuery QPatients;
    LocalQuery QAllPatients;

    // The report's identity (empty in a plain choice), see PatientSearch::reportIdentity.
    QString ObsNom;
    QString ObsPrenom;
    QString ObsNeLe;
    int MatchCount = 3;
    // Clicks on the birth-date toggle: even while it is up, odd while down.
    int SBWithBirthdayTag = 0;
};
