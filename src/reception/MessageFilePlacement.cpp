#include "reception/MessageFilePlacement.h"

#include "core/Common.h"
#include "core/Globals.h"
#include "core/LogWriter.h"
#include "core/ReportName.h"
#include "reception/ReportDataLine.h"
#include "reception/ReportFile.h"
#include "reception/VerifiedCopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace {

std::function<void()> s_stepHook;

void stepDone()
{
    if (s_stepHook)
        s_stepHook();
}

QString archiveFolderIn(const QString &emailsFolder, int n)
{
    return emailsFolder + QStringLiteral(".archive") + QString::number(n) + u'/';
}

bool takenPath(const QString &path)
{
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

using Step = MessageFilePlacement::Transfer::Step;

// The steps of the transfer under way, noted before each is taken.
QString journalPath()
{
    return Globals::ImportFolder + QStringLiteral(".transfert_en_cours");
}

bool note(const Step &step)
{
    QFile journal(journalPath());
    const QByteArray line = QByteArray(1, char(step.kind)) + ' ' + step.path.toUtf8().toPercentEncoding() + ' '
                          + step.from.toUtf8().toPercentEncoding() + '\n';
    if (journal.open(QIODevice::Append) && journal.write(line) == line.size() && journal.flush())
        return true;
    LogWriter::write(QStringLiteral("Impossible d'écrire dans [") + journal.fileName() + QStringLiteral("] : ")
                     + journal.errorString());
    return false;
}

// Undoes the steps, the last first.
void undo(const QList<Step> &steps)
{
    const QString &root = Globals::ImportFolder;
    for (auto step = steps.crbegin(); step != steps.crend(); ++step) {
        const QString path = root + step->path;
        if (step->kind == Step::File)
            DeleteFileIfExists(path);
        else if (step->kind == Step::Folder)
            QDir().rmdir(path);
        else if (step->kind == Step::Move && takenPath(path) && !takenPath(root + step->from)
                 && !QFile::rename(path, root + step->from))
            LogWriter::write(QStringLiteral("Impossible de remettre [") + path + QStringLiteral("] à sa place [") + root
                             + step->from + u']');
    }
}

QString alreadyThere(const QString &path)
{
    return QStringLiteral("Le fichier [") + path
         + QStringLiteral("] existe déjà : il ne sera pas remplacé par celui du message.");
}

// Stands for a file's bytes; a file that cannot be read equals no other.
QByteArray contentOf(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArrayLiteral("unreadable:") + path.toUtf8();
    return hash.result();
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

QList<MessageFilePlan::File> MessageFilePlacement::messageFiles()
{
    QList<MessageFilePlan::File> files;
    const auto add = [&files](const QString &name, const QString &path, int source) {
        files.append({name, path, source, contentOf(path),
                      ReportName::isProviderReport(name) ? documentNames(path) : QStringList()});
    };
    for (const File &file : filesIn(Globals::EmailsFolder))
        add(file.name, file.path, file.source);
    const QDir aside(setAsideFolder());
    for (const QString &name : aside.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        add(name, aside.filePath(name), -1);
    return files;
}

MessageFilePlan::ImportFolder MessageFilePlacement::importFolderState(const QList<MessageFilePlan::File> &message)
{
    MessageFilePlan::ImportFolder state;
    state.processed = Globals::ProcessedFiles;
    const QString root = Globals::ImportFolder;
    const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    // What a link points at is not in the folder: it equals no file.
    const auto list = [&](const QString &folder, const std::function<bool(const QString &)> &read) {
        for (const QFileInfo &entry : QDir(root + folder).entryInfoList(all)) {
            const QString path = folder + entry.fileName();
            if (entry.isDir() && !entry.isSymLink())
                state.folders.insert(path + u'/');
            else if (entry.isSymLink())
                state.files.insert(path, QByteArrayLiteral("link:") + path.toUtf8());
            else
                state.files.insert(path, read(entry.fileName()) ? contentOf(entry.filePath()) : QByteArray());
        }
    };
    QSet<QString> names; // whatever their case, as the import looks for them
    for (const MessageFilePlan::File &file : message)
        names.insert(file.name.toCaseFolded());
    list(QString(), [](const QString &) { return false; });
    list(QStringLiteral("Attachments/"), [&names](const QString &name) { return names.contains(name.toCaseFolded()); });
    // What the first sending of a report sent again brought.
    for (const MessageFilePlan::File &file : message) {
        const QString folder = ReportName::documentsFolderName(file.name);
        if (state.processed.contains(file.name, Qt::CaseInsensitive) && state.folders.contains(folder))
            list(folder, [](const QString &) { return true; });
    }
    return state;
}

QString MessageFilePlacement::cannotBePlaced()
{
    const QList<MessageFilePlan::File> message = messageFiles();
    const MessageFilePlan::Plan plan = MessageFilePlan::make(message, importFolderState(message));
    return plan.refusal == MessageFilePlan::Refusal::SeveralFilesNamed ? severalFilesNamed(plan.refused) : QString();
}

bool MessageFilePlacement::isOrdinaryMessage(const QStringList &attachmentNames)
{
    return std::none_of(attachmentNames.cbegin(), attachmentNames.cend(), ReportName::isProviderReport)
        && reportsIn(Globals::EmailsFolder).isEmpty();
}

QString MessageFilePlacement::severalFilesNamed(const QString &name)
{
    return QStringLiteral("Le message contient plusieurs fichiers nommés [") + name
         + QStringLiteral("] : ils ne peuvent pas être placés côte à côte pour l'importation.");
}

void MessageFilePlacement::setStepHook(std::function<void()> hook)
{
    s_stepHook = std::move(hook);
}

MessageFilePlacement::Transfer MessageFilePlacement::place()
{
    using namespace MessageFilePlan;
    Transfer transfer;
    if (Globals::ImportFolder.isEmpty()) {
        transfer.failure = QStringLiteral("Le dossier d'importation n'est pas défini.");
        return transfer;
    }
    recover();
    QDir().mkpath(sharedFolder());
    const QList<MessageFilePlan::File> message = messageFiles();
    if (message.isEmpty())
        return transfer;
    const Plan plan = make(message, importFolderState(message));
    const QString &root = Globals::ImportFolder;
    const auto fail = [&](const QString &why) {
        LogWriter::write(why);
        withdraw(transfer);
        QFile::remove(journalPath());
        transfer = Transfer{{}, {}, why};
        return transfer;
    };
    if (plan.refusal == Refusal::SeveralFilesNamed)
        return fail(severalFilesNamed(plan.refused));
    if (plan.refusal == Refusal::ReportWaiting)
        return fail(alreadyThere(root + plan.refused));
    // Noted, then taken: a step cut short is undone all the same.
    const auto take = [&](const Step &step, const std::function<bool()> &action) {
        if (!note(step) || !action())
            return false;
        transfer.steps << step;
        stepDone();
        return true;
    };
    for (const QString &folder : plan.folders) {
        if (!take({Step::Folder, folder, {}}, [&] { return QDir().mkdir(root + folder); }))
            return fail(QStringLiteral("Impossible de créer le dossier [") + root + folder + u']');
        // What a newer entry takes the name of goes into the folder made for it.
        for (const Destination &older : plan.replaced) {
            if (!older.target.startsWith(folder))
                continue;
            if (takenPath(root + older.target)
                || !take({Step::Move, older.target, older.source},
                         [&] { return QFile::rename(root + older.source, root + older.target); }))
                return fail(QStringLiteral("Impossible de mettre de côté le fichier [") + root + older.source
                            + QStringLiteral("] dans [") + root + older.target + u']');
        }
    }
    const auto copy = [&](const Destination &file) {
        const QString target = root + file.target;
        QString error;
        if (takenPath(target)) {
            fail(alreadyThere(target));
            return false;
        }
        if (!take({Step::File, file.target, {}}, [&] { return CopyFileVerified(file.source, target, &error); })) {
            fail(QStringLiteral("Impossible de transférer le fichier [") + file.source + QStringLiteral("] vers [")
                 + target + QStringLiteral("] : ") + error);
            return false;
        }
        return true;
    };
    // The reports last: a report waits for import only with its files.
    for (bool reports : {false, true}) {
        for (const Destination &file : plan.files) {
            if (file.target.isEmpty() || (file.fate == Fate::Report) != reports)
                continue;
            if (!copy(file))
                return transfer;
            if (reports)
                transfer.reports << file.target;
        }
    }
    QFile::remove(journalPath());

    Globals::ProcessedFiles << transfer.reports;
    for (const MessageFilePlan::File &file : message)
        DeleteFileIfExists(file.path);
    return transfer;
}

void MessageFilePlacement::withdraw(const Transfer &transfer)
{
    undo(transfer.steps);
    for (const QString &name : transfer.reports)
        Globals::ProcessedFiles.removeIf(
            [&name](const QString &done) { return done.compare(name, Qt::CaseInsensitive) == 0; });
}

void MessageFilePlacement::recover()
{
    QFile journal(journalPath());
    if (!journal.open(QIODevice::ReadOnly))
        return;
    QList<Step> steps;
    for (const QByteArray &line : journal.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && !fields[0].isEmpty())
            steps.append({Step::Kind(fields[0].at(0)), QString::fromUtf8(QByteArray::fromPercentEncoding(fields[1])),
                          QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]))});
    }
    LogWriter::write(QStringLiteral("Transfert de fichiers interrompu : ce qu'il avait fait dans [") + Globals::ImportFolder
                     + QStringLiteral("] est défait, son message est transféré à nouveau."));
    undo(steps);
    journal.remove();
}
