#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

// What the search row of the patient selection window holds.
struct PatientSearchInput
{
    QString nom;
    QString prenom;
    QString neLe;
    bool withBirthday = false; // the birth-date toggle is down
};

// The criteria of the patient query (its lines 2, 3 and 4) and their
// parameters, or the choice of listing every patient.
struct PatientSearchCriteria
{
    bool allPatients = false;
    QString nameLine;
    QString firstNameLine;
    QString birthDateLine;
    QVariantMap params;
};

// An identity: of a received report, or of a row of the patient table.
struct PatientIdentity
{
    QString nom;
    QString prenom;
    QString neLe;
};

namespace PatientSearch {

// The search run while the user types: names compared from their beginning,
// case and accents ignored, the birth date from its beginning while the toggle is down.
PatientSearchCriteria incremental(const PatientSearchInput &input);
// The exact search: each typed text equal to its field (names with case and
// accents ignored).
PatientSearchCriteria exact(const PatientSearchInput &input);

// The six lines of the patient query with the given criteria.
QStringList patientsSql(const PatientSearchCriteria &criteria);
// The query that lists every patient.
QStringList allPatientsSql();

// True when the toggle may take the birth date into account: a complete
// "dd/mm/yyyy" date of the calendar.
bool isSearchDate(const QString &text);

// The report identity as the window holds it: names in upper case (a to z)
// without accents of capitals, blanks and hyphens; the birth date as received.
PatientIdentity reportIdentity(const QString &nom, const QString &prenom, const QString &neLe);

// How many of name, first name and birth date of the row agree with the
// report (held as reportIdentity gives it); names are compared without regard
// to case, accents, blanks and hyphens.
int matchCount(const PatientIdentity &report, const PatientIdentity &row);

// The question asked before choosing a row that differs from the report;
// empty when none is asked (matchCount of 3).
QString confirmationQuestion(const PatientIdentity &row, const PatientIdentity &report, int matchCount);

} // namespace PatientSearch
