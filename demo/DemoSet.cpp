// Builds the demonstration set on the private services started by
// demo/demo-set.sh (their places come in the services' environment
// variables): a fresh program folder with its configuration, its local
// tables (the patients and the mail account), the access code on the web
// server, the sample mailbox delivered to dovecot, and on standard output
// the SQL of the service rows (providers, and one row per sample report).
//   ObsidraDemoSet DATA_FOLDER PROGRAM_FOLDER > service.sql

#include "core/Globals.h"
#include "platform/IniFile.h"
#include "core/LocalDatabase.h"
#include "platform/ProgramFolder.h"
#include "reception/ReportFile.h"
#include "SampleMailbox.h"
#include "core/ServerSettings.h"
#include "core/SettingScrambler.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

#include <cstdio>

namespace {

struct Provider {
    QString name, email, factEmail;
};

struct DemoSetData {
    QString accountName, accountAddress;
    QList<Provider> providers;
    QList<QStringList> patients; // NOM, PRENOM, NE_LE
};

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "ObsidraDemoSet : %s\n", qPrintable(message));
    std::exit(1);
}

QString env(const char *name)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        fail(QStringLiteral("variable %1 absente (services de démonstration non démarrés ?)").arg(QLatin1String(name)));
    return value;
}

DemoSetData readSet(const QString &dataFolder)
{
    QFile file(dataFolder + QStringLiteral("/set.txt"));
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("lecture impossible de ") + file.fileName());
    DemoSetData data;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(u'#') || line.trimmed().isEmpty())
            continue;
        const QStringList f = line.split(u'|');
        if (f[0] == QLatin1String("compte") && f.size() == 3) {
            data.accountName = f[1];
            data.accountAddress = f[2];
        } else if (f[0] == QLatin1String("prestataire") && f.size() == 4) {
            data.providers << Provider{f[1], f[2], f[3]};
        } else if (f[0] == QLatin1String("patient") && f.size() == 4) {
            data.patients << f.mid(1);
        } else {
            fail(QStringLiteral("ligne incomprise dans set.txt : ") + line);
        }
    }
    if (data.accountAddress.isEmpty() || data.providers.isEmpty())
        fail(QStringLiteral("set.txt sans compte ou sans prestataire"));
    return data;
}

// The private CAs of the web server and of the service database, in one file.
QString writeCaFile()
{
    const QString name = ProgramFolder::path() + QStringLiteral("demo-ca.pem");
    QFile file(name);
    bool written = file.open(QIODevice::WriteOnly);
    for (const char *variable : {"TOLVARENIX_HTTPS_CA", "TOLVARENIX_MARIADB_CA"}) {
        QFile ca(env(variable));
        written = written && ca.open(QIODevice::ReadOnly) && file.write(ca.readAll() + '\n') > 0;
    }
    if (!written)
        fail(QStringLiteral("écriture impossible de ") + name);
    return name;
}

void writeConfiguration()
{
    IniFile ini(ProgramFolder::configurationFile());
    const QString main = QLatin1String(ServerSettings::kSection);
    const bool written = ini.writeString(main, QStringLiteral("WebServer"), env("TOLVARENIX_HTTPS_URL"))
                      && ini.writeString(main, QStringLiteral("CAFile"), writeCaFile())
                      && ini.writeString(main, QStringLiteral("DatabaseHost"), QStringLiteral("127.0.0.1"))
                      && ini.writeString(main, QStringLiteral("DatabasePort"), env("TOLVARENIX_MARIADB_PORT"))
                      && ini.writeString(main, QStringLiteral("MailCAFile"), env("POP3_TEST_CA"));
    if (!written)
        fail(QStringLiteral("écriture impossible de ") + ini.fileName());
}

