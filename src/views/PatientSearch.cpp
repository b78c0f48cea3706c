#include "views/PatientSearch.h"

#include "core/Common.h"
#include "core/NameDateRoutines.h"
#include "platform/LocalTables.h"
#include "platform/NameFolding.h"
#include "platform/TextRules.h"

#include <QDate>

#include <algorithm>

namespace PatientSearch {

namespace {

// Patient lists in the order a French reader expects: "Dubois" before
// "DUPONT", "Élodie" among the E; names written alike but for case or
// accents are one name, ordered by first name.
const QString kPatientOrder = QStringLiteral(
    "ORDER BY FOLDED(NOM), FOLDED(PRENOM), NOM COLLATE FRENCH, PRENOM COLLATE FRENCH, NE_LE");

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
        c.nom = {PatientCondition::Kind::Prefix, NameFolding::folded(input.nom)};
        c.params.insert(QStringLiteral("nom"), c.nom.value + QLatin1Char('%'));
    }
    if (!input.prenom.isEmpty()) {
        c.firstNameLine = (c.nameLine.isEmpty() ? QString() : QStringLiteral("and"))
                        + QStringLiteral("  FOLDED(PRENOM) like :prenom");
        c.prenom = {PatientCondition::Kind::Prefix, NameFolding::folded(input.prenom)};
        c.params.insert(QStringLiteral("prenom"), c.prenom.value + QLatin1Char('%'));
    }
    if (input.withBirthday) {
        c.birthDateLine = (input.nom.isEmpty() && input.prenom.isEmpty() ? QString() : QStringLiteral(" and  "))
                        + QStringLiteral("NE_LE like :ne_le");
        c.neLe = {PatientCondition::Kind::Prefix, input.neLe};
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
        c.nom = {PatientCondition::Kind::Equal, NameFolding::folded(input.nom)};
        c.params.insert(QStringLiteral("nom"), c.nom.value);
    }
    if (!input.prenom.isEmpty()) {
        c.firstNameLine = (c.nameLine.isEmpty() ? QString() : QStringLiteral("and "))
                        + QStringLiteral("FOLDED(PRENOM) = :prenom");
        c.prenom = {PatientCondition::Kind::Equal, NameFolding::folded(input.prenom)};
        c.params.insert(QStringLiteral("prenom"), c.prenom.value);
    }
    if (!input.neLe.isEmpty()) {
        c.birthDateLine = (c.nameLine.isEmpty() && c.firstNameLine.isEmpty() ? QString() : QStringLiteral("and "))
                        + QStringLiteral("NE_LE = :ne_le");
        c.neLe = {PatientCondition::Kind::Equal, input.neLe};
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

namespace {

// The engine's LIKE 'prefix%' on a text: letters a to z equal to their
// capitals, every other character only to itself.
bool likePrefix(const QString &text, const QString &prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        const char16_t a = text.at(i).unicode(), b = prefix.at(i).unicode();
        if (a != b && (a >= 128 || b >= 128 || TextRules::upperAZ(text.at(i)) != TextRules::upperAZ(prefix.at(i))))
            return false;
    }
    return true;
}

bool holds(const std::optional<QString> &value, const PatientCondition &condition)
{
    switch (condition.kind) {
    case PatientCondition::Kind::None: return true;
    case PatientCondition::Kind::Prefix: return value && likePrefix(*value, condition.value);
    case PatientCondition::Kind::Equal: return value && *value == condition.value;
    }
    return false;
}

// A pattern whose meaning the engine gives otherwise than a plain prefix:
// wildcards, or a length near the one it refuses.
bool engineOnly(const PatientCondition &condition)
{
    return condition.kind == PatientCondition::Kind::Prefix
        && (condition.value.contains(u'%') || condition.value.contains(u'_') || condition.value.size() > 1000);
}

std::optional<QString> textOrNull(const QVariant &stored)
{
    return stored.isNull() ? std::nullopt : std::optional<QString>(stored.toString());
}

} // namespace

PatientNameIndex PatientNameIndex::read(const QString &folder)
{
    LocalQuery query;
    query.setDatabaseName(folder);
    // The folded forms come from the very function the patient query applies.
    query.setSql({QStringLiteral("SELECT PATIENTS_ID, NOM, PRENOM, NE_LE, FOLDED(NOM), FOLDED(PRENOM) FROM PATIENTS")});
    query.open();
    PatientNameIndex index;
    const int count = query.recordCount();
    index.m_entries.reserve(count);
    for (int row = 0; row < count; ++row) {
        Entry entry;
        entry.row.id = query.value(row, 0).toInt();
        entry.row.identity = {query.displayText(row, 1), query.displayText(row, 2), query.displayText(row, 3)};
        entry.neLe = textOrNull(query.storedValue(row, 3));
        entry.nom = textOrNull(query.storedValue(row, 4));
        entry.prenom = textOrNull(query.storedValue(row, 5));
        index.m_entries << entry;
        if (entry.nom)
            index.m_byNom << row;
        if (entry.prenom)
            index.m_byPrenom << row;
    }
    const auto sortBy = [&index](QVector<int> &positions, std::optional<QString> Entry::*name) {
        std::sort(positions.begin(), positions.end(),
                  [&](int a, int b) { return *(index.m_entries.at(a).*name) < *(index.m_entries.at(b).*name); });
    };
    sortBy(index.m_byNom, &Entry::nom);
    sortBy(index.m_byPrenom, &Entry::prenom);
    return index;
}

bool PatientNameIndex::matches(const Entry &entry, const PatientSearchCriteria &criteria) const
{
    return holds(entry.nom, criteria.nom) && holds(entry.prenom, criteria.prenom) && holds(entry.neLe, criteria.neLe);
}

std::optional<QVector<PatientRow>> PatientNameIndex::find(const PatientSearchCriteria &criteria) const
{
    QVector<PatientRow> rows;
    if (criteria.allPatients) {
        for (const Entry &entry : m_entries)
            rows << entry.row;
        return rows;
    }
    if (engineOnly(criteria.nom) || engineOnly(criteria.prenom) || engineOnly(criteria.neLe))
        return std::nullopt;

    // Folded names hold no letter a to z, so the names that start with the
    // folded text (or equal it) are one run of the sorted list.
    const QVector<int> *sorted = nullptr;
    std::optional<QString> Entry::*name = nullptr;
    const PatientCondition *key = nullptr;
    if (criteria.nom.kind != PatientCondition::Kind::None)
        sorted = &m_byNom, name = &Entry::nom, key = &criteria.nom;
    else if (criteria.prenom.kind != PatientCondition::Kind::None)
        sorted = &m_byPrenom, name = &Entry::prenom, key = &criteria.prenom;
    if (!sorted) {
        for (const Entry &entry : m_entries)
            if (matches(entry, criteria))
                rows << entry.row;
        return rows;
    }
    auto it = std::lower_bound(sorted->cbegin(), sorted->cend(), key->value,
                               [&](int position, const QString &value) { return *(m_entries.at(position).*name) < value; });
    for (; it != sorted->cend(); ++it) {
        const Entry &entry = m_entries.at(*it);
        if (!(entry.*name)->startsWith(key->value))
            break;
        if (matches(entry, criteria))
            rows << entry.row;
    }
    return rows;
}
