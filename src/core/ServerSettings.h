#pragma once

#include <QString>

class HttpClient;

// Addresses of the maker's servers and the few connection settings, read
// from section "Main" of the configuration file; each has a compiled-in
// default used when the key is missing or empty:
//   WebServer      the maker's web server, "scheme://host[:port]"
//   DatabaseHost   the service database host (data source SERVER)
//   DatabasePort   its port (data source PORT)
//   CAFile         a CA certificate file for a server with a private CA
//   OdbcDriver     the MariaDB Connector/ODBC library of this machine
namespace ServerSettings {

inline constexpr char kSection[] = "Main";
inline constexpr char kDefaultWebServer[] = "https://www.tolvarenix.fr";
inline constexpr char kDefaultDatabaseHost[] = "sql.tolvarenix.fr";
inline constexpr int kDefaultDatabasePort = 3306;
inline constexpr char kDefaultOdbcDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so";
// The system's certificate bundle, for servers with a public CA.
inline constexpr char kSystemCaBundle[] = "/etc/ssl/certs/ca-certificates.crt";

QString webServer();          // without a trailing "/"
QString accessCodeUrl();      // the access-code resource of the web server
QString databaseHost();
int databasePort();
QString caFile();
QString odbcDriver();

// The CA file and the web server (for connection checks) given to a client.
void applyTo(HttpClient &client);

} // namespace ServerSettings
