#pragma once

#include <QString>

// The two text rules the whole program shares: upper-casing changes only the
// letters a to z, trimming removes the characters of code 32 and below at
// both ends.
namespace TextRules {

QString upperAZ(const QString &text);
QString trim32(const QString &text);

} // namespace TextRules
