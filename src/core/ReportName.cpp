#include "core/ReportName.h"

#include "core/Common.h"
#include "core/Globals.h"
#include "core/LogWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ReportName {

bool isProviderReport(const QString &fileName)
{
    return fileName.startsWith(QLatin1String(kReportPrefix));
}

QString setAsideTarget(const QString &path)
{
    return FirstFreeName(
        [&path](int n) { return path + QLatin1String(kSetAsideSuffix) + (n > 1 ? QString::number(n) : QString()); },
        [](const QString &target) { return QFileInfo::exists(target) || QFileInfo(target).isSymLink(); });
}

QString setAside(const QString &path)
{
    const QString source = path.endsWith(u'/') ? path.chopped(1) : path;
    const QString target = setAsideTarget(source);
    return QFile::rename(source, target) ? target : QString();
}

QString withoutSetAsideSuffix(const QString &name)
{
    static const QRegularExpression suffix(QRegularExpression::escape(QLatin1String(kSetAsideSuffix))
                                           + QStringLiteral("[0-9]*$"));
    const QRegularExpressionMatch match = suffix.match(name);
    return match.hasMatch() ? name.left(match.capturedStart()) : name;
}

QString setLeftFolderAside(const QString &folder)
{
    const QString target = setAside(folder);
    LogWriter::write(QStringLiteral("Documents reçus [") + folder
                     + (target.isEmpty() ? QStringLiteral("] laissés par un rapport qui n'est plus en attente : "
                                                          "impossible de les mettre de côté.")
                                         : QStringLiteral("] laissés par un rapport qui n'est plus en attente : "
                                                          "conservés dans [")
                                               + target + QStringLiteral("].")));
    return target;
}

QString attachmentsRoot()
{
    return Globals::ImportFolder + QStringLiteral("Attachments/");
}

QString documentsFolderName(const QString &reportFileName)
{
    return QStringLiteral("Attachments/") + QFileInfo(reportFileName).completeBaseName() + u'/';
}

QString attachmentsFolder(const QString &reportFileName)
{
    return Globals::ImportFolder + documentsFolderName(reportFileName);
}

} // namespace ReportName
