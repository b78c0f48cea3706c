// Where the files of a received message go, decided without a server: the
// plan from plain data, then its carrying out on disk, killed at each step.

#include "ArchiveFixtures.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "core/Globals.h"
#include "platform/ProgramFolder.h"
#include "reception/ImportHousekeeping.h"
#include "reception/MessageFilePlacement.h"
#include "reception/Reception.h"

#include <QApplication>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <sys/stat.h>

using namespace MessageFilePlan;

namespace {

// "[source/]path=content[>document,document]": the source is 0 (an
// attachment) unless the path begins with an archive's number, or -1 for a
// report set aside for its name.
QList<File> messageOf(const QStringList &entries)
{
    QList<File> files;
    for (const QString &entry : entries) {
        const QString path = entry.section(u'=', 0, 0);
        const QString rest = entry.section(u'=', 1);
        bool numbered = false;
        const int source = path.section(u'/', 0, 0).toInt(&numbered);
        const QString documents = rest.section(u'>', 1);
        files.append({path.section(u'/', -1), path, numbered ? source : 0, rest.section(u'>', 0, 0).toUtf8(),
                      documents.isEmpty() ? QStringList() : documents.split(u',')});
    }
    return files;
}

// "path=content" for a file, "path/" for a folder, "processed:name".
ImportFolder importFolderOf(const QStringList &entries)
{
    ImportFolder state;
    for (const QString &entry : entries) {
        if (entry.startsWith(QLatin1String("processed:")))
            state.processed << entry.mid(10);
        else if (entry.endsWith(u'/'))
            state.folders.insert(entry);
        else
            state.files.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1).toUtf8());
    }
    return state;
}

QStringList describe(const Plan &plan)
{
    static const QStringList fates{"report", "document", "waits", "already there", "set aside", "dropped"};
    static const QStringList whys{"", "named by no report", "name twice", "name taken", "replaced", "unreadable name"};
    QStringList lines;
    for (const Destination &file : plan.files + plan.replaced)
        lines << file.source + " -> " + (file.target.isEmpty() ? QString() : file.target + ' ')
                     + fates[int(file.fate)] + (file.why == Why::None ? QString() : ", " + whys[int(file.why)]);
    if (plan.refusal != Refusal::None)
        lines << QStringLiteral("refused %1 [%2]").arg(plan.refusal == Refusal::ReportWaiting ? "waiting" : "several", plan.refused);
    lines.sort();
    return lines;
}

const QString R1 = QStringLiteral("KORVA_a_b_c_05-03-2024_08-01-10.txt");
const QString R2 = QStringLiteral("KORVA_a_b_c_05-03-2024_08-02-10.txt");
const QString F1 = QStringLiteral("Attachments/KORVA_a_b_c_05-03-2024_08-01-10/");
const QString F2 = QStringLiteral("Attachments/KORVA_a_b_c_05-03-2024_08-02-10/");

} // namespace

class MessageFilePlanTest : public QObject
{
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void placedAgain_data();
    void placedAgain();
    void rejectedMessageKeptPrivate();
};

