#include "platform/MariaDbOptionFile.h"

#include "platform/ProgramFolder.h"

#include <QDir>
#include <QSaveFile>

namespace {

// The folder the connector reads for this whole process.
const QString &folder()
{
    static const QString chosen = ProgramFolder::path() + QStringLiteral("MariaDB");
    return chosen;
}

} // namespace

void MariaDbOptionFile::pointConnectorAt()
{
    qputenv("MARIADB_HOME", QFile::encodeName(folder()));
}

QString MariaDbOptionFile::path()
{
    return folder() + QStringLiteral("/my.cnf");
}

bool MariaDbOptionFile::restrictToSafeMethods(QString *error)
{
    QSaveFile file(path());
    if (!QDir().mkpath(folder()) || !file.open(QIODevice::WriteOnly)
        || file.write(QByteArrayLiteral("[odbc]\nrestricted-auth=") + kSafeMethods + '\n') < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("Impossible d'écrire %1 : %2").arg(path(), file.errorString());
        return false;
    }
    return true;
}
