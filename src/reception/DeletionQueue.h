#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// Deletes, on a thread of its own and in the order given, what committed
// imports left: for each entry its files, then its folder once empty. The
// import goes on meanwhile; unlinking is the kernel's slow part of it.
//
// Whoever is about to look into a folder an entry may still be emptying
// calls settle() first: it then sees that folder as a deletion done at once
// would have left it. The result of each deletion is ignored, as the import
// always did: a file that could not be deleted is imported again and found
// already stored. An exception of the worker holds the deletions until it is
// thrown again on the calling thread by the next call; the entries left are
// then done.
class DeletionQueue
{
public:
    struct Entry;
    // What is done for one entry (its files, then its folder once empty).
    using Remover = std::function<void(const Entry &)>;
    explicit DeletionQueue(Remover remove = &removeEntry);
    // Waits for the entries still queued; an exception of the worker is then
    // dropped (the destructor runs while another one leaves the import).
    ~DeletionQueue();
    DeletionQueue(const DeletionQueue &) = delete;
    DeletionQueue &operator=(const DeletionQueue &) = delete;

    // Files, then a folder (ending with "/"; none when empty) to remove once
    // empty.
    struct Entry {
        QStringList files;
        QString folder;
    };
    static void removeEntry(const Entry &entry);
    // Queued together: the thread is woken once for them. Only what is
    // committed may be queued.
    void add(QList<Entry> entries);
    // Whether an entry of this queue, done or not, changes what folder
    // (ending with "/") holds directly, or removes it.
    bool touches(const QString &folder);
    // Returns once no queued entry can change folder any more.
    void settle(const QString &folder);
    // Returns once every entry is done.
    void finish();

private:
    void work();
    void waitUntilEmpty(std::unique_lock<std::mutex> &lock);
    void rethrow();

    const Remover m_remove;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Entry> m_entries;
    // The folders the entries touch (see touches()).
    QSet<QString> m_touched;
    bool m_working = false; // an entry taken from m_entries is being done
    bool m_stopping = false;
    std::exception_ptr m_failure;
    std::thread m_thread; // started with the first entry
};
