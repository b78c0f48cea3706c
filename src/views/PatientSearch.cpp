#include "views/PatientSearch.h"

#include "core/Common.h"
#include "core/NameDateRoutines.h"
#include "platform/NameFolding.h"
#include "platform/TextRules.h"

#include <QDate>

namespace PatientSearch {

namespace {

// Patient lists in the order a French reader expects: "Dubois" before
// "DUPONT", "Élodie" among the E.
const QString kPatientOrder = QStringLiteral("ORDER BY NOM COLLATE FRENCH, PRENOM COLLATE FRENCH, NE_LE");

// The form in which a name of a row and of a report are compared.
QString nameKey(const QString &name)
{
    return NormalizeName(NameFolding::folded(name));
}

} // namespace

PatientSearchCriteria incremental(const PatientSearchInput &input)
{
    PatientSearchCriteria c;
    if (TextRules::trim32(input.nom).isEmpty() && TextRules::trim32(input.prenom).isEmpty()
        && (TextRules::trim32(input.neLe).isEmpty() || !input.withBirthday)) {
        c.allPatients = true;
        return c;
    }
    if (!input.nom.isEmpty()) {
        c.nameLine = QStringLiteral("  FOLDED(NOM) like :nom");
        c.params.insert(QStringLiteral("nom"), NameFolding::folded(input.nom) + QLatin1Char('%'));
    }
    if (!input.prenom.isEmpty()) {
        c.firstNameLine = (c.nameLine.isEmpty() ? QString() : QStringLiteral("and"))
                        + QStringLiteral("  FOLDED(PRENOM) like :prenom");
        c.params.insert(QStringLiteral("prenom"), NameFolding::folded(input.prenom) + QLatin1Char('%'));
    }
    if (input.withBirthday) {
        c.birthDateLine = (input.nom.isEmpty() && input.prenom.isEmpty() ? QString() : QStringLiteral(" and  "))
                        + QStringLiteral("NE_LE like :ne_le");
        c.params.insert(QStringLiteral("ne_le"), input.neLe + QLatin1Char('%'));
    }
    return c;
}

PatientSearchCriteria exact(const PatientSearchInput &input)
{
    PatientSearchCriteria c;
    if (input.nom.isEmpty() && input.prenom.isEmpty() && input.neLe.isEmpty()) {
        c.allPatients = true;
        return c;
    }
    // "=" and not LIKE: LIKE reads "_" and "%" in a typed name as wildcards.
    // Names are compared as folded forms, so that a report written in
    // capitals without accents finds "Dupré".
    if (!input.nom.isEmpty()) {
        c.nameLine = QStringLiteral("FOLDED(NOM) = :nom");
        c.params.insert(QStringLiteral("nom"), NameFolding::folded(input.nom));
    }
    if (!input.prenom.isEmpty()) {
        c.firstNameLine = (c.nameLine.isEmpty() ? QString() : QStringLiteral("and "))
                        + QStringLiteral("FOLDED(PRENOM) = :prenom");
        c.params.insert(QStringLiteral("prenom"), NameFolding::folded(input.prenom));
    }
    if (!input.neLe.isEmpty()) {
        c.birthDateLine = (c.nameLine.isEmpty() && c.firstNameLine.isEmpty() ? QString() : QStringLiteral("and "))
                        + QStringLiteral("NE_LE = :ne_le");
        c.params.insert(QStringLiteral("ne_le"), input.neLe);
    }
    return c;
}

QStringList patientsSql(const PatientSearchCriteria &criteria)
{
    return {QStringLiteral("SELECT PATIENTS_ID, NE_LE, NOM, PRENOM  FROM PATIENTS"), QStringLiteral("WHERE "),
            criteria.nameLine, criteria.firstNameLine, criteria.birthDateLine, kPatientOrder};
}

QStringList allPatientsSql()
{
    return {QStringLiteral("SELECT PATIENTS_ID,  NOM, PRENOM, NE_LE FROM PATIENTS"), kPatientOrder};
}

bool isSearchDate(const QString &text)
{
    const QString date = TextRules::trim32(text);
    return date.size() >= 10 && QDate::fromString(date, QStringLiteral("dd/MM/yyyy")).isValid();
}

PatientIdentity reportIdentity(const QString &nom, const QString &prenom, const QString &neLe)
{
    return {NormalizeName(TextRules::upperAZ(nom)), NormalizeName(TextRules::upperAZ(prenom)), neLe};
}

int matchCount(const PatientIdentity &report, const PatientIdentity &row)
{
    int count = 0;
    if (!report.nom.isEmpty() && nameKey(row.nom) == nameKey(report.nom))
        ++count;
    if (!report.prenom.isEmpty() && nameKey(row.prenom) == nameKey(report.prenom))
        ++count;
    if (NameRoutines::IsDateText(report.neLe) && row.neLe == report.neLe)
        ++count;
    return count;
}

QString confirmationQuestion(const PatientIdentity &row, const PatientIdentity &report, int matchCount)
{
    if (matchCount >= 3)
        return {};
    const QString question = QStringLiteral("Êtes-vous sûr de vouloir sélectionner le patient [") + row.prenom + QLatin1Char(' ')
                           + row.nom + QStringLiteral(" né(e) le ") + row.neLe
                           + QStringLiteral("] alors que l'observance reçue indique [") + report.prenom + QLatin1Char(' ')
                           + report.nom + QStringLiteral(" né(e) le ") + report.neLe + QStringLiteral("] ?\n\n");
    if (matchCount == 2)
        return question + QStringLiteral("Attention, cette correction d'identification sera intégrée chez le prestataire !");
    return question
         + QStringLiteral("Cette correction d'identification ne sera pas intégrée chez le prestataire parce qu'il y a trop "
                          "de différences entre les coordonnées.");
}

} // namespace PatientSearch
