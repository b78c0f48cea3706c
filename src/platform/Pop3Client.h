#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

// The mail account a session logs into. A secured account speaks TLS from
// its first byte (POP3S); its certificate is always verified, against the
// CA file when one is named, else against the system's authorities.
struct Pop3Account {
    QString host;
    int port = 110;
    bool secured = false;
    QString user;
    QString password;
    QString caFile;
    // How long a command waits for the connection (greeting and login
    // included) and for each answer of the server.
    int connectTimeoutMs = 15000;
    int responseTimeoutS = 60;
    // However steadily the server sends, a command ends by this deadline,
    // which grows by one second for every 4 KiB expected.
    int commandDeadlineBaseMs = 60000;
};

// A failed POP3 command. authenticationFailed: the server refused the login
// (trying again with the same password is pointless). timedOut: the server
// did not answer in time (trying again would only make the user wait as long
// once more). certificateRefused: the server's certificate was not verified
// (it would be refused again). connectionLost: the connection broke (reset,
// closed, TLS failure). truncated: a message did not come whole (its
// download was cut, whatever the cause); it is still whole on the server.
class Pop3Error : public std::runtime_error
{
public:
    enum class Cause { Other, AuthenticationFailed, TimedOut, CertificateRefused, ConnectionLost };
    Pop3Error(const QString &text, Cause cause = Cause::Other, bool truncated = false);
    QString text() const { return m_text; }
    bool authenticationFailed() const { return m_cause == Cause::AuthenticationFailed; }
    bool timedOut() const { return m_cause == Cause::TimedOut; }
    bool certificateRefused() const { return m_cause == Cause::CertificateRefused; }
    bool connectionLost() const { return m_cause == Cause::ConnectionLost; }
    bool truncated() const { return m_truncated; }

private:
    QString m_text;
    Cause m_cause;
    bool m_truncated;
};

struct Pop3Transfer;

// One POP3 session on libcurl. The first command connects and logs in; the
// following ones travel on the same connection, never on a new one (a lost
// connection makes them fail, so message numbers read earlier in the session
// stay meaningful). close() ends the session with QUIT, which is what makes
// the server carry out the deletions of the session. Any failed command ends
// the session. Every command is bounded by the connection and response
// timeouts and by its deadline; a transfer that stalls or trickles fails.
class Pop3Session
{
public:
    // Progress of the commands that bring data (LIST, UIDL, TOP, RETR):
    // begin (the expected size when known, else 0), the bytes so far, end.
    struct WorkHandlers {
        std::function<void(qint64 total)> begin;
        std::function<void(qint64 count)> work;
        std::function<void()> end;
    };

    explicit Pop3Session(const Pop3Account &account);
    ~Pop3Session();
    Pop3Session(const Pop3Session &) = delete;
    Pop3Session &operator=(const Pop3Session &) = delete;

    // Called while a command waits on the network (the default processes the
    // pending window messages, user input held back, on the UI thread).
    void setEventPump(std::function<void()> pump) { m_pump = std::move(pump); }
    void setWorkHandlers(WorkHandlers handlers) { m_work = std::move(handlers); }

    // Connects and logs in (a NOOP).
    void open();
    bool isOpen() const { return m_open; }
    // QUIT and disconnection; nothing when the session is not open. The
    // server's answer is waited for a few seconds at most and not checked:
    // for a session whose deletions must be known done, quit().
    void close();
    // QUIT, answered by the server within a few seconds: the deletions of
    // the session are carried out. Throws Pop3Error (the session is over
    // either way).
    void quit();

    struct Status {
        int count = 0;
        qint64 size = 0;
    };
    Status stat();
    QMap<int, qint64> list();            // message number -> size in bytes
    qint64 listOne(int number);
    QMap<int, QString> uidls();          // message number -> unique id
    QString uidl(int number);
    QByteArray top(int number, int lines = 0);
    // The message only when it is known whole: its terminating line read,
    // which the session still answering after it proves. Otherwise (the
    // connection closed or broke during the download, or the server stopped
    // sending) throws a truncated Pop3Error and the session is over.
    // listedSize: the size LIST gave, for the progress and the deadline.
    QByteArray retrieve(int number, qint64 listedSize = 0);
    // Marks the message for deletion; carried out by the QUIT of close().
    void dele(int number);

    // The "+OK" line of the last single-line command.
    QString lastReply() const { return m_lastReply; }

private:
    // responseTimeoutS: how long an answer may take (0: the session's).
    QByteArray perform(const QByteArray &path, const QByteArray &command, bool singleLine, qint64 expected,
                       int responseTimeoutS = 0);
    QStringList replyWords(const QByteArray &command, int count);
    static QMap<int, QString> parseListing(const QByteArray &body);
    void *handle();
    void dropConnection();

    Pop3Account m_account;
    void *m_curl = nullptr;
    bool m_open = false;
    bool m_established = false;
    bool m_closing = false;
    // Bytes of the last multi-line answer received before it ended or failed.
    qint64 m_received = 0;
    int m_socket = -1; // the connection's socket while libcurl holds it open
    int m_connectTimeoutMs;
    int m_responseTimeoutS;
    int m_deadlineBaseMs;
    std::function<void()> m_pump;
    WorkHandlers m_work;
    QString m_lastReply;
    // The state of the last command, which libcurl's callbacks and error
    // text may still reach when the handle is cleaned up.
    std::unique_ptr<Pop3Transfer> m_transfer;

    friend struct Pop3Transfer;
};
