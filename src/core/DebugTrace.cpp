#include "DebugTrace.h"

#include "Dialogs.h"
#include "Globals.h"

namespace DebugTrace {

void show(const QString &text)
{
    if (Globals::DebugMode)
        Dialogs::instance().information(text);
}

bool isProviderReport(const QString &fileName)
{
    return fileName.startsWith(QLatin1String(kReportPrefix));
}

} // namespace DebugTrace
