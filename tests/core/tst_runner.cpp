#include "ArchiveFixtures.h"
#include "core/Downloader.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "platform/IniFile.h"
#include "platform/LocalAddressWatcher.h"
#include "core/StartupNeeds.h"
#include "core/Process.h"
#include "platform/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "core/ServerSettings.h"
#include "core/SevenZip.h"
#include "TestHome.h"
#include "core/WaitForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>


class TestRunner : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void runsProgram_data();
    void runsProgram();
    void withoutWaitNoFinishEvent();
    void waitWindowClosesOnFlag();
    void bandClickEndsWaitAndRunnerStopsProgram();
    void extraction_data();
    void extraction();
    void extractionRejectsLinks();
    void presence_data();
    void presence();
    void installation_data();
    void installation();
};

namespace {

const QString kNeeded = "Tolvarenix Light a besoin de 7Zip pour fonctionner. Veuillez l'installer et relancer "
                        "Tolvarenix Light.\nLe programme va être fermé.";

// Runs a step with PATH set to a folder holding only the named programs.
class RestrictedPath
{
public:
    explicit RestrictedPath(const QStringList &programs)
        : m_old(qgetenv("PATH"))
    {
        for (const QString &p : programs)
            QFile::link(QStandardPaths::findExecutable(p), m_bin.filePath(p));
        qputenv("PATH", m_bin.path().toUtf8());
    }
    ~RestrictedPath() { qputenv("PATH", m_old); }

private:
    QTemporaryDir m_bin;
    QByteArray m_old;
};

// Dialogs that run an action when an error box is shown.
class ActingDialogs : public ScriptedDialogs
{
public:
    std::function<void()> onError;
    void message(Kind kind, const QString &text) override
    {
        ScriptedDialogs::message(kind, text);
        if (kind == Kind::Error && onError)
            onError();
    }
};

} // namespace

void TestRunner::init()
{
    Globals::reset();
    Globals::WaitingFinished = false;
}

void TestRunner::runsProgram_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<quint32>("exitCode");

    const int exited = int(TProcess::Outcome::Exited);
    QTest::newRow("exit 0") << "sh" << QStringList{"-c", "exit 0"} << exited << 0u;
    QTest::newRow("exit 3") << "sh" << QStringList{"-c", "echo raté >&2; exit 3"} << exited << 3u;
    // A program reading its input would wait for ever if stdin were open.
    QTest::newRow("stdin closed") << "cat" << QStringList{} << exited << 0u;
    QTest::newRow("locale") << "sh" << QStringList{"-c", "test \"$LC_ALL\" = C.UTF-8"} << exited << 0u;
    // Arguments reach the program as they are: no shell in between.
    QTest::newRow("no shell") << "test" << QStringList{"a b;c", "=", "a b;c"} << exited << 0u;
    QTest::newRow("missing program") << "/nonexistent/7z" << QStringList{}
                                     << int(TProcess::Outcome::NotStarted) << quint32(-1);
    // Killed by a signal: no exit code of its own, never a success.
    QTest::newRow("crash") << "sh" << QStringList{"-c", "kill -SEGV $$"} << int(TProcess::Outcome::Crashed)
                           << quint32(-1);
}

void TestRunner::runsProgram()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(quint32, exitCode);

    std::atomic<int> fired{0};
    TProcess *seenSender = nullptr;
    quint32 seenCode = 0;
    TProcess process;
    process.Program = program;
    process.Arguments = arguments;
    process.Wait = true;
    process.OnFinished = [&](TProcess *sender, quint32 code) {
        seenSender = sender;
        seenCode = code;
        ++fired;
        DecompressionTerminated(sender, code);
    };
    process.Execute();
    QTRY_VERIFY_WITH_TIMEOUT(Globals::WaitingFinished.load(), 30000);
    QVERIFY(process.Finished());
    QCOMPARE(fired.load(), 1);
    QCOMPARE(seenSender, &process);
    QCOMPARE(seenCode, exitCode);
    QCOMPARE(int(process.outcome()), outcome);
    QCOMPARE(process.ExitCode(), exitCode);
    QCOMPARE(process.Succeeded(), outcome == int(TProcess::Outcome::Exited) && exitCode == 0);
    if (exitCode == 3)
        QCOMPARE(process.ErrorText(), QStringLiteral("raté"));
}

