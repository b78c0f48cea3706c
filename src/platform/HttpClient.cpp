#include "platform/HttpClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSaveFile>
#include <QThread>
#include <QUrl>

#include "platform/CurlSupport.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <mutex>

namespace {

QString serverOf(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return {};
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    return url.scheme() + QStringLiteral("://") + url.host(QUrl::FullyEncoded) + u':'
         + QString::number(url.port(defaultPort));
}

} // namespace

// State shared with the libcurl callbacks of one request.
struct HttpTransfer {
    HttpClient *client = nullptr;
    CURL *curl = nullptr;
    QByteArray *body = nullptr;
    QIODevice *file = nullptr;
    qint64 received = 0;
    bool begun = false;
    bool writeFailed = false;
    bool tlsClosed = false;
    bool chunked = false;
    QByteArray statusLine;

    void beginOnce()
    {
        if (begun)
            return;
        begun = true;
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (client->m_work.begin)
            client->m_work.begin(length > 0 ? qint64(length) : 0);
    }

    static size_t onBody(char *data, size_t size, size_t count, void *user)
    {
        auto *t = static_cast<HttpTransfer *>(user);
        const size_t n = size * count;
        t->beginOnce();
        if (t->file) {
            if (t->file->write(data, qint64(n)) != qint64(n)) {
                t->writeFailed = true;
                return 0;
            }
        } else if (t->body) {
            t->body->append(data, qsizetype(n));
        }
        t->received += qint64(n);
        return n;
    }

    static size_t onHeader(char *data, size_t size, size_t count, void *user)
    {
        auto *t = static_cast<HttpTransfer *>(user);
        const size_t n = size * count;
        const QByteArray line = QByteArray(data, qsizetype(n)).trimmed();
        // A new status line starts each answer (a proxy's CONNECT answer
        // comes first for https): the last one is the server's.
        if (line.startsWith("HTTP/")) {
            t->statusLine = line;
            t->chunked = false;
        } else if (const QByteArray lower = line.toLower(); lower.startsWith("transfer-encoding:")) {
            t->chunked = lower.contains("chunked");
        }
        return n;
    }

    // The server's close_notify, seen on the TLS context of this transfer's
    // connection (each request has a handle, so a context, of its own).
    static int tlsContextIndex()
    {
        static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
        return index;
    }

    static void onTlsInfo(const SSL *ssl, int where, int alert)
    {
        if ((where & SSL_CB_READ_ALERT) != SSL_CB_READ_ALERT || (alert & 0xff) != SSL3_AD_CLOSE_NOTIFY)
            return;
        if (auto *t = static_cast<HttpTransfer *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), tlsContextIndex())))
            t->tlsClosed = true;
    }

    static CURLcode onTlsContext(CURL *, void *context, void *user)
    {
        SSL_CTX_set_ex_data(static_cast<SSL_CTX *>(context), tlsContextIndex(), user);
        SSL_CTX_set_info_callback(static_cast<SSL_CTX *>(context), &onTlsInfo);
        return CURLE_OK;
    }

    static int onProgress(void *user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t)
    {
        auto *t = static_cast<HttpTransfer *>(user);
        if (t->begun && t->client->m_work.work)
            t->client->m_work.work(qint64(dlnow));
        if (t->client->m_pump)
            t->client->m_pump();
        return t->client->m_abort ? 1 : 0;
    }
};

HttpClient::HttpClient()
    : m_pump(CurlSupport::pumpWindowMessages)
{
    CurlSupport::initialise();
}

HttpClient::~HttpClient() = default;

QString HttpClient::lastServer() const
{
    return m_lastServer.isEmpty() ? m_defaultServer : m_lastServer;
}

HttpResult HttpClient::get(const QString &url, QByteArray &body)
{
    body.clear();
    return perform(url, Mode::Memory, &body, nullptr);
}

HttpResult HttpClient::getToFile(const QString &url, const QString &fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        HttpResult result;
        result.error = QStringLiteral("Impossible de créer le fichier %1 : %2").arg(fileName, file.errorString());
        return result;
    }
    HttpResult result = perform(url, Mode::File, nullptr, &file);
    if (!result.ok) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.ok = false;
        result.error = QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(fileName, file.errorString());
    }
    return result;
}

