#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Where each file of a received message goes in the import folder, decided
// from what the message holds and what the import folder holds, without
// touching either: the reception reads both, asks, then carries the plan out.
//
// Each report goes into the import folder, with the documents its PJ lines
// name in a folder of its own (from its own archive first, a name matching
// whatever its case, an exact match first). What no report names is set
// aside in a folder of its own, shown to the physician once the import is
// done; a message without any report leaves its files in "Attachments/",
// where a later report finds them. System leftovers no report names
// (".DS_Store", "._*", "__MACOSX/", "Thumbs.db", "desktop.ini") go with the
// message.
namespace MessageFilePlan {

// A file of the message.
struct File {
    QString name;          // bare name
    QString path;          // where it lies; the plan only gives it back
    int source = 0;        // 0: an attachment, n: the n-th archive, -1: a report set aside for its name
    QByteArray content;    // stands for its bytes: equal for equal bytes
    QStringList documents; // a report's PJ names
};

// What the import folder holds that decides where the files go; paths
// relative to it, folders ending with "/".
struct ImportFolder {
    QHash<QString, QByteArray> files; // each with its content, as File::content, where it matters (a link's equals none)
    QSet<QString> folders;
    QStringList processed; // reports moved into it during this run of the program
    // Whether a file or a folder holds that path, with or without its "/".
    bool taken(const QString &path) const;
};

enum class Fate {
    Report,       // into the import folder
    Document,     // into a report's documents folder
    Waits,        // into "Attachments/", for a later report
    AlreadyThere, // the same bytes are there already: nothing to write
    SetAside,     // into a folder shown to the physician
    Dropped,      // a system leftover
};

enum class Why { None, NamedByNoReport, NameTwiceInMessage, NameTaken, Replaced, UnreadableReportName };

struct Destination {
    QString source; // File::path, or for Why::Replaced the older file's place in the import folder
    QString target; // relative to the import folder; empty when nothing is written
    Fate fate = Fate::Dropped;
    Why why = Why::None;
};

enum class Refusal {
    None,
    SeveralFilesNamed, // a name that designates two different files: no reception can place it
    ReportWaiting,     // a report of that name still waits for import
};

struct Plan {
    QList<Destination> files;    // one for each file of the message
    // Older files of "Attachments/" set aside for newer ones of their name,
    // and what held the name of a report's documents folder; each moved once
    // the folder it goes into is made.
    QList<Destination> replaced;
    QStringList folders; // created before anything is written
    Refusal refusal = Refusal::None;
    QString refused; // the name refused
};

Plan make(const QList<File> &message, const ImportFolder &importFolder);

// True for the files that operating systems leave in folders and archives.
bool isSystemLeftover(const QString &path);

} // namespace MessageFilePlan
