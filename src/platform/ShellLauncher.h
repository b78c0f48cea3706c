#pragma once

#include <QUrl>
#include <functional>

// Hands a web link or a local file to the desktop's associated program.
// Tests install a handler that records what would have been opened.
class ShellLauncher
{
public:
    static bool openUrl(const QUrl &url);
    // Replaces the desktop; an empty function restores it.
    static void setHandler(std::function<bool(const QUrl &)> handler);
};
