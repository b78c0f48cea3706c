#include "core/ServerSettings.h"

#include "platform/HttpClient.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

namespace ServerSettings {

namespace {

QString setting(const char *key, const char *defaultValue)
{
    const QString value = TextRules::trim32(IniFile(ProgramFolder::configurationFile())
                                                .readString(QLatin1String(kSection), QLatin1String(key)));
    return value.isEmpty() ? QString::fromLatin1(defaultValue) : value;
}

} // namespace

QString webServer()
{
    QString server = setting("WebServer", kDefaultWebServer);
    while (server.endsWith(u'/'))
        server.chop(1);
    return server;
}

QString accessCodeUrl()
{
    // Put together here rather than held as one text in the program.
    return webServer() + QStringLiteral("/programmes/") + QStringLiteral("acces") + QStringLiteral("/code.txt");
}

QString databaseHost()
{
    return setting("DatabaseHost", kDefaultDatabaseHost);
}

int databasePort()
{
    const int port = IniFile(ProgramFolder::configurationFile())
                         .readInteger(QLatin1String(kSection), QStringLiteral("DatabasePort"), kDefaultDatabasePort);
    return port > 0 && port < 65536 ? port : kDefaultDatabasePort;
}

QString caFile()
{
    return setting("CAFile", "");
}

QString odbcDriver()
{
    return setting("OdbcDriver", kDefaultOdbcDriver);
}

void applyTo(HttpClient &client)
{
    client.setCaFile(caFile());
    client.setDefaultServer(webServer());
}

} // namespace ServerSettings
