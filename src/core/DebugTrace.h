#pragma once

#include <QString>

// The trace boxes of the reception, the import, the identification and the
// remote recording.
namespace DebugTrace {

// A trace box with an OK button, shown only in debug mode.
void show(const QString &text);

} // namespace DebugTrace