void MessageFilePlanTest::plan_data()
{
    QTest::addColumn<QStringList>("message");
    QTest::addColumn<QStringList>("importFolder");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ordinary e-mail: waits for its report") << QStringList{"ordo.pdf=o"} << QStringList{}
        << QStringList{"ordo.pdf -> Attachments/ordo.pdf waits"};
    QTest::newRow("archive of documents only, two with hidden files")
        << QStringList{"1/.DS_Store=x", "1/bilan.pdf=b", "2/.DS_Store=y", "2/__MACOSX/._bilan.pdf=z", "2/cr.pdf=c"} << QStringList{}
        << QStringList{"1/.DS_Store -> dropped", "1/bilan.pdf -> Attachments/bilan.pdf waits", "2/.DS_Store -> dropped",
                       "2/__MACOSX/._bilan.pdf -> dropped", "2/cr.pdf -> Attachments/cr.pdf waits"};
    QTest::newRow("no report, one name for two files") << QStringList{"1/x/cr.pdf=A", "1/y/cr.pdf=B", "1/z/cr.pdf=A"} << QStringList{}
        << QStringList{"1/x/cr.pdf -> Attachments/non_nommes/cr.pdf set aside, name twice",
                       "1/y/cr.pdf -> Attachments/non_nommes/cr_2.pdf set aside, name twice", "1/z/cr.pdf -> already there"};
    QTest::newRow("name waiting, same bytes") << QStringList{"planning.pdf=v2"} << QStringList{"Attachments/planning.pdf=v2"}
        << QStringList{"planning.pdf -> already there"};
    QTest::newRow("name waiting, newer bytes") << QStringList{"planning.pdf=v2"}
        << QStringList{"Attachments/planning.pdf=v1", "Attachments/remplaces/"}
        << QStringList{"Attachments/planning.pdf -> Attachments/remplaces2/planning.pdf set aside, replaced",
                       "planning.pdf -> Attachments/planning.pdf waits"};
    QTest::newRow("name waiting whatever its case, a file named remplaces there") << QStringList{"cr.pdf=v2"}
        << QStringList{"Attachments/CR.PDF=v1", "Attachments/remplaces=x"}
        << QStringList{"Attachments/CR.PDF -> Attachments/remplaces2/CR.PDF set aside, replaced",
                       "cr.pdf -> Attachments/cr.pdf waits"};
    QTest::newRow("no report, one name whatever its case, a file named non_nommes")
        << QStringList{"1/a/cr.pdf=A", "1/b/cr.pdf=B", "1/c/CR.PDF=C", "1/non_nommes=n"} << QStringList{}
        << QStringList{"1/a/cr.pdf -> Attachments/non_nommes2/cr.pdf set aside, name twice",
                       "1/b/cr.pdf -> Attachments/non_nommes2/cr_2.pdf set aside, name twice",
                       "1/c/CR.PDF -> Attachments/non_nommes2/CR.PDF set aside, name twice",
                       "1/non_nommes -> Attachments/non_nommes waits"};
    QTest::newRow("name of a folder waiting") << QStringList{"cr=d"} << QStringList{"Attachments/cr/"}
        << QStringList{"cr -> Attachments/non_nommes/cr set aside, name taken"};
    QTest::newRow("PJ names match whatever their case") << QStringList{"1/" + R1 + "=r>CR.PDF", "1/cr.pdf=c"} << QStringList{}
        << QStringList{"1/" + R1 + " -> " + R1 + " report", "1/cr.pdf -> " + F1 + "cr.pdf document"};
    QTest::newRow("exact case first")
        << QStringList{"1/" + R1 + "=r>CR.PDF", "1/cr.pdf=c", "1/CR.PDF=C", "1/Thumbs.db=t", "1/desktop.ini=d", "1/._cr.pdf=m"}
        << QStringList{}
        << QStringList{"1/" + R1 + " -> " + R1 + " report", "1/CR.PDF -> " + F1 + "CR.PDF document",
                       "1/cr.pdf -> " + F1.chopped(1) + "_non_nommes/cr.pdf set aside, named by no report",
                       "1/Thumbs.db -> dropped", "1/desktop.ini -> dropped", "1/._cr.pdf -> dropped"};
    QTest::newRow("unnamed files of one name, a report's archive")
        << QStringList{"1/" + R1 + "=r", "1/autre.pdf=a", "1/sub/autre.pdf=b"} << QStringList{F1.chopped(1) + "_non_nommes/"}
        << QStringList{"1/" + R1 + " -> " + R1 + " report",
                       "1/autre.pdf -> " + F1.chopped(1) + "_non_nommes2/autre.pdf set aside, named by no report",
                       "1/sub/autre.pdf -> " + F1.chopped(1) + "_non_nommes2/autre_2.pdf set aside, named by no report"};
    QTest::newRow("two archives, each its report's cr.pdf")
        << QStringList{"1/" + R1 + "=r1>cr.pdf", "1/cr.pdf=A", "2/" + R2 + "=r2>cr.pdf", "2/cr.pdf=B"} << QStringList{}
        << QStringList{"1/" + R1 + " -> " + R1 + " report", "1/cr.pdf -> " + F1 + "cr.pdf document",
                       "2/" + R2 + " -> " + R2 + " report", "2/cr.pdf -> " + F2 + "cr.pdf document"};
    QTest::newRow("sent again, its folder waiting") << QStringList{"1/" + R1 + "=r>a.pdf,b.pdf", "1/a.pdf=a", "1/b.pdf=b"}
        << QStringList{"processed:" + R1, F1, F1 + "a.pdf=a"}
        << QStringList{"1/" + R1 + " -> already there", "1/a.pdf -> already there", "1/b.pdf -> " + F1 + "b.pdf document"};
    QTest::newRow("sent again, imported meanwhile") << QStringList{"1/" + R1 + "=r>b.pdf", "1/b.pdf=b"}
        << QStringList{"processed:" + R1}
        << QStringList{"1/" + R1 + " -> already there",
                       "1/b.pdf -> " + F1.chopped(1) + "_non_nommes/b.pdf set aside, named by no report"};
    QTest::newRow("unreadable name, an older one's folder there") << QStringList{"-1/KORVA_x.txt=r>cr.pdf", "1/cr.pdf=c"}
        << QStringList{"Attachments/KORVA_x/"}
        << QStringList{"-1/KORVA_x.txt -> KORVA_x_2.txt.rejete report, unreadable name",
                       "1/cr.pdf -> Attachments/KORVA_x_2/cr.pdf document"};
    QTest::newRow("a report gone left its folder") << QStringList{"1/" + R1 + "=r"} << QStringList{F1}
        << QStringList{"1/" + R1 + " -> " + R1 + " report",
                       F1.chopped(1) + " -> Attachments/remplaces/" + F1.section('/', 1, 1) + " set aside, replaced"};
    QTest::newRow("two reports of one name") << QStringList{"1/" + R1 + "=r1", "2/" + R1 + "=r2"} << QStringList{}
        << QStringList{"1/" + R1 + " -> " + R1 + " report", "2/" + R1 + " -> already there", "refused several [" + R1 + "]"};
    QTest::newRow("a file named twice by its report") << QStringList{"1/" + R1 + "=r>cr.pdf,CR.PDF", "1/cr.pdf=c"} << QStringList{}
        << QStringList{"1/" + R1 + " -> " + R1 + " report", "1/cr.pdf -> " + F1 + "cr.pdf document"};
    QTest::newRow("report still waiting") << QStringList{"1/" + R1 + "=r"} << QStringList{R1 + "=old"}
        << QStringList{"1/" + R1 + " -> " + R1 + " report", "refused waiting [" + R1 + "]"};
    QTest::newRow("a name for two files the report names")
        << QStringList{"1/" + R1 + "=r>cr.pdf", "1/cr.pdf=A", "1/docs/cr.pdf=B"} << QStringList{}
        << QStringList{"1/" + R1 + " -> " + R1 + " report", "1/cr.pdf -> already there", "1/docs/cr.pdf -> already there",
                       "refused several [cr.pdf]"};
}

