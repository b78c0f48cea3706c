// The import's helper threads: the deletions of committed files and the
// reading ahead of the next reports.

#include "reception/DeletionQueue.h"
#include "reception/ReportReadAhead.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QtTest>

class ImportWorkersTest : public QObject
{
    Q_OBJECT
private slots:
    void deletionsInOrderAndFinished();
    void settledFolderSeenAsDeletedAtOnce();
    void failedDeletionToldThenTheRestDone();
    void readAheadHandsOverOnlyWholeReadings();
};

// Each entry's files, then its folder when emptied; what an entry does not
// name stays, and a file already gone stops nothing.
void ImportWorkersTest::deletionsInOrderAndFinished()
{
    TestHome home;
    home.write(QStringLiteral("A/a/doc.pdf"), "a");
    home.write(QStringLiteral("A/a.txt"), "a");
    home.write(QStringLiteral("A/b/doc.pdf"), "b");
    home.write(QStringLiteral("A/b/autre.pdf"), "b");
    home.write(QStringLiteral("A/b.txt"), "b");
    const QString root = home.file(QStringLiteral("A/"));
    DeletionQueue queue;
    queue.add({{{root + QStringLiteral("gone.pdf"), root + QStringLiteral("a/doc.pdf"), root + QStringLiteral("a.txt")},
                root + QStringLiteral("a/")},
               {{root + QStringLiteral("b/doc.pdf"), root + QStringLiteral("b.txt")}, root + QStringLiteral("b/")}});
    queue.finish();
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("b")});
    QCOMPARE(QDir(root + QStringLiteral("b")).entryList(QDir::Files), QStringList{QStringLiteral("autre.pdf")});
    QVERIFY(queue.touches(root + QStringLiteral("a/")));
    QVERIFY(queue.touches(root));
    QVERIFY(!queue.touches(home.path()));
}

// A folder about to be looked into holds nothing an entry queued before
// still had to delete, however long the queue.
void ImportWorkersTest::settledFolderSeenAsDeletedAtOnce()
{
    TestHome home;
    constexpr int kFiles = 1000;
    const QString shared = home.file(QStringLiteral("Attachments/"));
    QList<DeletionQueue::Entry> entries;
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("Attachments/r%1/doc.pdf").arg(i);
        home.write(name, "x");
        entries << DeletionQueue::Entry{{home.file(name)}, shared + QStringLiteral("r%1/").arg(i)};
    }
    home.write(QStringLiteral("Attachments/cr.pdf"), "x");
    entries << DeletionQueue::Entry{{shared + QStringLiteral("cr.pdf")}, {}};
    DeletionQueue queue;
    queue.add(entries);
    queue.settle(shared);
    QVERIFY(!QFile::exists(shared + QStringLiteral("cr.pdf")));
    QVERIFY(QDir(shared).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

// A deletion that throws is told once; the entries after it are then done.
void ImportWorkersTest::failedDeletionToldThenTheRestDone()
{
    DeletionQueue queue([calls = 0](const DeletionQueue::Entry &) mutable {
        if (++calls == 1)
            throw std::runtime_error("panne");
    });
    queue.add({DeletionQueue::Entry{}, DeletionQueue::Entry{}});
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, queue.finish());
    const std::unique_ptr<QThread> rest(QThread::create([&queue] { queue.finish(); }));
    rest->start();
    QVERIFY2(rest->wait(QDeadlineTimer(60000)), "the deletions wait for ever after a failure");
}

// The import takes a report read ahead only when it was read whole, as the
// import would have read it; any failure is left to the import's own reading.
void ImportWorkersTest::readAheadHandsOverOnlyWholeReadings()
{
    TestHome home;
    const QByteArray report = "H\r\nKORVA|EXPEDITEUR|SENDER||a@b.fr||||\r\n****FIN****\r\n****FINFICHIER****\r\n";
    home.write(QStringLiteral("0.txt"), report);
    home.write(QStringLiteral("1.txt"), "H\r\n****FIN****\r\n"); // incomplete, still read whole
    home.write(QStringLiteral("2.txt"), QByteArray(ReportLineReader::kMaxLineLength + 1, 'x'));
    QVERIFY(QDir().mkpath(home.file(QStringLiteral("3.txt"))));
    home.write(QStringLiteral("5.txt"), QByteArray(ReportLineReader::kMaxFileSize + 1, '\n'));
    home.write(QStringLiteral("6.txt"), "skipped");
    home.write(QStringLiteral("7.txt"), report + "x\r\n");
    home.write(QStringLiteral("7/doc.pdf"), "x");
    QStringList paths, folders;
    for (int i = 0; i < 8; ++i) {
        paths << home.file(QStringLiteral("%1.txt").arg(i)); // 4.txt is missing
        folders << home.file(QStringLiteral("%1/").arg(i));
    }
    ReportReadAhead ahead(paths, folders);
    // Time for the thread to go through them, as it does during an import.
    QThread::msleep(300);
    for (int i : {0, 1, 2, 3, 4, 5, 7}) {
        const std::optional<ReportReadAhead::Report> taken = ahead.take(i);
        const ReportRead<ReportContent> own = ReadReportContent(paths.at(i));
        QCOMPARE(taken.has_value(), own.ok());
        if (!taken)
            continue;
        QCOMPARE(taken->content.bytes, own.value.bytes);
        QCOMPARE(taken->content.complete, own.value.complete);
        QCOMPARE(taken->content.sender, own.value.sender);
        QCOMPARE(taken->folderExists, i == 7);
    }
}

QTEST_GUILESS_MAIN(ImportWorkersTest)
#include "tst_ImportWorkers.moc"
