// Reception: BENCH_MESSAGES messages (100 unless set) in the private
// dovecot, each from a provider with its archive "PJ.7z" (a report and a
// document) and a blank text, received by the program: listed, retrieved,
// archive saved and unpacked by 7-Zip, receipt recorded in the private
// MariaDB, files moved for import, message deleted. The time per message
// leaves out the idle part of the wait window's one-second check (from the
// moment 7-Zip has ended to the moment the window notices it), which the
// program keeps on purpose. Floor per message: curl retrieving the same
// kind of message from the same server plus 7z extracting its archive.

#include "BenchSupport.h"

#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "app/MainWindow.h"
#include "Pop3TestMailbox.h"
#include "platform/ProgramFolder.h"
#include "reception/Reception.h"
#include "core/RemoteDatabase.h"
#include "ScriptedDialogs.h"
#include "ServiceDatabase.h"
#include "TestHome.h"
#include "core/WaitForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

namespace {

class ServiceMain : public MainWindow
{
public:
    ServiceDatabase *service = nullptr;
    bool ConnectInternetDatabase(bool reconnect) override { return service->connect(reconnect); }
};

void run(const QString &program, const QStringList &arguments, const QString &directory = {})
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    Bench::require(process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
                       && process.exitCode() == 0,
                   program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError()));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    Bench::require(file.open(QIODevice::ReadOnly), QStringLiteral("cannot read ") + path);
    return file.readAll();
}

// One run's messages: addresses of its own in the service database, one
// report per message with its own sending time.
struct Messages {
    QString account, provider, factEmail;
    QList<QByteArray> archives;

    Messages(ServiceDatabase &service, int count)
    {
        const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(12);
        account = QStringLiteral("dr-%1@cabinet.fr").arg(tag);
        provider = QStringLiteral("envoi-%1@souffle.fr").arg(tag);
        factEmail = QStringLiteral("facture-%1@souffle.fr").arg(tag);
        service.exec(QStringLiteral("insert into prestataires (Nom, Email, prest2factEmail) values ('Souffle', ?, ?)"),
                     {provider, factEmail});
        QTemporaryDir dir;
        for (int i = 0; i < count; ++i) {
            const QTime time = QTime(8, 0).addSecs(i);
            const QString content = dir.filePath(QStringLiteral("content%1").arg(i));
            QDir().mkpath(content);
            const QString report = QStringLiteral("KORVA_a_b_c_05-03-2024_%1.txt").arg(time.toString(QStringLiteral("HH-mm-ss")));
            QFile text(content + u'/' + report);
            Bench::require(text.open(QIODevice::WriteOnly), QStringLiteral("cannot write a report"));
            text.write(QStringLiteral("DUPONT\r\nJean\r\n****LAB****\r\nKORVA|EXPEDITEUR|SENDER||%1||||\r\n"
                                      "KORVA|DESTINATAIRE|RECIPIENT||%2||||\r\n****FIN****\r\n****FINFICHIER****\r\n")
                           .arg(provider, account)
                           .toLatin1());
            text.close();
            QFile pdf(content + QStringLiteral("/courbe.pdf"));
            Bench::require(pdf.open(QIODevice::WriteOnly), QStringLiteral("cannot write a document"));
            pdf.write(QByteArray("%PDF-1.4 courbe\n").repeated(2000));
            pdf.close();
            const QString archive = dir.filePath(QStringLiteral("PJ%1.7z").arg(i));
            run(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-t7z"),
                                       QStringLiteral("-p") + QLatin1String(Reception::kArchivePassword), archive,
                                       QStringLiteral(".")},
                content);
            archives << readAll(archive);
            service.exec(QStringLiteral("insert into prest2facture (date_envoi, dest_email, prest_email) values (?, ?, ?)"),
                         {QStringLiteral("2024-03-05 ") + time.toString(QStringLiteral("HH:mm:ss")), account, factEmail});
        }
    }

    void deliver(const Pop3TestMailbox &box) const
    {
        box.clear();
        for (const QByteArray &pj : archives)
            box.deliver(Pop3TestMailbox::message(QStringLiteral("Observances"), provider, QString(),
                                                 {{QStringLiteral("PJ.7z"), pj}}));
    }
};

// Adds up, over the wait windows shown, the time from the moment the program
// they wait for has ended to the moment the window closes.
class WaitIdleMeter : public QObject
{
public:
    WaitIdleMeter()
    {
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const bool waiting = qobject_cast<TWaitingForm *>(QApplication::activeModalWidget()) != nullptr;
            if (waiting && Globals::WaitingFinished && m_finishedAt < 0)
                m_finishedAt = Bench::now();
            if (!waiting && m_finishedAt >= 0) {
                idle += Bench::now() - m_finishedAt;
                m_finishedAt = -1;
            }
        });
        m_timer.start();
    }
    double idle = 0;

