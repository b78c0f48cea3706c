#include "platform/Pop3Client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QStringList>
#include <QThread>

#include "platform/CurlSupport.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>

namespace {

// How long the QUIT that ends a session may wait for its answer.
constexpr int kQuitTimeoutS = 5;

// detail: the server's refusal, else libcurl's error text, if any.
QString describe(CURLcode code, QString detail)
{
    if (detail.isEmpty())
        detail = QString::fromLatin1(curl_easy_strerror(code));
    QString text;
    switch (code) {
    case CURLE_LOGIN_DENIED:
        text = QStringLiteral("Identifiant ou mot de passe refusé par le serveur de messagerie");
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        text = QStringLiteral("Connexion chiffrée refusée : le certificat du serveur n'a pas pu être vérifié");
        break;
    case CURLE_SSL_CONNECT_ERROR:
        // Typically a plain POP3 port: its greeting is no TLS answer.
        text = QStringLiteral("Connexion chiffrée impossible : le serveur ne répond pas en TLS sur ce port ; vérifiez "
                              "le port et la case \"connexion chiffrée (SSL)\"");
        break;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:
        text = QStringLiteral("Le serveur de messagerie ne répond pas");
        break;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        text = QStringLiteral("La connexion avec le serveur de messagerie a été coupée");
        break;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
        text = QStringLiteral("Connexion au serveur de messagerie impossible");
        break;
    default:
        text = QStringLiteral("Erreur du serveur de messagerie");
        break;
    }
    return text + QStringLiteral(" (") + detail + u')';
}

} // namespace

Pop3Error::Pop3Error(const QString &text, Cause cause, bool truncated)
    : std::runtime_error(text.toStdString())
    , m_text(text)
    , m_cause(cause)
    , m_truncated(truncated)
{
}

// State shared with the libcurl callbacks of one command.
struct Pop3Transfer {
    Pop3Session *session = nullptr;
    QByteArray body;
    QByteArray reply;
    QByteArray refusal; // the "-ERR" line of the command, if it was refused
    bool begun = false;
    qint64 expected = 0;
    // Since the server last sent something.
    QElapsedTimer silence;
    // Since the command began, against its deadline.
    QElapsedTimer started;
    qint64 deadlineMs = 0;
    qint64 silenceLimitMs = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    static size_t onBody(char *data, size_t size, size_t count, void *user)
    {
        auto *t = static_cast<Pop3Transfer *>(user);
        const size_t n = size * count;
        t->silence.start();
        if (!t->begun) {
            t->begun = true;
            if (t->session->m_work.begin)
                t->session->m_work.begin(t->expected);
        }
        t->body.append(data, qsizetype(n));
        if (t->session->m_work.work)
            t->session->m_work.work(t->body.size());
        return n;
    }

    static size_t onHeader(char *data, size_t size, size_t count, void *user)
    {
        auto *t = static_cast<Pop3Transfer *>(user);
        const size_t n = size * count;
        t->silence.start();
        const QByteArray line = QByteArray(data, qsizetype(n)).trimmed();
        if (line.startsWith("+OK"))
            t->reply = line;
        // The command is refused: libcurl would now send QUIT and wait for
        // its answer, which a failed session does not need.
        if (line.startsWith("-ERR") && t->session->m_established) {
            t->refusal = line;
            t->session->dropConnection();
        }
        return n;
    }

    static int onProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto *t = static_cast<Pop3Transfer *>(user);
        if (t->session->m_pump)
            t->session->m_pump();
        return t->silence.elapsed() > t->silenceLimitMs || t->started.elapsed() > t->deadlineMs ? 1 : 0;
    }

    // Once the session's connection exists, no other may be opened: a
    // command must never run in a session other than the one it belongs to.
    static curl_socket_t onOpenSocket(void *user, curlsocktype, curl_sockaddr *address)
    {
        auto *session = static_cast<Pop3Session *>(user);
        if (session->m_established)
            return CURL_SOCKET_BAD;
        const curl_socket_t socket = ::socket(address->family, address->socktype, address->protocol);
        session->m_socket = socket;
        return socket;
    }

    static int onCloseSocket(void *user, curl_socket_t socket)
    {
        auto *session = static_cast<Pop3Session *>(user);
        if (session->m_socket == int(socket))
            session->m_socket = int(CURL_SOCKET_BAD);
        return ::close(socket);
    }
};

Pop3Session::Pop3Session(const Pop3Account &account)
    : m_account(account)
    , m_connectTimeoutMs(account.connectTimeoutMs)
    , m_responseTimeoutS(account.responseTimeoutS)
    , m_deadlineBaseMs(account.commandDeadlineBaseMs)
    , m_pump(CurlSupport::pumpWindowMessages)
{
    CurlSupport::initialise();
}

Pop3Session::~Pop3Session()
{
    close();
}

