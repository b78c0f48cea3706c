#include "reception/WaitingDocuments.h"

#include "core/Common.h"
#include "core/ReportName.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace WaitingDocuments {

bool isSetAsideFolder(const QString &folderName)
{
    static const QRegularExpression pattern(QStringLiteral("^(%1|%2)[0-9]*$").arg(QLatin1String(kReplaced),
                                                                                 QLatin1String(kSharedName)));
    return pattern.match(ReportName::withoutSetAsideSuffix(folderName)).hasMatch();
}

QStringList contested(const QString &root, const QString &name)
{
    QStringList files;
    const auto collect = [&](const QString &folder) {
        for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
            if (!entry.isSymLink() && entry.fileName().compare(name, Qt::CaseInsensitive) == 0)
                files << entry.filePath();
    };
    collect(root);
    for (const QString &folder : QDir(root).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        if (isSetAsideFolder(folder))
            collect(root + folder);
    const bool different = std::any_of(files.cbegin(), files.cend(),
                                       [&files](const QString &file) { return !SameFileContent(files.first(), file); });
    return different ? files : QStringList();
}

} // namespace WaitingDocuments
