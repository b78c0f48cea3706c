#include "reception/MessageFilePlacement.h"

#include "core/Common.h"
#include "core/Globals.h"
#include "core/LogWriter.h"
#include "core/ReportName.h"
#include "platform/Dialogs.h"
#include "reception/ReportDataLine.h"
#include "reception/ReportFile.h"
#include "reception/VerifiedCopy.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace {

constexpr QChar kCR = QChar(13);

using NamedFile = std::pair<QString, QString>; // name or path in the import folder, source path

QString archiveFolderIn(const QString &emailsFolder, int n)
{
    return emailsFolder + QStringLiteral(".archive") + QString::number(n) + u'/';
}

// "name_2.pdf" for the second file named "name.pdf".
QString numberedName(const QString &name, int n)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) + u'_' + QString::number(n) + name.mid(dot) : name + u'_' + QString::number(n);
}

// The name a report set aside takes in the import folder: "<name>.rejete",
// or "<stem>_<n>.<extension>.rejete" when a report set aside earlier (the
// same one sent again, maybe) holds that name or its documents folder.
QString setAsideName(const QString &name)
{
    QString candidate = name;
    for (int n = 2; QFileInfo::exists(Globals::ImportFolder + candidate + QLatin1String(ReportName::kSetAsideSuffix))
                    || QFileInfo::exists(MessageFilePlacement::documentsFolder(candidate));
         ++n)
        candidate = numberedName(name, n);
    return candidate + QLatin1String(ReportName::kSetAsideSuffix);
}

bool takenPath(const QString &path)
{
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

QString alreadyThere(const QString &path)
{
    return QStringLiteral("Le fichier [") + path
         + QStringLiteral("] existe déjà : il ne sera pas remplacé par celui du message.");
}

// The names of the documents a report's PJ lines name, as the import reads
// its data sections.
QStringList documentNames(const QString &report)
{
    QStringList names;
    ReportLineReader reader(report);
    QString line;
    bool dataSection = false;
    while (reader.readLine(line) && !ReportMarkers::isEndOfFile(line)) {
        if (ReportMarkers::isEndOfBlock(line)) {
            dataSection = false;
        } else if (ReportMarkers::isDataSectionStart(line) || dataSection) {
            if (dataSection && ReportMarkers::isDataLine(line)) {
                const DataLineFields fields = SplitDataLine(line);
                if (fields.key == QLatin1String("PJ") && !fields.value.isEmpty())
                    names << fields.value;
            }
            dataSection = true;
        }
    }
    return names;
}

bool sameContent(const QList<MessageFilePlacement::File> &files)
{
    return std::all_of(files.cbegin(), files.cend(), [&files](const MessageFilePlacement::File &file) {
        return file.path == files.first().path || SameFileContent(files.first().path, file.path);
    });
}

// Where each file of the message in the e-mails folder goes.
struct Plan {
    QList<NamedFile> reports; // name in the import folder, source
    QStringList folders;      // the documents folder of each report
    QString unnamedFolder;    // where the files no report names go, when the message has reports
    QList<NamedFile> copies;  // target path, source
    QStringList sources;      // every file of the message, deleted once placed
    QString unplaceable;      // a name that designates two different files
};

Plan makePlan()
{
    using File = MessageFilePlacement::File;
    Plan plan;
    QList<File> others;
    // Each report whose documents are looked for, with its documents folder,
    // and whether that folder is the one of a report already moved in this
    // run (the same report sent again).
    struct Naming {
        File report;
        QString folder;
        bool sentAgain = false;
    };
    QList<Naming> naming;
    const auto unplaceable = [&plan](const QString &name) {
        if (plan.unplaceable.isEmpty())
            plan.unplaceable = name;
    };
    for (const File &file : MessageFilePlacement::filesIn(Globals::EmailsFolder)) {
        plan.sources << file.path;
        if (!ReportName::isProviderReport(file.name)) {
            others << file;
        } else if (Globals::ProcessedFiles.contains(file.name, Qt::CaseInsensitive)) {
            // A report already moved in this run is the same report sent again.
            naming.append({file, MessageFilePlacement::documentsFolder(file.name), true});
        } else if (const auto twin = std::find_if(plan.reports.cbegin(), plan.reports.cend(),
                                                  [&file](const NamedFile &report) {
                                                      return report.first.compare(file.name, Qt::CaseInsensitive) == 0;
                                                  });
                   twin != plan.reports.cend()) {
            if (!SameFileContent(twin->second, file.path))
                unplaceable(file.name);
        } else {
            plan.reports.append({file.name, file.path});
            naming.append({file, MessageFilePlacement::documentsFolder(file.name), false});
        }
    }
    const QDir aside(MessageFilePlacement::setAsideFolder());
    for (const QString &name : aside.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        const QString placed = setAsideName(name);
        plan.reports.append({placed, aside.filePath(name)});
        plan.sources << aside.filePath(name);
        // A report set aside keeps the documents folder of its own name.
        naming.append({File{name, aside.filePath(name), -1},
                       MessageFilePlacement::documentsFolder(ReportName::withoutSetAsideSuffix(placed)), false});
    }

    // A report's document comes from its own archive when that holds one of
    // the name, else from anywhere in the message.
    QSet<QString> named;
    for (const auto &[report, folder, sentAgain] : std::as_const(naming)) {
        if (!sentAgain)
            plan.folders << folder;
        for (const QString &name : documentNames(report.path)) {
            QList<File> candidates;
            for (bool ownSource : {true, false}) {
                for (const File &file : std::as_const(others))
                    if (file.name == name && (!ownSource || file.source == report.source))
                        candidates << file;
                if (!candidates.isEmpty())
                    break;
            }
            if (candidates.isEmpty())
                continue;
            if (!sameContent(candidates)) {
                unplaceable(name);
                continue;
            }
            const NamedFile copy{folder + name, candidates.first().path};
            if (sentAgain) {
                // What the first sending brought stays; what it lacked joins
                // it while it waits. Otherwise the file is set aside below.
                const bool had = QFileInfo(copy.first).isFile() && SameFileContent(copy.first, copy.second);
                if (!had && (takenPath(copy.first) || !QFileInfo(folder).isDir()))
                    continue;
                if (!had && !plan.copies.contains(copy))
                    plan.copies << copy;
            } else if (!plan.copies.contains(copy)) {
                plan.copies << copy;
            }
            for (const File &file : std::as_const(candidates))
                named.insert(file.path);
        }
    }

    // The rest is set aside under names of its own, or, for a message
    // without report, waits under its names for a later report.
    QList<NamedFile> rest;
    for (const File &file : std::as_const(others)) {
        if (named.contains(file.path))
            continue;
        QString name = file.name;
        bool kept = false; // one of the same name and content is there already
        for (int n = 2; !kept; ++n) {
            const auto twin = std::find_if(rest.cbegin(), rest.cend(),
                                           [&name](const NamedFile &other) { return other.first == name; });
            if (twin == rest.cend())
                break;
            kept = SameFileContent(twin->second, file.path);
            if (!kept && naming.isEmpty()) {
                unplaceable(file.name);
                kept = true;
            }
            name = numberedName(file.name, n);
        }
        if (!kept)
            rest.append({name, file.path});
    }
    if (!naming.isEmpty() && !rest.isEmpty()) {
        const QString stem = MessageFilePlacement::documentsFolder(naming.first().report.name).chopped(1)
                           + QStringLiteral("_non_nommes");
        plan.unnamedFolder = stem + u'/';
        for (int n = 2; takenPath(plan.unnamedFolder); ++n)
            plan.unnamedFolder = stem + QString::number(n) + u'/';
    }
    const QString restFolder = naming.isEmpty() ? MessageFilePlacement::sharedFolder() : plan.unnamedFolder;
    for (const auto &[name, source] : std::as_const(rest))
        plan.copies.append({restFolder + name, source});
    return plan;
}

} // namespace

