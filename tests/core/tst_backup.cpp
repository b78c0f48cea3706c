#include "LocalTestTables.h"
#include "core/ApplicationSetup.h"
#include "core/DatabaseBackup.h"
#include "core/Globals.h"
#include "platform/IniFile.h"
#include "core/LocalDatabase.h"
#include "platform/NetworkMounts.h"
#include "platform/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "core/SelectFolder.h"
#include "TestHome.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes larger than the limit fail (EFBIG) while it holds, even for root;
// with SIG_DFL the system kills the process instead.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes, void (*onExcess)(int) = SIG_IGN)
    {
        std::signal(SIGXFSZ, onExcess);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved {};
};

} // namespace

class BackupTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstBackupIntoFreshFolder_data();
    void firstBackupIntoFreshFolder();
    void refusedInsideDatabaseFolder_data();
    void refusedInsideDatabaseFolder();
    void previousBackupKeptWhenCopyFails();
    void backupStoppedDuringSwap();
    void backupKilledDuringCopy();
    void userFilesInBackupFolderKept();
    void userFileUnderBackupNameNotReplaced_data();
    void userFileUnderBackupNameNotReplaced();
    void unwritableFolderChosenAgain();
    void unreachableNetworkShare();
    void networkMounts_data();
    void networkMounts();
    void writableFolderTest();
    void chooserFindsNodePathAgain();
    void chooserStartsOnTheDesktop();

private:
    DatabaseBackup backup();
    void storePath(const QString &path);
    void addPatient(const QString &nom);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<LocalDatabase> m_db;
    QTemporaryDir m_outside;
    int m_windowsClosed = 0;
    int m_chooserRuns = 0;
    QString m_chosenPath;
};

void BackupTest::init()
{
    Globals::reset();
    m_home = std::make_unique<TestHome>();
    m_db = std::make_unique<LocalDatabase>();
    openLocalTables(*m_db, *m_home);
    addPatient(QStringLiteral("DURAND"));
    m_home->write(QStringLiteral("Base/Docs/1_rapport.pdf"), "%PDF-1.4 rapport\n");
    m_home->write(QStringLiteral("Base/Imports/KORVA_1.txt"), "report\n");
    m_windowsClosed = 0;
    m_chooserRuns = 0;
    m_chosenPath.clear();
    QVERIFY(m_outside.isValid());
}

void BackupTest::cleanup()
{
    m_db->close();
    m_db.reset();
    m_home.reset();
    Globals::reset();
}

DatabaseBackup BackupTest::backup()
{
    DatabaseBackup command(*m_db, [this] { ++m_windowsClosed; });
    command.setFolderChooser([this](const QString &, QString &path, QString &nodePath) {
        ++m_chooserRuns;
        if (!m_chosenPath.isEmpty()) {
            path = m_chosenPath;
            nodePath = QStringLiteral("[/][chosen]");
        }
    });
    return command;
}

void BackupTest::storePath(const QString &path)
{
    IniFile(ProgramFolder::configurationFile()).writeString(QStringLiteral("Main"), QStringLiteral("BackupPath"), path);
}

void BackupTest::addPatient(const QString &nom)
{
    LocalTable &patients = m_db->tPatients;
    patients.append();
    patients.field(QStringLiteral("NOM")).setAsString(nom);
    patients.field(QStringLiteral("PRENOM")).setAsString(QStringLiteral("Anne"));
    patients.post();
}

void BackupTest::firstBackupIntoFreshFolder_data()
{
    QTest::addColumn<QString>("linked"); // moved to another disk, a link left in its place
    QTest::addColumn<QString>("loop");   // a link inside the database folder back to it
    QTest::newRow("plain folders") << "" << "";
    QTest::newRow("linked Base") << "Base" << "";
    QTest::newRow("linked Docs") << "Base/Docs" << "";
    QTest::newRow("link back to Base") << "Base" << "Docs/Base";
}

