#include "core/DebugTrace.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"

namespace DebugTrace {

void show(const QString &text)
{
    if (Globals::DebugMode)
        Dialogs::instance().information(text);
}

} // namespace DebugTrace
