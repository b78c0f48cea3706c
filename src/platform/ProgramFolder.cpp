#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {

QString withOneSlash(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

} // namespace

QString ProgramFolder::path()
{
    const QString home = qEnvironmentVariable("TOLVARENIX_HOME");
    if (!home.isEmpty()) {
        QDir().mkpath(home);
        return withOneSlash(QFileInfo(home).absoluteFilePath());
    }
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && ::access(QFile::encodeName(exeDir).constData(), W_OK) == 0)
        return withOneSlash(exeDir);
    const QString fallback = QDir::homePath() + QStringLiteral("/.local/share/Tolvarenix Light");
    // The program's own folder (its log names patients): the user's alone
    // from its creation. A folder given by the user is left as it is.
    if (!QFileInfo(fallback).isDir() && QDir().mkpath(fallback))
        QFile::setPermissions(fallback, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return withOneSlash(fallback);
}

QString ProgramFolder::programFile()
{
    const QString file = QCoreApplication::applicationFilePath();
    return file.isEmpty() ? path() + QLatin1String(kProgramName) : file;
}

QString ProgramFolder::besideProgram(const QString &extension)
{
    return path() + QLatin1String(kProgramName) + extension;
}
