#include "core/RemoteDatabase.h"

#include "core/Configuration.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "platform/LocalAddressWatcher.h"
#include "core/LogWriter.h"
#include "core/ServerSettings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

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

} // namespace

RemoteDatabase::RemoteDatabase(HttpClient &http, LocalAddressWatcher &watcher)
    : m_http(http)
    , m_watcher(watcher)
    , m_password(QString::fromLatin1(Globals::kDatabasePassword))
{
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
    if (!verified) // no CA named: the driver would verify against it whatever SSLVERIFY says
        return text + QStringLiteral(";SSLVERIFY=0");
    const QString ca = ServerSettings::caFile();
    return text + QStringLiteral(";SSLVERIFY=1;SSLCA=")
         + braced(ca.isEmpty() ? QString::fromLatin1(ServerSettings::kSystemCaBundle) : ca);
}

bool RemoteDatabase::open(bool verified, QString *error)
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
    if (error)
        *error = db.lastError().text();
    return false;
}

bool RemoteDatabase::connect(QString *error)
{
    if (!aliasExists() && !addAlias(params(), error))
        return false;
    if (database().isOpen())
        return true;
    QString verifyError;
    if (open(true, &verifyError))
        return true;
    if (error)
        *error = verifyError;
    // Only a failure of TLS itself is worth a second connection (a server
    // out of reach would be waited for twice). Without verification the
    // driver still takes TLS whenever the server offers it, so that second
    // connection tells a certificate that does not verify (encrypted) from a
    // server without TLS (clear text) and from a handshake that fails
    // whatever the certificate (it fails again: a failed attempt).
    if (!verifyError.contains(QLatin1String("SSL"), Qt::CaseInsensitive) || !open(false, error))
        return false;
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
                                         + verifyError
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

    int attempts = 0;
    while (!connected() && attempts < kAttempts) {
        ++attempts;
        QString error;
        if (!connect(&error))
            LogWriter::write(QStringLiteral("Erreur lors de la connexion à la base de données internet : ") + error);
        if (!connected())
            pauseKeepingWindowsPainted(m_pauseMs);
    }

    if (m_http.connected())
        m_http.disconnect();
    const HttpResult reached = m_http.connectToServer();
    if (!reached.ok)
        LogWriter::write(QStringLiteral("Erreur lors de la connexion à internet : ") + reached.error);

    return connected() && m_http.connected();
}