void BackupTest::firstBackupIntoFreshFolder()
{
    QFETCH(QString, linked);
    QFETCH(QString, loop);
    const QString disk = m_outside.path() + QStringLiteral("/Disque ") + QLatin1String(QTest::currentDataTag());
    QVERIFY(linked.isEmpty() || (QDir().rename(m_home->file(linked), disk) && QFile::link(disk, m_home->file(linked))));
    QVERIFY(loop.isEmpty() || QFile::link(Globals::BaseFolder, Globals::BaseFolder + loop));
    ScriptedDialogs dialogs;
    m_chosenPath = disk + QStringLiteral(" Sauvegarde/");
    DatabaseBackup command = backup();
    QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::Completed);

    QCOMPARE(m_chooserRuns, 1);
    IniFile ini(ProgramFolder::configurationFile());
    QCOMPARE(ini.readString(QStringLiteral("Main"), QStringLiteral("BackupPath")), m_chosenPath);
    QCOMPARE(ini.readString(QStringLiteral("Main"), QStringLiteral("BackupNodePath")), QStringLiteral("[/][chosen]"));
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("La sauvegarde est terminée.")});
    QCOMPARE(m_windowsClosed, 1);
    QVERIFY(loop.isEmpty() || QFile::remove(Globals::BaseFolder + loop)); // it holds nothing more
    QCOMPARE(folderContent(m_chosenPath), folderContent(Globals::BaseFolder));
    // What the backup writes is the user's alone, as the database folder is (group and others: 0x77).
    for (const char *written : {"", "Docs", "Imports", "Patients.db", "Docs/1_rapport.pdf", ".Tolvarenix-sauvegarde.lst"})
        QCOMPARE(QFileInfo(m_chosenPath + QLatin1String(written)).permissions() & 0x77, QFile::Permissions());
    QVERIFY(!QFileInfo::exists(DatabaseBackup::stagingFolder(m_chosenPath)));
    QVERIFY(!QFileInfo::exists(DatabaseBackup::previousFolder(m_chosenPath)));
    // The tables are open again and take writes.
    QVERIFY(m_db->tPatients.isActive());
    addPatient(QStringLiteral("MARTIN"));
    QCOMPARE(m_db->tPatients.recordCount(), 2);
}

void BackupTest::refusedInsideDatabaseFolder_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("database folder") << QString();
    QTest::newRow("below it") << QStringLiteral("Docs/Sauvegarde/");
}

void BackupTest::refusedInsideDatabaseFolder()
{
    QFETCH(QString, relative);
    const QString path = Globals::BaseFolder + relative;
    storePath(path);
    ScriptedDialogs dialogs;
    dialogs.answer({false});
    DatabaseBackup command = backup();
    QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::NotStarted);
    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("Le dossier de sauvegarde [") + path
                         + QStringLiteral("] se trouve dans le dossier de la base de données.\n\n"
                                          "Souhaitez-vous modifier le paramétrage de la sauvegarde ?")});
    QCOMPARE(m_windowsClosed, 0);
    QVERIFY(!QFileInfo::exists(Globals::BaseFolder + QStringLiteral("Docs/Sauvegarde")));
    QVERIFY(!QFileInfo::exists(Globals::BaseFolder + QStringLiteral("Patients.db/Patients.db")));
    QVERIFY(m_db->tPatients.isActive());
    // Nor may the copy routine be called on such a folder directly.
    QVERIFY(!DatabaseBackup::copyKeepingPrevious(Globals::BaseFolder, path));
}

void BackupTest::previousBackupKeptWhenCopyFails()
{
    const QString path = m_outside.path() + QStringLiteral("/Sauvegarde/");
    storePath(path);
    {
        ScriptedDialogs dialogs;
        DatabaseBackup command = backup();
        QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::Completed);
    }
    const QByteArray previousPatients = readAll(path + QStringLiteral("Patients.db"));
    QVERIFY(!previousPatients.isEmpty());

    // A new patient, a changed document and one too large for the destination.
    addPatient(QStringLiteral("MARTIN"));
    m_home->write(QStringLiteral("Base/Docs/1_rapport.pdf"), "%PDF-1.4 rapport corrige\n");
    m_home->write(QStringLiteral("Base/Docs/2_scanner.pdf"), QByteArray(400 * 1024, 'x'));
    ScriptedDialogs dialogs;
    dialogs.answer({false});
    {
        FileSizeLimit limit(200 * 1024);
        DatabaseBackup command = backup();
        QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::Failed);
    }
    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("Impossible de copier la base de données vers [") + path
                         + QStringLiteral("].\n\nSouhaitez-vous modifier le paramétrage de la sauvegarde ?")});
    // The previous backup is whole and nothing of the failed one is left.
    QCOMPARE(readAll(path + QStringLiteral("Patients.db")), previousPatients);
    QCOMPARE(readAll(path + QStringLiteral("Docs/1_rapport.pdf")), QByteArray("%PDF-1.4 rapport\n"));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("Docs/2_scanner.pdf")));
    QVERIFY(!QFileInfo::exists(DatabaseBackup::stagingFolder(path)));
    QVERIFY(!QFileInfo::exists(DatabaseBackup::previousFolder(path)));
    // The tables were reopened and work.
    QVERIFY(m_db->tPatients.isActive());
    QVERIFY(m_db->tImages.isActive());
    addPatient(QStringLiteral("PETIT"));
    QCOMPARE(m_db->tPatients.recordCount(), 3);
}

