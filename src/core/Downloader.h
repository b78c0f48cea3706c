#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class HttpClient;
class QProgressBar;
class TFProgress;

// Fetches one file of the maker's web server into "Temp/" below the program
// folder with the main window's HTTP client, showing a progress window, then
// unpacks it with 7-Zip into a destination folder or moves it there.
//
// It also holds the client's progress handlers: during a download they feed
// the progress window, for every other request the main window's bar.
// Installed on the client when constructed, removed when destroyed.
class Downloader
{
public:
    // The main window's remote connection (TfMain::ConnectInternetDatabase).
    using ConnectFunction = std::function<bool(bool reconnect)>;

    Downloader(HttpClient &http, QProgressBar &pbReception, ConnectFunction connectInternetDatabase);
    ~Downloader();
    Downloader(const Downloader &) = delete;
    Downloader &operator=(const Downloader &) = delete;

    // True only when this call produced destination + fileName: the server
    // answered 200 over verified TLS, the body came whole (the answer's
    // length or its last chunk, else the server's or the caller's size; with
    // none, only a body ended by the server's TLS close), and for an archive 7-Zip ended with
    // code 0 and the file came out of it. Otherwise false, with the reason in lastError(); an older copy
    // at the destination is kept then. fileName and the URL's last part
    // must be bare file names. size 0: a HEAD request asks the server.
    // The eighth argument is accepted and not used.
    bool Telecharger(const QString &url, const QString &fileName, const QString &destination,
                     const QString &caption, qint64 size, bool compressed, const QString &password,
                     const QString &unused, bool reconnect);

    // The same without the service database: only the web server need be
    // reachable (the installation of 7-Zip at start-up).
    bool fetchFromWebServer(const QString &url, const QString &fileName, const QString &destination,
                            const QString &caption, qint64 size, bool compressed, const QString &password);

    const QString &lastError() const { return m_lastError; }
    // What the last successful call placed in its destination, relative to
    // it ("/"-separated): the file itself, or everything the archive held.
    const QStringList &placedFiles() const { return m_files; }

    // The text after the last "/", "\" or ":" of the address, trimmed.
    static QString FileNameFromURL(const QString &url);

    // The client's progress handlers.
    void IdHTTP1WorkBegin(qint64 expected);
    void IdHTTP1Work(qint64 count);
    void IdHTTP1WorkEnd();

    // The progress window of the running download, or none.
    TFProgress *DownloadProgressForm() const { return m_progressForm.get(); }
    qint64 DownloadSize = 0;

private:
    bool fail(const QString &error);
    bool download(const QString &url, const QString &caption, qint64 size, const QString &tempFile);
    bool placeFile(const QString &tempFile, const QString &target);
    bool unpack(const QString &tempFile, const QString &targetFolder, const QString &fileName,
                const QString &caption, const QString &password);
    TFProgress *visibleProgressForm() const;

    HttpClient &m_http;
    QProgressBar &m_pbReception;
    ConnectFunction m_connect;
    std::unique_ptr<TFProgress> m_progressForm;
    QString m_lastError;
    QStringList m_files;
};
