#include "core/ReportName.h"

#include "core/Globals.h"

#include <QFileInfo>

namespace ReportName {

bool isProviderReport(const QString &fileName)
{
    return fileName.startsWith(QLatin1String(kReportPrefix));
}

QString attachmentsRoot()
{
    return Globals::ImportFolder + QStringLiteral("Attachments/");
}

QString attachmentsFolder(const QString &reportFileName)
{
    return attachmentsRoot() + QFileInfo(reportFileName).completeBaseName() + u'/';
}

} // namespace ReportName
