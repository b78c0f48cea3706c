#pragma once

#include <QString>

// Shared by the reception, the import, the identification and the remote
// recording.
namespace DebugTrace {

// Name prefix of the providers' report files.
inline constexpr char kReportPrefix[] = "KORVA_";

// A trace box with an OK button, shown only in debug mode.
void show(const QString &text);

// True for a provider's report file name ("KORVA_...").
bool isProviderReport(const QString &fileName);

} // namespace DebugTrace
