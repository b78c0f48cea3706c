#include "core/ReportName.h"

namespace ReportName {

bool isProviderReport(const QString &fileName)
{
    return fileName.startsWith(QLatin1String(kReportPrefix));
}

} // namespace ReportName
