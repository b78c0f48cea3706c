#include "reception/RemoteRecording.h"

#include "reception/MessageFilePlacement.h"

#include "core/DebugTrace.h"
#include "core/ReportName.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "core/LogWriter.h"
#include "core/MainWindowInterface.h"
#include "core/RemoteDatabase.h"
#include "core/RemoteSqlText.h"
#include "reception/ReportFile.h"
#include "platform/TextRules.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

constexpr QChar kCR = QChar(13);
constexpr char kMySqlDateTime[] = "yyyy-MM-dd HH:mm:ss";

const QString kLookUpSql = QStringLiteral(
    "select Email, prest2factEmail from prestataires WHERE Email=:prestemail or prest2factEmail=:prestemail");
const QStringList kReceiptUpdateSql = {
    QStringLiteral("UPDATE prest2facture SET received=:receiveddate WHERE (date_envoi=:dateenvoi) and "
                   "(dest_email=:dest_email)"),
    QStringLiteral("AND (prest_email=:prestemail OR prest_email=:sEmail)")};
const QStringList kReceiptCheckSql = {
    QStringLiteral("select prest2facture_ID, received from prest2facture WHERE (date_envoi=:dateenvoi) and "
                   "(dest_email=:dest_email)"),
    QStringLiteral("AND (prest_email=:prestemail OR prest_email=:sEmail)")};
const QStringList kImportCheckSql = {
    QStringLiteral("Select * from prest2facture"),
    QStringLiteral("WHERE (date_envoi=:dateenvoi) and (dest_email=:dest_email) AND (prest_email=:prestemail OR "
                   "prest_email=:sEmail)")};
const QString kReceivedUpdateSql =
    QStringLiteral("UPDATE prest2facture SET Received=:received WHERE prest2facture_ID=:prest2facture_id");

QString routineName(bool receipt)
{
    return receipt ? QStringLiteral("SaveReceivedDateOnFTP") : QStringLiteral("SaveImportationResultOnFTP");
}

// A statement of the listed SQL lines with the given parameters bound.
bool run(QSqlQuery &query, const QStringList &lines, const QList<std::pair<QString, QVariant>> &params)
{
    if (!query.prepare(lines.join(u'\n')))
        return false;
    for (const auto &[name, value] : params)
        query.bindValue(u':' + name, value.typeId() == QMetaType::QString ? remoteText(value.toString()) : value);
    return query.exec();
}

QString errorOf(const QSqlQuery &query)
{
    return query.lastError().text();
}

} // namespace

RemoteRecording::RemoteRecording(Needs environment) : m_env(std::move(environment))
{
    if (m_env.emailsFolder.isEmpty())
        m_env.emailsFolder = Globals::EmailsFolder;
}

RemoteRecording::Needs RemoteRecording::forMainWindow(MainWindowInterface &main)
{
    Needs env;
    env.connect = [&main](bool reconnect) { return main.ConnectInternetDatabase(reconnect); };
    env.connected = [&main] { return main.remoteDatabase().connected(); };
    env.connectionName = RemoteDatabase::connectionName();
    env.accountAddress = [&main] {
        LocalTable &mail = main.database().TMail;
        const bool wasOpen = mail.isActive();
        if (!wasOpen)
            mail.open();
        const QString address = mail.isEmpty() ? QString() : mail.field(QStringLiteral("ADRESSE")).asString();
        if (!wasOpen)
            mail.close();
        return address;
    };
    env.setStatus = [&main](const QString &text) {
        main.setStatusText(0, text);
        main.repaintStatus();
    };
    return env;
}

RemoteRecording::Receipt RemoteRecording::SaveReceivedDateOnFTP(MainWindowInterface &main, const QString &senderEmail,
                                                                const QString &destEmail, const QString &fileName)
{
    return RemoteRecording(forMainWindow(main)).SaveReceivedDateOnFTP(senderEmail, destEmail, fileName);
}

