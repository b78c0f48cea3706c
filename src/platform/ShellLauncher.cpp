#include "platform/ShellLauncher.h"

#include <QDesktopServices>

namespace {
std::function<bool(const QUrl &)> &handler()
{
    static std::function<bool(const QUrl &)> h;
    return h;
}
} // namespace

bool ShellLauncher::openUrl(const QUrl &url)
{
    if (handler())
        return handler()(url);
    return QDesktopServices::openUrl(url);
}

void ShellLauncher::setHandler(std::function<bool(const QUrl &)> h)
{
    handler() = std::move(h);
}
