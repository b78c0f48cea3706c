#include "DebugTrace.h"

#include "Dialogs.h"
#include "Globals.h"

namespace DebugTrace {

void show(const QString &text)
{
    if (Globals::DebugMode)
        Dialogs::instance().information(text);
}

} // namespace DebugTrace