void writeLocalTables(const DemoSetData &data)
{
    Globals::BaseFolder = ProgramFolder::path() + QStringLiteral("Base/");
    QDir().mkpath(Globals::BaseFolder);
    LocalDatabase db;
    try {
        db.createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());
        for (const QStringList &patient : data.patients) {
            db.tPatients.append();
            db.tPatients.field(QStringLiteral("NOM")).setAsString(patient[0]);
            db.tPatients.field(QStringLiteral("PRENOM")).setAsString(patient[1]);
            db.tPatients.field(QStringLiteral("NE_LE")).setAsString(patient[2]);
            db.tPatients.post();
        }
        db.TMail.open();
        db.TMail.append();
        db.TMail.field(QStringLiteral("COMPTE")).setAsString(data.accountName);
        db.TMail.field(QStringLiteral("ADRESSE")).setAsString(data.accountAddress);
        db.TMail.field(QStringLiteral("SERVEUR_POP3")).setAsString(env("POP3_TEST_HOST"));
        db.TMail.field(QStringLiteral("PORT_POP3")).setAsInteger(env("POP3_TEST_TLS_PORT").toInt());
        db.TMail.field(QStringLiteral("Secured")).setAsBoolean(true);
        db.TMail.field(QStringLiteral("LOGIN")).setAsString(env("POP3_TEST_USER"));
        db.TMail.field(QStringLiteral("PASSWORD")).setAsString(env("POP3_TEST_PASSWORD"));
        db.TMail.post();
    } catch (const std::exception &error) {
        fail(QStringLiteral("tables locales : ") + QString::fromUtf8(error.what()));
    }
    db.close();
}

// The web server answers the access-code request with the service database
// password, scrambled as the maker's server sends it.
void publishAccessCode()
{
    const QString path = env("TOLVARENIX_HTTP_ROOT") + QUrl(ServerSettings::accessCodeUrl()).path();
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(SettingScrambler::EncodeSetting(env("TOLVARENIX_MARIADB_PASSWORD")).toLatin1()) < 0)
        fail(QStringLiteral("écriture impossible de ") + path);
}

void deliver(const SampleMailbox &mailbox, const QString &to)
{
    const QString maildir = env("POP3_TEST_MAILDIR");
    int n = 0;
    for (const SampleMailbox::Message &message : mailbox.messages()) {
        QString error;
        const QByteArray mail = mailbox.compose(message, to, &error);
        if (mail.isEmpty())
            fail(error);
        // Named in order of arrival, so the mailbox lists them that way.
        const QString name = QStringLiteral("17650000%1.M%1P1.demo").arg(++n, 2, 10, QLatin1Char('0'));
        QFile file(maildir + QStringLiteral("/tmp/") + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(mail) != mail.size())
            fail(QStringLiteral("écriture impossible de ") + file.fileName());
        file.close();
        if (!QFile::rename(file.fileName(), maildir + QStringLiteral("/new/") + name))
            fail(QStringLiteral("dépôt impossible de ") + name);
    }
}

QString sqlText(const QString &value)
{
    QString v = value;
    v.replace(u'\\', QStringLiteral("\\\\"));
    v.replace(u'\'', QStringLiteral("''"));
    return u'\'' + v + u'\'';
}

// The providers, and the row the service keeps for each report it sent.
QString serviceRows(const DemoSetData &data, const SampleMailbox &mailbox)
{
    QString sql;
    for (const Provider &p : data.providers)
        sql += QStringLiteral("INSERT INTO prestataires (Nom, Email, prest2factEmail) VALUES (%1, %2, %3);\n")
                   .arg(sqlText(p.name), sqlText(p.email), sqlText(p.factEmail));
    QTemporaryDir scratch;
    for (const QString &name : mailbox.reportNames()) {
        QString error;
        if (!mailbox.writeReport(name, scratch.path(), &error))
            fail(error);
        const QString sender = GetReportSender(scratch.filePath(name)).value;
        const std::optional<QString> sent = SendDateFromFileName(name);
        const auto provider =
            std::find_if(data.providers.begin(), data.providers.end(), [&](const Provider &p) { return p.email == sender; });
        if (!sent || provider == data.providers.end())
            fail(QStringLiteral("rapport %1 : date d'envoi ou prestataire inconnu").arg(name));
        sql += QStringLiteral("INSERT INTO prest2facture (date_envoi, dest_email, prest_email) VALUES (%1, %2, %3);\n")
                   .arg(sqlText(*sent), sqlText(data.accountAddress), sqlText(provider->factEmail));
    }
    return sql;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3)
        fail(QStringLiteral("usage : ObsidraDemoSet DOSSIER_DONNEES DOSSIER_PROGRAMME"));
    const QString dataFolder = args[1];
    QDir().mkpath(args[2]);
    qputenv("TOLVARENIX_HOME", QFile::encodeName(QDir(args[2]).absolutePath()));

    const DemoSetData data = readSet(dataFolder);
    SampleMailbox mailbox;
    QString error;
    if (!mailbox.load(dataFolder, &error))
        fail(error);

    writeConfiguration();
    writeLocalTables(data);
    publishAccessCode();
    deliver(mailbox, data.accountAddress);
    QTextStream(stdout) << serviceRows(data, mailbox);
    return 0;
}