void BackupTest::backupStoppedDuringSwap()
{
    // Stopped at each step as by a crash, recovered, then a failing backup.
    const QString path = m_outside.path() + QStringLiteral("/Sauvegarde/");
    storePath(path);
    m_db->close(); // every file, the tables' too, differs between the two versions
    const auto version = &folderContent;
    m_home->write(QStringLiteral("Base/Docs/2_scanner.pdf"), QByteArray(400 * 1024, 'x'));
    for (int stop = 0;; ++stop) {
        QVERIFY(QDir(path).removeRecursively());
        QFile::remove(Globals::BaseFolder + QStringLiteral("Imports/K2"));
        for (const char *file : {"Base/Docs/1_rapport.pdf", "Base/Patients.db", "Base/Observances.db"})
            m_home->write(QLatin1String(file), "ancien");
        QVERIFY(DatabaseBackup::copyKeepingPrevious(Globals::BaseFolder, path));
        const auto previous = version(path);
        for (const char *file : {"Base/Docs/1_rapport.pdf", "Base/Imports/K2", "Base/Patients.db", "Base/Observances.db"})
            m_home->write(QLatin1String(file), "nouveau");
        int step = 0;
        try {
            if (DatabaseBackup::copyKeepingPrevious(Globals::BaseFolder, path, [&] { if (step++ == stop) throw stop; }))
                return; // stopped once at every step
        } catch (int) {
        }
        QVERIFY(step > stop);
        if (stop % 2) { // as at start
            backup().recoverInterruptedBackup();
            QVERIFY(!QFileInfo::exists(DatabaseBackup::stagingFolder(path)));
        }
        FileSizeLimit limit(200 * 1024);
        QVERIFY(!DatabaseBackup::copyKeepingPrevious(Globals::BaseFolder, path));
        QVERIFY(version(path) == previous || version(path) == version(Globals::BaseFolder));
    }
}

// The copy run by a child process that the system kills as it writes past
// its file-size limit, half-way through the database folder; then the
// start-up's recovery, here.
void BackupTest::backupKilledDuringCopy()
{
    const QString path = m_outside.path() + QStringLiteral("/Sauvegarde/");
    storePath(path);
    m_db->close();
    const QString disk = m_outside.path() + QStringLiteral("/Disque");
    QVERIFY(QDir().rename(m_home->file(QStringLiteral("Base")), disk) && QFile::link(disk, m_home->file(QStringLiteral("Base"))));
    QVERIFY(DatabaseBackup::copyKeepingPrevious(Globals::BaseFolder, path));
    const auto previous = folderContent(path);
    for (int n = 0; n < 50; ++n)
        m_home->write(QStringLiteral("Base/Docs/%1_compte-rendu.pdf").arg(n), "%PDF-1.4 nouveau\n");
    m_home->write(QStringLiteral("Base/Docs/7_scanner.pdf"), QByteArray(400 * 1024, 'x'));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVARENIX_BACKUP_CHILD"), path);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    const QString staging = DatabaseBackup::stagingFolder(path);
    QVERIFY(QFileInfo::exists(staging + QStringLiteral("Docs/0_compte-rendu.pdf"))); // stopped in the copy
    // A link the copy left would not be followed.
    QVERIFY(QFile::link(m_outside.path() + QStringLiteral("/Ailleurs"), staging + QStringLiteral("Docs/Ailleurs")));
    QVERIFY(QDir().mkpath(m_outside.path() + QStringLiteral("/Ailleurs")));
    QFile kept(m_outside.path() + QStringLiteral("/Ailleurs/lettre.txt"));
    QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("à garder") > 0);
    kept.close();

    backup().recoverInterruptedBackup();
    QVERIFY(!QFileInfo::exists(QDir::cleanPath(staging)));
    QCOMPARE(folderContent(path), previous);
    QCOMPARE(readAll(m_outside.path() + QStringLiteral("/Ailleurs/lettre.txt")), QByteArray("à garder"));
}

