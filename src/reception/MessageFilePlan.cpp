#include "reception/MessageFilePlan.h"

#include "core/Common.h"
#include "core/ReportName.h"
#include "reception/WaitingDocuments.h"

namespace MessageFilePlan {

namespace {

QString withoutSlash(const QString &path)
{
    return path.endsWith(u'/') ? path.chopped(1) : path;
}

} // namespace

bool ImportFolder::taken(const QString &path) const
{
    const QString bare = withoutSlash(path);
    return files.contains(bare) || folders.contains(bare + u'/');
}

bool isSystemLeftover(const QString &path)
{
    const QString name = path.section(u'/', -1);
    return name == QLatin1String(".DS_Store") || name.startsWith(QLatin1String("._"))
        || name.compare(QLatin1String("Thumbs.db"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("desktop.ini"), Qt::CaseInsensitive) == 0
        || (u'/' + path).contains(QLatin1String("/__MACOSX/"));
}

namespace {

const QString kAttachments = QStringLiteral("Attachments/");

// A report whose documents are looked for, with its documents folder, and
// whether that folder is the one of a report already moved in this run
// (the same report sent again).
struct Naming {
    const File *report;
    QString folder;
    bool sentAgain;
};

class Builder
{
public:
    Builder(const QList<File> &message, const ImportFolder &in) : m_message(message), m_in(in)
    {
        for (auto it = in.files.cbegin(); it != in.files.cend(); ++it)
            if (it.key().startsWith(kAttachments) && !it.key().mid(kAttachments.size()).contains(u'/'))
                m_waiting.insert(it.key().mid(kAttachments.size()).toCaseFolded(), it.key());
    }

    Plan make()
    {
        placeReports();
        placeDocuments();
        placeTheRest();
        for (const File &file : m_message)
            if (!m_described.contains(file.path))
                add({file.path, {}, Fate::AlreadyThere});
        return m_plan;
    }

private:
    // Whether a file or a folder holds that name, or the plan gives it to one.
    bool taken(const QString &path) const
    {
        const QString bare = withoutSlash(path);
        return m_in.taken(bare) || m_planned.contains(bare) || m_planned.contains(bare + u'/') || m_reserved.contains(bare);
    }

    void refuse(Refusal refusal, const QString &name)
    {
        if (m_plan.refusal == Refusal::None) {
            m_plan.refusal = refusal;
            m_plan.refused = name;
        }
    }

    void add(const Destination &destination)
    {
        m_plan.files << destination;
        m_described.insert(destination.source);
        if (!destination.target.isEmpty())
            m_planned.insert(destination.target);
    }

    // A new folder of its own: "<stem>/", "<stem>2/"...
    QString newFolder(const QString &stem)
    {
        const QString folder = FirstFreeName(
            [&stem](int n) { return stem + (n > 1 ? QString::number(n) : QString()) + u'/'; },
            [this](const QString &candidate) { return taken(candidate); });
        m_planned.insert(folder);
        m_plan.folders << folder;
        return folder;
    }

    // An older file or folder of "Attachments/" set aside for a newer one
    // that takes its name.
    void setAsideOlder(const QString &path)
    {
        if (m_replacedFolder.isEmpty())
            m_replacedFolder = newFolder(kAttachments + QLatin1String(WaitingDocuments::kReplaced));
        const QString older = freeNameIn(m_replacedFolder, path.section(u'/', -1));
        m_planned.insert(older);
        m_plan.replaced.append({path, older, Fate::SetAside, Why::Replaced});
    }

    // A name of its own in a folder the plan creates.
    QString freeNameIn(const QString &folder, const QString &name) const
    {
        return folder + FirstFreeName([&name](int n) { return NumberedFileName(name, n); },
                                      [&](const QString &candidate) { return taken(folder + candidate); });
    }

    void placeReports()
    {
        QHash<QString, const File *> byName; // names compared whatever their case
        for (const File &file : m_message) {
            if (!ReportName::isProviderReport(file.name) || file.source < 0)
                continue;
            if (m_in.processed.contains(file.name, Qt::CaseInsensitive)) {
                m_naming.append({&file, ReportName::documentsFolderName(file.name), true});
                add({file.path, {}, Fate::AlreadyThere});
                continue;
            }
            if (const File *twin = byName.value(file.name.toLower())) {
                if (twin->content != file.content)
                    refuse(Refusal::SeveralFilesNamed, file.name);
                add({file.path, {}, Fate::AlreadyThere});
                continue;
            }
            byName.insert(file.name.toLower(), &file);
            if (m_in.taken(file.name))
                refuse(Refusal::ReportWaiting, file.name);
            add({file.path, file.name, Fate::Report});
            m_naming.append({&file, ReportName::documentsFolderName(file.name), false});
        }
        // A report set aside takes a name, and a documents folder, that no
        // earlier one holds (the same report sent again, maybe).
        const QLatin1String suffix(ReportName::kSetAsideSuffix);
        for (const File &file : m_message) {
            if (file.source >= 0)
                continue;
            const QString name = FirstFreeName([&file](int n) { return NumberedFileName(file.name, n); },
                                               [&](const QString &candidate) {
                                                   return taken(candidate + suffix)
                                                       || taken(ReportName::documentsFolderName(candidate));
                                               });
            add({file.path, name + suffix, Fate::Report, Why::UnreadableReportName});
            m_naming.append({&file, ReportName::documentsFolderName(name), false});
        }
        // A report gets its folder even without documents: the import then
        // looks there first. What holds its name (a folder a report no
        // longer waiting left) goes aside first, where the physician is shown it.
        for (const Naming &naming : std::as_const(m_naming)) {
            if (naming.sentAgain || m_planned.contains(naming.folder))
                continue;
            if (m_in.taken(naming.folder))
                setAsideOlder(withoutSlash(naming.folder));
            m_planned.insert(naming.folder);
            m_plan.folders << naming.folder;
        }
    }

    // The files a document name designates: from the report's own source
    // first, then from anywhere in the message; an exact name first, then
    // one that differs only by case.
    QList<const File *> candidates(const QString &name, int source) const
    {
        for (bool own : {true, false}) {
            for (Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
                QList<const File *> found;
                for (const File *file : m_others)
                    if ((!own || file->source == source) && file->name.compare(name, sensitivity) == 0)
                        found << file;
                if (!found.isEmpty())
                    return found;
            }
        }
        return {};
    }

    void placeDocuments()
    {
        for (const File &file : m_message)
            if (!ReportName::isProviderReport(file.name))
                m_others << &file;
        for (const Naming &naming : std::as_const(m_naming)) {
            for (const QString &name : naming.report->documents) {
                const QList<const File *> found = candidates(name, naming.report->source);
                if (found.isEmpty())
                    continue;
                const File &file = *found.first();
                if (std::any_of(found.cbegin(), found.cend(),
                                [&file](const File *other) { return other->content != file.content; })) {
                    refuse(Refusal::SeveralFilesNamed, name);
                    for (const File *other : found)
                        m_named.insert(other);
                    continue;
                }
                const QString target = naming.folder + file.name;
                if (naming.sentAgain) {
                    // What the first sending brought stays; what it lacked
                    // joins it while it waits. Otherwise the file is set
                    // aside with the rest.
                    const bool had = m_in.files.contains(target) && m_in.files.value(target) == file.content;
                    if (!had && (taken(target) || !m_in.folders.contains(naming.folder)))
                        continue;
                    if (!had)
                        add({file.path, target, Fate::Document});
                } else if (!m_planned.contains(target)) {
                    add({file.path, target, Fate::Document});
                }
                for (const File *other : found)
                    m_named.insert(other);
            }
        }
    }

    void placeTheRest()
    {
        // The files no report names, by name whatever its case (the lookup
        // takes such names for one), those of equal bytes once.
        QList<QList<const File *>> byName;
        for (const File *file : std::as_const(m_others)) {
            if (m_named.contains(file))
                continue;
            if (isSystemLeftover(file->path) && !ReportName::isProviderReport(file->name)) {
                add({file->path, {}, Fate::Dropped});
                continue;
            }
            auto same = std::find_if(byName.begin(), byName.end(), [file](const QList<const File *> &group) {
                return group.first()->name.compare(file->name, Qt::CaseInsensitive) == 0;
            });
            if (same == byName.end()) {
                byName.append({file});
            } else if (std::none_of(same->cbegin(), same->cend(),
                                    [file](const File *other) { return other->content == file->content; })) {
                same->append(file);
            }
        }
        // A file alone under its name waits under it: no folder takes it.
        if (m_naming.isEmpty())
            for (const QList<const File *> &group : std::as_const(byName))
                if (group.size() == 1)
                    m_reserved.insert(kAttachments + group.first()->name);
        QString aside;
        const auto setAside = [&](const File *file, Why why) {
            const QLatin1String shared(WaitingDocuments::kSharedName);
            if (aside.isEmpty())
                aside = newFolder(m_naming.isEmpty() ? kAttachments + shared : m_naming.first().folder.chopped(1) + u'_' + shared);
            add({file->path, freeNameIn(aside, file->name), Fate::SetAside, why});
        };
        for (const QList<const File *> &group : std::as_const(byName)) {
            const File *file = group.first();
            if (!m_naming.isEmpty()) {
                for (const File *each : group)
                    setAside(each, Why::NamedByNoReport);
                continue;
            }
            // A message without report: each file waits under its name for
            // a later report, unless the name designates two of them.
            if (group.size() > 1) {
                for (const File *each : group)
                    setAside(each, Why::NameTwiceInMessage);
                continue;
            }
            const QString target = kAttachments + file->name;
            // Those waiting under its name, whatever its case.
            const QStringList namesakes = m_waiting.values(file->name.toCaseFolded());
            if (m_in.folders.contains(target + u'/') || m_planned.contains(target) || m_planned.contains(target + u'/')) {
                setAside(file, Why::NameTaken);
            } else if (std::any_of(namesakes.cbegin(), namesakes.cend(),
                                   [&](const QString &other) { return m_in.files.value(other) == file->content; })) {
                add({file->path, {}, Fate::AlreadyThere});
            } else {
                // The newer file takes the name, as a copy would; the older
                // ones are kept and shown.
                for (const QString &older : namesakes)
                    setAsideOlder(older);
                add({file->path, target, Fate::Waits});
            }
        }
    }

    const QList<File> &m_message;
    const ImportFolder &m_in;
    Plan m_plan;
    QList<Naming> m_naming;
    QList<const File *> m_others;
    QSet<const File *> m_named;
    QSet<QString> m_planned;   // what the plan writes or creates
    QSet<QString> m_reserved;  // names of "Attachments/" files of the message wait under
    QMultiHash<QString, QString> m_waiting; // the files waiting in "Attachments/", by name case-folded
    QString m_replacedFolder;
    QSet<QString> m_described; // the message's files given a destination
};

} // namespace

Plan make(const QList<File> &message, const ImportFolder &importFolder)
{
    return Builder(message, importFolder).make();
}

} // namespace MessageFilePlan
