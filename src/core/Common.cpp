#include "core/Common.h"

#include "core/ApplicationSetup.h"

#include "platform/DesktopEntry.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/ShellLauncher.h"
#include "platform/TextViewer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class EntryType { Missing, File, Folder, Other };

// The path of the entry itself: with a trailing separator the system
// would follow a link ("alias/" is its target).
QByteArray entryName(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    return QFile::encodeName(path.left(end));
}

// The type of a path itself, a symbolic link counting as a file.
EntryType entryType(const QString &path)
{
    struct stat st {};
    if (::lstat(entryName(path).constData(), &st) != 0)
        return EntryType::Missing;
    if (S_ISDIR(st.st_mode))
        return EntryType::Folder;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        return EntryType::File;
    return EntryType::Other;
}

bool isSymLink(const QString &path)
{
    struct stat st {};
    return ::lstat(entryName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The names of a folder's entries, "." and ".." left out, sorted without
// regard to letter case; kinds narrows them.
QStringList folderEntries(const QString &folder, QDir::Filters kinds = QDir::AllEntries | QDir::System)
{
    QDir dir(folder);
    QStringList names = dir.entryList(kinds | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    // Letter case ignored, then as spelled. An import folder holds thousands
    // of names, nearly all plain ASCII: theirs are folded once, lowered
    // letter by letter as the case-insensitive comparison would, and the
    // others compared as before (both orders agree on ASCII names).
    struct Entry {
        QString name;
        QByteArray folded; // empty for a name with a character beyond ASCII
    };
    std::vector<Entry> entries;
    entries.reserve(std::size_t(names.size()));
    for (QString &name : names) {
        QByteArray folded;
        const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii) {
            folded = name.toLatin1();
            for (char &c : folded)
                if (c >= 'A' && c <= 'Z')
                    c = char(c - 'A' + 'a');
        }
        entries.push_back({std::move(name), std::move(folded)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        int c = 0;
        if (!a.folded.isEmpty() && !b.folded.isEmpty())
            c = a.folded.compare(b.folded);
        else
            c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    names.clear();
    for (Entry &entry : entries)
        names << std::move(entry.name);
    return names;
}

// The absolute, cleaned path, with symbolic links of the existing part resolved.
QString resolvedPath(const QString &path)
{
    QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString tail;
    while (!p.isEmpty() && !QFileInfo::exists(p)) {
        const qsizetype slash = p.lastIndexOf(u'/');
        if (slash <= 0)
            break;
        tail = p.mid(slash) + tail;
        p = p.left(slash);
    }
    const QString canonical = QFileInfo(p).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? p : canonical) + tail);
}

bool isSameOrBelow(const QString &path, const QString &folder)
{
    const QString p = resolvedPath(path);
    const QString f = resolvedPath(folder);
    return p == f || p.startsWith(AddBackslash(f));
}

bool copyOneFile(const QString &source, const QString &destination, bool overwrite)
{
    if (!overwrite && entryType(destination) != EntryType::Missing)
        return true;
    if (!overwrite)
        return QFile::copy(source, destination) && entryType(destination) == EntryType::File;
    // Copy beside the destination first, then replace it in one step, so a
    // failed copy leaves the older file intact.
    const QString partial = destination + QStringLiteral(".partial-copy");
    DeleteFileIfExists(partial);
    if (!QFile::copy(source, partial)) {
        DeleteFileIfExists(partial);
        return false;
    }
    if (!MoveReplacing(partial, destination)) {
        DeleteFileIfExists(partial);
        return false;
    }
    return true;
}

class HourglassCursor
{
public:
    HourglassCursor()
        : m_active(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
    {
        if (m_active)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~HourglassCursor()
    {
        if (m_active)
            QGuiApplication::restoreOverrideCursor();
    }
    HourglassCursor(const HourglassCursor &) = delete;
    HourglassCursor &operator=(const HourglassCursor &) = delete;

private:
    bool m_active;
};

bool isWebLink(const QString &text)
{
    return text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

QString AddBackslash(const QString &path)
{
    if (path.isEmpty() || path.endsWith(u'/'))
        return path;
    return path + u'/';
}

bool DeleteFileIfExists(const QString &fileName)
{
    // Removed at once in the usual case (one call per imported report); the
    // entry's type only tells, after a refusal, whether it was there at all
    // (a folder is never removed: unlink refuses it).
    if (::unlink(QFile::encodeName(fileName).constData()) == 0)
        return true;
    return entryType(fileName) == EntryType::Missing;
}

bool DeleteDirectoryTree(const QString &folder, DotNames dotNames)
{
    EmptyDirectory(folder, dotNames);
    return ::rmdir(QFile::encodeName(folder).constData()) == 0;
}

bool EmptyDirectory(const QString &folder, DotNames dotNames)
{
    const QString base = AddBackslash(folder);
    if (entryType(folder) != EntryType::Folder || isSymLink(folder))
        return true;
    for (const QString &name : folderEntries(base)) {
        if (dotNames == DotNames::Skipped && name.startsWith(u'.'))
            continue;
        const QString path = base + name;
        if (entryType(path) == EntryType::Folder)
            DeleteDirectoryTree(path, dotNames);
        else
            DeleteFileIfExists(path);
    }
    return true;
}

namespace {
void listMatching(const QString &mask, QStringList &list, QDir::Filters kinds)
{
    const qsizetype slash = mask.lastIndexOf(u'/');
    const QString folder = slash >= 0 ? mask.left(slash + 1) : QStringLiteral("./");
    QString pattern = slash >= 0 ? mask.mid(slash + 1) : mask;
    if (pattern.isEmpty() || pattern == QLatin1String("*.*"))
        pattern = QStringLiteral("*");
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    for (const QString &name : folderEntries(folder, kinds))
        if (re.match(name).hasMatch())
            list.append(name);
}
} // namespace

void ListFiles(const QString &mask, QStringList &list)
{
    listMatching(mask, list, QDir::AllEntries | QDir::System);
}

void ListRegularFiles(const QString &mask, QStringList &list)
{
    listMatching(mask, list, QDir::Files);
}

bool IsSameOrBelow(const QString &path, const QString &folder)
{
    return isSameOrBelow(path, folder);
}

namespace {

// The folders being copied, from the top down to the current one, as the
// system knows them (device and inode), whatever link led to them.
using FoldersOnPath = QList<QPair<dev_t, ino_t>>;

bool copyTree(const QString &source, const QString &destination, bool overwrite, FoldersOnPath &onPath)
{
    if (isSameOrBelow(destination, source) || !QDir().mkpath(destination))
        return false;
    const QString from = AddBackslash(source);
    const QString to = AddBackslash(destination);
    struct stat st {};
    // What a reader of the source sees: a link is followed, and one that
    // leads nowhere is a part that cannot be copied.
    if (::stat(entryName(source).constData(), &st) != 0)
        return entryType(source) == EntryType::Missing;
    if (!S_ISDIR(st.st_mode))
        return true;
    if (!QFileInfo(from).isReadable())
        return false;
    onPath.append({st.st_dev, st.st_ino});
    for (const QString &name : folderEntries(from)) {
        if (name.startsWith(u'.'))
            continue;
        if (::stat(QFile::encodeName(from + name).constData(), &st) != 0)
            return false;
        // A link back to a folder being copied holds nothing more.
        if (S_ISDIR(st.st_mode) && !onPath.contains(qMakePair(st.st_dev, st.st_ino))
            && !copyTree(from + name, to + name, overwrite, onPath))
            return false;
        // Sockets, pipes and devices are not copied.
        if (S_ISREG(st.st_mode) && !copyOneFile(from + name, to + name, overwrite))
            return false;
    }
    onPath.removeLast();
    return true;
}

} // namespace

bool CopyDirectoryTree(const QString &source, const QString &destination, bool overwrite)
{
    FoldersOnPath onPath;
    return copyTree(source, destination, overwrite, onPath);
}

bool SameFileContent(const QString &a, const QString &b, QString *error)
{
    QFile left(a);
    QFile right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("relecture impossible");
        return false;
    }
    if (left.size() != right.size()) {
        if (error)
            *error = QStringLiteral("taille de la copie différente de l'original");
        return false;
    }
    while (!left.atEnd()) {
        const QByteArray l = left.read(256 * 1024);
        const QByteArray r = right.read(256 * 1024);
        if (l != r) {
            if (error)
                *error = QStringLiteral("contenu de la copie différent de l'original");
            return false;
        }
    }
    return true;
}

bool MoveReplacing(const QString &source, const QString &target)
{
    if (entryType(target) == EntryType::Folder && !isSymLink(target))
        return false;
    return std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0;
}

void ShellOpen(const QString &fileName, const QString &parameters, const QString &workingFolder)
{
    Q_UNUSED(parameters);
    const QString &file = fileName;
    const QString &folder = workingFolder;
    HourglassCursor hourglass;

    if (isWebLink(file)) {
        const QUrl url(file, QUrl::StrictMode);
        if (url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
            ShellLauncher::openUrl(url);
        return;
    }
    if (file.isEmpty() || file.contains(QLatin1String("://")))
        return;

    const QString path = QFileInfo(file).isAbsolute() ? file : AddBackslash(folder) + file;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || info.isExecutable())
        return;
    // A file of the program's folders, also through a link of the user's to
    // another disk (a link as named in the path, never a way back up).
    const bool named = !path.split(u'/').contains(QLatin1String(".."))
        && QDir::cleanPath(info.absoluteFilePath()).startsWith(QDir::cleanPath(ProgramFolder::path()) + u'/');
    if (!named && !isSameOrBelow(info.canonicalFilePath(), ProgramFolder::path()))
        return;
    ShellLauncher::openUrl(QUrl::fromLocalFile(info.canonicalFilePath()));
}

void OpenDocument(const QString &fullFileName)
{
    const QFileInfo info(fullFileName);
    if (info.exists() && info.isFile()) {
        ShellOpen(info.fileName(), QString(), AddBackslash(info.path()));
        return;
    }
    Dialogs::instance().beep(Dialogs::Beep::Exclamation);
    Dialogs::instance().warning(QStringLiteral("Ce document (") + fullFileName
                                + QStringLiteral(") n'est pas présent."));
}

void OpenInNotepad(const QString &fullFileName)
{
    if (!QFileInfo::exists(fullFileName)) {
        Dialogs::instance().warning(QStringLiteral("Le fichier \"") + fullFileName
                                    + QStringLiteral("\" n'existe pas."));
        return;
    }
    if (!TextViewer::showFile(fullFileName.trimmed()))
        return;
    Dialogs &dialogs = Dialogs::instance();
    dialogs.beep(Dialogs::Beep::Default);
    QThread::msleep(100);
    dialogs.beep(Dialogs::Beep::Default);
    QThread::msleep(300);
    dialogs.beep(Dialogs::Beep::Default);
    QThread::msleep(100);
    dialogs.beep(Dialogs::Beep::Default);
}

void CreateDesktopShortcut(const QString &target, const QString &arguments, const QString &linkName,
                           const QString &description)
{
    const QString desktop = DesktopEntry::desktopFolder();
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        return;
    const QString entry = AddBackslash(desktop) + linkName + QStringLiteral(".desktop");
    if (entryType(entry) != EntryType::Missing)
        return;
    const QString workingFolder = AddBackslash(QFileInfo(target).absolutePath());
    // The program's picture beside it, for the entry to show.
    const QString icon = ProgramFolder::path() + QFileInfo(target).completeBaseName() + QStringLiteral(".png");
    if (!QFileInfo::exists(icon))
        QFile::copy(ApplicationSetup::iconResource(), icon);
    DesktopEntry::write(entry, DesktopEntry::content(linkName, description, target, arguments, workingFolder,
                                                     QFileInfo(icon).isFile() ? icon : QString()));
}

bool IsBareFileName(const QString &name, DotNames dotNames)
{
    // Without a separator, ".." inside a name ("Compte rendu..pdf") leads
    // nowhere else.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || (dotNames == DotNames::Skipped && name.startsWith(u'.')))
        return false;
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            return false;
    return true;
}

QString NormalizeName(const QString &name)
{
    QString key;
    key.reserve(name.size());
    for (QChar c : name) {
        switch (c.unicode()) {
        case 0xC0: case 0xC2: case 0xC4: key += u'A'; break;
        case 0xC8: case 0xC9: case 0xCA: case 0xCB: key += u'E'; break;
        case 0xCE: case 0xCF: key += u'I'; break;
        case 0xD4: case 0xD6: key += u'O'; break;
        case 0xDB: case 0xDC: key += u'U'; break;
        case 0xC7: key += u'C'; break;
        case u' ': case u'-': break;
        default: key += c;
        }
    }
    return key;
}

bool KeepFolderPrivate(const QString &folder, bool create)
{
    if (create)
        QDir().mkpath(folder);
    if (entryType(folder) == EntryType::Folder)
        ::chmod(entryName(folder).constData(), S_IRWXU);
    return QFileInfo(folder).isDir();
}

QString FirstFreeName(const std::function<QString(int n)> &candidate, const std::function<bool(const QString &)> &taken)
{
    for (int n = 1;; ++n) {
        QString name = candidate(n);
        if (!taken(name))
            return name;
    }
}

QString NumberedFileName(const QString &name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString number = u'_' + QString::number(n);
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}
