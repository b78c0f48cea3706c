#include "core/Common.h"
#include "core/Drives.h"
#include "platform/DesktopEntry.h"
#include "ScriptedDialogs.h"
#include "platform/ShellLauncher.h"
#include "TestHome.h"
#include "platform/TextViewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <QImage>
#include <QtTest>

namespace {

void writeFile(const QString &name, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(name).path());
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray readFile(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool exists(const QString &name)
{
    return QFileInfo(name).exists() || QFileInfo(name).isSymLink();
}

} // namespace

class CommonTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void addBackslash_data();
    void addBackslash();
    void deleteFileIfExists();
    void walksSkipDotNames();
    void onlyTheCopyFollowsLinks();
    void listFiles_data();
    void listFiles();
    void listingOrderIgnoresCaseFirst();
    void copyKeepsOlderWithoutOverwrite();
    void copyReplacesWithOverwrite();
    void copyRefusesItselfAndBelow_data();
    void copyRefusesItselfAndBelow();
    void copyFailureIsReported();
    void normalizeName_data();
    void normalizeName();
    void shellOpenPolicy_data();
    void shellOpenPolicy();
    void openDocumentMissing();
    void openInNotepad();
    void desktopShortcut();
    void desktopExecQuoting();
    void networkPath();

private:
    QList<QUrl> m_opened;
};

void CommonTest::cleanup()
{
    ShellLauncher::setHandler({});
    m_opened.clear();
    for (QWidget *w : QApplication::topLevelWidgets())
        w->close();
}

void CommonTest::addBackslash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("plain") << "/srv/data" << "/srv/data/";
    QTest::newRow("already") << "/srv/data/" << "/srv/data/";
    QTest::newRow("root") << "/" << "/";
}

void CommonTest::addBackslash()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(AddBackslash(path), expected);
}

void CommonTest::deleteFileIfExists()
{
    QTemporaryDir dir;
    const QString f = dir.filePath("a.txt");
    writeFile(f, "x");
    QVERIFY(DeleteFileIfExists(f));
    QVERIFY(!exists(f));
    QVERIFY(DeleteFileIfExists(f)); // absent is success
    // A dangling link is a file of its own and is removed.
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling")));
    QVERIFY(DeleteFileIfExists(dir.filePath("dangling")));
    QVERIFY(!exists(dir.filePath("dangling")));
    // A folder is not a file.
    QVERIFY(QDir().mkpath(dir.filePath("sub")));
    QVERIFY(!DeleteFileIfExists(dir.filePath("sub")));
    // A path below a regular file cannot be deleted but does not exist either.
    QVERIFY(DeleteFileIfExists(f + "/below"));
}

void CommonTest::walksSkipDotNames()
{
    QTemporaryDir dir;
    const QString root = dir.filePath("tree");
    writeFile(root + "/a.txt", "a");
    writeFile(root + "/.hidden", "h");
    writeFile(root + "/sub/b.txt", "b");
    writeFile(root + "/sub/.keep", "k");
    writeFile(root + "/plain/c.txt", "c");

    QVERIFY(EmptyDirectory(root));
    QVERIFY(QFileInfo(root).isDir());
    QVERIFY(exists(root + "/.hidden"));
    QVERIFY(!exists(root + "/a.txt"));
    QVERIFY(!exists(root + "/plain"));          // emptied and removed
    QVERIFY(exists(root + "/sub/.keep"));       // the dot-file holds its folder
    QVERIFY(!exists(root + "/sub/b.txt"));

    QVERIFY(!DeleteDirectoryTree(root));        // the dot-names keep it
    QVERIFY(QFileInfo(root).isDir());
    QVERIFY(!DeleteDirectoryTree(dir.filePath("missing")));
    QVERIFY(EmptyDirectory(dir.filePath("missing")));

    const QString clean = dir.filePath("clean");
    writeFile(clean + "/x/y/z.txt", "z");
    QVERIFY(DeleteDirectoryTree(clean));
    QVERIFY(!exists(clean));
    // Asked to, the walk takes the dot-names too, and still follows no link.
    writeFile(dir.filePath("outside/.kept"), "k");
    QVERIFY(QFile::link(dir.filePath("outside"), root + "/sub/.alias"));
    QVERIFY(EmptyDirectory(root, DotNames::Included));
    QVERIFY(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty());
    QCOMPARE(readFile(dir.filePath("outside/.kept")), QByteArray("k"));
}

