#pragma once

#include "reception/DeletionQueue.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LocalTransaction;

// Report files imported under one transaction of the local tables, so that
// the disk is forced once for the group rather than once per file. Each file
// writes inside a savepoint of its own: its failure undoes its writes alone.
// What a file leaves to delete (the report, the documents it copied, its
// emptied documents folder) is handed to the deletions only once the group
// is committed: a process killed before that finds every report of the group
// still waiting and nothing of them stored.
class ImportGroup
{
public:
    ImportGroup(QString folder, DeletionQueue &deletions);
    ~ImportGroup(); // a group not committed is rolled back: its files stay
    ImportGroup(const ImportGroup &) = delete;
    ImportGroup &operator=(const ImportGroup &) = delete;

    // Begins the group when none runs, then the file's savepoint.
    void beginFile();
    // Inside a savepoint, every page a write touches is first copied aside,
    // and in a protected file each copy is encrypted: for a single row that
    // is most of its cost. A write the file can undo by itself (an insert
    // whose row it can delete) may therefore run outside it, when the file
    // has written nothing else yet. Left: true when the savepoint was ended
    // for the write; reenterSavepoint must follow the write in any case,
    // with the undo of what the write did once it succeeded.
    bool leaveUnusedSavepoint();
    void reenterSavepoint(std::function<void()> undo);
    // The file's writes stay in the group; the files, then the folder (once
    // empty), are deleted after the commit. Its copies go should the group
    // be rolled back: they would stand under the names of later documents.
    void keepFile(const QString &name, const QStringList &filesToDelete, const QString &folderToRemove,
                  const QStringList &copies = {});
    // Undoes the file's writes and removes the copies it made; the group
    // goes on.
    void dropFile(const QStringList &copies);

    bool isOpen() const { return bool(m_transaction); }
    // True when the group can only fail: the engine ended its transaction, or
    // a file's writes could not be undone. Its commit then tells why.
    bool isBroken() const;
    // Throws, with the reason, when the group is broken.
    void requireRunning();
    // Time since the group began (monotonic clock).
    qint64 elapsedMs() const { return m_started.elapsed(); }

    struct Failure {
        QStringList names; // the files of the group, all kept
        QString message;
    };
    // Commits the group, then queues the deletion of what its files left.
    // When the commit fails the group is rolled back and nothing is deleted.
    // No-op without a group.
    std::optional<Failure> commit();

private:
    struct Pending {
        QString name;
        DeletionQueue::Entry deletion;
        QStringList copies;
    };
    // Removes copies whose rows are gone: they would stand under the names
    // of later documents.
    static void removeCopies(const QStringList &copies);
    static void removeCopies(const QList<Pending> &pending);
    // False, and the group marked broken, when the engine ended the
    // transaction: a savepoint statement would then begin another one.
    bool stillRunning();

    QString m_folder;
    DeletionQueue &m_deletions;
    std::unique_ptr<LocalTransaction> m_transaction;
    QElapsedTimer m_started;
    QList<Pending> m_pending;
    qint64 m_changesAtSavepoint = 0;
    std::vector<std::function<void()>> m_undo; // the file's writes outside its savepoint
    QString m_broken;                           // why the group can only fail
};