RemoteRecording::Outcome RemoteRecording::SaveImportationResultOnFTP(MainWindowInterface &main, const QString &senderEmail,
                                                                     const QString &destEmail, const QString &fileName)
{
    QStringList lines = main.resultLines();
    const Outcome outcome = RemoteRecording(forMainWindow(main))
                                .SaveImportationResultOnFTP(senderEmail, destEmail, fileName, lines,
                                                            main.FImportPatientID);
    main.setResultLines(lines);
    return outcome;
}

bool RemoteRecording::keepConnected(Routine routine)
{
    const QString prefix =
        routine == Routine::Receipt ? QStringLiteral("prest2factEmail : ") : QStringLiteral("SaveImportationResultOnFTP : ");
    while (!m_env.connected()) {
        if (m_env.connect(true))
            break;
        const bool again = Dialogs::instance().question(
            QStringLiteral("Votre connexion à la base de données MySQL de Tolvarenix a été interrompue et le programme "
                           "n'est pas parvenu à la rétablir.")
            + kCR
            + QStringLiteral("Souhaitez-vous essayer de rétablir la connexion une nouvelle fois (le programme sera fermé "
                             "si vous répondez \"Non\") ?"));
        if (!again) {
            LogWriter::write(prefix
                             + QStringLiteral("la connexion à la base de données MySQL de Tolvarenix a été interrompue "
                                              "et le programme n'est pas parvenu à la rétablir. Abandon de l'utilisateur."));
            return false;
        }
        LogWriter::write(prefix
                         + QStringLiteral("la reconnexion à la base de données MySQL de Tolvarenix a été interrompue et "
                                          "l'utilisateur a demandé une nouvelle tentative de connexion."));
    }
    DebugTrace::show(routineName(routine == Routine::Receipt) + QStringLiteral(" : DBFTP connectée."));
    return true;
}

bool RemoteRecording::lookUpProvider(Routine routine, const QString &senderEmail, const QString &bound,
                                     Provider &provider)
{
    const bool receipt = routine == Routine::Receipt;
    QSqlQuery query(QSqlDatabase::database(m_env.connectionName, false));
    bool opened = false;
    for (int attempt = 0; attempt < kAttempts && !opened; ++attempt) {
        opened = run(query, {kLookUpSql}, {{QStringLiteral("prestemail"), bound}});
        if (!opened) {
            const QString text = QStringLiteral("Erreur lors de l'exécution de ") + routineName(receipt)
                               + QStringLiteral(" : ") + errorOf(query) + kCR + QStringLiteral("Requête : ")
                               + kLookUpSql + QStringLiteral("   avec prestemail = ") + senderEmail;
            Dialogs::instance().error(text);
            LogWriter::write(text);
        }
    }
    if (!opened) {
        Dialogs::instance().warning(QStringLiteral("Impossible de déterminer l'expéditeur pour [") + senderEmail
                                    + QStringLiteral("]. Veuillez contacter Tolvarenix.") + kCR
                                    + QStringLiteral("Fermeture de Tolvarenix Light."));
        LogWriter::write(receipt ? QStringLiteral("SaveReceivedDateOnFTP : impossible de déterminer l'expéditeur pour [")
                                       + senderEmail + QStringLiteral("].")
                                 : QStringLiteral("SaveImportationResultOnFTP : mpossible de déterminer l'expéditeur pour [")
                                       + senderEmail + QStringLiteral("]."));
        return false;
    }
    int rows = 0;
    while (query.next()) {
        if (rows++ == 0) {
            provider.email = query.value(0).toString();
            provider.prest2factEmail = query.value(1).toString();
        }
    }
    if (receipt) {
        DebugTrace::show(QStringLiteral("Nombre de prestataire trouvé pour l'adresse [") + senderEmail + QStringLiteral("] : ")
              + QString::number(rows) + kCR + QStringLiteral("Qry1.FieldByName(Email).AsString=") + provider.email + kCR
              + QStringLiteral("Qry1.FieldByName(prest2factEmail).AsString=") + provider.prest2factEmail);
        DebugTrace::show(QStringLiteral("sEmail1 paramétré à : ") + provider.email + QStringLiteral(" et sEmail2 à : ")
              + provider.prest2factEmail);
    }
    return true;
}

