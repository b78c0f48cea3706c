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
        const QDir dir(folder);
        for (const QString &file : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (file.compare(name, Qt::CaseInsensitive) == 0 && !QFileInfo(dir.filePath(file)).isSymLink())
                files << dir.filePath(file);
    };
    collect(root);
    for (const QString &folder : QDir(root).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        if (isSetAsideFolder(folder))
            collect(root + folder);
    // One file alone is not compared with itself (it would be read twice).
    const bool different = files.size() > 1
                        && std::any_of(std::next(files.cbegin()), files.cend(),
                                       [&files](const QString &file) { return !SameFileContent(files.first(), file); });
    return different ? files : QStringList();
}

} // namespace WaitingDocuments
