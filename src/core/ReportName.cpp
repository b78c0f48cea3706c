#include "core/ReportName.h"

#include "core/Globals.h"

#include <QFileInfo>

namespace ReportName {

bool isProviderReport(const QString &fileName)
{
    return fileName.startsWith(QLatin1String(kReportPrefix));
}

QString setAsideTarget(const QString &path)
{
    QString target = path + QLatin1String(kSetAsideSuffix);
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = path + QLatin1String(kSetAsideSuffix) + QString::number(n);
    return target;
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