void CommonTest::onlyTheCopyFollowsLinks()
{
    QTemporaryDir dir;
    const QString outside = dir.filePath("outside");
    writeFile(outside + "/precious.txt", "keep me");
    const QString root = dir.filePath("tree");
    writeFile(root + "/a.txt", "a");
    QVERIFY(QFile::link(outside, root + "/linkdir"));
    QVERIFY(QFile::link(outside + "/precious.txt", root + "/linkfile"));

    // Copy: what a reader of the tree sees, links followed; a link to nothing cannot be copied.
    QVERIFY(CopyDirectoryTree(root, dir.filePath("copy"), true));
    QCOMPARE(readFile(dir.filePath("copy/linkdir/precious.txt")) + readFile(dir.filePath("copy/linkfile")), "keep mekeep me");
    QVERIFY(QFile::link(dir.filePath("nowhere"), root + "/broken"));
    QVERIFY(!CopyDirectoryTree(root, dir.filePath("copy3"), true));

    // Delete: the links go, what they point at stays.
    QVERIFY(DeleteDirectoryTree(root));
    QVERIFY(!exists(root));
    QCOMPARE(readFile(outside + "/precious.txt"), QByteArray("keep me"));

    // Nor is a link given as the folder itself, even with a trailing separator (which the system follows).
    QVERIFY(QFile::link(outside, dir.filePath("alias")));
    for (const QString &alias : {dir.filePath("alias"), dir.filePath("alias/")}) {
        QVERIFY(EmptyDirectory(alias));
        DeleteDirectoryTree(alias);
        QCOMPARE(readFile(outside + "/precious.txt"), QByteArray("keep me"));
    }
}

void CommonTest::listFiles_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("filesOnly");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("every entry") << "*.*" << false
                                 << QStringList{".profile", "b.TXT", "broken.txt", "c.txt", "dirlink.txt",
                                                "KORVA_x.txt", "link.txt", "noext", "Sub", "Sub.txt"};
    QTest::newRow("txt any case") << "*.txt" << false
                                  << QStringList{"b.TXT", "broken.txt", "c.txt", "dirlink.txt", "KORVA_x.txt",
                                                 "link.txt", "Sub.txt"};
    QTest::newRow("prefix") << "korva_*" << false << QStringList{"KORVA_x.txt"};
    QTest::newRow("nothing") << "*.7z" << false << QStringList{};
    // A link counts as what it points to; a broken one as no file.
    QTest::newRow("files only") << "*.txt" << true << QStringList{"b.TXT", "c.txt", "KORVA_x.txt", "link.txt"};
}

void CommonTest::listFiles()
{
    QFETCH(QString, pattern);
    QFETCH(bool, filesOnly);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    for (const char *n : {"c.txt", "b.TXT", "KORVA_x.txt", "noext", ".profile"})
        writeFile(dir.filePath(n), "x");
    QVERIFY(QDir().mkpath(dir.filePath("Sub")));
    QVERIFY(QDir().mkpath(dir.filePath("Sub.txt")));
    QVERIFY(QFile::link(dir.filePath("c.txt"), dir.filePath("link.txt")));
    QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("broken.txt")));
    QVERIFY(QFile::link(dir.filePath("Sub"), dir.filePath("dirlink.txt")));

    QStringList list{"kept"};
    (filesOnly ? ListRegularFiles : ListFiles)(AddBackslash(dir.path()) + pattern, list);
    QCOMPARE(list, QStringList{"kept"} + expected);
}

// Plain ASCII names take a faster road than the others: both must give the
// order the files are imported in, letter case ignored, then as spelled.
void CommonTest::listingOrderIgnoresCaseFirst()
{
    QTemporaryDir dir;
    const QStringList names{"b.txt", "B.txt", "a_b.txt", "a.txt", "aB.txt", "Ab.txt", QString::fromUtf8("é.txt"),
                            QString::fromUtf8("É.txt"), "e.txt", "E.txt", "z.txt", "[x].txt", "Zz.txt", "~.txt",
                            QString::fromUtf8("Ça.txt"), "ca.txt"};
    for (const QString &name : names)
        writeFile(dir.filePath(name), "x");
    QStringList expected = names;
    std::sort(expected.begin(), expected.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QStringList list;
    ListRegularFiles(AddBackslash(dir.path()) + "*.txt", list);
    QCOMPARE(list, expected);
}

void CommonTest::copyKeepsOlderWithoutOverwrite()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("src/a.txt"), "new");
    writeFile(dir.filePath("src/d/b.txt"), "b");
    writeFile(dir.filePath("dst/a.txt"), "old");
    QVERIFY(CopyDirectoryTree(dir.filePath("src"), dir.filePath("dst"), false));
    QCOMPARE(readFile(dir.filePath("dst/a.txt")), QByteArray("old"));
    QCOMPARE(readFile(dir.filePath("dst/d/b.txt")), QByteArray("b"));
}

