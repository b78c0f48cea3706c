#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Shared file, folder and shell routines. Paths use "/" as separator; a
// folder path with a trailing separator ends with exactly one.
//
// Folder walks (DeleteDirectoryTree, EmptyDirectory, CopyDirectoryTree) skip
// the entries whose name begins with "." unless the caller asks for them
// (DotNames); the copy always skips them. The walks that delete never follow
// a symbolic link: a link is handled as the link itself, never as what it
// points at. The copy takes what a reader of the source sees, links followed.

// The path with the separator appended, unless empty or already ending with one.
QString AddBackslash(const QString &path);

// True when the file is absent or has been deleted; never raises.
bool DeleteFileIfExists(const QString &fileName);

// Keeps a folder of patient data to the user alone (mode 0700), creating it
// with its missing parents when create is set; a symbolic link is left as it
// is. True when the folder exists.
bool KeepFolderPrivate(const QString &folder, bool create = true);

// Whether a walk, or a name check, takes the names that begin with a dot
// (never "." nor "..").
enum class DotNames { Skipped, Included };

// Deletes the folder with everything below it; true when the folder itself
// could be removed.
bool DeleteDirectoryTree(const QString &folder, DotNames dotNames = DotNames::Skipped);

// Deletes everything below the folder and keeps it; always true.
bool EmptyDirectory(const QString &folder, DotNames dotNames = DotNames::Skipped);

// Appends the bare names of the entries matching mask (a folder followed by
// a pattern such as "*.txt"; "*.*" matches every entry; letter case ignored)
// to list, folders included, "." and ".." never; sorted without regard to
// letter case.
void ListFiles(const QString &mask, QStringList &list);
// The same for the entries that are files (or links to one) alone: the
// folder's listing tells most entries' kind without a status call for each.
void ListRegularFiles(const QString &mask, QStringList &list);

// Copies the source tree into destination (created as needed). Without
// overwrite, a file already at the destination stays and counts as copied.
// A destination equal to the source or inside it is refused (false), as is
// a part that cannot be read (a link to nothing); a link back to a folder
// being copied is not walked again.
bool CopyDirectoryTree(const QString &source, const QString &destination, bool overwrite);

// True when the two files can be read and hold the same bytes; otherwise
// error (when given) says why not.
bool SameFileContent(const QString &a, const QString &b, QString *error = nullptr);

// Moves a file onto target in one rename, replacing an older file there
// atomically (it is never deleted first). False when target is a folder or
// the two are not on the same file system.
bool MoveReplacing(const QString &source, const QString &target);

// True when path is folder itself or lies below it (symbolic links of the
// existing part of both paths resolved).
bool IsSameOrBelow(const QString &path, const QString &folder);

// Opens a web link (http or https only) or a file of the program's own folders
// (never an executable) with the desktop's associated program. Nothing is
// reported when nothing opens.
void ShellOpen(const QString &fileName, const QString &parameters, const QString &workingFolder);

// Opens an existing document, or beeps and warns that it is missing.
void OpenDocument(const QString &fullFileName);

// Shows a text file in the read-only viewer, or warns that it is missing.
void OpenInNotepad(const QString &fullFileName);

// Writes a desktop entry "<linkName>.desktop" in the user's desktop folder,
// only when that folder exists and the entry is missing.
void CreateDesktopShortcut(const QString &target, const QString &arguments, const QString &linkName,
                           const QString &description);

// True when an untrusted name (attachment, archive entry, document, module)
// is a bare file name that stays in its folder: not empty, no separator, no
// control character, neither "." nor "..", and no leading dot unless
// dotNames includes them.
bool IsBareFileName(const QString &name, DotNames dotNames = DotNames::Skipped);

// The first free name of a series: candidate(1), the plain name, then
// candidate(2), candidate(3)... until taken() refuses it.
QString FirstFreeName(const std::function<QString(int n)> &candidate, const std::function<bool(const QString &)> &taken);
// "name_2.pdf" for n = 2 of "name.pdf" ("name_2" without extension); the
// name itself for n = 1.
QString NumberedFileName(const QString &name, int n);

// The search key of an upper-case name: listed capitals lose their accent,
// blanks and hyphens are dropped.
QString NormalizeName(const QString &name);

