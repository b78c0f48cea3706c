#include "views/NewPatientRules.h"

#include "platform/LocalTables.h"
#include "core/NameDateRoutines.h"
#include "platform/TextRules.h"
#include "platform/Windows1252.h"

#include <QDate>

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

QString quotedChar(QChar c)
{
    return QLatin1Char('"') + QString(c) + QLatin1Char('"');
}

QString trimRight(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).unicode() <= 32)
        --end;
    return text.left(end);
}

// The message of a faulty name or first name; empty when none.
QString nameError(const QString &name, bool firstName)
{
    NameFault kind = NameFault::None;
    int position = 0;
    if (CheckPatientName(name, &kind, &position))
        return {};
    const QChar c = name.at(position - 1);
    if (kind == NameFault::FirstChar)
        return (firstName ? QStringLiteral("Le prénom doit commencer par une lettre. Le caractère ")
                          : QStringLiteral("Le nom doit commencer par une lettre. Le caractère "))
             + quotedChar(c) + QStringLiteral(" est inadmissible.");
    return (firstName ? QStringLiteral("Le prénom peut comprendre les lettres, l'espace et le tiret. Le nom patronymique ")
                      : QStringLiteral("Le nom peut comprendre les lettres, l'espace et le tiret. Le nom "))
         + quotedChar(c) + QStringLiteral(" est inadmissible.");
}

} // namespace

bool IsNameFirstChar(QChar c)
{
    const unsigned char b = Windows1252::encodeChar(c);
    return (b >= 65 && b <= 122) || b >= 128;
}

bool IsNameChar(QChar c)
{
    const unsigned char b = Windows1252::encodeChar(c);
    return b == ' ' || b == '\'' || b == '-' || (b >= 48 && b <= 122) || b >= 128;
}

bool CheckPatientName(const QString &name, NameFault *kind, int *position)
{
    *kind = NameFault::None;
    *position = 0;
    if (name.isEmpty())
        return true;
    if (!IsNameFirstChar(name.at(0))) {
        *kind = NameFault::FirstChar;
        *position = 1;
        return false;
    }
    for (qsizetype i = 1; i < name.size(); ++i) {
        if (!IsNameChar(name.at(i))) {
            *kind = NameFault::OtherChar;
            *position = int(i) + 1;
            return false;
        }
    }
    return true;
}

namespace NewPatientRules {

QString validationError(const NewPatientInput &input)
{
    const QString nom = trimRight(input.nom);
    if (nom.isEmpty())
        return QStringLiteral("Vous devez saisir le nom du patient.");
    if (QString error = nameError(nom, false); !error.isEmpty())
        return error;
    if (input.prenom.isEmpty())
        return QStringLiteral("Vous devez saisir le prénom du patient.");
    if (QString error = nameError(input.prenom, true); !error.isEmpty())
        return error;
    // A complete date that names no day of the calendar would be stored as
    // the patient's birth date and break every later comparison.
    const QString neLe = storedBirthDate(input.neLe);
    if (!neLe.isEmpty() && !QDate::fromString(neLe, kDateFormat).isValid())
        return QStringLiteral("La date de naissance ") + QLatin1Char('"') + neLe + QLatin1Char('"')
             + QStringLiteral(" n'est pas une date valide.");
    return {};
}

QString storedBirthDate(const QString &neLe)
{
    return NameRoutines::IsDateText(neLe) ? neLe : QString();
}

int appendPatient(LocalTable &patients, const NewPatientInput &input)
{
    try {
        patients.append();
        patients.field(QStringLiteral("NOM")).setAsString(NameRoutines::CapitalizeName(input.nom));
        patients.field(QStringLiteral("PRENOM")).setAsString(NameRoutines::CapitalizeName(input.prenom));
        const QString neLe = storedBirthDate(input.neLe);
        if (!neLe.isEmpty())
            patients.field(QStringLiteral("NE_LE")).setAsString(neLe);
        patients.post();
    } catch (...) {
        // A record left pending would be written by the table's next post,
        // or block its next append.
        if (patients.state() == LocalDataSet::State::Insert)
            patients.cancel();
        throw;
    }
    return patients.field(QStringLiteral("PATIENTS_ID")).asInteger();
}

} // namespace NewPatientRules