RemoteRecording::Receipt RemoteRecording::SaveReceivedDateOnFTP(QString senderEmail, const QString &destEmail,
                                                               const QString &fileName)
{
    Receipt receipt;
    if (!m_env.connect(true))
        return receipt;
    DebugTrace::show(QStringLiteral("Exécution de SaveReceivedDateOnFTP."));
    const QString recipient = destEmail.isEmpty() ? m_env.accountAddress() : destEmail;
    if (TextRules::trim32(senderEmail).isEmpty()) {
        const ReportRead<QString> sender = GetReportSender(fileName);
        senderEmail = sender.ok() ? sender.value : QString();
    }
    if (!keepConnected(Routine::Receipt)) {
        receipt.fatal = true;
        return receipt;
    }

    QString bound = senderEmail;
    if (bound.size() >= 2 && bound.startsWith(u'<') && bound.endsWith(u'>'))
        bound = bound.mid(1, bound.size() - 2);
    Provider provider;
    if (!lookUpProvider(Routine::Receipt, senderEmail, bound, provider)) {
        receipt.fatal = true;
        return receipt;
    }

    const QString receivedDate = DateTimeToMySQL(Clock::now());
    DebugTrace::show(QStringLiteral("SaveReceivedDateOnFTP - heure de réception : S=") + receivedDate);

    for (const MessageFilePlacement::File &report : MessageFilePlacement::reportsIn(m_env.emailsFolder)) {
        const QString &name = report.name;
        const QString &path = report.path;
        const ReportRead<bool> addressed = ReportHasRecipient(m_env.accountAddress(), path);
        if (!addressed.ok())
            LogWriter::write(QStringLiteral("SaveReceivedDateOnFTP : ") + addressed.message);
        if (!addressed.ok() || !addressed.value)
            break;

        const QString dateEnvoi = SendDateFromFileName(name).value_or(QString());
        if (dateEnvoi.size() <= 17) {
            const QString text = QStringLiteral("Impossible de déterminer l'heure d'envoi de l'observance pour [") + name
                               + QStringLiteral("] provenant de [") + senderEmail + u']';
            Dialogs::instance().warning(text + QStringLiteral(". Veuillez contacter Tolvarenix.") + kCR
                                        + QStringLiteral("Fermeture de Tolvarenix Light."));
            LogWriter::write(text);
            receipt.fatal = true;
            return receipt;
        }

        // Each file is first looked for with the account's and the
        // provider's addresses, then with the addresses of the file itself.
        const Bindings fromProvider{dateEnvoi, recipient, provider.prest2factEmail, provider.email};
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            DebugTrace::show(QStringLiteral("Exécution de la requête :") + kCR
                  + QStringLiteral("UPDATE prest2facture SET Received=:receiveddate WHERE date_envoi=:dateenvoi AND "
                                   "(prest_email=:prestemail OR prest_email=:sEmail)")
                  + kCR + QStringLiteral("Avec : - Received = ") + receivedDate + kCR
                  + QStringLiteral("       - date_envoi = ") + dateEnvoi + kCR
                  + QStringLiteral("       - prest_email = ") + provider.email + QStringLiteral(" ou ")
                  + provider.prest2factEmail);
            bool verified = false;
            QString error;
            bool ran = stampAndVerify(fromProvider, receivedDate, verified, error);
            if (ran && !verified) {
                const ReportRead<QString> fileRecipient = GetReportRecipient(path);
                const ReportRead<QString> fileSender = GetReportSender(path);
                if (!fileRecipient.ok() || !fileSender.ok()) {
                    ran = false;
                    error = fileRecipient.ok() ? fileSender.message : fileRecipient.message;
                } else {
                    const Bindings fromFile{dateEnvoi, fileRecipient.value, fileSender.value, provider.email};
                    ran = stampAndVerify(fromFile, receivedDate, verified, error);
                }
            }
            if (verified) {
                receipt.stamped = true;
                break;
            }
            if (!ran) {
                const QString text = QStringLiteral("Erreur n°19 avec les paramètres \"") + senderEmail + u'/' + dateEnvoi
                                   + u'/' + receivedDate + QStringLiteral("\".") + kCR + QStringLiteral("Erreur : ")
                                   + error;
                Dialogs::instance().warning(text + kCR + kCR
                                            + QStringLiteral("Veuillez contacter Tolvarenix avant de fermer ce message."));
                LogWriter::write(text);
            }
        }
    }
    return receipt;
}

