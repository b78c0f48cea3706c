#pragma once

#include <QChar>
#include <QString>

// The start-up stretch that reads the configuration file's section "Main",
// derives the data folders from the program folder and creates them, clears
// the leftovers of an earlier run and sets the program-wide values.
namespace Configuration {

inline constexpr char kRemoteDatabaseName[] = "TolvarenixMySQLDB";

// DebugMode of section "Main": any non-zero whole number is true.
bool readDebugMode(const QString &iniFile);

// "." for a "," system separator, "," for ".", empty otherwise.
QString foreignDecimalSeparator(QChar systemSeparator);

// The folder of the local tables, with its trailing separator.
QString baseFolder();

// Runs the whole stretch for the program folder.
void prepare();

} // namespace Configuration
