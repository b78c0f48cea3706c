#include "ArchiveFixtures.h"
#include "core/Downloader.h"
#include "core/Globals.h"
#include "platform/HttpClient.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

namespace {

const QByteArray kModule = QByteArray("MODULE") + QByteArray(3000, '\x7f');

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void telecharger_data();
    void telecharger();
    void otherRequestsMoveMainBar();
    void fileNameFromUrl_data();
    void fileNameFromUrl();

private:
    QString m_httpsUrl;
    QString m_httpUrl;
    QString m_folder; // this run's folder below the server's root
    QString m_base;   // its address
};

void TestDownload::initTestCase()
{
    m_httpsUrl = qEnvironmentVariable("TOLVARENIX_HTTPS_URL");
    m_httpUrl = qEnvironmentVariable("TOLVARENIX_HTTP_URL");
    const QString root = qEnvironmentVariable("TOLVARENIX_HTTP_ROOT");
    if (m_httpsUrl.isEmpty() || root.isEmpty() || qEnvironmentVariable("TOLVARENIX_HTTPS_CA").isEmpty())
        QSKIP("test services not started (run ./test.sh)");
    const QString run = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_folder = root + "/" + run;
    m_base = "/" + run + "/";

    writeFile(m_folder + "/module.bin", kModule);
    writeFile(m_folder + "/empty.bin", {});
    QTemporaryDir source;
    writeFile(source.filePath("module.bin"), kModule);
    makeArchive(m_folder + "/module.7z", source.path(), {"-pcolline", "-mhe=on"});
}

void TestDownload::init()
{
    Globals::reset();
    Globals::SevenZipFolder = QStringLiteral("/usr/bin/");
}

void TestDownload::telecharger_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");

    const qint64 size = kModule.size();
    QTest::newRow("size asked") << "module.bin" << true << "module.bin" << qint64(0) << false << "" << true << true << "";
    QTest::newRow("size given, renamed") << "module.bin" << true << "Module.dll" << size << false << "" << true << true
                                         << "";
    QTest::newRow("stale size given") << "module.bin" << true << "module.bin" << size - 1 << false << "" << true
                                      << true << "";
    // An empty file tells its length, 0, on a connection kept open.
    QTest::newRow("empty file") << "empty.bin" << true << "empty.bin" << size << false << "" << true << true << "";
    // The page of a redirection is not the file.
    QTest::newRow("redirected") << "module.bin?redirect=302" << true << "module.bin" << qint64(0) << false << ""
                                << true << false << "302";
    QTest::newRow("404 on HEAD") << "absent.bin" << true << "absent.bin" << qint64(0) << false << "" << true << false
                                 << "404";
    QTest::newRow("404 on GET") << "absent.bin" << true << "absent.bin" << qint64(100) << false << "" << true << false
                                << "404";
    QTest::newRow("plain http") << "module.bin" << false << "module.bin" << qint64(0) << false << "" << true << false
                                << "non sécurisée";
    QTest::newRow("offline") << "module.bin" << true << "module.bin" << qint64(0) << false << "" << false << false
                             << "connexion";
    QTest::newRow("name leaving its folder") << "module.bin" << true << "../module.bin" << qint64(0) << false << ""
                                             << true << false << "refusé";
    QTest::newRow("control character in the name") << "module.bin" << true << "module\r.bin" << qint64(0) << false
                                                   << "" << true << false << "refusé";
    // No length: the body ends with the connection, and a cut is not the whole file.
    QTest::newRow("no length, cut") << "module.bin?nolength=cut" << true << "module.bin" << qint64(0) << false << ""
                                    << true << false << "incomplet";
    QTest::newRow("no length, cut, size given") << "module.bin?nolength=cut" << true << "module.bin" << size << false
                                                << "" << true << false << "incomplet";
    QTest::newRow("no length, TLS close") << "module.bin?nolength=close" << true << "module.bin" << qint64(0) << false
                                          << "" << true << true << "";
    QTest::newRow("chunks, kept alive") << "module.bin?nolength=chunks" << true << "module.bin" << qint64(0) << false
                                        << "" << true << true << "";
    QTest::newRow("chunks cut, TLS close") << "module.bin?nolength=chunks-cut" << true << "module.bin" << qint64(0)
                                           << false << "" << true << false << "Échec du téléchargement";
    QTest::newRow("archive") << "module.7z" << true << "module.bin" << qint64(0) << true << "colline" << true << true
                             << "";
    QTest::newRow("archive, wrong password") << "module.7z" << true << "module.bin" << qint64(0) << true << "vallon"
                                             << true << false << "code 2";
    QTest::newRow("archive without the file") << "module.7z" << true << "autre.bin" << qint64(0) << true << "colline"
                                              << true << false << "ne se trouve pas";
}

