#include "core/UpdateSearch.h"

#include "core/Common.h"

#include "platform/Dialogs.h"
#include "core/Downloader.h"
#include "core/Globals.h"
#include "platform/IniFile.h"
#include "core/LogWriter.h"
#include "core/MakerContact.h"
#include "core/ModuleVersions.h"
#include "platform/ProgramFolder.h"
#include "core/RemoteDatabase.h"
#include "core/ServerSettings.h"
#include "platform/TextRules.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

struct UpdateSearch::Module {
    QString location;
    QString clientFileName;
    QString version;
    QString caption;
    qint64 size = 0;
    bool compressed = false;
    QString password;
    QString serverFileName;
};

namespace {

constexpr char kRoot[] = "C:\\TOLVARENIX\\";
constexpr char kLiveUpdatePath[] = "/programmes/liveupdate/";

// A bare file name that also stays in its address: no drive, nothing a
// URL would read as a query or an escape.
bool isBareName(const QString &name)
{
    static const QString forbidden = QStringLiteral(":?#%");
    if (!IsBareFileName(name))
        return false;
    for (const QChar c : name)
        if (forbidden.contains(c))
            return false;
    return true;
}

void processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// The hourglass for the time of the search.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { restore(); }
    void restore()
    {
        if (m_set)
            QGuiApplication::restoreOverrideCursor();
        m_set = false;
    }

private:
    bool m_set = true;
};

} // namespace

UpdateSearch::UpdateSearch(Needs needs)
    : m_needs(std::move(needs))
{
}

QString UpdateSearch::localFile(const QString &location, const QString &fileName)
{
    if (!isBareName(fileName))
        return {};
    QString folder = ProgramFolder::path();
    const QString root = QLatin1String(kRoot);
    const QString upper = TextRules::upperAZ(location);
    if (upper.startsWith(root) && TextRules::trim32(upper) != root && upper.size() > root.size()) {
        // Each folder below the root must be a plain name: the module stays
        // below the program folder.
        const QStringList parts = location.mid(root.size()).split(u'\\', Qt::SkipEmptyParts);
        for (const QString &part : parts) {
            if (!isBareName(part))
                return {};
            folder += part + u'/';
        }
    }
    return folder + fileName;
}

bool UpdateSearch::registerReplacement(const QStringList &names, const QString &destination,
                                       const QString &subFolder)
{
    IniFile ini(ProgramFolder::path() + QLatin1String(kUpdaterIni));
    const int registered = std::max(ini.readInteger(QStringLiteral("Main"), QStringLiteral("NbFilesToInstal"), 0), 0);
    const int total = registered + int(names.size());
    Globals::RunUpdaterOnExit = total > 0;
    bool ok = true;
    for (qsizetype k = 0; k < names.size(); ++k) {
        // A file of a sub-folder of the archive goes to the same sub-folder
        // of the module's folder.
        const QString section = QStringLiteral("File_") + QString::number(registered + k + 1);
        const qsizetype slash = names[k].lastIndexOf(u'/');
        ok = ini.writeString(section, QStringLiteral("Name"), subFolder + names[k]) && ok;
        ok = ini.writeString(section, QStringLiteral("Destination"), destination + names[k].left(slash + 1)) && ok;
    }
    // The count is written even when a section could not be.
    ok = ini.writeInteger(QStringLiteral("Main"), QStringLiteral("NbFilesToInstal"), total) && ok;
    return ok;
}

bool UpdateSearch::ensureConnected()
{
    if (QSqlDatabase::database(RemoteDatabase::connectionName(), false).isOpen())
        return true;
    while (!m_needs.connectInternetDatabase || !m_needs.connectInternetDatabase(true)) {
        if (!Dialogs::instance().question(
                QStringLiteral("Votre connexion à la base de données MySQL de Tolvarenix a été interrompue et le "
                               "programme n'est pas parvenu à la rétablir.\n")
                + QStringLiteral("Souhaitez-vous essayer de rétablir la connexion une nouvelle fois ?")))
            return false;
    }
    return true;
}