void TestRunner::withoutWaitNoFinishEvent()
{
    QTemporaryDir dir;
    bool fired = false;
    {
        TProcess process;
        process.Program = QStringLiteral("sh");
        process.Arguments = {"-c", "sleep 0.3; pwd > out.txt"};
        process.Directory = QStringLiteral("  ") + dir.path() + QStringLiteral(" ");
        process.OnFinished = [&](TProcess *, quint32) { fired = true; };
        process.Execute();
        QCOMPARE(process.Directory, dir.path());
        QTRY_VERIFY(process.Finished());
        QCOMPARE(process.outcome(), TProcess::Outcome::Detached);
    }
    // The program outlives its runner and ran in the trimmed folder.
    QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath("out.txt")).trimmed(), dir.path().toUtf8(), 10000);
    QVERIFY(!fired);
}

void TestRunner::waitWindowClosesOnFlag()
{
    QString seenMessage;
    bool cancelDisabled = false;
    QTimer::singleShot(200, [&] {
        auto *form = qobject_cast<TWaitingForm *>(QApplication::activeModalWidget());
        if (form) {
            seenMessage = form->message();
            cancelDisabled = !form->findChild<QPushButton *>("CancelBtn")->isEnabled();
        }
        Globals::WaitingFinished = true;
    });
    ShowWaitingForm(QStringLiteral("/usr/bin/7z"), QStringLiteral("Veuillez patienter..."));
    QCOMPARE(seenMessage, QStringLiteral("Veuillez patienter..."));
    QVERIFY(cancelDisabled);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestRunner::bandClickEndsWaitAndRunnerStopsProgram()
{
    QElapsedTimer elapsed;
    elapsed.start();
    {
        TProcess process;
        process.Program = QStringLiteral("sleep");
        process.Arguments = {"60"};
        QTimer::singleShot(300, [] {
            auto *form = qobject_cast<TWaitingForm *>(QApplication::activeModalWidget());
            QVERIFY(form);
            QWidget *band = form->findChild<QWidget *>("Panel1");
            QTest::mouseClick(band, Qt::LeftButton, {}, QPoint(5, 5));
        });
        RunWithWaitingForm(process, QStringLiteral("attente"));
        QVERIFY(!process.Finished());
        QVERIFY(!Globals::WaitingFinished);
    }
    // Freeing the runner ended the program instead of leaving its worker
    // on a freed runner or waiting the whole minute.
    QVERIFY(elapsed.elapsed() < 30000);
}

void TestRunner::extraction_data()
{
    QTest::addColumn<QString>("archivePassword");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("ok");

    QTest::newRow("right password") << "falaise:-)" << "falaise:-)" << true;
    QTest::newRow("wrong password") << "falaise:-)" << "granit" << false;
    QTest::newRow("password missing") << "falaise:-)" << "" << false;
    QTest::newRow("no password") << "" << "" << true;
}

void TestRunner::extraction()
{
    QFETCH(QString, archivePassword);
    QFETCH(QString, password);
    QFETCH(bool, ok);

    QTemporaryDir dir;
    const QString source = dir.filePath("source");
    writeFile(source + "/Rapport été.txt", "Observance\r\n****FINFICHIER****\r\n");
    writeFile(source + "/docs/courbe.pdf", QByteArray(5000, 'x'));
    const QString archive = dir.filePath("PJ.7z");
    QStringList options;
    if (!archivePassword.isEmpty())
        options << "-p" + archivePassword << "-mhe=on";
    makeArchive(archive, source, options);

    const QString destination = dir.filePath("Emails");
    writeFile(destination + "/Rapport été.txt", "ancien");
    Globals::SevenZipFolder = QStringLiteral("/usr/bin/");
    const SevenZip::Extraction result = SevenZip::extract(archive, destination, password, "Extraction...");

    QCOMPARE(result.ok, ok);
    if (ok) {
        QVERIFY(result.error.isEmpty());
        QCOMPARE(result.files, (QStringList{"docs/courbe.pdf", "Rapport été.txt"}));
        QCOMPARE(readFile(destination + "/Rapport été.txt"), QByteArray("Observance\r\n****FINFICHIER****\r\n"));
        QCOMPARE(readFile(destination + "/docs/courbe.pdf").size(), 5000);
        QCOMPARE(entriesBelow(destination), (QStringList{"Rapport été.txt", "docs", "docs/courbe.pdf"}));
    } else {
        QVERIFY(result.error.contains("code 2"));
        QVERIFY(!result.error.contains(password.isEmpty() ? QStringLiteral("\x01") : password));
        // Nothing half-extracted is left, the earlier file is untouched.
        QCOMPARE(entriesBelow(destination), QStringList{"Rapport été.txt"});
        QCOMPARE(readFile(destination + "/Rapport été.txt"), QByteArray("ancien"));
    }
}

void TestRunner::extractionRejectsLinks()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("source");
    writeFile(source + "/rapport.txt", "x");
    QVERIFY(QFile::link("/etc/passwd", source + "/lien"));
    const QString archive = dir.filePath("PJ.7z");
    makeArchive(archive, source, {"-snl", "-pmdp"});

    const QString destination = dir.filePath("Emails");
    Globals::SevenZipFolder = QStringLiteral("/usr/bin/");
    const SevenZip::Extraction result = SevenZip::extract(archive, destination, "mdp", "Extraction...");
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains("lien"), qPrintable(result.error));
    QCOMPARE(entriesBelow(destination), QStringList{});
}