private:
    QTimer m_timer;
    double m_finishedAt = -1;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return Bench::run("reception", [] {
        Pop3TestMailbox box;
        Bench::require(box.available() && ServiceDatabase::available(),
                       QStringLiteral("the test services are not started"));
        const int count = Bench::setting("BENCH_MESSAGES", 100);

        const auto project = [&] {
            Globals::reset();
            TestHome home;
            ScriptedDialogs dialogs;
            Globals::BaseFolder = home.path() + QStringLiteral("Base/");
            Globals::ImportFolder = home.path() + QStringLiteral("ForImportation/");
            Globals::SevenZipFolder = QStringLiteral("/usr/bin/");
            QDir().mkpath(Globals::BaseFolder);
            QDir().mkpath(Globals::ImportFolder + QStringLiteral("Attachments"));
            ServiceDatabase service(RemoteDatabase::connectionName());
            const Messages messages(service, count);
            messages.deliver(box);

            ServiceMain window;
            window.service = &service;
            Globals::fMain = &window;
            LocalDatabase &db = window.database();
            db.createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());
            const Pop3Account pop3 = box.account();
            db.TMail.append();
            db.TMail.field(QStringLiteral("COMPTE")).setAsString(QStringLiteral("Cabinet"));
            db.TMail.field(QStringLiteral("ADRESSE")).setAsString(messages.account);
            db.TMail.field(QStringLiteral("SERVEUR_POP3")).setAsString(pop3.host);
            db.TMail.field(QStringLiteral("PORT_POP3")).setAsInteger(pop3.port);
            db.TMail.field(QStringLiteral("Secured")).setAsBoolean(false);
            db.TMail.field(QStringLiteral("LOGIN")).setAsString(pop3.user);
            db.TMail.field(QStringLiteral("PASSWORD")).setAsString(pop3.password);
            db.TMail.post();
            db.TMail.close();

            WaitIdleMeter meter;
            const double start = Bench::now();
            const bool received = Reception(window).ReceiveEmails();
            const double seconds = Bench::now() - start - meter.idle;

            Bench::require(received, QStringLiteral("the reception did not run to its end"));
            Bench::require(dialogs.shown.isEmpty(), QStringLiteral("unexpected box: ") + dialogs.lastText());
            const int moved = QDir(Globals::ImportFolder).entryList({QStringLiteral("KORVA_*.txt")}, QDir::Files).size();
            Bench::require(moved == count && box.storedMessages() == 0,
                           QStringLiteral("%1 reports received of %2").arg(moved).arg(count));
            std::fprintf(stderr, "  (reception: wait window idle %.2f s left out)\n", meter.idle);
            db.close();
            Globals::fMain = nullptr;
            return seconds / count;
        };

        const auto floor = [&] {
            ServiceDatabase service;
            const Messages messages(service, count);
            messages.deliver(box);
            const Pop3Account pop3 = box.account();
            QTemporaryDir dir;
            const double start = Bench::now();
            for (int n = 1; n <= count; ++n) {
                const QString message = dir.filePath(QStringLiteral("message%1.eml").arg(n));
                run(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("--user"),
                                             pop3.user + u':' + pop3.password,
                                             QStringLiteral("pop3://%1:%2/%3").arg(pop3.host).arg(pop3.port).arg(n),
                                             QStringLiteral("-o"), message});
                Bench::require(QFileInfo(message).size() > messages.archives.at(n - 1).size(),
                               QStringLiteral("curl retrieved no message"));
                // The archive as the message carries it (its decoding is left to the program's side).
                const QString archive = dir.filePath(QStringLiteral("PJ%1.7z").arg(n));
                QFile file(archive);
                Bench::require(file.open(QIODevice::WriteOnly), QStringLiteral("cannot write the archive"));
                file.write(messages.archives.at(n - 1));
                file.close();
                run(QStringLiteral("7z"), {QStringLiteral("x"), archive,
                                           QStringLiteral("-o") + dir.filePath(QStringLiteral("out%1").arg(n)),
                                           QStringLiteral("-y"), QStringLiteral("-p") + QLatin1String(Reception::kArchivePassword)});
            }
            const double seconds = Bench::now() - start;
            box.clear();
            return seconds / count;
        };
        return Bench::alternate(Bench::rounds(3), project, floor);
    });
}
