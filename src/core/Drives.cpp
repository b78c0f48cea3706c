#include "core/Drives.h"

#include <QFile>

#include <chrono>
#include <dirent.h>
#include <future>
#include <thread>

bool NetworkPathExists(const QString &path, int timeoutMs)
{
    if (path.isEmpty())
        return false;
    // A hung mount can block opendir for minutes: probe on a thread of its
    // own and stop waiting at the limit (the thread ends whenever it can).
    auto result = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = result->get_future();
    const QByteArray native = QFile::encodeName(path);
    std::thread([result, native] {
        DIR *dir = ::opendir(native.constData());
        if (dir)
            ::closedir(dir);
        result->set_value(dir != nullptr);
    }).detach();
    if (answer.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return false;
    return answer.get();
}