void *Pop3Session::handle()
{
    if (m_curl)
        return m_curl;
    CURL *curl = curl_easy_init();
    if (!curl)
        throw Pop3Error(QStringLiteral("Impossible d'initialiser le client POP3."));
    m_curl = curl;
    return curl;
}

void Pop3Session::open()
{
    if (m_open)
        return;
    perform("/", "NOOP", true, 0);
}

void Pop3Session::close()
{
    // The QUIT is sent here, its answer waited for a few seconds at most (it
    // changes nothing for a session that deleted nothing): left to the
    // clean-up, it would wait as long as libcurl's own default.
    if (m_curl && m_open && !m_closing) {
        try {
            quit();
        } catch (const Pop3Error &) {
        }
    }
    if (m_curl) {
        curl_easy_cleanup(static_cast<CURL *>(m_curl));
        m_curl = nullptr;
    }
    m_open = false;
    m_established = false;
}

void Pop3Session::quit()
{
    if (!m_open)
        throw Pop3Error(QStringLiteral("La connexion au serveur de messagerie a été interrompue."));
    m_closing = true;
    const auto closing = qScopeGuard([this] {
        // Answered or not, the session is over: nothing is left to send on it.
        dropConnection();
        m_open = false;
        m_closing = false;
        close();
    });
    perform("/", "QUIT", true, 0, qMin(m_responseTimeoutS, kQuitTimeoutS));
}

// Closes the connection's socket under libcurl, so that the clean-up sends
// no QUIT and waits for no answer.
void Pop3Session::dropConnection()
{
    if (m_socket != int(CURL_SOCKET_BAD))
        ::shutdown(m_socket, SHUT_RDWR);
}

QByteArray Pop3Session::perform(const QByteArray &path, const QByteArray &command, bool singleLine, qint64 expected,
                                int responseTimeoutS)
{
    if (responseTimeoutS <= 0)
        responseTimeoutS = m_responseTimeoutS;
    CURL *curl = static_cast<CURL *>(handle());
    curl_easy_reset(curl);

    m_transfer = std::make_unique<Pop3Transfer>();
    Pop3Transfer &transfer = *m_transfer;
    transfer.session = this;
    transfer.expected = expected;
    transfer.silence.start();
    transfer.started.start();
    transfer.deadlineMs = m_deadlineBaseMs + qMax<qint64>(expected, 0) * 1000 / 4096;
    transfer.silenceLimitMs = m_established ? responseTimeoutS * 1000LL
                                            : qMax<qint64>(responseTimeoutS * 1000LL, m_connectTimeoutMs);
    // libcurl's own time-outs come later, as a backstop: after one of them
    // it sends QUIT and waits as long again, while this limit, checked all
    // along, ends the command and that wait.
    const long backstopS = long(transfer.silenceLimitMs / 1000 + 2);

    const int port = m_account.port > 0 ? m_account.port : 110;
    const QByteArray url = (m_account.secured ? QByteArray("pop3s://") : QByteArray("pop3://"))
                         + m_account.host.trimmed().toUtf8() + ':' + QByteArray::number(port) + path;
    const QByteArray user = m_account.user.toUtf8();
    const QByteArray password = m_account.password.toUtf8();
    const QByteArray caFile = m_account.caFile.toLocal8Bit();

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(m_connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, backstopS);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, backstopS);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &Pop3Transfer::onOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &Pop3Transfer::onCloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Pop3Transfer::onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Pop3Transfer::onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Pop3Transfer::onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (!command.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.constData());
    if (singleLine)
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);

    const CURLcode code = curl_easy_perform(curl);
    m_received = transfer.body.size();
    if (transfer.begun && m_work.end)
        m_work.end();
    if (code != CURLE_OK) {
        // Once connected, a new connection is refused: the session's own was lost.
        const bool lost = m_established && code == CURLE_COULDNT_CONNECT;
        QString detail = QString::fromUtf8(transfer.errorBuffer).trimmed();
        if (!transfer.refusal.isEmpty())
            detail = QString::fromUtf8(transfer.refusal);
        else if (code == CURLE_ABORTED_BY_CALLBACK)
            detail = QStringLiteral("délai dépassé");
        const QString text = lost ? QStringLiteral("La connexion au serveur de messagerie a été interrompue.")
                                  : describe(code, detail);
        const bool timedOut = code == CURLE_OPERATION_TIMEDOUT || code == CURLE_ABORTED_BY_CALLBACK;
        const bool broken = lost || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING
                         || code == CURLE_PARTIAL_FILE;
        // The session is over: libcurl closes the connection of a failed
        // command, so there is nothing to send QUIT on.
        dropConnection();
        m_open = false;
        close();
        throw Pop3Error(text, code == CURLE_LOGIN_DENIED                  ? Pop3Error::Cause::AuthenticationFailed
                              : timedOut                                  ? Pop3Error::Cause::TimedOut
                              : code == CURLE_PEER_FAILED_VERIFICATION    ? Pop3Error::Cause::CertificateRefused
                              : broken                                    ? Pop3Error::Cause::ConnectionLost
                                                                          : Pop3Error::Cause::Other);
    }
    m_established = true;
    m_open = true;
    m_lastReply = QString::fromUtf8(transfer.reply);
    return singleLine ? transfer.reply : transfer.body;
}

