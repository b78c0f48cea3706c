#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Downloader;

// The module update search of the about box: reads the modules of this
// edition from the service table LiveUpdate, downloads each newer or missing
// one from the maker's web server, and registers the replacements for the
// updater in "Updater.ini" (program folder), which runs when the program
// ends. A new module goes straight into its folder.
class UpdateSearch
{
public:
    struct Needs {
        // TfMain::ConnectInternetDatabase.
        std::function<bool(bool reconnect)> connectInternetDatabase;
        // The main window's downloads.
        Downloader *downloader = nullptr;
        // TfMain::QuitterClick.
        std::function<void()> quit;
    };

    static constexpr char kQuery[] = "select * from LiveUpdate WHERE SQL_Version='TolvarenixLight'";
    static constexpr char kUpdaterIni[] = "Updater.ini";
    static constexpr char kUpdater[] = "Updater";

    explicit UpdateSearch(Needs needs);

    // The whole search, with its questions and messages.
    void run();

    // Where a module of the given location and name belongs on this
    // machine: the program folder, or a folder below it for a location
    // below "C:\TOLVARENIX\". Empty when the name is not a bare file name or
    // the location would leave the program folder.
    static QString localFile(const QString &location, const QString &fileName);

    // Appends the files of one replacement (names relative to its folder
    // "Update/" + subFolder, registered with that sub-folder before them) to
    // "Updater.ini"; false when the file could not be written. Sets
    // Globals::RunUpdaterOnExit from the total.
    static bool registerReplacement(const QStringList &names, const QString &destination,
                                    const QString &subFolder);

private:
    struct Module;
    bool ensureConnected();
    bool readModules(QList<Module> &modules);
    void update(const Module &module);
    void reportFailure(const Module &module, const QString &reason);
    void offerToQuit();

    Needs m_needs;
};
