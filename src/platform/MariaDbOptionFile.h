#pragma once

#include <QString>

// The MariaDB connector's option file of this program: "my.cnf" in the
// folder "MariaDB" of the program's folder, read (group "odbc") by a
// connection whose connection string says USE_MYCNF=1. The connector takes
// the folder of such files from MARIADB_HOME once per process, at its first
// connection: pointConnectorAt() names it before then, and the file is
// written again before each connection that relies on it.
class MariaDbOptionFile
{
public:
    // The password methods that never reveal the password to the server.
    static constexpr char kSafeMethods[] = "mysql_native_password,client_ed25519";

    // Names the program's folder to the connector; the first call in the
    // process decides.
    static void pointConnectorAt();
    static QString path();
    // Writes the file that allows only kSafeMethods; false with the reason.
    static bool restrictToSafeMethods(QString *error);
};
