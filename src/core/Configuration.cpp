#include "core/Configuration.h"

#include "core/Common.h"
#include "platform/DecimalSeparator.h"
#include "core/Globals.h"
#include "core/ReportName.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Configuration {

bool readDebugMode(const QString &iniFile)
{
    return IniFile(iniFile).readInteger(QStringLiteral("Main"), QStringLiteral("DebugMode"), 0) != 0;
}

QString foreignDecimalSeparator(QChar systemSeparator)
{
    if (systemSeparator == u',')
        return QStringLiteral(".");
    if (systemSeparator == u'.')
        return QStringLiteral(",");
    return {};
}

QString baseFolder()
{
    return AddBackslash(ProgramFolder::path() + QStringLiteral("Base"));
}

void prepare()
{
    const QString folder = ProgramFolder::path();
    Globals::DebugMode = readDebugMode(ProgramFolder::configurationFile());

    Globals::BaseFolder = baseFolder();
    Globals::RemoteDatabaseName = QLatin1String(kRemoteDatabaseName);
    QDir().mkpath(Globals::BaseFolder);
    // The tables hold the patients and the mail password: the user's alone.
    QFile::setPermissions(Globals::BaseFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(Globals::BaseFolder + QStringLiteral("Docs"));

    DeleteFileIfExists(Globals::BaseFolder + QStringLiteral("PARADOX.LCK"));
    DeleteFileIfExists(Globals::BaseFolder + QStringLiteral("PDOXUSRS.LCK"));

    Globals::ProcessedFiles.clear();

    Globals::ImportFolder = folder + QStringLiteral("ForImportation");
    QDir().mkpath(Globals::ImportFolder);
    Globals::ImportFolder = AddBackslash(Globals::ImportFolder);
    QDir().mkpath(ReportName::attachmentsRoot());

    Globals::ImportsFolder = Globals::BaseFolder + QStringLiteral("Imports");
    if (!QFileInfo(Globals::ImportsFolder).isDir())
        QDir().mkpath(Globals::ImportsFolder);
    Globals::ImportsFolder = AddBackslash(Globals::ImportsFolder);

    Globals::ForeignDecimalSeparator = foreignDecimalSeparator(DecimalSeparator::system());

    DeleteFileIfExists(ProgramFolder::logFile());
}

} // namespace Configuration
