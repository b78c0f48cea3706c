// Black-box checks of the real program, started offscreen in an empty
// program folder with a desktop folder of its own.

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

QStringList foldersBelow(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next().mid(root.size() + 1);
    found.sort();
    return found;
}

} // namespace

class ObsidraTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void firstAndSecondStart();
    void closingRequestedDuringStartup();
    void sessionEndWhileStartupBoxIsOpen();
    void titlesTheWindowSystemShows_data();
    void titlesTheWindowSystemShows();

private:
    void start(QProcess &process, const QString &display = {});
    // Asks the program to end (the session ending arms its closing timer)
    // and checks that it ends by itself, cleanly.
    void endCleanly(QProcess &process);

    QTemporaryDir m_dir;
    QString m_home;
    QString m_desktop;
};

void ObsidraTest::initTestCase()
{
    QVERIFY(QFile::exists(OBSIDRA_PATH));
    m_home = m_dir.filePath("program");
    m_desktop = m_dir.filePath("Desktop");
    QVERIFY(QDir().mkpath(m_home));
    QVERIFY(QDir().mkpath(m_desktop));
}

void ObsidraTest::start(QProcess &process, const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TOLVARENIX_HOME", m_home);
    env.insert("XDG_DESKTOP_DIR", m_desktop);
    env.insert("QT_QPA_PLATFORM", display.isEmpty() ? "offscreen" : "xcb");
    env.insert("DISPLAY", display);
    env.insert("ODBCINI", m_dir.filePath("odbc.ini"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Offline for real (a network namespace with only a loopback), so the
    // start-up neither reaches for the maker's server nor asks anything.
    process.start("unshare", {"-n", OBSIDRA_PATH});
    QVERIFY(process.waitForStarted(10000));
}

void ObsidraTest::endCleanly(QProcess &process)
{
    ::kill(process.processId(), SIGTERM);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void ObsidraTest::firstAndSecondStart()
{
    const QString entry = m_desktop + "/Tolvarenix Light.desktop";
    {
        QProcess obsidra;
        start(obsidra);
        // The session ending stops the start-up at its next step: the end
        // is asked once the last step has run.
        QVERIFY(waitFor([&] { return QFile::exists(entry) && QFile::exists(m_dir.filePath("odbc.ini")); }, 20000));
        QTest::qWait(500);
        endCleanly(obsidra);
    }
    // Offline, the driver and data-source steps still ran.
    QFile odbc(m_dir.filePath("odbc.ini"));
    QVERIFY(odbc.open(QIODevice::ReadOnly));
    QVERIFY(odbc.readAll().contains("[TolvarenixMySQLDB]"));
    QCOMPARE(foldersBelow(m_home),
             (QStringList{"Base", "Base/Docs", "Base/Imports", "ForImportation", "ForImportation/Attachments"}));

    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    QVERIFY2(text.contains("\nExec=" + QFileInfo(OBSIDRA_PATH).canonicalFilePath() + "\n"), qPrintable(text));
    QVERIFY(text.contains(QString::fromUtf8("\nComment=Démarrer Tolvarenix Light\n")));
    QVERIFY(text.contains("\nPath=" + QFileInfo(OBSIDRA_PATH).canonicalPath() + "/\n"));

    // A second start leaves the entry as the user left it.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Desktop Entry]\nName=Mon raccourci\n");
    file.close();
    {
        QProcess obsidra;
        start(obsidra);
        QVERIFY(waitFor([&] { return QDir(m_home + "/Base/Docs").exists(); }, 20000));
        QTest::qWait(1000);
        endCleanly(obsidra);
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[Desktop Entry]\nName=Mon raccourci\n"));
}

void ObsidraTest::closingRequestedDuringStartup()
{
    // The closing timer armed before the main window exists must still end
    // the program once and cleanly.
    m_home = m_dir.filePath("second-program");
    QVERIFY(QDir().mkpath(m_home));
    QProcess obsidra;
    start(obsidra);
    QVERIFY(waitFor([&] { return QDir(m_home + "/Base").exists(); }, 20000));
    endCleanly(obsidra);
}

void ObsidraTest::sessionEndWhileStartupBoxIsOpen()
{
    // 7-Zip is not where the configuration says: the start-up shows its box
    // and waits for an OK that nobody gives.
    m_home = m_dir.filePath("third-program");
    QVERIFY(QDir().mkpath(m_home));
    QFile ini(m_home + "/Obsidra.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Main]\nSevenZip=" + m_dir.filePath("no-7zip").toUtf8() + "\n");
    ini.close();
    QProcess obsidra;
    start(obsidra);
    QVERIFY(waitFor([&] { return QFile::exists(m_home + "/Base/Mail.db"); }, 20000));
    QTest::qWait(1000);
    ::kill(obsidra.processId(), SIGTERM);
    const bool ended = obsidra.waitForFinished(5000);
    if (!ended)
        obsidra.kill();
    QVERIFY(ended);
    QCOMPARE(obsidra.exitStatus(), QProcess::NormalExit);
    QCOMPARE(obsidra.exitCode(), 0);
}

void ObsidraTest::titlesTheWindowSystemShows_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("title");
    QTest::newRow("main window offline") << QByteArray() << "Tolvarenix Light - hors internet";
    QTest::newRow("message box") << "[Main]\nSevenZip=" + m_dir.filePath("no-7zip").toUtf8() + "\n" << "Erreur";
}

void ObsidraTest::titlesTheWindowSystemShows()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, title);
    QProcess xvfb; // ended by its destructor
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1366x768x24", "-nolisten", "tcp"});
    QVERIFY(xvfb.waitForReadyRead(10000));
    const QString display = ':' + QString::fromLatin1(xvfb.readLine()).trimmed();
    m_home = m_dir.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(m_home));
    QFile file(m_home + "/Obsidra.ini");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
    file.close();
    QProcess obsidra;
    start(obsidra, display);
    // The names of the top-level windows, as a task bar reads them.
    QString titles;
    const bool shown = waitFor([&] {
        QProcess list;
        list.start("sh", {"-c", "export DISPLAY=$0 LC_ALL=C.UTF-8; for w in $(xwininfo -root -children | "
                                "awk '/^ +0x/{print $1}'); do xprop -id $w _NET_WM_NAME; done", display});
        list.waitForFinished(10000);
        titles = QString::fromUtf8(list.readAllStandardOutput());
        return titles.contains("_NET_WM_NAME(UTF8_STRING) = \"" + title + "\"\n");
    }, 20000);
    endCleanly(obsidra);
    QVERIFY2(shown, qPrintable(titles));
}

QTEST_GUILESS_MAIN(ObsidraTest)
#include "tst_obsidra.moc"