void CommonTest::copyReplacesWithOverwrite()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("src/a.txt"), "new");
    writeFile(dir.filePath("dst/a.txt"), "old");
    QVERIFY(CopyDirectoryTree(dir.filePath("src"), dir.filePath("dst/"), true));
    QCOMPARE(readFile(dir.filePath("dst/a.txt")), QByteArray("new"));
    QCOMPARE(QDir(dir.filePath("dst")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
}

void CommonTest::copyRefusesItselfAndBelow_data()
{
    QTest::addColumn<QString>("destination");
    QTest::newRow("itself") << "src";
    QTest::newRow("itself with slash") << "src/";
    QTest::newRow("below") << "src/backup";
    QTest::newRow("below through dots") << "other/../src/x/y";
}

void CommonTest::copyRefusesItselfAndBelow()
{
    QFETCH(QString, destination);
    QTemporaryDir dir;
    writeFile(dir.filePath("src/a.txt"), "a");
    QVERIFY(!CopyDirectoryTree(dir.filePath("src"), dir.filePath(destination), true));
    QVERIFY(!exists(dir.filePath("src/backup")));
    QVERIFY(!exists(dir.filePath("src/x")));
}

void CommonTest::copyFailureIsReported()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("src/a.txt"), "a");
    // The destination holds a folder where the file should go: the copy
    // cannot be made, although something named a.txt exists there.
    QVERIFY(QDir().mkpath(dir.filePath("dst/a.txt")));
    QVERIFY(!CopyDirectoryTree(dir.filePath("src"), dir.filePath("dst"), true));
    // The destination cannot be created: its parent is a regular file.
    writeFile(dir.filePath("file"), "f");
    QVERIFY(!CopyDirectoryTree(dir.filePath("src"), dir.filePath("file/dst"), true));
}

void CommonTest::normalizeName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::newRow("example") << QString::fromUtf8("ÉLODIE-ANNE DURAND") << "ELODIEANNEDURAND";
    QTest::newRow("all mapped") << QString::fromUtf8("ÀÂÄÈÉÊËÎÏÔÖÛÜÇ") << "AAAEEEEIIOOUUC";
    QTest::newRow("lower accents stay") << QString::fromUtf8("éloïse") << QString::fromUtf8("éloïse");
    QTest::newRow("unlisted capitals stay") << QString::fromUtf8("ÁÑ") << QString::fromUtf8("ÁÑ");
    QTest::newRow("apostrophe stays") << "D'ARC" << "D'ARC";
    QTest::newRow("empty") << "" << "";
}

void CommonTest::normalizeName()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QCOMPARE(NormalizeName(name), key);
}

void CommonTest::shellOpenPolicy_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("opened");
    QTest::newRow("http") << "http://www.example.org/obs" << true;
    QTest::newRow("https any case") << "HTTPS://www.example.org/" << true;
    QTest::newRow("ftp") << "ftp://example.org/x" << false;
    QTest::newRow("file url") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("own document") << "@home/Base/Docs/cr.pdf" << true;
    QTest::newRow("outside the program") << "@tmp/elsewhere.pdf" << false;
    QTest::newRow("own document on a linked disk") << "@home/Base/Lien/elsewhere.pdf" << true;
    QTest::newRow("back up through the link") << "@home/Base/Lien/../@tmpname/elsewhere.pdf" << false;
    QTest::newRow("escape by dots") << "@home/Base/Docs/../../../elsewhere.pdf" << false;
    QTest::newRow("executable") << "@home/Base/Docs/run.sh" << false;
    QTest::newRow("missing") << "@home/Base/Docs/none.pdf" << false;
    QTest::newRow("long link") << "https://www.example.org/obs?" + QString(300, 'q') << true;
    QTest::newRow("long document path") << "@home/Base/Docs/" + QString(250, 'd') + "/cr.pdf" << true;
}

void CommonTest::shellOpenPolicy()
{
    QFETCH(QString, target);
    QFETCH(bool, opened);
    TestHome home;
    QTemporaryDir tmp;
    writeFile(home.file("Base/Docs/cr.pdf"), "%PDF");
    writeFile(home.file("Base/Docs/" + QString(250, 'd') + "/cr.pdf"), "%PDF");
    writeFile(home.file("Base/Docs/run.sh"), "#!/bin/sh\n");
    QFile::setPermissions(home.file("Base/Docs/run.sh"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    writeFile(tmp.filePath("elsewhere.pdf"), "%PDF");
    QFile::copy(tmp.filePath("elsewhere.pdf"), home.path() + "../elsewhere.pdf");
    QFile::link(tmp.path(), home.file("Base/Lien"));

    target.replace("@home/", home.path()).replace("@tmp/", AddBackslash(tmp.path()));
    target.replace("@tmpname", QFileInfo(tmp.path()).fileName());
    ShellLauncher::setHandler([this](const QUrl &u) { m_opened << u; return true; });
    ShellOpen(target, QString(), QString());
    QCOMPARE(m_opened.size(), opened ? 1 : 0);
    if (opened && m_opened.first().isLocalFile())
        QCOMPARE(m_opened.first().toLocalFile(), QFileInfo(target).canonicalFilePath());
    else if (opened)
        QCOMPARE(m_opened.first().toString(QUrl::None).toLower(), target.toLower());
}

void CommonTest::openDocumentMissing()
{
    ScriptedDialogs dialogs;
    TestHome home;
    ShellLauncher::setHandler([this](const QUrl &u) { m_opened << u; return true; });
    const QString missing = home.file("Base/Docs/absent.pdf");
    OpenDocument(missing);
    QCOMPARE(dialogs.beeps, QList<Dialogs::Beep>{Dialogs::Beep::Exclamation});
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Warning);
    QCOMPARE(dialogs.lastText(), QString::fromUtf8("Ce document (") + missing + QString::fromUtf8(") n'est pas présent."));
    QVERIFY(m_opened.isEmpty());

    writeFile(home.file("Base/Docs/present.pdf"), "%PDF");
    OpenDocument(home.file("Base/Docs/present.pdf"));
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_opened.first().toLocalFile(), QFileInfo(home.file("Base/Docs/present.pdf")).canonicalFilePath());
}

