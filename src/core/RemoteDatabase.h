#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class HttpClient;
class QSqlError;
class LocalAddressWatcher;

// DBFTP: the connection to the service's MariaDB database through the ODBC
// data source "TolvarenixMySQLDB" and Qt's QODBC driver. Other parts of the
// program run their queries on database() (connection name
// RemoteDatabase::connectionName()), after ConnectInternetDatabase().
// Every connection attempt is bounded by a timeout, and so is every read and
// write on the connection.
class RemoteDatabase
{
public:
    static constexpr char kUserName[] = "tolvarenix";
    static constexpr char kDriverName[] = "MySQL ODBC 5.1 Driver";
    static constexpr int kAttempts = 6;

    RemoteDatabase(HttpClient &http, LocalAddressWatcher &watcher);
    ~RemoteDatabase();
    RemoteDatabase(const RemoteDatabase &) = delete;
    RemoteDatabase &operator=(const RemoteDatabase &) = delete;

    static QString connectionName();
    QSqlDatabase database() const;

    // The component's parameter lines: "USER NAME=tolvarenix", "PASSWORD=...".
    QStringList params() const;
    QString password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }

    // The alias: the QODBC connection registered under connectionName().
    bool aliasExists() const;
    bool addAlias(const QStringList &params, QString *error);
    bool modifyAlias(const QStringList &params, QString *error);
    QStringList aliasParams() const { return m_aliasParams; }

    // One connection attempt, over TLS whenever the server offers it, with
    // its certificate verified (the CAFile setting, otherwise the system's
    // bundle). A certificate that does not verify still gets an encrypted
    // link, and a server without TLS one in clear text: each said once per
    // run in the log. Those two allow only the password methods that never
    // reveal the password (MariaDbOptionFile). Any other failure of TLS
    // fails the attempt, and the attempt makes a single connection then.
    bool connect(QString *error);
    // The driver's text (QSqlError::databaseText) of a failed verified
    // connection calls for a second one without verification: the server's
    // certificate did not verify, or the server offers no TLS.
    static bool worthUnverifiedRetry(const QString &driverText);
    void disconnect();
    bool connected() const;

    // TfMain.ConnectInternetDatabase: false at once when offline; otherwise
    // up to six attempts with a one-second pause after each failure (the
    // windows stay painted), none after a server asked for a method that
    // reveals the password; then the web server's reachability. True only
    // when both are connected.
    bool ConnectInternetDatabase(bool reconnect);

    void setConnectTimeout(int seconds) { m_connectTimeoutS = seconds; }
    void setPause(int milliseconds) { m_pauseMs = milliseconds; }

private:
    QString connectionString(bool verified) const;
    bool open(bool verified, QSqlError *error);

    HttpClient &m_http;
    LocalAddressWatcher &m_watcher;
    QString m_password;
    QStringList m_aliasParams;
    int m_connectTimeoutS = 10;
    int m_ioTimeoutS = 60;
    int m_pauseMs = 1000;
    bool m_unverifiedLogged = false;
    bool m_clearTextLogged = false;
    bool m_methodRefused = false; // by the last attempt
};
