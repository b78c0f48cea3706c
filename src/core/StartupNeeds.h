#pragma once

#include <functional>

class Downloader;
class HttpClient;
class LocalAddressWatcher;
class QWidget;
class RemoteDatabase;

// What the access-code step, the 7-Zip check, the ODBC steps and the remote
// connection need from the main window. The main window owns these parts and
// hands this out; tests build one of their own.
struct StartupNeeds {
    HttpClient *http = nullptr;             // IdHTTP1
    RemoteDatabase *database = nullptr;     // DBFTP
    LocalAddressWatcher *watcher = nullptr; // IdIPWatch1
    QWidget *window = nullptr;              // the main window itself (caption)
    std::function<void()> armCloseTimer;    // starts tmrClose
    Downloader *downloader = nullptr;       // TfMain.Telecharger
    // Ends the program now: no later start-up step runs or shows anything,
    // then the closing timer closes the window (armClose() when unset).
    std::function<void()> endProgram;

    void armClose() const
    {
        if (armCloseTimer)
            armCloseTimer();
    }
    void endProgramNow() const
    {
        if (endProgram)
            endProgram();
        else
            armClose();
    }
};
