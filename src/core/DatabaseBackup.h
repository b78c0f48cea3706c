#pragma once

#include <QString>

#include <functional>

class LocalDatabase;

// The backup command: copies the whole database folder into the backup
// folder the user chose once (section "Main", keys "BackupPath" and
// "BackupNodePath" of the configuration file).
//
// The copy goes first into a hidden folder inside the backup folder and
// replaces the previous backup only once it is complete, so a failed copy
// leaves the previous backup as it was; a replacement that a crash stopped
// is finished by the next backup, or at the next start. The backup folder may hold the
// user's own files: a hidden list names the files backups wrote there, and
// no other file is ever removed or replaced (a user's file in the way makes
// the backup fail). The local tables are closed for the
// copy and reopened whatever its outcome. A backup folder inside the
// database folder is refused.
class DatabaseBackup
{
public:
    enum class Outcome {
        NotStarted, // the tables were never closed
        Completed,
        Failed      // the tables were closed and reopened, the copy failed
    };

    // Lets the user choose a folder: on validation, path (with a trailing
    // "/") and nodePath are replaced; otherwise both are kept.
    using FolderChooser = std::function<void(const QString &prompt, QString &path, QString &nodePath)>;

    // closeWindows closes what shows the tables (the observance window and
    // the date box) before the copy.
    DatabaseBackup(LocalDatabase &database, std::function<void()> closeWindows);

    // The chooser in use (the folder chooser window unless replaced).
    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }
    // The kernel's mount table, read to find network shares (tests).
    void setMountTable(const QString &file) { m_mountTable = file; }
    // How a folder is reached, true when it could be listed (tests stand in
    // for the system, which mounts an automounted share when it is opened).
    using FolderProbe = std::function<bool(const QString &folder)>;
    void setFolderProbe(FolderProbe probe) { m_probe = std::move(probe); }

    // The whole command, with its questions and messages.
    Outcome Sauvegarder1Click();
    // Lets the user choose the backup folder and stores it.
    void SelectBackupFolder();
    // Finishes, at start-up, a backup stopped while it replaced the previous
    // one, so the backup folder holds one whole backup.
    void recoverInterruptedBackup();
    // Closes every local table and query, and the windows showing them.
    void CloseAllTables();

    // Copies the database folder into the backup folder, replacing the
    // previous backup's files only when the copy is complete. False on any
    // failure, with the previous backup whole (or, should a replacement
    // stopped earlier have been finished first, that one). beforeEachSwapStep runs
    // before each change the swap makes in the backup folder (tests stop the
    // backup there, as a crash would).
    static bool copyKeepingPrevious(const QString &databaseFolder, const QString &backupFolder,
                                    const std::function<void()> &beforeEachSwapStep = {});

    // The hidden folders used inside the backup folder during a backup.
    static QString stagingFolder(const QString &backupFolder);
    static QString previousFolder(const QString &backupFolder);

private:
    bool askToChooseAgain(const QString &problem);
    QString unreachableComputer(const QString &path);
    bool reopenTables();

    LocalDatabase &m_database;
    std::function<void()> m_closeWindows;
    FolderChooser m_chooser;
    QString m_mountTable;
    FolderProbe m_probe;
};