QString MessageFilePlacement::archiveFolder(int n)
{
    return archiveFolderIn(Globals::EmailsFolder, n);
}

QString MessageFilePlacement::setAsideFolder()
{
    return Globals::EmailsFolder + QStringLiteral(".rejete/");
}

void MessageFilePlacement::emptyEmailsFolder()
{
    // The folder itself may be a link of the physician's to another disk: it
    // is what the reception reads and writes, so it is emptied (its
    // entries' links still never followed).
    const QString folder = QFileInfo(Globals::EmailsFolder).canonicalFilePath();
    if (!Globals::EmailsFolder.isEmpty() && !folder.isEmpty())
        EmptyDirectory(folder, DotNames::Included);
}

QList<MessageFilePlacement::File> MessageFilePlacement::filesIn(const QString &emailsFolder)
{
    QList<File> files;
    const QDir top(emailsFolder);
    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;
    // Attachments never begin with a dot: the hidden entries are the program's.
    for (const QString &name : top.entryList(QDir::Files | QDir::System | QDir::NoSymLinks, order))
        files.append({name, top.filePath(name), 0});
    static const QRegularExpression archive(QStringLiteral("^\\.archive([0-9]+)$"));
    for (const QString &folder :
         top.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, order)) {
        const QRegularExpressionMatch match = archive.match(folder);
        if (!match.hasMatch())
            continue;
        const int source = match.captured(1).toInt();
        QList<File> below;
        QDirIterator it(archiveFolderIn(emailsFolder, source), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            if (!it.fileInfo().isSymLink())
                below.append({it.fileName(), it.filePath(), source});
        }
        std::sort(below.begin(), below.end(),
                  [](const File &a, const File &b) { return a.path.compare(b.path, Qt::CaseInsensitive) < 0; });
        files << below;
    }
    return files;
}

QList<MessageFilePlacement::File> MessageFilePlacement::reportsIn(const QString &emailsFolder)
{
    QList<File> reports = filesIn(emailsFolder);
    reports.removeIf([](const File &file) { return !ReportName::isProviderReport(file.name); });
    return reports;
}

QString MessageFilePlacement::documentsFolder(const QString &reportName)
{
    return ReportName::attachmentsFolder(reportName);
}

QString MessageFilePlacement::sharedFolder()
{
    return ReportName::attachmentsRoot();
}

