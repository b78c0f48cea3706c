#include "reception/ReportReadAhead.h"

#include <QFileInfo>

ReportReadAhead::ReportReadAhead(QStringList paths, QStringList folders)
    : m_paths(std::move(paths))
    , m_folders(std::move(folders))
{
    if (!m_paths.isEmpty())
        m_thread = std::thread([this] { work(); });
}

ReportReadAhead::~ReportReadAhead()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<ReportReadAhead::Report> ReportReadAhead::take(int index)
{
    std::unique_lock lock(m_mutex);
    m_wanted = index;
    for (auto it = m_read.begin(); it != m_read.end() && it->first < index;) {
        m_held -= it->second ? it->second->content.bytes.size() : 0;
        it = m_read.erase(it);
    }
    std::optional<Report> content;
    if (m_next <= index) {
        // Not begun: the import reads it sooner itself.
        m_next = index + 1;
    } else {
        m_importWaits = true;
        m_changed.wait(lock, [&] { return m_read.count(index) > 0; });
        m_importWaits = false;
        const auto it = m_read.find(index);
        content = std::move(it->second);
        m_held -= content ? content->content.bytes.size() : 0;
        m_read.erase(it);
    }
    m_wanted = index + 1;
    const bool wake = m_sleeping && refill();
    lock.unlock();
    if (wake)
        m_changed.notify_all();
    return content;
}

bool ReportReadAhead::refill() const
{
    return m_next - m_wanted <= kRefill && m_held < kHeldBytes;
}

void ReportReadAhead::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_stopping && m_next < m_paths.size() && (m_next >= m_wanted + kDepth || m_held >= kHeldBytes)) {
            m_sleeping = true;
            m_changed.wait(lock, [this] { return m_stopping || refill(); });
            m_sleeping = false;
        }
        if (m_stopping || m_next >= m_paths.size())
            return;
        const int index = m_next++;
        const QString path = m_paths.at(index);
        const QString folder = m_folders.at(index);
        lock.unlock();
        std::optional<Report> content;
        try {
            ReportRead<ReportContent> read = ReadReportContent(path);
            if (read.ok())
                content = Report{std::move(read.value), QFileInfo(folder).isDir()};
        } catch (...) {
            // Left to the import's own reading, which meets it again.
        }
        lock.lock();
        if (index >= m_wanted) {
            m_held += content ? content->content.bytes.size() : 0;
            m_read.emplace(index, std::move(content));
            if (m_importWaits)
                m_changed.notify_all();
        }
    }
}
