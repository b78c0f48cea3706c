#pragma once

#include <QString>

// The names of the providers' report files, shared by the reception, the
// import, the identification and the remote recording.
namespace ReportName {

// Name prefix of the providers' report files.
inline constexpr char kReportPrefix[] = "KORVA_";

// True for a provider's report file name ("KORVA_...").
bool isProviderReport(const QString &fileName);

// Suffix of a report file set aside, by the reception or the import, because
// its name cannot be read: it then no longer matches "*.txt".
inline constexpr char kSetAsideSuffix[] = ".rejete";

// Where a file or folder (path without a final "/") is set aside: the first
// free of "<path>.rejete", "<path>.rejete2", ...
QString setAsideTarget(const QString &path);
// Moves a file or folder there; its new path, or empty when it could not be
// moved.
QString setAside(const QString &path);
// The name without the suffix setAsideTarget adds, if any.
QString withoutSetAsideSuffix(const QString &name);
// Sets aside a documents folder whose report no longer waits, so that it
// blocks no later report of that name, and logs it; as setAside.
QString setLeftFolderAside(const QString &folder);

// The import folder's "Attachments/".
QString attachmentsRoot();

// The folder of the documents that came with a report, shared by the
// transfer and the import: "Attachments/<report without its extension>/".
QString attachmentsFolder(const QString &reportFileName);
// The same, relative to the import folder.
QString documentsFolderName(const QString &reportFileName);

} // namespace ReportName