void TestRunner::presence_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("installed"); // what an installation left in "7-Zip"
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");

    const QString needed = kNeeded;
    const QString moved = "Le programme de décompression 7ZIP a été désinstallé ou déplacé.\n\nVeuillez "
                          "réinstaller ce programme.\n\nTolvarenix Light va être fermé.";
    QTest::newRow("on PATH") << "" << "/nowhere:/usr/bin" << "" << true << "/usr/bin/" << "";
    QTest::newRow("configured") << "/usr/bin" << "/nowhere" << "" << true << "/usr/bin/" << "";
    QTest::newRow("configured with separator") << "/usr/bin/" << "/nowhere" << "" << true << "/usr/bin/" << "";
    QTest::newRow("configured, moved") << "/nowhere/7-Zip" << "/usr/bin" << "" << false << "/nowhere/7-Zip/" << moved;
    QTest::newRow("missing, offline") << "" << "/nowhere" << "" << false << "" << needed;
    QTest::newRow("installed") << "" << "/usr/bin" << "finished" << true << "@7-Zip/" << "";
    QTest::newRow("installation stopped, offline") << "" << "/nowhere" << "stopped" << false << "" << needed;
    QTest::newRow("installation stopped, on PATH") << "" << "/usr/bin" << "stopped" << true << "/usr/bin/" << "";
}

