#pragma once

#include <functional>

class Downloader;
class HttpClient;
class LocalAddressWatcher;
class QWidget;
class RemoteDatabase;

// The parts of the main window that the access-code step, the ODBC steps
// and the remote connection work with. The main window owns them and hands
// this out; tests build one of their own.
struct MainWindowParts {
    HttpClient *http = nullptr;             // IdHTTP1
    RemoteDatabase *database = nullptr;     // DBFTP
    LocalAddressWatcher *watcher = nullptr; // IdIPWatch1
    QWidget *window = nullptr;              // the main window itself (caption)
    std::function<void()> armCloseTimer;    // starts tmrClose
    Downloader *downloader = nullptr;       // TfMain.Telecharger

    void armClose() const
    {
        if (armCloseTimer)
            armCloseTimer();
    }
};
