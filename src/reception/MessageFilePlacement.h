#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Where the files of a received message go, asked alike by the reception,
// which places them, and by the import, which looks for each report's
// documents.
//
// In the e-mails folder, the message's attachments lie at the top (their
// names never begin with a dot) and each of its archives is unpacked into a
// hidden folder of its own, beside the hidden folder of the reports set
// aside for their name. Everything below an archive's folder is a file of
// the message, hidden ones included; a report found in a folder of an
// archive counts as if it lay at its top.
//
// In the import folder, each report waits with the documents its PJ lines
// name, in a folder of its own; a document named by two archives' files is
// taken from the report's own archive. What no report of the message names
// is set aside in a folder of its own, shown to the physician with the
// documents no report registered once the import is done. A message without
// any report leaves its files in "Attachments/", where a later report can
// name them.
class MessageFilePlacement
{
public:
    // A file of the message in the e-mails folder.
    struct File {
        QString name;   // bare name
        QString path;   // full path
        int source = 0; // 0: an attachment, n: the n-th archive, -1: a report set aside
    };

    // The hidden folder of the n-th archive (from 1) of the message.
    static QString archiveFolder(int n);
    // The hidden folder of the message's reports set aside for their name:
    // the receipt of its other reports never takes them.
    static QString setAsideFolder();
    // Deletes whatever the e-mails folder holds, hidden entries included,
    // without following a link.
    static void emptyEmailsFolder();

    // The files of the message in an e-mails folder, attachments first, each
    // source sorted by path; the reports set aside left out.
    static QList<File> filesIn(const QString &emailsFolder);
    // Its reports ("KORVA_" files), wherever they lie.
    static QList<File> reportsIn(const QString &emailsFolder);

    // Where a report's documents wait for its import.
    static QString documentsFolder(const QString &reportName);
    // Where the files of a message without report wait for a later report.
    static QString sharedFolder();

    // Why the message in the e-mails folder cannot be placed whatever the
    // import folder holds (two different files that one name would
    // designate), or empty.
    static QString cannotBePlaced();

    struct Transfer {
        QStringList reports;   // report files moved into the import folder
        QStringList written;   // every file this transfer wrote
        QStringList folders;   // every folder it created
        QString failure;       // empty, or why the files could not be moved
    };
    // Moves the files of the e-mails folder into the import folder: each
    // report into it, with its documents into its own folder. Nothing already
    // there is ever replaced: when a file cannot be placed, nothing is moved
    // and what was written is taken back.
    static Transfer place();
    // Takes back what a transfer wrote.
    static void withdraw(const Transfer &transfer);

    // A copy of a declined report beside it, so that the report stays whole
    // waiting should its group not be committed; false when it could not be
    // made (the report then stays).
    static bool keepDeclinedCopy(const QString &path);
    // A documents folder goes where its report went: a report waiting or set
    // aside keeps it; once the report is gone, what it did not register is
    // set aside under its name and shown to the user, and an emptied folder
    // goes.
    static void setLeftFoldersAside();

    // "Le message contient plusieurs fichiers nommés [name] ...".
    static QString severalFilesNamed(const QString &name);
};