bool UpdateSearch::readModules(QList<Module> &modules)
{
    QSqlQuery query(QSqlDatabase::database(RemoteDatabase::connectionName(), false));
    query.setForwardOnly(true);
    if (!query.exec(QLatin1String(kQuery))) {
        const QString text =
            QStringLiteral("Erreur lors de la recherche des mises à jour : ") + query.lastError().text();
        Dialogs::instance().error(text);
        LogWriter::write(text);
        return false;
    }
    while (query.next()) {
        const QSqlRecord r = query.record();
        Module m;
        m.location = r.value(QStringLiteral("Client_File_Location")).toString();
        m.clientFileName = r.value(QStringLiteral("Client_File_Name")).toString();
        m.version = r.value(QStringLiteral("Version")).toString();
        m.caption = r.value(QStringLiteral("Module")).toString();
        m.size = r.value(QStringLiteral("Taille")).toLongLong();
        m.compressed = r.value(QStringLiteral("Compressed")).toInt() != 0;
        m.password = r.value(QStringLiteral("Compress_PWD")).toString();
        m.serverFileName = r.value(QStringLiteral("Serveur_File_Name")).toString();
        modules.append(m);
    }
    return true;
}

void UpdateSearch::run()
{
    if (!ensureConnected())
        return;

    BusyCursor cursor;
    processPendingEvents();
    Globals::RunUpdaterOnExit = false;

    QList<Module> modules;
    if (!readModules(modules))
        return;
    try {
        for (const Module &module : modules)
            update(module);
    } catch (const ModuleVersions::VersionError &e) {
        cursor.restore();
        const QString text = QStringLiteral("Erreur lors de la recherche des mises à jour : ") + e.message();
        Dialogs::instance().error(text);
        LogWriter::write(text);
        return;
    }
    cursor.restore();
    processPendingEvents();

    if (Globals::RunUpdaterOnExit)
        offerToQuit();
}

void UpdateSearch::update(const Module &module)
{
    const QString local = localFile(module.location, module.clientFileName);
    if (local.isEmpty() || !isBareName(module.serverFileName)) {
        reportFailure(module, QStringLiteral("nom ou emplacement refusé (%1, %2)")
                                  .arg(module.location + u'|' + module.clientFileName, module.serverFileName));
        return;
    }
    if (!ModuleVersions::FileNeedsUpdate(local, module.version))
        return;

    Downloader *downloader = m_needs.downloader;
    if (!downloader) {
        reportFailure(module, QStringLiteral("aucun téléchargement possible"));
        return;
    }
    const QString folder = QFileInfo(local).absolutePath() + u'/';
    const QString url = ServerSettings::webServer() + QLatin1String(kLiveUpdatePath) + module.serverFileName;
    const bool replacement = QFileInfo::exists(local);
    // A replacement waits in "Update/" at its module's place below the
    // program folder, so modules of the same file name stay apart.
    const QString programFolder = ProgramFolder::path();
    const QString subFolder =
        local.mid(programFolder.size(), local.size() - programFolder.size() - module.clientFileName.size());
    const QString updateFolder = programFolder + QStringLiteral("Update/") + subFolder;

    if (!downloader->Telecharger(url, module.clientFileName, replacement ? updateFolder : folder, module.caption,
                                 module.size, module.compressed, module.password,
                                 replacement ? folder : QString(), false)) {
        reportFailure(module, downloader->lastError());
        return;
    }
    if (replacement) {
        // Every file this download produced, for its own folder.
        const QString downloaded = updateFolder + module.clientFileName;
        if (!registerReplacement(downloader->placedFiles(), folder, subFolder))
            LogWriter::write(QStringLiteral("Impossible d'écrire %1.").arg(QLatin1String(kUpdaterIni)));
        ModuleVersions::recordPending(local, module.version, downloaded);
    } else {
        ModuleVersions::recordInstalled(local, module.version);
    }
}

void UpdateSearch::reportFailure(const Module &module, const QString &reason)
{
    LogWriter::write(QStringLiteral("Mise à jour de [%1] : %2").arg(module.serverFileName, reason));
    Dialogs::instance().warning(QStringLiteral("Le téléchargement du fichier [") + module.serverFileName
                                + QStringLiteral("] a échoué. Veuillez réessayer et contacter Tolvarenix au ")
                                + MakerContact::telephone() + QStringLiteral(" si le problème persiste."));
}

void UpdateSearch::offerToQuit()
{
    Dialogs &dialogs = Dialogs::instance();
    if (!QFileInfo(ProgramFolder::path() + QLatin1String(kUpdater)).isFile()) {
        dialogs.error(QStringLiteral("Le programme d'installation des mises à jour n'est pas installé sur ce poste. "
                                     "Veuillez contacter Tolvarenix au ")
                      + MakerContact::telephone() + QStringLiteral("."));
        Globals::RunUpdaterOnExit = false;
        return;
    }
    if (dialogs.question(QStringLiteral("La mise à jour des composants sera finalisée après fermeture de Tolvarenix "
                                        "Light.\n\n")
                         + QStringLiteral("Voulez-vous fermer le programme maintenant ?"))
        && m_needs.quit)
        m_needs.quit();
}
