#include "core/DebugTrace.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"

namespace DebugTrace {

bool enabled()
{
    return Globals::DebugMode;
}

void show(const QString &text)
{
    if (enabled())
        Dialogs::instance().information(text);
}

} // namespace DebugTrace