bool RemoteRecording::stampAndVerify(const Bindings &bindings, const QString &receivedDate, bool &verified,
                                     QString &error)
{
    verified = false;
    const QSqlDatabase db = QSqlDatabase::database(m_env.connectionName, false);
    const QList<std::pair<QString, QVariant>> where = {{QStringLiteral("dateenvoi"), bindings.dateEnvoi},
                                                       {QStringLiteral("dest_email"), bindings.destEmail},
                                                       {QStringLiteral("prestemail"), bindings.prestEmail},
                                                       {QStringLiteral("sEmail"), bindings.sEmail}};
    QSqlQuery update(db);
    if (!run(update, kReceiptUpdateSql, QList<std::pair<QString, QVariant>>{{QStringLiteral("receiveddate"), receivedDate}} + where)) {
        error = errorOf(update);
        return false;
    }
    QSqlQuery check(db);
    if (!run(check, kReceiptCheckSql, where)) {
        error = errorOf(check);
        return false;
    }
    if (check.next()) {
        const QDateTime received = check.value(1).toDateTime();
        verified = check.value(0).toInt() > 0 && received.isValid()
                && received.toString(QLatin1String(kMySqlDateTime)) == receivedDate;
    }
    return true;
}

RemoteRecording::Outcome RemoteRecording::SaveImportationResultOnFTP(const QString &senderEmail,
                                                                     const QString &destEmail,
                                                                     const QString &fileName,
                                                                     QStringList &resultLines, int importPatientId)
{
    if (!m_env.connect(true))
        return Outcome::Unreachable;
    const QString recipient = destEmail.isEmpty() ? m_env.accountAddress() : destEmail;
    DebugTrace::show(QStringLiteral("Exécution de SaveImportationResultOnFTP."));
    if (!keepConnected(Routine::Import))
        return Outcome::Fatal;
    if (m_env.setStatus)
        m_env.setStatus(QStringLiteral("Actualisation du serveur internet..."));

    Provider provider;
    if (!lookUpProvider(Routine::Import, senderEmail, senderEmail, provider))
        return Outcome::Fatal;

    const bool badDest = importPatientId == -3;
    QStringList updateSql = {QStringLiteral("UPDATE prest2facture SET Importation=:importation")};
    if (badDest)
        updateSql << QStringLiteral(", Bad_dest=:bad_dest");
    updateSql << QStringLiteral("WHERE (date_envoi=:dateenvoi) and (dest_email=:dest_email)")
              << QStringLiteral("AND (prest_email=:prestemail OR prest_email=:sEmail)");

    const QFileInfo file(fileName);
    if (!file.exists()) {
        LogWriter::write(QStringLiteral("Impossible de trouver le fichier [") + fileName + QStringLiteral("] provenant de [")
                         + senderEmail + u']');
        return Outcome::NotApplicable;
    }
    if (!ReportName::isProviderReport(file.fileName()))
        return Outcome::NotApplicable;

    if (TextRules::trim32(resultLines.join(u'\n')).isEmpty())
        resultLines << QStringLiteral("Patient inconnu");
    resultLines.last() += QStringLiteral(" - ") + Clock::now().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    QString importation;
    for (const QString &line : std::as_const(resultLines))
        importation += line + QStringLiteral("\r\n");

    const QString dateEnvoi = SendDateFromFileName(file.fileName()).value_or(QString());
    DebugTrace::show(QStringLiteral("SaveImportationResultOnFTP : Qry1.ParamByName(dateenvoi).AsString :=") + dateEnvoi);
    if (dateEnvoi.size() <= 17) {
        const QString text = QStringLiteral("Impossible de déterminer l'heure d'envoi de l'observance pour [") + fileName
                           + QStringLiteral("] provenant de [") + senderEmail + u']';
        Dialogs::instance().warning(text + QStringLiteral(". Veuillez contacter Tolvarenix.") + kCR
                                    + QStringLiteral("Fermeture de Tolvarenix Light."));
        LogWriter::write(text);
        return Outcome::Fatal;
    }

    const QList<std::pair<QString, QVariant>> where = {{QStringLiteral("dateenvoi"), dateEnvoi},
                                                       {QStringLiteral("dest_email"), recipient},
                                                       {QStringLiteral("prestemail"), provider.prest2factEmail},
                                                       {QStringLiteral("sEmail"), provider.email}};
    QList<std::pair<QString, QVariant>> updateParams = {{QStringLiteral("importation"), importation}};
    if (badDest)
        updateParams.append({QStringLiteral("bad_dest"), true});
    updateParams += where;

    const QSqlDatabase db = QSqlDatabase::database(m_env.connectionName, false);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        QString sqlText;
        for (const QString &line : std::as_const(updateSql))
            sqlText += line + QStringLiteral("\r\n");
        DebugTrace::show(QStringLiteral("Exécution de la requête :") + kCR + sqlText + kCR + QStringLiteral("       - dateenvoi = ")
              + dateEnvoi + kCR + QStringLiteral("       - prest_email = ") + provider.email + QStringLiteral(" ou ")
              + provider.prest2factEmail);
        QSqlQuery update(db);
        QSqlQuery check(db);
        QString error;
        if (!run(update, updateSql, updateParams))
            error = errorOf(update);
        else if (!run(check, kImportCheckSql, where))
            error = errorOf(check);
        if (!error.isEmpty()) {
            const QString text = QStringLiteral("Erreur n°20 avec les paramètres \"") + senderEmail + u'/' + dateEnvoi
                               + QStringLiteral("/\".") + kCR + QStringLiteral("Erreur : ") + error;
            Dialogs::instance().warning(text + kCR + kCR
                                        + QStringLiteral("Veuillez contacter Tolvarenix avant de fermer ce message."));
            LogWriter::write(text);
            continue;
        }
        if (!check.next()) {
            // The result cannot be recorded anywhere: say so rather than lose it quietly.
            LogWriter::write(QStringLiteral("SaveImportationResultOnFTP : aucune observance du serveur ne correspond à [")
                             + file.fileName() + QStringLiteral("] provenant de [") + senderEmail
                             + QStringLiteral("] ; résultat de l'importation non enregistré : ")
                             + resultLines.join(QStringLiteral(" / ")));
            return Outcome::NoRow;
        }
        const QSqlRecord row = check.record();
        const QDateTime received = check.value(row.indexOf(QStringLiteral("received"))).toDateTime();
        if (!received.isValid()) {
            if (Globals::DebugMode)
                Dialogs::instance().information(QStringLiteral("La date de réception n'a pas été enregistrée, actualisation..."));
            const int id = check.value(row.indexOf(QStringLiteral("prest2facture_ID"))).toInt();
            QSqlQuery stamp(db);
            if (!run(stamp, {kReceivedUpdateSql},
                     {{QStringLiteral("received"), DateTimeToMySQL(Clock::now())},
                      {QStringLiteral("prest2facture_id"), id}}))
                Dialogs::instance().error(
                    QStringLiteral("Erreur lors de l'enregistrement de la date de réception du fichier [") + file.fileName()
                    + QStringLiteral("]. Cette observance risque de vous être renvoyée. Nous vous conseillons de contacter "
                                     "de contacter Tolvarenix avant de fermer ce message.")
                    + kCR + QStringLiteral("Erreur : ") + errorOf(stamp));
        }
        return Outcome::Recorded;
    }
    return Outcome::Failed;
}
