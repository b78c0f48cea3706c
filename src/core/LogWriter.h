#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The program's trace file beside the program ("Obsidra.log"): each entry is
// opened, appended and closed at once. Writing never throws: a file that
// cannot be written loses the entry and the caller goes on. Known secrets
// (passwords, access codes) are masked before anything reaches the file,
// wherever they stand as a word of their own; the same characters inside
// other words or numbers are left alone.
class LogWriter
{
public:
    // Appends one entry to the program's log file.
    static void write(const QString &message);
    // Appends one entry to the given file; false when nothing was written.
    static bool writeTo(const QString &fileName, const QString &message, const QDateTime &when);

    // The two lines of an entry, CR LF ended, before encoding.
    static QString entry(const QString &message, const QDateTime &when);

    // A text never to be written as it stands (empty texts are ignored).
    static void addSecret(const QString &secret);
    static void clearSecrets();
    static QString masked(const QString &message);
};
