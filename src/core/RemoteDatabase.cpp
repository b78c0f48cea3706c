#include "core/RemoteDatabase.h"

#include "core/Configuration.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "platform/LocalAddressWatcher.h"
#include "core/LogWriter.h"
#include "core/ServerSettings.h"
#include "platform/MariaDbOptionFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <openssl/x509_vfy.h>

namespace {

constexpr char kDriver[] = "QODBC";

// A value of an ODBC connection string, braced so that ";" or "}" in a
// password cannot end it early.
QString braced(const QString &value)
{
    QString v = value;
    v.replace(QStringLiteral("}"), QStringLiteral("}}"));
    return u'{' + v + u'}';
}

void pauseKeepingWindowsPainted(int milliseconds)
{
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (milliseconds <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// The reason the driver gives for a failed TLS link, without its tag
// ("[ma-3.1.15]"), its "TLS/SSL error: " and a trailing error number.
QString tlsReason(const QString &driverText)
{
    static const QLatin1String prefix("TLS/SSL error: ");
    const qsizetype at = driverText.indexOf(prefix);
    if (at < 0)
        return {};
    QString reason = driverText.mid(at + prefix.size()).trimmed();
    static const QRegularExpression number(QStringLiteral(" \\(-?\\d+\\)$"));
    reason.remove(number);
    return reason;
}

// What the driver says of a server certificate that does not verify: the
// certificate checks of the TLS library, and the driver's own check of the
// server's name.
const QSet<QString> &certificateFailures()
{
    static const QSet<QString> reasons = [] {
        QSet<QString> texts{QStringLiteral("Validation of SSL server certificate failed"),
                            QStringLiteral("certificate verify failed")};
        const QString unknown = QString::fromLatin1(X509_verify_cert_error_string(-1));
        for (long code = X509_V_ERR_UNSPECIFIED;; ++code) {
            const QString text = QString::fromLatin1(X509_verify_cert_error_string(code));
            if (text == unknown)
                break;
            if (code != X509_V_ERR_OUT_OF_MEM)
                texts.insert(text);
        }
        return texts;
    }();
    return reasons;
}

} // namespace

RemoteDatabase::RemoteDatabase(HttpClient &http, LocalAddressWatcher &watcher)
    : m_http(http)
    , m_watcher(watcher)
    , m_password(QString::fromLatin1(Globals::kDatabasePassword))
{
    MariaDbOptionFile::pointConnectorAt();
}

RemoteDatabase::~RemoteDatabase()
{
    if (QSqlDatabase::contains(connectionName())) {
        {
            QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connectionName());
    }
}

QString RemoteDatabase::connectionName()
{
    return QString::fromLatin1(Configuration::kRemoteDatabaseName);
}

QSqlDatabase RemoteDatabase::database() const
{
    return QSqlDatabase::database(connectionName(), false);
}

QStringList RemoteDatabase::params() const
{
    return {QStringLiteral("USER NAME=") + QLatin1String(kUserName), QStringLiteral("PASSWORD=") + m_password};
}

bool RemoteDatabase::aliasExists() const
{
    return QSqlDatabase::contains(connectionName());
}

bool RemoteDatabase::addAlias(const QStringList &params, QString *error)
{
    if (!QSqlDatabase::isDriverAvailable(QLatin1String(kDriver))) {
        if (error)
            *error = QStringLiteral("le pilote Qt %1 est absent").arg(QLatin1String(kDriver));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(kDriver), connectionName());
    if (!db.isValid()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    m_aliasParams = params;
    return true;
}

bool RemoteDatabase::modifyAlias(const QStringList &params, QString *error)
{
    if (!aliasExists()) {
        if (error)
            *error = QStringLiteral("l'alias %1 n'existe pas").arg(connectionName());
        return false;
    }
    m_aliasParams = params;
    return true;
}

QString RemoteDatabase::connectionString(bool verified) const
{
    // The data source by name, with bounds on every wait of the driver, and
    // TLS asked for. The data source is written once: what the link needs is
    // given here, so that every installation gets it.
    QString text = connectionName()
                 + QStringLiteral(";CONN_TIMEOUT=%1;READ_TIMEOUT=%2;WRITE_TIMEOUT=%2;CHARSET=utf8mb4;FORCETLS=1")
                       .arg(m_connectTimeoutS)
                       .arg(m_ioTimeoutS);
    // No CA named: the driver would verify against it whatever SSLVERIFY
    // says. The option file allows only the password methods that never
    // reveal the password, to a server that may not be the service's.
    if (!verified)
        return text + QStringLiteral(";SSLVERIFY=0;USE_MYCNF=1");
    const QString ca = ServerSettings::caFile();
    return text + QStringLiteral(";SSLVERIFY=1;SSLCA=")
         + braced(ca.isEmpty() ? QString::fromLatin1(ServerSettings::kSystemCaBundle) : ca);
}

bool RemoteDatabase::open(bool verified, QSqlError *error)
{
    QSqlDatabase db = database();
    db.setDatabaseName(connectionString(verified));
    db.setUserName(QLatin1String(kUserName));
    db.setPassword(braced(m_password));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%2")
                             .arg(m_connectTimeoutS)
                             .arg(m_ioTimeoutS));
    if (db.open())
        return true;
    *error = db.lastError();
    return false;
}

bool RemoteDatabase::worthUnverifiedRetry(const QString &driverText)
{
    const QString reason = tlsReason(driverText);
    return reason == QLatin1String("SSL is required, but the server does not support it")
        || certificateFailures().contains(reason);
}

bool RemoteDatabase::connect(QString *error)
{
    m_methodRefused = false;
    if (!aliasExists() && !addAlias(params(), error))
        return false;
    if (database().isOpen())
        return true;
    QSqlError verifyError;
    if (open(true, &verifyError))
        return true;
    if (error)
        *error = verifyError.text();
    // A second connection only where the driver refused the link for TLS
    // alone: a certificate that does not verify (encrypted without
    // verification) or a server without TLS (clear text). Any other failure,
    // a handshake that timed out above all, ends the attempt: a server out of
    // reach is waited for once.
    if (!worthUnverifiedRetry(verifyError.databaseText()))
        return false;
    if (!MariaDbOptionFile::restrictToSafeMethods(error))
        return false;
    QSqlError unverifiedError;
    if (!open(false, &unverifiedError)) {
        m_methodRefused = unverifiedError.databaseText().contains(QLatin1String("restricted_auth"));
        if (error)
            *error = m_methodRefused ? QStringLiteral("le serveur demande une méthode d'authentification qui lui "
                                                      "révélerait le mot de passe sur une connexion non vérifiée : "
                                                      "connexion refusée.")
                                     : unverifiedError.text();
        return false;
    }
    QSqlQuery cipher(database());
    if (!cipher.exec(QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher'"))) {
        if (error)
            *error = cipher.lastError().text();
        disconnect();
        return false;
    }
    const bool encrypted = cipher.next() && !cipher.value(1).toString().isEmpty();
    bool &logged = encrypted ? m_unverifiedLogged : m_clearTextLogged;
    if (!logged) {
        logged = true;
        LogWriter::write(encrypted ? QStringLiteral("Le certificat du serveur de la base de données internet n'a pas "
                                                    "pu être vérifié, la connexion reste chiffrée : ")
                                         + verifyError.text()
                                   : QStringLiteral("Le serveur de la base de données internet ne propose pas de "
                                                    "connexion chiffrée : les données lui sont envoyées en clair."));
    }
    return true;
}

void RemoteDatabase::disconnect()
{
    if (aliasExists())
        database().close();
}

bool RemoteDatabase::connected() const
{
    return aliasExists() && database().isOpen();
}

bool RemoteDatabase::ConnectInternetDatabase(bool reconnect)
{
    if (m_watcher.currentLocalAddress() == QLatin1String(LocalAddressWatcher::kOffline))
        return false;

    if (reconnect && connected())
        disconnect();

    // A server that asks for the password in clear is not asked again.
    int attempts = 0;
    m_methodRefused = false;
    while (!connected() && attempts < kAttempts && !m_methodRefused) {
        ++attempts;
        QString error;
        if (!connect(&error))
            LogWriter::write(QStringLiteral("Erreur lors de la connexion à la base de données internet : ") + error);
        if (!connected() && !m_methodRefused)
            pauseKeepingWindowsPainted(m_pauseMs);
    }

    if (m_http.connected())
        m_http.disconnect();
    const HttpResult reached = m_http.connectToServer();
    if (!reached.ok)
        LogWriter::write(QStringLiteral("Erreur lors de la connexion à internet : ") + reached.error);

    return connected() && m_http.connected();
}
