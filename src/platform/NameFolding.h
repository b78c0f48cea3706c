#pragma once

#include <QString>

struct sqlite3;

// Names of patients compared and sorted as a French reader does: letter case
// and accents ignored ("Dupré" = "DUPRE", "œ" = "OE"). Only for comparing:
// stored names are never changed.
namespace NameFolding {

// The comparison form: letters without accents, in capitals; other
// characters unchanged.
QString folded(const QString &text);
// French order: the folded forms first, then the texts themselves, so that
// the order is the same on every run.
int compare(const QString &a, const QString &b);

// The SQL names under which a local connection offers them.
inline constexpr const char *kSqlFunction = "FOLDED";
inline constexpr const char *kSqlCollation = "FRENCH";
// Registers FOLDED(text) and COLLATE FRENCH on an engine handle; false when
// the engine refuses.
bool registerOn(sqlite3 *db);

} // namespace NameFolding
