#pragma once

#include <QString>
#include <QStringList>

// The import folder's "Attachments/", where the files of messages without
// report wait for the report that names them, beside the folders where
// older files of one name were set aside.
namespace WaitingDocuments {

// The folders the transfer sets files of "Attachments/" aside in: older
// files a newer one of their name replaced, files of one message sharing a
// name.
inline constexpr char kReplaced[] = "remplaces";
inline constexpr char kSharedName[] = "non_nommes";

// True for the name of such a folder, numbered ("remplaces2") or as the
// import shows it ("remplaces.rejete").
bool isSetAsideFolder(const QString &folderName);

// The files received under that name, whatever its case, kept in the
// attachments folder root: waiting there or set aside in its set-aside
// folders; links are not received files and never compared. Empty unless
// they hold different bytes: no report can then tell which one it names.
QStringList contested(const QString &root, const QString &name);

} // namespace WaitingDocuments
