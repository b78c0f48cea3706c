#include "reception/DeletionQueue.h"

#include "core/Common.h"

#include <QDir>

namespace {

// The folder holding a path, with its "/" (a folder's own path ends with it).
QString parentFolder(const QString &path)
{
    const qsizetype end = path.endsWith(u'/') ? path.size() - 1 : path.size();
    return path.left(path.lastIndexOf(u'/', end - 1) + 1);
}

} // namespace

DeletionQueue::DeletionQueue(Remover remove) : m_remove(std::move(remove))
{
}

void DeletionQueue::removeEntry(const Entry &entry)
{
    for (const QString &path : entry.files)
        DeleteFileIfExists(path);
    if (!entry.folder.isEmpty())
        QDir().rmdir(entry.folder);
}

DeletionQueue::~DeletionQueue()
{
    {
        std::unique_lock lock(m_mutex);
        waitUntilEmpty(lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void DeletionQueue::add(QList<Entry> entries)
{
    if (entries.isEmpty())
        return;
    {
        std::lock_guard lock(m_mutex);
        rethrow();
        for (Entry &entry : entries) {
            for (const QString &file : std::as_const(entry.files))
                m_touched.insert(parentFolder(file));
            if (!entry.folder.isEmpty()) {
                m_touched.insert(entry.folder);
                m_touched.insert(parentFolder(entry.folder));
            }
            m_entries.push_back(std::move(entry));
        }
        if (!m_thread.joinable())
            m_thread = std::thread([this] { work(); });
    }
    m_changed.notify_all();
}

bool DeletionQueue::touches(const QString &folder)
{
    std::lock_guard lock(m_mutex);
    return m_touched.contains(folder);
}

// Rarely needed (an old report's documents in the shared folder, two reports
// named alike but for case): waiting for all the entries is then enough.
void DeletionQueue::settle(const QString &folder)
{
    std::unique_lock lock(m_mutex);
    if (m_touched.contains(folder))
        waitUntilEmpty(lock);
    rethrow();
}

void DeletionQueue::finish()
{
    std::unique_lock lock(m_mutex);
    waitUntilEmpty(lock);
    rethrow();
}

// A failure stops the worker with entries left: they are not waited for.
void DeletionQueue::waitUntilEmpty(std::unique_lock<std::mutex> &lock)
{
    m_changed.wait(lock, [this] { return (m_entries.empty() && !m_working) || m_failure; });
}

// Called with the lock held. The worker, held by the failure, takes the
// entries left again: otherwise whoever waits for them would wait for ever.
void DeletionQueue::rethrow()
{
    if (!m_failure)
        return;
    const std::exception_ptr failure = std::exchange(m_failure, nullptr);
    m_changed.notify_all();
    std::rethrow_exception(failure);
}

void DeletionQueue::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || (!m_entries.empty() && !m_failure); });
        if (m_entries.empty() || m_failure)
            return;
        const Entry entry = std::move(m_entries.front());
        m_entries.pop_front();
        m_working = true;
        lock.unlock();
        std::exception_ptr failure;
        try {
            m_remove(entry);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        m_working = false;
        m_failure = failure;
        m_changed.notify_all();
    }
}
