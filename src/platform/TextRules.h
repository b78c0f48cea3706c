#pragma once

#include <QString>

// The two text rules the whole program shares: upper-casing changes only the
// letters a to z, trimming removes the characters of code 32 and below at
// both ends.
namespace TextRules {

QString upperAZ(const QString &text);
// The same for one character.
char16_t upperAZ(QChar c);
QString trim32(const QString &text);

// The same rules on a view, for the tests a line goes through on every read:
// no copy is made.
QStringView trim32View(QStringView text);
// upperAZ(text) == upper, upper being upper-cased already.
bool equalsUpperAZ(QStringView text, QLatin1StringView upper);
// upperAZ(text).contains(upper), upper being upper-cased already.
bool containsUpperAZ(QStringView text, QLatin1StringView upper);

// The longest a file name may be in bytes (UTF-8) on the file systems used.
inline constexpr int kMaxFileNameBytes = 255;

// A file name cut to fit maxBytes of UTF-8: the end of its base name goes,
// its extension (from the last dot) stays, and no character is split.
QString fitFileName(const QString &name, int maxBytes = kMaxFileNameBytes);

} // namespace TextRules