void MessageFilePlanTest::plan()
{
    QFETCH(QStringList, message);
    QFETCH(QStringList, importFolder);
    QFETCH(QStringList, expected);
    expected.sort();
    QCOMPARE(describe(make(messageOf(message), importFolderOf(importFolder))), expected);
}

namespace {

// A program folder whose e-mails folder holds a message: an ordinary
// e-mail whose planning.pdf replaces an older one, one whose ecg.pdf has the
// bytes of a link of the physician's waiting under its name, or a report
// naming CR.PDF beside a cr.pdf it does not name.
void prepare(const QString &home, const QString &kind, bool first)
{
    Globals::ImportFolder = home + "ForImportation/";
    Globals::EmailsFolder = home + "Emails/";
    Globals::BaseFolder = home + "Base/";
    if (first && kind == "ordinary")
        writeFile(Globals::ImportFolder + "Attachments/planning.pdf", "ancien planning");
    if (first && kind == "link") {
        writeFile(home + "ecg.pdf", "ecg");
        QVERIFY(QDir().mkpath(Globals::ImportFolder + "Attachments") && QFile::link(home + "ecg.pdf", Globals::ImportFolder + "Attachments/ecg.pdf"));
    }
    QDir(Globals::EmailsFolder).removeRecursively();
    if (kind == "report") {
        writeFile(Globals::EmailsFolder + ".archive1/" + R1, "****LAB****\r\nKORVA|D|PJ||CR.PDF|\r\n****FIN****\r\n");
        writeFile(Globals::EmailsFolder + ".archive1/CR.PDF", "C");
        writeFile(Globals::EmailsFolder + ".archive1/cr.pdf", "c");
    } else {
        writeFile(Globals::EmailsFolder + (kind == "link" ? "ecg.pdf" : "planning.pdf"), kind == "link" ? "ecg" : "nouveau planning");
    }
}

} // namespace

