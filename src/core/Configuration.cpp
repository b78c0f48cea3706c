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
    // The folders of patient data (tables, documents, received reports and
    // messages) are the user's alone, also when an earlier version opened them.
    KeepFolderPrivate(Globals::BaseFolder);
    KeepFolderPrivate(Globals::BaseFolder + QStringLiteral("Docs"));

    DeleteFileIfExists(Globals::BaseFolder + QStringLiteral("PARADOX.LCK"));
    DeleteFileIfExists(Globals::BaseFolder + QStringLiteral("PDOXUSRS.LCK"));

    Globals::ProcessedFiles.clear();

    Globals::ImportFolder = folder + QStringLiteral("ForImportation");
    KeepFolderPrivate(Globals::ImportFolder);
    Globals::ImportFolder = AddBackslash(Globals::ImportFolder);
    KeepFolderPrivate(ReportName::attachmentsRoot());
    // Made when the reception first needs them.
    KeepFolderPrivate(folder + QStringLiteral("Emails"), false);
    KeepFolderPrivate(folder + QStringLiteral("Received"), false);

    Globals::ImportsFolder = Globals::BaseFolder + QStringLiteral("Imports");
    KeepFolderPrivate(Globals::ImportsFolder);
    Globals::ImportsFolder = AddBackslash(Globals::ImportsFolder);

    Globals::ForeignDecimalSeparator = foreignDecimalSeparator(DecimalSeparator::system());

    DeleteFileIfExists(ProgramFolder::logFile());
}

} // namespace Configuration
