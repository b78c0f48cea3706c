#pragma once

#include <QString>

// The names of the providers' report files, shared by the reception, the
// import, the identification and the remote recording.
namespace ReportName {

// Name prefix of the providers' report files.
inline constexpr char kReportPrefix[] = "KORVA_";

// True for a provider's report file name ("KORVA_...").
bool isProviderReport(const QString &fileName);

} // namespace ReportName