void BackupTest::userFilesInBackupFolderKept()
{
    // A backup folder that is also the user's own: folders of the same names
    // as the database's hold the user's files.
    const QString path = m_outside.path() + QStringLiteral("/Cle/");
    storePath(path);
    const QStringList own{QStringLiteral("Docs/ordonnance.odt"), QStringLiteral("Imports/notes/liste.txt"),
                          QStringLiteral("Patients.txt"), QStringLiteral("../Ailleurs/lettre.txt")};
    for (const QString &file : own) {
        QVERIFY(QDir().mkpath(QFileInfo(path + file).path()));
        QFile f(path + file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file.toUtf8());
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    }
    // A link under the name of the backup's work folder is not walked into.
    QVERIFY(QFile::link(m_outside.path() + QStringLiteral("/Ailleurs"),
                        QDir::cleanPath(DatabaseBackup::stagingFolder(path))));
    for (int run = 0; run < 2; ++run) {
        m_home->write(QStringLiteral("Base/Docs/1_rapport.pdf"), "%PDF-1.4 version " + QByteArray::number(run));
        ScriptedDialogs dialogs;
        DatabaseBackup command = backup();
        QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::Completed);
        QCOMPARE(readAll(path + QStringLiteral("Docs/1_rapport.pdf")), "%PDF-1.4 version " + QByteArray::number(run));
        for (const QString &file : own)
            QCOMPARE(readAll(path + file), file.toUtf8());
        for (const QString &file : own)
            QCOMPARE(QFileInfo(path + file).permissions() & 0x77, QFile::ReadGroup);
    }
}

void BackupTest::userFileUnderBackupNameNotReplaced_data()
{
    QTest::addColumn<bool>("link"); // the user's link where an earlier backup wrote the file
    QTest::newRow("file of the user's") << false;
    QTest::newRow("link of the user's at a name the backup wrote") << true;
}

void BackupTest::userFileUnderBackupNameNotReplaced()
{
    QFETCH(bool, link);
    const QString path = m_outside.path() + QStringLiteral("/Personnel %1/").arg(link);
    storePath(path);
    const QString name = path + QStringLiteral("Docs/1_rapport.pdf");
    QFile mine(link ? m_outside.path() + QStringLiteral("/lettre.pdf") : name);
    if (link) {
        ScriptedDialogs done;
        QCOMPARE(backup().Sauvegarder1Click(), DatabaseBackup::Outcome::Completed);
        QVERIFY(QFile::remove(name) && QFile::link(mine.fileName(), name));
    }
    QVERIFY(QDir().mkpath(path + QStringLiteral("Docs")));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("le mien");
    mine.close();
    ScriptedDialogs dialogs;
    dialogs.answer({false});
    DatabaseBackup command = backup();
    QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::Failed);
    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("Impossible de copier la base de données vers [") + path
                         + QStringLiteral("].\n\nSouhaitez-vous modifier le paramétrage de la sauvegarde ?")});
    QCOMPARE(readAll(mine.fileName()), QByteArray("le mien"));
    QCOMPARE(QFileInfo(name).symLinkTarget(), link ? mine.fileName() : QString());
    QCOMPARE(QFileInfo::exists(path + QStringLiteral("Patients.db")), link);
}