void CommonTest::openInNotepad()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    OpenInNotepad(dir.filePath("KORVA_absent.txt"));
    QCOMPARE(dialogs.lastText(), "Le fichier \"" + dir.filePath("KORVA_absent.txt") + "\" n'existe pas.");
    QVERIFY(dialogs.beeps.isEmpty());

    writeFile(dir.filePath("KORVA_x.txt"), "Pr\xE9nom : \xC9lo\xEFse\r\n****FIN****\r\n");
    OpenInNotepad(dir.filePath("KORVA_x.txt"));
    QCOMPARE(dialogs.beeps.size(), 4);
    TextViewer *viewer = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *v = qobject_cast<TextViewer *>(w))
            viewer = v;
    QVERIFY(viewer);
    QVERIFY(viewer->text().startsWith(QString::fromUtf8("Prénom : Éloïse")));
}

void CommonTest::desktopShortcut()
{
    TestHome home;
    const QString entry = home.desktopPath() + "/Tolvarenix Light.desktop";
    // No desktop folder: nothing is written, and no folder is made.
    CreateDesktopShortcut("/opt/tolvarenix/Obsidra", "", "Tolvarenix Light", QString::fromUtf8("Démarrer Tolvarenix Light"));
    QVERIFY(!exists(home.desktopPath()));

    QVERIFY(QDir().mkpath(home.desktopPath()));
    CreateDesktopShortcut("/opt/tolvarenix/Obsidra", "", "Tolvarenix Light", QString::fromUtf8("Démarrer Tolvarenix Light"));
    const QString text = QString::fromUtf8(readFile(entry));
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    QVERIFY(text.contains("\nExec=/opt/tolvarenix/Obsidra\n"));
    QVERIFY(text.contains("\nPath=/opt/tolvarenix/\n"));
    QVERIFY(text.contains(QString::fromUtf8("\nComment=Démarrer Tolvarenix Light\n")));
    QVERIFY(text.contains("\nName=Tolvarenix Light\n"));
    // The program's picture, beside the program.
    QVERIFY(text.contains("\nIcon=" + home.file("Obsidra.png") + "\n"));
    QVERIFY(!QImage(home.file("Obsidra.png")).isNull());

    // An existing entry is never replaced.
    writeFile(entry, "edited by the user");
    CreateDesktopShortcut("/elsewhere/Obsidra", "", "Tolvarenix Light", "x");
    QCOMPARE(readFile(entry), QByteArray("edited by the user"));
}

void CommonTest::desktopExecQuoting()
{
    QCOMPARE(DesktopEntry::execValue("/opt/Tolvarenix Light/Obsidra", ""), QString("\"/opt/Tolvarenix Light/Obsidra\""));
    QCOMPARE(DesktopEntry::execValue("/opt/a$b\"c/Obsidra", ""), QString("\"/opt/a\\$b\\\"c/Obsidra\""));
    QCOMPARE(DesktopEntry::execValue("/opt/Obsidra", "-x 50%"), QString("/opt/Obsidra -x 50%%"));
    // In the file, the backslashes of the quoting are doubled once more.
    const QString text = QString::fromUtf8(DesktopEntry::content("n", "c", "/opt/a\"b/O", "", "/opt/"));
    QVERIFY(text.contains("Exec=\"/opt/a\\\\\"b/O\"\n"));
}

void CommonTest::networkPath()
{
    QTemporaryDir dir;
    QVERIFY(NetworkPathExists(dir.path()));
    QVERIFY(!NetworkPathExists(dir.filePath("absent")));
    QVERIFY(!NetworkPathExists(QString()));
}

QTEST_MAIN(CommonTest)
#include "tst_common.moc"