void MessageFilePlanTest::placedAgain_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("step"); // killed after it; 0: placed whole, then withdrawn
    QTest::addColumn<QStringList>("placed"); // placed again, and the import's housekeeping done
    QTest::addColumn<QString>("shown");      // the folder set aside
    const QStringList ordinary{"Attachments/planning.pdf=nouveau planning", "Attachments/remplaces.rejete/planning.pdf=ancien planning"};
    const QStringList report{R1 + "=****LAB****\r\nKORVA|D|PJ||CR.PDF|\r\n****FIN****\r\n", F1 + "CR.PDF=C",
                             F1.chopped(1) + "_non_nommes.rejete/cr.pdf=c"};
    QTest::newRow("withdrawn as the server kept the message") << "ordinary" << 0 << ordinary << "remplaces.rejete";
    QTest::newRow("killed, its folder made") << "ordinary" << 1 << ordinary << "remplaces.rejete";
    QTest::newRow("killed, the older file set aside") << "ordinary" << 2 << ordinary << "remplaces.rejete";
    QTest::newRow("killed, the newer file written") << "ordinary" << 3 << ordinary << "remplaces.rejete";
    QTest::newRow("a link waiting under its name") << "link" << 0
        << QStringList{"Attachments/ecg.pdf=ecg", "Attachments/remplaces.rejete/ecg.pdf=ecg"} << "remplaces.rejete";
    QTest::newRow("a report's message withdrawn") << "report" << 0 << report << F1.section('/', 1, 1) + "_non_nommes.rejete";
    QTest::newRow("killed, its document written") << "report" << 3 << report << F1.section('/', 1, 1) + "_non_nommes.rejete";
    QTest::newRow("killed, its files written") << "report" << 4 << report << F1.section('/', 1, 1) + "_non_nommes.rejete";
}

// The placement withdrawn, or in a child process killed after a step; the
// message, on the server still, is placed again: once, every folder set
// aside shown.
void MessageFilePlanTest::placedAgain()
{
    QFETCH(QString, kind);
    QFETCH(int, step);
    QFETCH(QStringList, placed);
    QFETCH(QString, shown);
    TestHome home;
    ScriptedDialogs dialogs;
    prepare(home.path(), kind, true);
    if (step == 0) {
        const QMap<QString, QByteArray> before = folderContent(Globals::ImportFolder);
        const MessageFilePlacement::Transfer transfer = MessageFilePlacement::place();
        QVERIFY2(transfer.failure.isEmpty(), qPrintable(transfer.failure));
        MessageFilePlacement::withdraw(transfer);
        QCOMPARE(folderContent(Globals::ImportFolder), before);
    } else {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TOLVARENIX_PLACEMENT_STOP", QString::number(step));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        for (int i = 0; i < 2000 && !QFile::exists(home.file("stopped")); ++i)
            QThread::msleep(10);
        QVERIFY(QFile::exists(home.file("stopped")));
        child.kill();
        QVERIFY(child.waitForFinished());
        QVERIFY(!QFile::exists(Globals::ImportFolder + R1)); // reports last
    }
    prepare(home.path(), kind, false);
    QVERIFY(MessageFilePlacement::place().failure.isEmpty());
    ImportHousekeeping::tellUnregistered(ImportHousekeeping::setLeftFoldersAside(), {});
    QMap<QString, QByteArray> expected;
    for (const QString &file : std::as_const(placed))
        expected.insert(file.section(u'=', 0, 0), file.section(u'=', 1).toUtf8());
    QCOMPARE(folderContent(Globals::ImportFolder), expected);
    QCOMPARE(dialogs.lastText(), "Des documents reçus n'ont été enregistrés pour aucun patient. Ils sont conservés dans :"
                                     + QString(QChar(13)) + Globals::ImportFolder + "Attachments/" + shown);
    QVERIFY(QDir(Globals::EmailsFolder).isEmpty());
    Globals::reset();
}

void MessageFilePlanTest::rejectedMessageKeptPrivate()
{
    TestHome home;
    QString error;
    const QString first = Reception::saveRejectedMessage("Subject: a\r\n", 3, &error);
    const QString second = Reception::saveRejectedMessage("Subject: b\r\n", 3, &error);
    QCOMPARE(readFile(first), QByteArray("Subject: a\r\n"));
    QCOMPARE(readFile(second), QByteArray("Subject: b\r\n"));
    struct stat info{};
    QCOMPARE(::stat(QFile::encodeName(ProgramFolder::path() + "Received"), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (const int stop = qEnvironmentVariableIntValue("TOLVARENIX_PLACEMENT_STOP"); stop > 0) {
        const QString home = QDir(qEnvironmentVariable("TOLVARENIX_HOME")).absolutePath() + u'/';
        Globals::ImportFolder = home + "ForImportation/";
        Globals::EmailsFolder = home + "Emails/";
        int steps = 0;
        MessageFilePlacement::setStepHook([&] {
            if (++steps < stop)
                return;
            QFile(home + "stopped").open(QIODevice::WriteOnly);
            for (;;)
                QThread::sleep(1);
        });
        MessageFilePlacement::place();
        return 1;
    }
    MessageFilePlanTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MessageFilePlan.moc"
