#include "core/StartupConnectivity.h"

#include "core/Configuration.h"
#include "platform/Dialogs.h"
#include "platform/LocalAddressWatcher.h"
#include "core/LogWriter.h"
#include "platform/OdbcDataSources.h"
#include "core/Proxy.h"
#include "core/RemoteDatabase.h"
#include "core/ServerSettings.h"
#include "platform/HttpClient.h"
#include "platform/TextRules.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace StartupConnectivity {

namespace {

constexpr char kOldDriverName[] = "MySQL ODBC 3.51 Driver";

DriverFileChooser &chooser()
{
    static DriverFileChooser c;
    return c;
}

QString dataSourceName()
{
    return QString::fromLatin1(Configuration::kRemoteDatabaseName);
}

QString driverFileName()
{
    return QFileInfo(ServerSettings::odbcDriver()).fileName();
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

void driverRequired(const StartupNeeds &parts)
{
    Dialogs::instance().warning(QStringLiteral("Le pilote ODBC de MySQL version 5 est nécessaire au fonctionnement "
                                               "de Tolvarenix Light. Fermeture du programme."));
    parts.armClose();
}

// Beep, log entry (no box), closing timer.
bool registrationFailed(const StartupNeeds &parts, const QString &message, bool beep = true)
{
    if (beep)
        Dialogs::instance().beep(Dialogs::Beep::Default);
    LogWriter::write(message);
    parts.armClose();
    return false;
}

bool writeSevenValues(const QString &dsn, const QString &driver)
{
    const QString host = ServerSettings::databaseHost();
    const QList<QPair<QString, QString>> values = {
        {QStringLiteral("DATABASE"), QLatin1String(kDatabaseName)},
        {QStringLiteral("DESCRIPTION"), host + QStringLiteral(" MySQL DataBase")},
        {QStringLiteral("Driver"), driver},
        {QStringLiteral("PORT"), QString::number(ServerSettings::databasePort())},
        {QStringLiteral("PWD"), QString()},
        {QStringLiteral("SERVER"), host},
        {QStringLiteral("UID"), QLatin1String(RemoteDatabase::kUserName)},
    };
    for (const auto &v : values)
        if (!OdbcDataSources::writeValue(dsn, v.first, v.second))
            return false;
    return true;
}

} // namespace

bool checkInternetConnection(const StartupNeeds &parts)
{
    if (parts.watcher->currentLocalAddress() == QLatin1String(LocalAddressWatcher::kOffline)) {
        if (parts.window)
            parts.window->setWindowTitle(QLatin1String(kOfflineCaption));
        return true;
    }
    TfProxy::CheckProxy(parts, QString(), ServerSettings::accessCodeUrl());
    return false;
}

void setDriverFileChooser(DriverFileChooser c)
{
    chooser() = std::move(c);
}

bool checkOdbcDriver(const StartupNeeds &parts, QString &driver)
{
    const QString dsn = dataSourceName();
    const QString fileName = driverFileName();
    driver = OdbcDataSources::sectionExists(dsn) ? OdbcDataSources::value(dsn, QStringLiteral("Driver")) : QString();
    if (!driver.contains(fileName))
        driver.clear();
    if (driver.isEmpty() && QFileInfo(ServerSettings::odbcDriver()).isFile())
        driver = ServerSettings::odbcDriver();
    if (!driver.isEmpty() && QFileInfo(driver).isFile())
        return true;

    Dialogs &dialogs = Dialogs::instance();
    if (!parts.http->connected()) {
        driverRequired(parts);
        return false;
    }
    const bool select = dialogs.ask(
        Dialogs::Kind::Warning,
        QStringLiteral("Le pilote ODBC de MySQL version 5 est nécessaire au fonctionnement de Tolvarenix Light. "
                       "S'il est déjà installé, voulez-vous le sélectionner à l'aide de la fenêtre de recherche qui "
                       "va s'afficher (fichier ")
            + quoted(fileName) + QStringLiteral(") ?\nLe programme sera fermé si vous répondez par ")
            + quoted(QStringLiteral("Non")) + QStringLiteral("."));
    if (!select) {
        driverRequired(parts);
        return false;
    }

    const QString filter = QStringLiteral("Driver ODBC MySQL 5 (%1)").arg(fileName);
    const QString defaultFolder = QFileInfo(ServerSettings::odbcDriver()).path();
    const QString folder = QFileInfo(defaultFolder).isDir() ? defaultFolder : QStringLiteral("/usr/lib");
    const QString chosen = chooser() ? chooser()(filter, folder)
                                     : QFileDialog::getOpenFileName(parts.window, QString(), folder, filter);
    const QString upper = TextRules::upperAZ(QFileInfo(chosen).fileName());
    if (!chosen.isEmpty() && (upper.contains(u"MAODBC") || upper.contains(u"MYODBC")) && upper.contains(u".SO")
        && QFileInfo(chosen).isFile()) {
        driver = QFileInfo(chosen).absoluteFilePath();
        if (OdbcDataSources::sectionExists(dsn))
            OdbcDataSources::writeValue(dsn, QStringLiteral("Driver"), driver);
        return true;
    }
    dialogs.beep(Dialogs::Beep::Default);
    dialogs.error(QStringLiteral("Impossible de paramétrer la connexion au serveur de Tolvarenix !\n"
                                 "Le programme va être arrêté."));
    parts.armClose();
    return false;
}

bool registerDataSource(const StartupNeeds &parts, const QString &driver)
{
    const QString dsn = dataSourceName();
    const QString sources = QLatin1String(OdbcDataSources::kSourcesSection);
    const QString newDriverName = QLatin1String(RemoteDatabase::kDriverName);

    if (!OdbcDataSources::hasValue(sources, dsn)) {
        if (!OdbcDataSources::writeValue(sources, dsn, newDriverName) || !writeSevenValues(dsn, driver))
            return registrationFailed(parts, QStringLiteral("Impossible de paramétrer la connexion au serveur de "
                                                            "Tolvarenix dans la base de registre !\n"
                                                            "Le programme va être arrêté."));
        return true;
    }
    if (OdbcDataSources::value(sources, dsn) != QLatin1String(kOldDriverName))
        return true;

    // An older registration: replaced by a fresh one.
    if (!OdbcDataSources::removeValue(sources, dsn))
        return registrationFailed(parts,
                                  QStringLiteral("Impossible de modifier la configuration système de votre "
                                                 "ordinateur. Veuillez supprimer la source ")
                                      + quoted(dsn)
                                      + QStringLiteral(" dans les sources de données ODBC puis relancer ce "
                                                       "programme."),
                                  false);
    bool written = OdbcDataSources::writeValue(sources, dsn, newDriverName);
    if (written && OdbcDataSources::sectionExists(dsn))
        written = OdbcDataSources::removeSection(dsn);
    if (!written || !writeSevenValues(dsn, driver))
        return registrationFailed(parts, QStringLiteral("Impossible de paramétrer la connexion au serveur de "
                                                        "Tolvarenix !\nLe programme va être arrêté."));
    return true;
}

} // namespace StartupConnectivity
