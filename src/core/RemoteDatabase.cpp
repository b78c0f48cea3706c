#include "core/RemoteDatabase.h"

#include "core/Configuration.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "platform/LocalAddressWatcher.h"
#include "core/LogWriter.h"
#include "core/ServerSettings.h"
#include "platform/Dialogs.h"
#include "platform/MariaDbGreeting.h"
#include "platform/OdbcDataSources.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSqlError>
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

QString RemoteDatabase::connectionString(bool encrypted) const
{
    // The data source by name, with bounds on every wait of the driver. The
    // data source is written once: what the link needs is given here, so
    // that every installation gets it.
    QString text = connectionName()
                 + QStringLiteral(";CONN_TIMEOUT=%1;READ_TIMEOUT=%2;WRITE_TIMEOUT=%2;CHARSET=utf8mb4")
                       .arg(m_connectTimeoutS)
                       .arg(m_ioTimeoutS);
    if (encrypted) {
        const QString ca = ServerSettings::caFile();
        text += QStringLiteral(";FORCETLS=1;SSLVERIFY=1;SSLCA=")
              + braced(ca.isEmpty() ? QString::fromLatin1(ServerSettings::kSystemCaBundle) : ca);
    }
    return text;
}

bool RemoteDatabase::open(bool encrypted, QString *error)
{
    QSqlDatabase db = database();
    db.setDatabaseName(connectionString(encrypted));
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
    m_tlsRefused = false;
    if (!aliasExists() && !addAlias(params(), error))
        return false;
    if (database().isOpen())
        return true;
    QString tlsError;
    if (open(true, &tlsError))
        return true;
    if (error)
        *error = tlsError;
    // Only a failure of TLS itself makes the server be asked whether it
    // offers TLS at all (a server out of reach would be waited for twice):
    // clear text is for a server without it, never for a certificate that failed.
    if (!tlsError.contains(QLatin1String("SSL"), Qt::CaseInsensitive))
        return false;
    const QString dsn = connectionName();
    const MariaDbGreeting::Tls offer = MariaDbGreeting::tlsOffer(
        OdbcDataSources::value(dsn, QStringLiteral("SERVER")),
        OdbcDataSources::value(dsn, QStringLiteral("PORT")).toInt(), m_connectTimeoutS * 1000);
    if (offer == MariaDbGreeting::Tls::Offered) {
        m_tlsRefused = true;
        return false;
    }
    if (offer == MariaDbGreeting::Tls::Unknown || !open(false, error))
        return false;
    if (!m_clearTextLogged) {
        m_clearTextLogged = true;
        LogWriter::write(QStringLiteral("Le serveur de la base de données internet ne propose pas de connexion "
                                        "chiffrée : les données lui sont envoyées en clair."));
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
        const bool made = connect(&error);
        if (!made && m_tlsRefused) {
            LogWriter::write(QStringLiteral("Connexion à la base de données internet refusée, certificat du serveur "
                                            "non vérifié : ")
                             + error);
            Dialogs::instance().warning(
                QStringLiteral("La connexion à la base de données du service a été refusée : le certificat de "
                               "sécurité du serveur n'a pas pu être vérifié. Aucune donnée n'a été transmise.\n"
                               "Veuillez contacter Tolvarenix."));
            break;
        }
        if (!made)
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
