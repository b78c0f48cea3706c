#include "reception/ImportHousekeeping.h"

#include "core/Common.h"
#include "core/Globals.h"
#include "core/LogWriter.h"
#include "core/ReportName.h"
#include "platform/Dialogs.h"
#include "reception/MessageFilePlan.h"
#include "reception/VerifiedCopy.h"
#include "reception/WaitingDocuments.h"

#include <QDir>
#include <QSet>
#include <QStringList>

namespace ImportHousekeeping {

bool keepDeclinedCopy(const QString &path)
{
    const QString target = ReportName::setAsideTarget(path);
    QString error;
    const bool kept = CopyFileVerified(path, target, &error);
    LogWriter::write(kept ? QStringLiteral("Fichier refusé [") + path + QStringLiteral("] conservé sous [") + target + u']'
                          : QStringLiteral("Fichier refusé [") + path + QStringLiteral("] : copie impossible vers [")
                                + target + QStringLiteral("] (") + error + QStringLiteral("), il reste en attente."));
    return kept;
}

QStringList setLeftFoldersAside()
{
    QSet<QString> owned;
    for (const QString &name : QDir(Globals::ImportFolder).entryList(QDir::Files | QDir::Hidden))
        owned.insert(ReportName::attachmentsFolder(ReportName::withoutSetAsideSuffix(name)));
    const QString root = ReportName::attachmentsRoot();
    QStringList kept;
    for (const QString &name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                                                    QDir::Name)) {
        const QString folder = root + name + u'/';
        if (owned.contains(folder) || ReportName::withoutSetAsideSuffix(name) != name)
            continue;
        for (const QString &file : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (MessageFilePlan::isSystemLeftover(file))
                DeleteFileIfExists(folder + file);
        if (QDir().rmdir(folder))
            continue;
        const QString target = ReportName::setLeftFolderAside(folder);
        kept << (target.isEmpty() ? folder : target);
    }
    return kept;
}

void tellUnregistered(const QStringList &kept, const QList<ContestedDocument> &contested)
{
    if (kept.isEmpty() && contested.isEmpty())
        return;
    const QChar cr(13);
    QString text = QStringLiteral("Des documents reçus n'ont été enregistrés pour aucun patient.");
    for (const ContestedDocument &document : contested) {
        const QStringList files = WaitingDocuments::contested(ReportName::attachmentsRoot(), document.name);
        text += cr + QStringLiteral("Le rapport [") + document.report + QStringLiteral("] de ") + document.patient
              + QStringLiteral(" nomme [") + document.name
              + QStringLiteral("], nom sous lequel plusieurs fichiers différents ont été reçus :") + cr
              + files.join(cr);
    }
    if (!kept.isEmpty())
        text += (contested.isEmpty() ? QStringLiteral(" Ils sont conservés dans :")
                                     : cr + QStringLiteral("Documents mis de côté dans :"))
              + cr + kept.join(cr);
    Dialogs::instance().warning(text);
}

} // namespace ImportHousekeeping
