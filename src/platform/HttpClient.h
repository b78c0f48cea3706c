#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

// Proxy settings of the HTTP client. A port of 0 leaves the proxy's port to
// the host text (or the usual 1080/80 defaults of libcurl).
struct HttpProxy {
    QString host;
    int port = 0;
    QString user;
    QString password;
    // Send the credentials at once as Basic authentication; otherwise they
    // are only given when the proxy asks for them (407).
    bool basicAuthentication = false;
};

// What one request gave: ok only when the server answered with a status
// below 400 (and, for a file, when the whole file was written).
struct HttpResult {
    bool ok = false;
    int status = 0;       // HTTP status of the answer, 0 when none came
    QString statusLine;   // "HTTP/1.1 404 Not Found"
    QString error;        // why the request failed (empty when ok)
    qint64 bytes = 0;     // body bytes received
    qint64 contentLength = -1; // the answer's Content-Length, -1 when absent
    bool tlsClosed = false;    // the server ended TLS with its close_notify (not a bare cut)
    // The body came in chunks: a request whose last chunk did not come fails,
    // so a body of an ok answer is whole.
    bool chunked = false;
};

// The program's HTTP client, on libcurl. Requests block the calling thread;
// on the user-interface thread the event pump keeps the windows painted
// (user input is held back so no command starts twice). TLS certificates are
// always verified; a CA file can be named for private servers. Every request
// is bounded: a connection that cannot be made within the connect timeout,
// or a transfer that stalls for the stall timeout, fails.
//
// "Connected" follows the program's idea of the web server being reachable:
// it is set by each answer that came from the server (through the proxy when
// one is set), cleared by a request that reached nothing and by disconnect().
class HttpClient
{
public:
    // Progress of a transfer: begin (expected total, 0 when unknown), then
    // the bytes received so far, then end. Called on the requesting thread.
    struct WorkHandlers {
        std::function<void(qint64 total)> begin;
        std::function<void(qint64 count)> work;
        std::function<void()> end;
    };

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    void setProxy(const HttpProxy &proxy) { m_proxy = proxy; }
    const HttpProxy &proxy() const { return m_proxy; }

    void setCaFile(const QString &fileName) { m_caFile = fileName; }
    void setConnectTimeout(int milliseconds) { m_connectTimeoutMs = milliseconds; }
    void setStallTimeout(int seconds) { m_stallTimeoutS = seconds; }
    int connectTimeout() const { return m_connectTimeoutMs; }
    int stallTimeout() const { return m_stallTimeoutS; }

    // Replaces the default pump (pending window messages, user input held
    // back, only on the user-interface thread). An empty function: no pump.
    void setEventPump(std::function<void()> pump) { m_pump = std::move(pump); }
    void setWorkHandlers(WorkHandlers handlers) { m_work = std::move(handlers); }

    // The server whose reachability connectToServer() checks before any
    // request was made ("scheme://host[:port]").
    void setDefaultServer(const QString &url) { m_defaultServer = url; }
    // "scheme://host:port" of the last request, or the default server.
    QString lastServer() const;

    HttpResult get(const QString &url, QByteArray &body);
    // The body goes to fileName only when the whole request succeeded; an
    // earlier file of that name is replaced then, and kept otherwise.
    HttpResult getToFile(const QString &url, const QString &fileName);
    HttpResult head(const QString &url);

    // Checks that the server of the last request answers (a HEAD of its root).
    HttpResult connectToServer();
    void disconnect() { m_connected = false; }
    bool connected() const { return m_connected; }

    // Stops the transfer under way (from a progress handler or the pump).
    void abort() { m_abort = true; }

private:
    enum class Mode { Memory, File, Head };
    HttpResult perform(const QString &url, Mode mode, QByteArray *body, class QIODevice *file);

    HttpProxy m_proxy;
    QString m_caFile;
    int m_connectTimeoutMs = 15000;
    int m_stallTimeoutS = 30;
    std::function<void()> m_pump;
    WorkHandlers m_work;
    QString m_defaultServer;
    QString m_lastServer;
    bool m_connected = false;
    std::atomic<bool> m_abort{false};

    friend struct HttpTransfer;
};