HttpResult HttpClient::head(const QString &url)
{
    return perform(url, Mode::Head, nullptr, nullptr);
}

HttpResult HttpClient::connectToServer()
{
    const QString server = lastServer();
    if (server.isEmpty()) {
        m_connected = false;
        HttpResult result;
        result.error = QStringLiteral("Aucun serveur à joindre.");
        return result;
    }
    HttpResult result = head(server + u'/');
    // Any answer of the server itself means it is reachable, even a 404.
    if (m_connected && !result.ok) {
        result.ok = true;
        result.error.clear();
    }
    return result;
}

HttpResult HttpClient::perform(const QString &url, Mode mode, QByteArray *body, QIODevice *file)
{
    HttpResult result;
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.host().isEmpty() || (scheme != u"http" && scheme != u"https")) {
        m_connected = false;
        result.error = QStringLiteral("Adresse internet incorrecte : %1").arg(url);
        return result;
    }
    m_lastServer = serverOf(parsed);
    m_abort = false;

    CURL *curl = curl_easy_init();
    if (!curl) {
        result.error = QStringLiteral("Impossible d'initialiser le client HTTP.");
        return result;
    }
    HttpTransfer transfer;
    transfer.client = this;
    transfer.curl = curl;
    transfer.body = body;
    transfer.file = file;

    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray urlBytes = parsed.toEncoded();
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_slist *headers = curl_slist_append(nullptr, "Accept: text/html, */*");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(m_connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(m_stallTimeoutS));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray caFile = m_caFile.toLocal8Bit();
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());

    // Only the proxy set here is used, never one from the environment.
    const QByteArray proxyHost = m_proxy.host.trimmed().toUtf8();
    const QByteArray proxyUser = m_proxy.user.toUtf8();
    const QByteArray proxyPassword = m_proxy.password.toUtf8();
    curl_easy_setopt(curl, CURLOPT_PROXY, proxyHost.constData());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    const bool viaProxy = !proxyHost.isEmpty();
    if (viaProxy) {
        if (m_proxy.port > 0)
            curl_easy_setopt(curl, CURLOPT_PROXYPORT, long(m_proxy.port));
        if (!proxyUser.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxyUser.constData());
            curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, proxyPassword.constData());
            curl_easy_setopt(curl, CURLOPT_PROXYAUTH,
                             m_proxy.basicAuthentication ? long(CURLAUTH_BASIC) : long(CURLAUTH_ANY));
        }
    }

    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HttpTransfer::onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpTransfer::onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &HttpTransfer::onTlsContext);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &HttpTransfer::onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (mode == Mode::Head)
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);

    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t contentLength = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &contentLength);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    result.status = int(status);
    result.statusLine = QString::fromLatin1(transfer.statusLine);
    result.bytes = transfer.received;
    result.contentLength = contentLength >= 0 ? qint64(contentLength) : -1;
    result.tlsClosed = transfer.tlsClosed;
    result.chunked = transfer.chunked;

    // The server answered unless nothing came, the proxy refused us, or the
    // proxy could not reach it. Some proxies refuse wrong credentials with
    // 401 instead of 407; the maker's server never asks for a login itself.
    const bool proxyFailure = viaProxy && (status == 401 || status == 407 || status == 502 || status == 503
                                           || status == 504);
    m_connected = status > 0 && !proxyFailure;

    if (transfer.writeFailed) {
        result.error = QStringLiteral("Écriture du fichier reçu impossible.");
    } else if (code != CURLE_OK) {
        const QString detail = errorBuffer[0] ? QString::fromLocal8Bit(errorBuffer)
                                              : QString::fromLatin1(curl_easy_strerror(code));
        result.error = m_abort ? QStringLiteral("Transfert interrompu.") : detail;
        if (code == CURLE_OPERATION_TIMEDOUT || code == CURLE_COULDNT_CONNECT
            || code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY)
            m_connected = false;
    } else if (status >= 400) {
        result.error = result.statusLine.isEmpty() ? QStringLiteral("HTTP %1").arg(status) : result.statusLine;
    } else if (status == 0) {
        result.error = QStringLiteral("Aucune réponse du serveur.");
    } else {
        result.ok = true;
    }
    if (transfer.begun && m_work.end)
        m_work.end();
    m_abort = false;
    return result;
}
