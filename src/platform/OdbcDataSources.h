#pragma once

#include <QString>
#include <QStringList>

// The user's ODBC data sources (unixODBC's user odbc.ini: $ODBCINI, else
// ~/.odbc.ini), read and written through the unixODBC installer library.
// A section is one data source; the section "ODBC Data Sources" lists each
// data source with the name of its driver. Every call reads or writes the
// file at once. Failures return false and leave the reason in lastError().
class OdbcDataSources
{
public:
    static constexpr char kSourcesSection[] = "ODBC Data Sources";

    static bool sectionExists(const QString &section);
    static bool hasValue(const QString &section, const QString &key);
    static QString value(const QString &section, const QString &key);

    static bool writeValue(const QString &section, const QString &key, const QString &value);
    static bool removeValue(const QString &section, const QString &key);
    // Removes the section with all its values.
    static bool removeSection(const QString &section);

    // The file the user data sources live in.
    static QString userFile();
    static QString lastError();
};
