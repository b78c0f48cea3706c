#include "core/Downloader.h"

#include "core/Common.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "core/Progress.h"
#include "platform/ProgramFolder.h"
#include "core/SevenZip.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QUrl>

namespace {

QString kiloBytes(qint64 bytes)
{
    return QString::number(bytes / 1024) + QStringLiteral(" Ko");
}

void processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void pauseKeepingWindowsPainted(int times, int milliseconds)
{
    for (int i = 0; i < times; ++i) {
        QThread::msleep(milliseconds);
        processPendingEvents();
    }
}

} // namespace

Downloader::Downloader(HttpClient &http, QProgressBar &pbReception, ConnectFunction connectInternetDatabase)
    : m_http(http)
    , m_pbReception(pbReception)
    , m_connect(std::move(connectInternetDatabase))
{
    m_http.setWorkHandlers({[this](qint64 total) { IdHTTP1WorkBegin(total); },
                            [this](qint64 count) { IdHTTP1Work(count); }, [this] { IdHTTP1WorkEnd(); }});
}

Downloader::~Downloader()
{
    m_http.setWorkHandlers({});
}

QString Downloader::FileNameFromURL(const QString &url)
{
    const qsizetype last = std::max({url.lastIndexOf(u'/'), url.lastIndexOf(u'\\'), url.lastIndexOf(u':')});
    return url.mid(last + 1).trimmed();
}

bool Downloader::fail(const QString &error)
{
    m_lastError = error;
    return false;
}

bool Downloader::Telecharger(const QString &url, const QString &fileName, const QString &destination,
                             const QString &caption, qint64 size, bool compressed, const QString &password,
                             const QString &unused, bool reconnect)
{
    Q_UNUSED(unused);
    m_lastError.clear();
    m_files.clear();

    if (m_connect && !m_connect(reconnect))
        return fail(QStringLiteral("Pas de connexion au serveur."));
    return fetchFromWebServer(url, fileName, destination, caption, size, compressed, password);
}

bool Downloader::fetchFromWebServer(const QString &url, const QString &fileName, const QString &destination,
                                    const QString &caption, qint64 size, bool compressed, const QString &password)
{
    m_lastError.clear();
    m_files.clear();

    // Programs and modules come from here: only over verified TLS, and only
    // under names that stay in their folders.
    if (QUrl(url).scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("Adresse refusée (connexion non sécurisée) : %1").arg(url));
    const QString tempName = FileNameFromURL(url);
    if (!IsBareFileName(tempName) || !IsBareFileName(fileName))
        return fail(QStringLiteral("Nom de fichier refusé : %1").arg(IsBareFileName(fileName) ? tempName : fileName));

    const QString tempFolder = ProgramFolder::path() + QStringLiteral("Temp/");
    if (!QDir().mkpath(tempFolder))
        return fail(QStringLiteral("Impossible de créer le dossier %1.").arg(tempFolder));
    const QString targetFolder = AddBackslash(destination);
    QDir().mkpath(targetFolder);
    if (!QFileInfo(targetFolder).isDir())
        return fail(QStringLiteral("Impossible de créer le dossier %1.").arg(targetFolder));

    const QString tempFile = tempFolder + tempName;
    DeleteFileIfExists(tempFile);

    if (m_http.connected())
        m_http.disconnect();
    const HttpResult connection = m_http.connectToServer();
    if (!connection.ok || !m_http.connected())
        return fail(QStringLiteral("Serveur injoignable : %1").arg(connection.error));

    if (!download(url, caption, size, tempFile))
        return false;

    if (Globals::DebugMode)
        Dialogs::instance().information(QStringLiteral("Function TFMain.Telecharger(") + url + QStringLiteral(", ")
                                        + fileName + QStringLiteral(", ") + destination + QStringLiteral(", ")
                                        + caption + QStringLiteral("): le fichier [") + tempFile
                                        + QStringLiteral("] existe."));

    if (compressed)
        return unpack(tempFile, targetFolder, fileName, caption, password);
    if (!placeFile(tempFile, targetFolder + fileName))
        return false;
    m_files = QStringList{fileName};
    return true;
}