QString MessageFilePlacement::cannotBePlaced()
{
    const QString name = makePlan().unplaceable;
    return name.isEmpty() ? QString() : severalFilesNamed(name);
}

QString MessageFilePlacement::severalFilesNamed(const QString &name)
{
    return QStringLiteral("Le message contient plusieurs fichiers nommés [") + name
         + QStringLiteral("] : ils ne peuvent pas être placés côte à côte pour l'importation.");
}

MessageFilePlacement::Transfer MessageFilePlacement::place()
{
    Transfer transfer;
    if (Globals::ImportFolder.isEmpty()) {
        transfer.failure = QStringLiteral("Le dossier d'importation n'est pas défini.");
        return transfer;
    }
    QDir().mkpath(sharedFolder());
    const Plan plan = makePlan();
    if (plan.reports.isEmpty() && plan.copies.isEmpty() && plan.unplaceable.isEmpty())
        return transfer;
    const auto fail = [&](const QString &why) {
        transfer.failure = why;
        LogWriter::write(why);
        withdraw(transfer);
        transfer.written.clear();
        transfer.folders.clear();
        transfer.reports.clear();
        return transfer;
    };
    if (!plan.unplaceable.isEmpty())
        return fail(severalFilesNamed(plan.unplaceable));
    for (const auto &[report, source] : plan.reports) {
        if (QFileInfo::exists(Globals::ImportFolder + report))
            return fail(alreadyThere(Globals::ImportFolder + report));
    }
    // A report gets its folder even without documents: the import then
    // knows that none of them lies anywhere else.
    for (const QString &folder : plan.folders) {
        // Its report no longer waits (see above): left by an earlier one.
        if (takenPath(folder) && ReportName::setLeftFolderAside(folder).isEmpty())
            return fail(alreadyThere(folder));
        if (!QDir().mkdir(folder))
            return fail(QStringLiteral("Impossible de créer le dossier [") + folder + u']');
        transfer.folders << folder;
    }
    if (!plan.unnamedFolder.isEmpty()) {
        if (!QDir().mkdir(plan.unnamedFolder))
            return fail(QStringLiteral("Impossible de créer le dossier [") + plan.unnamedFolder + u']');
        transfer.folders << plan.unnamedFolder;
    }
    const auto copy = [&](const QString &source, const QString &target) {
        QString error;
        if (takenPath(target)) {
            fail(alreadyThere(target));
            return false;
        }
        if (!CopyFileVerified(source, target, &error)) {
            fail(QStringLiteral("Impossible de transférer le fichier [") + source + QStringLiteral("] vers [") + target
                 + QStringLiteral("] : ") + error);
            return false;
        }
        transfer.written << target;
        return true;
    };
    for (const auto &[target, source] : plan.copies) {
        if (!copy(source, target))
            return transfer;
    }
    // The reports last: a report waits for import only with its files.
    for (const auto &[report, source] : plan.reports) {
        if (!copy(source, Globals::ImportFolder + report))
            return transfer;
        transfer.reports << report;
    }

    Globals::ProcessedFiles << transfer.reports;
    for (const QString &source : plan.sources)
        DeleteFileIfExists(source);
    return transfer;
}

void MessageFilePlacement::withdraw(const Transfer &transfer)
{
    for (const QString &file : transfer.written)
        DeleteFileIfExists(file);
    for (const QString &folder : transfer.folders)
        QDir().rmdir(folder);
    for (const QString &name : transfer.reports)
        Globals::ProcessedFiles.removeIf(
            [&name](const QString &done) { return done.compare(name, Qt::CaseInsensitive) == 0; });
}

bool MessageFilePlacement::keepDeclinedCopy(const QString &path)
{
    const QString target = ReportName::setAsideTarget(path);
    QString error;
    const bool kept = CopyFileVerified(path, target, &error);
    LogWriter::write(kept ? QStringLiteral("Fichier refusé [") + path + QStringLiteral("] conservé sous [") + target + u']'
                          : QStringLiteral("Fichier refusé [") + path + QStringLiteral("] : copie impossible vers [")
                                + target + QStringLiteral("] (") + error + QStringLiteral("), il reste en attente."));
    return kept;
}

void MessageFilePlacement::setLeftFoldersAside()
{
    QSet<QString> owned;
    for (const QString &name : QDir(Globals::ImportFolder).entryList(QDir::Files | QDir::Hidden))
        owned.insert(documentsFolder(ReportName::withoutSetAsideSuffix(name)));
    const QString root = sharedFolder();
    QStringList kept;
    for (const QString &name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                                                    QDir::Name)) {
        const QString folder = root + name + u'/';
        if (owned.contains(folder) || ReportName::withoutSetAsideSuffix(name) != name || QDir().rmdir(folder))
            continue;
        const QString target = ReportName::setLeftFolderAside(folder);
        kept << (target.isEmpty() ? folder : target);
    }
    if (!kept.isEmpty())
        Dialogs::instance().warning(QStringLiteral("Des documents reçus n'ont été enregistrés pour aucun patient. Ils "
                                                   "sont conservés dans :")
                                    + kCR + kept.join(kCR));
}