void BackupTest::unwritableFolderChosenAgain()
{
    // A folder under a regular file can never be created.
    QFile blocker(m_outside.path() + QStringLiteral("/fichier"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString bad = blocker.fileName() + QStringLiteral("/Sauvegarde/");
    storePath(bad);
    m_chosenPath = m_outside.path() + QStringLiteral("/Autre/");
    ScriptedDialogs dialogs;
    dialogs.answer({true});
    DatabaseBackup command = backup();
    QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::Completed);
    QCOMPARE(dialogs.texts(),
             (QStringList{QStringLiteral("Impossible d'écrire dans le dossier [") + bad
                              + QStringLiteral("].\n\nSouhaitez-vous modifier le paramétrage de la sauvegarde ?"),
                          QStringLiteral("La sauvegarde est terminée.")}));
    QCOMPARE(m_chooserRuns, 1);
    QVERIFY(QFileInfo::exists(m_chosenPath + QStringLiteral("Patients.db")));
}

void BackupTest::unreachableNetworkShare()
{
    // A share mounted at a place that does not answer.
    const QString mountPoint = m_outside.path() + QStringLiteral("/partage");
    const QString table = m_outside.path() + QStringLiteral("/mounts");
    QFile mounts(table);
    QVERIFY(mounts.open(QIODevice::WriteOnly));
    mounts.write("/dev/sda1 / ext4 rw 0 0\n//serveur/sauvegardes " + QFile::encodeName(mountPoint)
                 + " cifs rw 0 0\n");
    mounts.close();
    const QString path = mountPoint + QStringLiteral("/Cabinet/");
    storePath(path);
    ScriptedDialogs dialogs;
    dialogs.answer({false});
    DatabaseBackup command = backup();
    command.setMountTable(table);
    QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::NotStarted);
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Le chemin de sauvegarde [") + path
                                          + QStringLiteral("] n'est pas correct, l'ordinateur [serveur] étant "
                                                           "inacessible.\n\nSouhaitez-vous modifier le "
                                                           "paramétrage de la sauvegarde ?")});
    QVERIFY(!QFileInfo::exists(mountPoint));
    // Chosen while mounted, then unmounted: the chooser gives it back as it is.
    m_chosenPath = path;
    command.SelectBackupFolder();
    QVERIFY(QFile::resize(table, qstrlen("/dev/sda1 / ext4 rw 0 0\n"))); // the share's line gone
    dialogs.answer({true});
    QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::NotStarted);
    QCOMPARE(dialogs.texts(), QStringList(3, dialogs.texts().first()));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("Patients.db")));
    // Unmounted for being idle: the automount point alone, until the folder is opened.
    QVERIFY(mounts.open(QIODevice::Append));
    mounts.write("systemd-1 " + QFile::encodeName(mountPoint) + " autofs rw 0 0\n");
    mounts.close();
    command.setFolderProbe([&](const QString &folder) {
        if (folder == path && mounts.open(QIODevice::Append))
            mounts.write("//serveur/sauvegardes " + QFile::encodeName(mountPoint) + " cifs rw 0 0\n");
        mounts.close();
        return QDir().mkpath(mountPoint);
    });
    QCOMPARE(command.Sauvegarder1Click(), DatabaseBackup::Outcome::Completed);
}

void BackupTest::networkMounts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QString>("host");
    QTest::newRow("local disk") << "/home/doc/Sauvegarde" << "" << "";
    QTest::newRow("cifs share") << "/mnt/cabinet/Sauvegarde" << "/mnt/cabinet" << "serveur";
    QTest::newRow("nfs share") << "/srv/nfs/a" << "/srv/nfs" << "nas";
    QTest::newRow("blank in mount point") << "/media/Mes Sauvegardes/x" << "/media/Mes Sauvegardes" << "nas";
    QTest::newRow("local mount below a share") << "/mnt/cabinet/usb/x" << "" << "";
    QTest::newRow("prefix is not a parent") << "/mnt/cabinet2/x" << "" << "";
}

void BackupTest::networkMounts()
{
    QFETCH(QString, path);
    QFETCH(QString, mountPoint);
    QFETCH(QString, host);
    QTemporaryFile table;
    QVERIFY(table.open());
    table.write("/dev/sda1 / ext4 rw 0 0\n"
                "//serveur/partage /mnt/cabinet cifs rw 0 0\n"
                "/dev/sdb1 /mnt/cabinet/usb vfat rw 0 0\n"
                "nas:/export /srv/nfs nfs4 rw 0 0\n"
                "nas:/media /media/Mes\\040Sauvegardes nfs rw 0 0\n");
    table.close();
    const auto mount = NetworkMounts::find(path, table.fileName());
    QCOMPARE(mount.has_value(), !mountPoint.isEmpty());
    if (mount) {
        QCOMPARE(mount->mountPoint, mountPoint);
        QCOMPARE(mount->host, host);
    }
}

