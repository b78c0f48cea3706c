#pragma once

#include <QString>

class LocalDataSet;
class LocalDatabase;
class QComboBox;
class QMdiArea;
class QWidget;

// The main window's display of the current patient: the choice of the
// patient, the dates of the patient's observances in the date box and the
// observance window with its charts.
class ObservanceDisplay
{
public:
    // What the display works with in the main window.
    struct Needs {
        LocalDatabase *database = nullptr;
        QWidget *window = nullptr;    // its caption; the parent of the patient chooser
        QComboBox *dates = nullptr;   // fDate
        QMdiArea *mdiArea = nullptr;  // where the observance window opens
    };
    explicit ObservanceDisplay(Needs needs);

    // Lets the user choose a patient and shows that patient's observances.
    void bPatientClick();
    // Moves the observance query to the date chosen in the date box.
    void fDateChange();

    // The date-box text of an observance: its date and time to the minute,
    // the time left out at midnight.
    static QString dateBoxText(const QString &consultation);
    // The same for a row of a data set, from its stored consultation time.
    static QString dateBoxText(const LocalDataSet &observances, int row, int field);

private:
    // Reopens the observance query on the current patient; false (after a
    // warning) when it cannot be opened.
    bool reopenObservances();
    // Fills the date box and the charts from the query, opening the
    // observance window when none is open.
    void showObservances();
    // Nothing of an earlier patient stays under the chosen patient's name:
    // empties the date box and closes the observance window.
    void clearObservances();

    Needs m_needs;
};
