#pragma once

#include <QString>

class LocalTable;

// The writing rules of patients' names and the checks of the new-patient
// dialog. Characters are judged by their byte in the Windows-1252 code page.

// Capital and small letters, the signs between them and every byte from 128.
bool IsNameFirstChar(QChar c);
// The above, plus the space, the apostrophe, the hyphen, digits and ":" to "@".
bool IsNameChar(QChar c);

enum class NameFault { None = 0, FirstChar = 1, OtherChar = 2 };

// True when the name follows the rules (an empty name does). Otherwise kind
// and position (1-based) of the first faulty character.
bool CheckPatientName(const QString &name, NameFault *kind, int *position);

// The identity typed in the new-patient dialog.
struct NewPatientInput
{
    QString nom;       // as typed
    QString prenom;    // as typed
    QString neLe;      // birth date as shown by the mask, blanks for empty positions
};

namespace NewPatientRules {

// The message that refuses the typed identity, or an empty text when the
// dialog may close.
QString validationError(const NewPatientInput &input);

// The birth date that is stored: the text when it holds only digits and "/",
// otherwise nothing.
QString storedBirthDate(const QString &neLe);

// Appends the patient to the patient table (names capitalised) and returns
// its PATIENTS_ID; the table is left on the new record. A failure cancels the
// pending record and passes the engine's error on.
int appendPatient(LocalTable &patients, const NewPatientInput &input);

} // namespace NewPatientRules