void BackupTest::writableFolderTest()
{
    const QString folder = m_outside.path() + QStringLiteral("/ecriture");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(IsDirectoryWritable(folder));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/__1.txt")));
    // A probe file already there counts and stays as it was.
    QFile probe(folder + QStringLiteral("/__1.txt"));
    QVERIFY(probe.open(QIODevice::WriteOnly));
    probe.write("garder");
    probe.close();
    QVERIFY(IsDirectoryWritable(folder));
    QCOMPARE(readAll(probe.fileName()), QByteArray("garder"));
    QVERIFY(!IsDirectoryWritable(folder + QStringLiteral("/absent")));
    QVERIFY(!IsDirectoryWritable(probe.fileName()));
}

void BackupTest::chooserFindsNodePathAgain()
{
    ScriptedDialogs dialogs;
    // A folder inside a folder of the same name: the node path names the inner one.
    const QString inner = m_outside.path() + QStringLiteral("/Cabinet/Cabinet");
    QVERIFY(QDir().mkpath(inner));
    QString nodePath;
    {
        TfSelectFolder chooser;
        chooser.selectFolder(inner);
        QCOMPARE(chooser.selectedFolder(), inner);
        QVERIFY(chooser.okButton()->isEnabled());
        nodePath = chooser.SelectedNodePath;
        QVERIFY(nodePath.endsWith(QStringLiteral("[Cabinet][Cabinet]")));
        QVERIFY(nodePath.startsWith(QStringLiteral("[/]")));

        // A folder of the database is shown in red and cannot be validated.
        chooser.selectFolder(Globals::BaseFolder + QStringLiteral("Docs"));
        QVERIFY(!chooser.okButton()->isEnabled());
        QVERIFY(chooser.SelectedNodePath.isEmpty());
    }
    TfSelectFolder again;
    again.selectNodePath(nodePath.toUpper());
    QCOMPARE(again.selectedFolder(), inner);
    QVERIFY(again.okButton()->isEnabled());

    TfSelectFolder gone;
    gone.selectNodePath(QStringLiteral("[/][n'existe plus][nulle part]"));
    QVERIFY(gone.selectedFolder().isEmpty());
    QVERIFY(!gone.okButton()->isEnabled());
    QVERIFY(dialogs.shown.isEmpty());
}

void BackupTest::chooserStartsOnTheDesktop()
{
    TestHome home(true);
    ScriptedDialogs dialogs;
    ApplicationSetup::applyLook(*qApp);
    TfSelectFolder chooser;
    chooser.start(QStringLiteral("Invite"), QString(), QString());
    chooser.show();
    QCOMPARE(chooser.width(), 784);
    QCOMPARE(chooser.selectedFolder(), home.desktopPath());
    QVERIFY(chooser.tree()->isExpanded(chooser.tree()->currentIndex()));
    QVERIFY(chooser.okButton()->isEnabled());
    // The rest of the computer is still there above it.
    QVERIFY(chooser.tree()->model()->rowCount(chooser.tree()->rootIndex()) > 0);
    QVERIFY(!chooser.createSubFolder(QStringLiteral("..")));
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Information);
    QCOMPARE(dialogs.lastText(), QStringLiteral("La création du répertoire a échoué."));
}

namespace {

// The child process of backupKilledDuringCopy: copies the database folder
// of its program folder into the given backup folder, and is killed by the
// system (SIGXFSZ, no core) at the first write past 200 KiB.
int runBackupChild(const QString &backupFolder)
{
    Globals::BaseFolder = ProgramFolder::path() + QStringLiteral("Base/");
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    FileSizeLimit limit(200 * 1024, SIG_DFL);
    return DatabaseBackup::copyKeepingPrevious(Globals::BaseFolder, backupFolder) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TOLVARENIX_BACKUP_CHILD"))
        return runBackupChild(qEnvironmentVariable("TOLVARENIX_BACKUP_CHILD"));
    BackupTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_backup.moc"
