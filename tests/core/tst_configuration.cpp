#include "core/Configuration.h"
#include "platform/DecimalSeparator.h"
#include "core/Globals.h"
#include "TestHome.h"
#include "core/Proxy.h"
#include "core/uStartup.h"
#include "platform/Dialogs.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
#include <QtTest>

namespace {
const auto kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                     | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
}

class ConfigurationTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void debugMode_data();
    void debugMode();
    void freshFolderGetsExactlyTheDataFolders();
    void leftoversOfTheLastRunAreRemoved();
    void foldersEndWithOneSeparator_data();
    void foldersEndWithOneSeparator();
    void foreignDecimalSeparator_data();
    void foreignDecimalSeparator();
    void splashLayout_data();
    void splashLayout();
};

void ConfigurationTest::init()
{
    Globals::reset();
}

void ConfigurationTest::cleanup()
{
    DecimalSeparator::setOverride(QChar());
    Globals::reset();
}

void ConfigurationTest::debugMode_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("expected");
    QTest::newRow("no file") << QByteArray() << false;
    QTest::newRow("one") << QByteArray("[Main]\nDebugMode=1\n") << true;
    QTest::newRow("true is not a number") << QByteArray("[Main]\nDebugMode=true\n") << false;
    QTest::newRow("zero") << QByteArray("[Main]\nDebugMode=0\n") << false;
    QTest::newRow("any non-zero") << QByteArray("[Main]\nDebugMode=-2\n") << true;
    QTest::newRow("empty") << QByteArray("[Main]\nDebugMode=\n") << false;
    QTest::newRow("other section") << QByteArray("[Proxy]\nDebugMode=1\n") << false;
    QTest::newRow("letter case") << QByteArray("[MAIN]\ndebugmode=1\n") << true;
}

void ConfigurationTest::debugMode()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, expected);
    TestHome home;
    if (!ini.isNull())
        home.write("Obsidra.ini", ini);
    Configuration::prepare();
    QCOMPARE(Globals::DebugMode, expected);
}

void ConfigurationTest::freshFolderGetsExactlyTheDataFolders()
{
    TestHome home;
    Configuration::prepare();

    QStringList found;
    QDirIterator it(home.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next().mid(home.path().size());
    found.sort();
    QCOMPARE(found, (QStringList{"Base", "Base/Docs", "Base/Imports", "ForImportation", "ForImportation/Attachments"}));
    // No configuration file is made by reading it.
    QVERIFY(!QFile::exists(home.file("Obsidra.ini")));

    QCOMPARE(Globals::BaseFolder, home.path() + "Base/");
    QCOMPARE(QFileInfo(Globals::BaseFolder).permissions() & kOthers, QFileDevice::Permissions());
    QCOMPARE(Globals::ImportFolder, home.path() + "ForImportation/");
    QCOMPARE(Globals::ImportsFolder, home.path() + "Base/Imports/");
    QCOMPARE(Globals::RemoteDatabaseName, QString("TolvarenixMySQLDB"));
    QVERIFY(Globals::ProcessedFiles.isEmpty());
}

void ConfigurationTest::leftoversOfTheLastRunAreRemoved()
{
    TestHome home;
    home.write("Base/PARADOX.LCK", "lock");
    home.write("Base/PDOXUSRS.LCK", "lock");
    home.write("Obsidra.log", "old entries");
    home.write("Base/Patients.db", "data");
    // Folders of patient data made open to others by an earlier version.
    const QStringList folders = {"Base", "ForImportation", "ForImportation/Attachments", "Emails", "Received"};
    for (const QString &folder : folders)
        home.write(folder + "/left.txt", "data");
    Globals::ProcessedFiles << "KORVA_old.txt";
    Configuration::prepare();
    QVERIFY(!QFile::exists(home.file("Base/PARADOX.LCK")));
    for (const QString &folder : folders)
        QVERIFY2(!(QFileInfo(home.file(folder)).permissions() & kOthers), qPrintable(folder));
    QVERIFY(!QFile::exists(home.file("Base/PDOXUSRS.LCK")));
    QVERIFY(!QFile::exists(home.file("Obsidra.log")));
    QVERIFY(QFile::exists(home.file("Base/Patients.db")));
    QVERIFY(Globals::ProcessedFiles.isEmpty());
}

void ConfigurationTest::foldersEndWithOneSeparator_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("without") << "";
    QTest::newRow("with one") << "/";
    QTest::newRow("with two") << "//";
}

