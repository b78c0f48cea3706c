#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QVector>

#include <optional>

// What the search row of the patient selection window holds.
struct PatientSearchInput
{
    QString nom;
    QString prenom;
    QString neLe;
    bool withBirthday = false; // the birth-date toggle is down
};

// What one line of the patient query asks of its column: LIKE 'value%' or
// = 'value' (on the folded names, on the birth date as stored).
struct PatientCondition
{
    enum class Kind { None, Prefix, Equal };
    Kind kind = Kind::None;
    QString value;
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
    // The same lines, for answering them without the engine.
    PatientCondition nom;
    PatientCondition prenom;
    PatientCondition neLe;
};

// An identity: of a received report, or of a row of the patient table.
struct PatientIdentity
{
    QString nom;
    QString prenom;
    QString neLe;
};

// A patient row as the patient query gives it.
struct PatientRow
{
    int id = 0;
    PatientIdentity identity;
};

// The patient table read once, with the folded forms of the names sorted:
// answers the patient query of given criteria in memory, in about the
// logarithm of the number of patients when a name is searched. It is a
// picture of the table when it was read: whoever holds it drops it once the
// table may have changed.
class PatientNameIndex
{
public:
    // One read of the patient table of the database folder (LocalTablesError).
    static PatientNameIndex read(const QString &folder);

    // The rows the patient query gives for these criteria, in no particular
    // order; nothing when the engine must answer (a typed "%" or "_", which
    // LIKE reads as wildcards, or a pattern it would refuse).
    std::optional<QVector<PatientRow>> find(const PatientSearchCriteria &criteria) const;

private:
    struct Entry {
        PatientRow row;
        // FOLDED(NOM), FOLDED(PRENOM) and NE_LE as the engine compares them;
        // nothing for a null, which no condition matches.
        std::optional<QString> nom, prenom, neLe;
    };
    bool matches(const Entry &entry, const PatientSearchCriteria &criteria) const;

    QVector<Entry> m_entries;
    // Positions of the entries with a name (first name), by folded name.
    QVector<int> m_byNom, m_byPrenom;
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