// The words after "+OK" of a single-line command, at least count of them.
QStringList Pop3Session::replyWords(const QByteArray &command, int count)
{
    const QByteArray reply = perform("/", command, true, 0);
    const QStringList words = QString::fromUtf8(reply).split(u' ', Qt::SkipEmptyParts).mid(1);
    if (words.size() < count)
        throw Pop3Error(QStringLiteral("Réponse inattendue du serveur de messagerie à %1 : %2")
                            .arg(QString::fromLatin1(command), QString::fromUtf8(reply)));
    return words;
}

Pop3Session::Status Pop3Session::stat()
{
    const QStringList words = replyWords("STAT", 2);
    bool countOk = false, sizeOk = false;
    Status status;
    status.count = words[0].toInt(&countOk);
    status.size = words[1].toLongLong(&sizeOk);
    if (!countOk || !sizeOk || status.count < 0 || status.size < 0)
        throw Pop3Error(QStringLiteral("Réponse inattendue du serveur de messagerie à STAT : %1").arg(m_lastReply));
    return status;
}

QMap<int, QString> Pop3Session::parseListing(const QByteArray &body)
{
    QMap<int, QString> entries;
    for (const QByteArray &raw : body.split('\n')) {
        const QList<QByteArray> words = raw.trimmed().split(' ');
        if (words.size() < 2)
            continue;
        bool ok = false;
        const int number = words[0].toInt(&ok);
        if (ok && number > 0)
            entries.insert(number, QString::fromUtf8(words[1]));
    }
    return entries;
}

QMap<int, qint64> Pop3Session::list()
{
    QMap<int, qint64> sizes;
    const QMap<int, QString> entries = parseListing(perform("/", QByteArray(), false, 0));
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        sizes.insert(it.key(), it.value().toLongLong());
    return sizes;
}

qint64 Pop3Session::listOne(int number)
{
    const QStringList words = replyWords("LIST " + QByteArray::number(number), 2);
    bool ok = false;
    const qint64 size = words[1].toLongLong(&ok);
    if (!ok || words[0].toInt() != number)
        throw Pop3Error(QStringLiteral("Réponse inattendue du serveur de messagerie à LIST : %1").arg(m_lastReply));
    return size;
}

QMap<int, QString> Pop3Session::uidls()
{
    return parseListing(perform("/", "UIDL", false, 0));
}

QString Pop3Session::uidl(int number)
{
    const QStringList words = replyWords("UIDL " + QByteArray::number(number), 2);
    if (words[0].toInt() != number)
        throw Pop3Error(QStringLiteral("Réponse inattendue du serveur de messagerie à UIDL : %1").arg(m_lastReply));
    return words[1];
}

QByteArray Pop3Session::top(int number, int lines)
{
    return perform("/", "TOP " + QByteArray::number(number) + ' ' + QByteArray::number(lines), false, 0);
}

QByteArray Pop3Session::retrieve(int number, qint64 listedSize)
{
    // The session is over already: a failed command ends it.
    const auto cut = [&](qint64 received, const QString &why, Pop3Error::Cause cause) {
        return Pop3Error(QStringLiteral("Message reçu en partie seulement (%1 octets sur %2) : %3")
                             .arg(received)
                             .arg(listedSize)
                             .arg(why),
                         cause, true);
    };
    QByteArray message;
    try {
        message = perform("/" + QByteArray::number(number), QByteArray(), false, listedSize);
    } catch (const Pop3Error &e) {
        // Whatever came before the connection broke or the server stopped is
        // not the message; the server's own refusal stays as it is.
        if (e.connectionLost() || e.timedOut())
            throw cut(m_received, e.text(), e.timedOut() ? Pop3Error::Cause::TimedOut : Pop3Error::Cause::ConnectionLost);
        throw;
    }
    // libcurl ends a transfer the same way at the terminating line and when
    // the server closes the connection before it, and hides that line: only
    // the terminating line leaves the session alive, which the NOOP tells.
    // A closed connection leaves the message not known whole, whatever its
    // size (some servers list each line end as one octet).
    try {
        perform("/", "NOOP", true, 0);
    } catch (const Pop3Error &) {
        throw cut(message.size(),
                  QStringLiteral("la connexion avec le serveur de messagerie a été coupée avant sa fin"),
                  Pop3Error::Cause::ConnectionLost);
    }
    return message;
}

void Pop3Session::dele(int number)
{
    perform("/", "DELE " + QByteArray::number(number), true, 0);
}