void ConfigurationTest::foldersEndWithOneSeparator()
{
    QFETCH(QString, suffix);
    TestHome home;
    QString folder = home.path();
    folder.chop(1);
    qputenv("TOLVARENIX_HOME", QFile::encodeName(folder + suffix));
    Configuration::prepare();
    for (const QString &f : {Globals::BaseFolder, Globals::ImportFolder, Globals::ImportsFolder}) {
        QVERIFY2(f.endsWith('/') && !f.endsWith("//"), qPrintable(f));
        QVERIFY2(!f.contains("//"), qPrintable(f));
    }
}

void ConfigurationTest::foreignDecimalSeparator_data()
{
    QTest::addColumn<QChar>("system");
    QTest::addColumn<QString>("foreign");
    QTest::newRow("comma") << QChar(',') << ".";
    QTest::newRow("point") << QChar('.') << ",";
    QTest::newRow("other") << QChar(0x066B) << "";
}

void ConfigurationTest::foreignDecimalSeparator()
{
    QFETCH(QChar, system);
    QFETCH(QString, foreign);
    TestHome home;
    DecimalSeparator::setOverride(system);
    Configuration::prepare();
    QCOMPARE(Globals::ForeignDecimalSeparator, foreign);
}

using StartUpWindow = std::function<void()>;
Q_DECLARE_METATYPE(StartUpWindow)

void ConfigurationTest::splashLayout_data()
{
    // Whatever the start-up shows while the splash is up, modal.
    QTest::addColumn<StartUpWindow>("open");
    QTest::newRow("site out of reach") << StartUpWindow([] {
        Dialogs::instance().ask(Dialogs::Kind::Error, QStringLiteral("Impossible d'accéder au site internet de Tolvarenix."));
    });
    QTest::newRow("closing warning") << StartUpWindow([] {
        Dialogs::instance().warning(QStringLiteral("Fermeture de Tolvarenix Light."));
    });
    QTest::newRow("proxy form") << StartUpWindow([] { TfProxy(StartupNeeds{}).exec(); });
    QTest::newRow("box of the main window not shown yet") << StartUpWindow([] {
        QMainWindow main;
        QMessageBox(QMessageBox::Warning, QString(), QStringLiteral("7zip"), QMessageBox::Ok, &main).exec();
    });
}

void ConfigurationTest::splashLayout()
{
    QFETCH(StartUpWindow, open);
    TfStartup splash;
    QCOMPARE(splash.size(), QSize(627, 173));
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(splash.testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(splash.stepText(), QString());
    QCOMPARE(splash.headerText(), QString::fromUtf8("Démarrage en cours, veuillez patienter..."));
    auto *label = splash.findChild<QLabel *>("lStart2");
    QVERIFY(label);
    QCOMPARE(label->font().pixelSize(), 13);
    QVERIFY(label->font().bold());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 119));
    splash.setStep("Lecture de la configuration...");
    QCOMPARE(splash.stepText(), QString("Lecture de la configuration..."));

    // It stays below the boxes and forms of the start-up: kept above nothing,
    // and each of them belongs to it, so that any window manager (and X
    // without one) shows them in front of it.
    QVERIFY(!(splash.windowFlags() & Qt::WindowStaysOnTopHint));
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QApplication::setActiveWindow(nullptr); // a window manager does not activate a splash
    QWindow *owner = nullptr;
    QTimer::singleShot(0, &splash, [&owner] {
        QWidget *shown = QApplication::activeModalWidget();
        QVERIFY(shown);
        owner = shown->windowHandle()->transientParent();
        shown->close();
    });
    open();
    QCOMPARE(owner, splash.windowHandle());
}

QTEST_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
