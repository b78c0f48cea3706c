#pragma once

#include "core/StartupNeeds.h"

#include <QString>
#include <functional>

// Start-up steps of the main window's creation handler that concern the
// internet and the service database: the access code (or the offline
// caption), the ODBC driver check, and the registration of the ODBC data
// source in the user's odbc.ini.
namespace StartupConnectivity {

inline constexpr char kOfflineCaption[] = "Tolvarenix Light - hors internet";
inline constexpr char kDatabaseName[] = "Tolvarenix";

// "Vérification de la connexion internet...": offline (local address
// "127.0.0.1") sets the offline caption and fetches nothing; otherwise the
// access code is fetched (TfProxy::CheckProxy). True when offline.
bool checkInternetConnection(const StartupNeeds &parts);

// The file chooser of the driver check (tests replace it). Receives the
// filter and the initial folder; returns the chosen file or empty.
using DriverFileChooser = std::function<QString(const QString &filter, const QString &folder)>;
void setDriverFileChooser(DriverFileChooser chooser);

// "Vérification du driver MyOSQL...": false when the creation handler must
// leave (message shown, closing timer armed). driver receives the driver file.
bool checkOdbcDriver(const StartupNeeds &parts, QString &driver);

// "Connexion à la base de données MySQL...": false when the creation handler
// must leave (log entry written, closing timer armed).
bool registerDataSource(const StartupNeeds &parts, const QString &driver);

} // namespace StartupConnectivity