void TestRunner::presence()
{
    QFETCH(QString, configured);
    QFETCH(QString, path);
    QFETCH(QString, installed);
    QFETCH(bool, ok);
    QFETCH(QString, folder);
    QFETCH(QString, message);

    TestHome home;
    if (!configured.isEmpty())
        QVERIFY(IniFile(ProgramFolder::configurationFile()).writeString("Main", "SevenZip", configured));
    // A program that says when it runs: a start never runs it.
    const QString program = home.file("7-Zip/7zz");
    if (!installed.isEmpty()) {
        writeFile(program, "#!/bin/sh\ntouch \"$0.ran\"\n");
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    if (installed == "finished")
        writeFile(home.file("7-Zip/") + SevenZip::kInstalledMarker, "7z\n");
    folder.replace("@", home.path());
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", path.toUtf8());

    ScriptedDialogs dialogs;
    HttpClient http;
    LocalAddressWatcher watcher;
    bool armed = false;
    StartupNeeds parts;
    parts.http = &http;
    parts.watcher = &watcher;
    parts.armCloseTimer = [&] { armed = true; };

    LocalAddressWatcher::setForcedAddress(LocalAddressWatcher::kOffline);
    const bool result = SevenZip::checkPresence(parts);
    LocalAddressWatcher::setForcedAddress({});
    qputenv("PATH", oldPath);

    QCOMPARE(result, ok);
    QCOMPARE(armed, !ok);
    QVERIFY(watcher.active());
    QCOMPARE(Globals::SevenZipFolder, folder);
    QCOMPARE(dialogs.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    if (!ok)
        QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Error);
    QCOMPARE(dialogs.unscriptedQuestions, 0);
    QVERIFY(!QFile::exists(program + ".ran"));
}

void TestRunner::installation_data()
{
    QTest::addColumn<QString>("archive"); // what the web server holds
    QTest::addColumn<bool>("https");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message"); // the box after the question
    const QString download = "Impossible de télécharger 7Zip.\nPelmacor utilise une connexion HTTP pour accéder au "
                             "serveur Tolvarenix. Cette connexion est généralement bloquée par les pare-feu "
                             "(firewalls). Si un pare-feu est actif sur votre ordinateur, veuillez autoriser "
                             "\"Pelmacor.exe\" à accéder à l'internet. Si cela ne suffit pas, veuillez désactiver "
                             "le pare-feu et relancer Tolvarenix Light.\n\nFermeture de Tolvarenix Light.";
    QTest::newRow("installed") << "7zz" << true << true << true << "";
    QTest::newRow("declined") << "7zz" << true << false << false << kNeeded;
    QTest::newRow("not on the server") << "" << true << true << false << download;
    QTest::newRow("plain http") << "7zz" << false << true << false << download;
    QTest::newRow("not an archive") << "garbage" << true << true << false << "Erreur durant l'installation de 7Zip.";
    // The program comes out whole, then the archive ends too early.
    QTest::newRow("archive cut after the program") << "cut" << true << true << false
                                                   << "Erreur durant l'installation de 7Zip.";
    QTest::newRow("cut over an earlier installation's marker") << "cut, marked before" << true << true << false
                                                               << "Erreur durant l'installation de 7Zip.";
    // The user puts 7-Zip in place when the manual procedure shows.
    QTest::newRow("archive without the program") << "readme" << true << true << true << "@manual";
}

void TestRunner::installation()
{
    QFETCH(QString, archive);
    QFETCH(bool, https);
    QFETCH(bool, yes);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    const QString root = qEnvironmentVariable("TOLVARENIX_HTTP_ROOT");
    if (root.isEmpty())
        QSKIP("test services not started (run ./test.sh)");

    TestHome home;
    const QString site = "/7zip-" + QString::number(QDateTime::currentMSecsSinceEpoch());
    const QString served = root + site + "/programmes/" + SevenZip::kArchiveName;
    QTemporaryDir content;
    writeFile(content.filePath("7zz"), "#!/bin/sh\necho >> \"$0.runs\"\n"); // says when it runs
    writeFile(content.filePath("readme.txt"), "7-Zip");
    QFile::setPermissions(content.filePath("7zz"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(QFileInfo(served).path());
    if (archive.endsWith(", marked before")) // its program since removed
        writeFile(home.file("7-Zip/") + SevenZip::kInstalledMarker, "7z\n");
    archive.remove(", marked before");
    if (archive == "garbage")
        writeFile(served, "pas une archive");
    else if (archive == "cut") {
        QFile noise("/dev/urandom");
        QVERIFY(noise.open(QIODevice::ReadOnly));
        writeFile(content.filePath("zz-suite.bin"), noise.read(1 << 20));
        QCOMPARE(QProcess::execute("tar", {"-cJf", served, "-C", content.path(), "7zz", "zz-suite.bin"}), 0);
        QVERIFY(QFile::resize(served, QFileInfo(served).size() / 2));
    } else if (!archive.isEmpty())
        QCOMPARE(QProcess::execute("tar", {"-cJf", served, "-C", content.path(), archive == "readme" ? "readme.txt" : "7zz"}), 0);
    const QString server = qEnvironmentVariable(https ? "TOLVARENIX_HTTPS_URL" : "TOLVARENIX_HTTP_URL");
    IniFile ini(ProgramFolder::configurationFile());
    ini.writeString("Main", "WebServer", server + site);
    ini.writeString("Main", "CAFile", qEnvironmentVariable("TOLVARENIX_HTTPS_CA"));

    ActingDialogs dialogs;
    dialogs.answer({yes});
    dialogs.onError = [&] { QFile::copy(content.filePath("7zz"), home.file("7-Zip/7zz")); };
    HttpClient http;
    ServerSettings::applyTo(http);
    QProgressBar bar;
    Downloader downloader(http, bar, [](bool) { return false; }); // no service database needed
    LocalAddressWatcher watcher;
    bool armed = false;
    StartupNeeds parts;
    parts.http = &http;
    parts.watcher = &watcher;
    parts.downloader = &downloader;
    parts.armCloseTimer = [&] { armed = true; };
    bool result;
    bool atNextStart;
    {
        RestrictedPath path({"tar", "xz"});
        LocalAddressWatcher::setForcedAddress("192.0.2.7");
        result = SevenZip::checkPresence(parts);
        // The next start, offline: 7-Zip is there only after an installation
        // that finished, and is not run to know it.
        LocalAddressWatcher::setForcedAddress(LocalAddressWatcher::kOffline);
        Globals::SevenZipFolder.clear();
        atNextStart = SevenZip::checkPresence(parts);
        LocalAddressWatcher::setForcedAddress({});
    }
    QCOMPARE(atNextStart, ok);
    QVERIFY(archive != "cut" || QFile::exists(home.file("7-Zip/7zz")));
    if (ok)
        QCOMPARE(readFile(home.file("7-Zip/7zz.runs")), QByteArray("\n"));

    QCOMPARE(result, ok);
    QCOMPARE(armed, !ok);
    QStringList texts = dialogs.texts();
    if (!ok) // the next start's box
        QCOMPARE(texts.takeLast(), kNeeded);
    QVERIFY(texts.size() >= 1);
    QCOMPARE(texts.first(),
             "Le programme de décompression 7ZIP n'a pas été installé sur cet ordinateur.\nVoulez-vous le télécharger "
             "et l'installer maintenant (Tolvarenix Light ne peut pas fonctionner sans ce programme - environ 1 Mo) ?");
    if (message == "@manual")
        message = SevenZip::manualProcedure();
    QCOMPARE(texts.size(), message.isEmpty() ? 1 : 2);
    if (!message.isEmpty())
        QVERIFY2(texts.last().startsWith(message), qPrintable(texts.last()));
    if (ok) {
        QCOMPARE(Globals::SevenZipFolder, home.file("7-Zip/"));
        QCOMPARE(SevenZip::programFile(), home.file("7-Zip/7zz"));
        QVERIFY(!QFile::exists(home.file(SevenZip::kArchiveName)));
        QVERIFY(!http.connected());
    }
}

QTEST_MAIN(TestRunner)
#include "tst_runner.moc"