bool Downloader::download(const QString &url, const QString &caption, qint64 size, const QString &tempFile)
{
    if (size == 0) {
        // The size the server announces; an empty answer leaves the server
        // a moment before the transfer.
        const HttpResult head = m_http.head(url);
        if (!head.ok)
            return fail(QStringLiteral("Échec de la requête %1 : %2").arg(url, head.error));
        size = std::max<qint64>(head.contentLength, 0);
        if (size == 0)
            pauseKeepingWindowsPainted(30, 100);
    }
    DownloadSize = size;

    m_progressForm = std::make_unique<TFProgress>();
    m_progressForm->Label1()->setText(QStringLiteral("Réception de ") + caption + QStringLiteral("..."));
    m_progressForm->LTaille()->setText(QString::number(size));
    m_progressForm->show();
    processPendingEvents();

    const HttpResult result = m_http.getToFile(url, tempFile);

    // The window goes away whatever the outcome.
    m_progressForm->hide();
    m_progressForm.reset();

    if (!result.ok)
        return fail(QStringLiteral("Échec du téléchargement de %1 : %2").arg(url, result.error));
    // A redirection or an empty answer is not the file.
    if (result.status != 200) {
        DeleteFileIfExists(tempFile);
        return fail(QStringLiteral("Échec du téléchargement de %1 : %2").arg(url, result.statusLine));
    }
    // Whole when the answer itself tells where its body ends: its own length
    // (the caller's may be out of date), or its chunks, up to the last one
    // (a request cut before it fails). Else with the size the server or the
    // caller announced; with none, only a body the server ended by closing
    // TLS: a bare connection cut may fall anywhere.
    const qint64 expected = result.contentLength >= 0 ? result.contentLength
                          : result.chunked            ? result.bytes
                          : size > 0                  ? size
                                                      : -1;
    const qint64 onDisk = QFileInfo(tempFile).size();
    if ((expected >= 0 ? result.bytes != expected : !result.tlsClosed) || onDisk != result.bytes) {
        DeleteFileIfExists(tempFile);
        return fail(QStringLiteral("Téléchargement incomplet de %1 : %2 octets reçus sur %3.")
                        .arg(url, QString::number(result.bytes),
                             expected >= 0 ? QString::number(expected) : QStringLiteral("une taille inconnue")));
    }
    return true;
}

bool Downloader::placeFile(const QString &tempFile, const QString &target)
{
    if (QDir::cleanPath(tempFile) == QDir::cleanPath(target))
        return true;
    const QFileInfo existing(target);
    if (existing.isDir() && !existing.isSymLink()) {
        DeleteFileIfExists(tempFile);
        return fail(QStringLiteral("Un dossier porte déjà le nom %1.").arg(target));
    }
    // The new file takes the older copy's place in one step.
    if (!MoveReplacing(tempFile, target)) {
        DeleteFileIfExists(tempFile);
        return fail(QStringLiteral("Impossible de placer le fichier %1.").arg(target));
    }
    return true;
}

bool Downloader::unpack(const QString &tempFile, const QString &targetFolder, const QString &fileName,
                        const QString &caption, const QString &password)
{
    Dialogs &dialogs = Dialogs::instance();
    if (Globals::DebugMode)
        dialogs.information(QStringLiteral("Décompression de ") + tempFile + QStringLiteral("..."));
    const SevenZip::Extraction extraction =
        SevenZip::extract(tempFile, targetFolder, password,
                          QStringLiteral("Veuillez patienter pendant la décompression de \"") + caption
                              + QStringLiteral("\"..."),
                          fileName);
    if (Globals::DebugMode)
        dialogs.information(QStringLiteral("Décompression trminée vers [") + targetFolder + QStringLiteral("]"));
    DeleteFileIfExists(tempFile);

    if (!extraction.ok)
        return fail(extraction.error);
    m_files = extraction.files;
    return true;
}

TFProgress *Downloader::visibleProgressForm() const
{
    return m_progressForm && m_progressForm->isVisible() ? m_progressForm.get() : nullptr;
}

void Downloader::IdHTTP1WorkBegin(qint64 expected)
{
    TFProgress *form = visibleProgressForm();
    QProgressBar *bar = form ? form->ProgressBar1() : &m_pbReception;
    if (expected > 0) {
        bar->setMaximum(int(std::min<qint64>(expected, INT_MAX)));
        if (form) {
            form->LTaille()->setText(kiloBytes(expected));
            form->LPosition()->setText(kiloBytes(0));
        }
    } else {
        bar->setMaximum(int(std::min<qint64>(DownloadSize, INT_MAX)));
    }
    bar->setValue(0);
    if (!form)
        m_pbReception.show();
}

void Downloader::IdHTTP1Work(qint64 count)
{
    if (!m_progressForm) {
        m_pbReception.setValue(int(std::min<qint64>(count, INT_MAX)));
        return;
    }
    TFProgress *form = visibleProgressForm();
    if (!form)
        return;
    QProgressBar *bar = form->ProgressBar1();
    bar->setValue(int(std::min<qint64>(count, INT_MAX)));
    QLabel *position = form->LPosition();
    position->setText(kiloBytes(count));
    position->show();
    if (bar->maximum() > 0) {
        const int left = int(double(count) / bar->maximum() * bar->width()) - 8 * int(position->text().size());
        position->move(left, position->y());
    }
}

void Downloader::IdHTTP1WorkEnd()
{
    if (TFProgress *form = visibleProgressForm()) {
        form->ProgressBar1()->setValue(form->ProgressBar1()->maximum());
        return;
    }
    m_pbReception.setValue(m_pbReception.maximum());
    m_pbReception.hide();
}
