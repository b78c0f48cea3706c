#pragma once

#include "reception/ReportFile.h"

#include <QStringList>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

// Reads the next few report files of an import on a thread of its own while
// the import handles the current one, in the order they are imported, and
// looks whether each one's documents folder is there.
//
// Only a reading that went through whole is handed over: whatever failed
// (a file missing, too large, not a regular file, a line too long, even an
// exception) is read again by the import itself, which then fails as it
// always did, with the same message. The reports are read before their turn:
// a file the import renames is always the one it is handling, already read.
class ReportReadAhead
{
public:
    // At most this many reports read and not yet taken, and no new one
    // begun once those hold a report's largest size. The thread, once it
    // has read that far, sleeps until half of them are taken: waking it for
    // each report would cost the import more than the reading it saves.
    static constexpr int kDepth = 32;
    static constexpr int kRefill = kDepth / 2;
    static constexpr qint64 kHeldBytes = ReportLineReader::kMaxFileSize;

    // The full paths of the run's reports, in their order, and their
    // documents folders.
    ReportReadAhead(QStringList paths, QStringList folders);
    // Stops the reading and waits for the thread.
    ~ReportReadAhead();
    ReportReadAhead(const ReportReadAhead &) = delete;
    ReportReadAhead &operator=(const ReportReadAhead &) = delete;

    struct Report {
        ReportContent content;
        bool folderExists = false; // at the time it was read
    };
    // The report at index (indexes taken in increasing order, any skipped),
    // or empty: it was not read ahead, or not read whole. Waits only for a
    // reading of that report already under way.
    std::optional<Report> take(int index);

private:
    void work();
    bool refill() const; // the sleeping thread has room to read again

    const QStringList m_paths;
    const QStringList m_folders;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // What was read of each index from m_wanted on (empty: a failure).
    std::map<int, std::optional<Report>> m_read;
    int m_next = 0;   // the next index the thread reads
    int m_wanted = 0; // the lowest index the import may still take
    qint64 m_held = 0;
    bool m_sleeping = false; // the thread waits for the reports to be taken
    bool m_importWaits = false;
    bool m_stopping = false;
    std::thread m_thread;
};
