#pragma once

#include <QString>

#include <concepts>

// The trace boxes of the reception, the import, the identification and the
// remote recording.
namespace DebugTrace {

// True when the trace boxes are shown (debug mode).
bool enabled();

// A trace box with an OK button, shown only in debug mode.
void show(const QString &text);

// The same, its text built only when the box is shown: the import traces
// every report, and debug mode is rarely on.
template <typename MakeText>
    requires std::invocable<MakeText &>
void show(MakeText &&makeText)
{
    if (enabled())
        show(QString(makeText()));
}

} // namespace DebugTrace
