#pragma once

#include "views/PatientCorrection.h"
#include "views/PatientSearch.h"

#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class PatientChoiceWindow;

// Finds the local patient of a received report: alone when the search gives
// one patient or when the birth date tells several apart, otherwise in the
// patient selection window. Works on Globals::PatientNom, PatientPrenom and
// PatientNeLe (rewritten with the chosen identity), sends identity
// corrections for provider reports and notes the outcome in the import's
// result lines.
//
// The searches are answered from the patient table read once (folded names
// sorted) while nothing has changed it; the window's own queries run only
// when the window is shown, on the criteria of the last search.
class PatientIdentification
{
public:
    static constexpr int kDeclined = -3;
    // The window was closed without an answer (Escape, its close box,
    // "Valider" on an empty list): the report waits for the next import.
    static constexpr int kLeftWaiting = -4;

    struct Needs {
        PatientCorrection::Needs remote;
        // A line of the main window's MErrors.
        std::function<void(const QString &)> addResultLine;
        // A panel of the main window's status bar; pending events run after it.
        std::function<void(int panel, const QString &)> setStatusText;
        // Disabled while the window of a search without result is shown.
        QWidget *mainWindow = nullptr;
        // Shows the report to the user (OpenDocument).
        std::function<void(const QString &)> openReport;
        // A new patient selection window.
        std::function<std::unique_ptr<PatientChoiceWindow>()> createWindow;
        // Shows the window modally and gives its modal result.
        std::function<int(PatientChoiceWindow &)> showModal;
    };

    explicit PatientIdentification(Needs environment);
    ~PatientIdentification();
    PatientIdentification(PatientIdentification &&) noexcept;

    // TfPatients.IdentifyPatient: a PATIENTS_ID, kDeclined when the user
    // chose not to import the report, or kLeftWaiting. fileName has no folder (the report lies
    // in Globals::ImportFolder). One object may identify the reports of a
    // whole import: its selection window is then built once, and again only
    // after the user has seen it.
    int identify(const QString &fileName);

private:
    // The selection window, built once, and again after the user has seen it.
    PatientChoiceWindow &builtWindow();
    // Before the report's first use of the window: back to the state of a
    // new one.
    void prepareWindow(PatientChoiceWindow &window);
    // The window as the report's search left it: search row, report
    // identity, label, and the last search run by its own query.
    void showRowInWindow(PatientChoiceWindow &window, const PatientIdentity &report, const QString &label);
    // The search of the window's search row, in memory when the patient
    // table read once can answer it, else in the window.
    void search(PatientChoiceWindow &window, bool exact);
    // The search last answered in memory, now run in the window.
    void searchInWindow(PatientChoiceWindow &window);
    int shownRowCount(const PatientChoiceWindow &window) const;
    // The patient table read once, read again after it may have changed;
    // nothing when it cannot be read (the window's search then tells why).
    const PatientNameIndex *nameIndex(PatientChoiceWindow &window);
    // The outcome of a search answered in memory when no window is needed.
    std::optional<int> settledInMemory(const PatientIdentity &report, const QString &fileName);
    int noRow(PatientChoiceWindow &window, const QString &fileName, const QString &savedBirthDate);
    int oneRow(PatientChoiceWindow &window, const QString &fileName);
    // A single candidate matching the report in every field.
    int settledOne(const QString &fileName, const PatientRow &row);
    int severalRows(PatientChoiceWindow &window, const QString &fileName);
    void announceSeveral(const QString &fileName);
    // The window on the candidates of the search: the physician confirms,
    // chooses another patient or declines the report. The trace, when given,
    // announces a correction before it is sent.
    int confirmInWindow(PatientChoiceWindow &window, const QString &fileName, const QString &correctionTrace = {});
    // Shows the window until it closes with a choice, "Ne pas importer"
    // (ResultDoNotImport) or closed without an answer (ResultCancelled).
    int askUser(PatientChoiceWindow &window);
    // The identification's result when the window gave no patient: declined
    // ("Patient inconnu" in the result lines) or left waiting.
    int unanswered(int result);
    // After a choice in the window: the chosen identity becomes the report's.
    int takeChosen(PatientChoiceWindow &window);
    // Sends the correction when exactly one identity field differs; the trace
    // (debug mode, when not empty) is shown just before it goes.
    void sendCorrectionWhenOneFieldDiffers(PatientChoiceWindow &window, const QString &trace);
    void traceSearch(PatientChoiceWindow &window, const QString &ending);

    Needs m_env;
    std::unique_ptr<PatientChoiceWindow> m_window;
    bool m_windowShown = false;
    // Changed since it was built or last reset; reset for this report.
    bool m_windowUsed = false;
    bool m_windowReady = false;
    // What the window's search row (edits and birth-date toggle) holds for
    // the report being identified.
    struct SearchRow {
        QString nom, prenom, neLe;
        bool withBirthday = false;
    };
    SearchRow m_row;
    struct NameIndex;
    std::unique_ptr<NameIndex> m_index;
    // The rows of the last search when answered in memory, and that search.
    std::optional<QVector<PatientRow>> m_found;
    struct Search {
        PatientSearchCriteria criteria;
        bool exact = false;
    };
    std::optional<Search> m_lastSearch;
};