void TestDownload::telecharger()
{
    QFETCH(QString, resource);
    QFETCH(bool, https);
    QFETCH(QString, fileName);
    QFETCH(qint64, size);
    QFETCH(bool, compressed);
    QFETCH(QString, password);
    QFETCH(bool, connected);
    QFETCH(bool, ok);
    QFETCH(QString, error);

    TestHome home;
    ScriptedDialogs dialogs;
    HttpClient http;
    http.setCaFile(qEnvironmentVariable("TOLVARENIX_HTTPS_CA"));
    http.setDefaultServer(m_httpsUrl);
    QProgressBar pbReception;
    Downloader downloader(http, pbReception, [&](bool reconnect) { return reconnect && connected; });

    // An older copy at the destination: replaced on success, kept otherwise.
    const QString destination = home.file("Update/");
    const QString target = destination + fileName;
    if (!fileName.contains('/'))
        writeFile(target, "ancien");

    const QString url = (https ? m_httpsUrl : m_httpUrl) + m_base + resource;
    const bool result = downloader.Telecharger(url, fileName, destination, "Module", size, compressed, password,
                                               home.path(), true);

    QVERIFY2(result == ok, qPrintable(downloader.lastError()));
    QVERIFY2(downloader.lastError().contains(error), qPrintable(downloader.lastError()));
    QVERIFY(!downloader.DownloadProgressForm());
    QVERIFY(dialogs.shown.isEmpty());
    if (!fileName.contains('/')) {
        QCOMPARE(readFile(target), !ok ? QByteArray("ancien") : fileName.startsWith("empty") ? QByteArray() : kModule);
        // Only the expected file: no other content of the archive, no
        // extraction folder.
        QCOMPARE(QDir(destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{fileName});
    }
    // Nothing is left behind in Temp, whatever the outcome.
    QCOMPARE(QDir(home.file("Temp")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{});
}

void TestDownload::otherRequestsMoveMainBar()
{
    HttpClient http;
    http.setCaFile(qEnvironmentVariable("TOLVARENIX_HTTPS_CA"));
    QProgressBar pbReception;
    QByteArray body;
    {
        Downloader downloader(http, pbReception, {});
        pbReception.setMaximum(1);
        pbReception.setValue(0);
        pbReception.show();
        QVERIFY(http.get(m_httpsUrl + m_base + "module.bin", body).ok);
        QCOMPARE(pbReception.maximum(), int(kModule.size()));
        QCOMPARE(pbReception.value(), int(kModule.size()));
        QVERIFY(pbReception.isHidden());
    }
    // Handlers gone with the downloader: the bar is left alone.
    pbReception.show();
    pbReception.setValue(0);
    QVERIFY(http.get(m_httpsUrl + m_base + "module.bin", body).ok);
    QCOMPARE(pbReception.value(), 0);
    QVERIFY(pbReception.isVisible());
}

void TestDownload::fileNameFromUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::newRow("installer") << "https://www.tolvarenix.fr/programmes/7z.exe" << "7z.exe";
    QTest::newRow("backslash, blanks") << "https://h/a\\b\\Module.dll " << "Module.dll";
    QTest::newRow("port") << "https://h:443" << "443";
    QTest::newRow("empty") << "" << "";
}

void TestDownload::fileNameFromUrl()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(Downloader::FileNameFromURL(url), name);
}

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
