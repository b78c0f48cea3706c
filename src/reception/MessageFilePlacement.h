#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "reception/MessageFilePlan.h"

#include <functional>

// The e-mails folder of the message being received, and the carrying out of
// the plan that says where its files go in the import folder
// (MessageFilePlan).
//
// In the e-mails folder, the message's attachments lie at the top (their
// names never begin with a dot) and each of its archives is unpacked into a
// hidden folder of its own, beside the hidden folder of the reports set
// aside for their name. Everything below an archive's folder is a file of
// the message, hidden ones included; a report found in a folder of an
// archive counts as if it lay at its top. The e-mails folder may itself be
// a link to another disk; no link inside it is followed.
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

    // The message in the e-mails folder and what the import folder holds,
    // as the plan reads them.
    static QList<MessageFilePlan::File> messageFiles();
    static MessageFilePlan::ImportFolder importFolderState(const QList<MessageFilePlan::File> &message);

    // Why the message in the e-mails folder cannot be placed whatever the
    // import folder holds (two different files that one name would
    // designate), or empty.
    static QString cannotBePlaced();

    // Whether the message is an ordinary e-mail: none of its files, those its
    // archives held (unpacked into the e-mails folder) included, is a report.
    // Its attachments of one name are then kept side by side, numbered; a
    // message holding a report keeps every name for its reports to name.
    static bool isOrdinaryMessage(const QStringList &attachmentNames);

    struct Transfer {
        // What a transfer did, in order; paths relative to the import folder.
        struct Step {
            enum Kind : char { Folder = 'D', File = 'W', Move = 'M' };
            Kind kind;
            QString path;
            QString from; // Move: where the older entry was
        };
        QStringList reports; // report files moved into the import folder
        QList<Step> steps;
        QString failure; // empty, or why the files could not be moved
    };
    // Moves the files of the e-mails folder into the import folder as the
    // plan says. Nothing already there is ever overwritten: an older file
    // that a newer one replaces is set aside first; when a file cannot be
    // placed, nothing is moved and what was done is taken back. Each step is
    // noted in the import folder before it is taken: a transfer the program's
    // end cut short is taken back by the next one (the message is on the
    // server still), so that nothing is placed or set aside twice.
    static Transfer place();
    // Takes back what a transfer did.
    static void withdraw(const Transfer &transfer);
    // Takes back what a transfer cut short did, if any.
    static void recover();
    // Called after each step that writes (tests stop there).
    static void setStepHook(std::function<void()> hook);

    // "Le message contient plusieurs fichiers nommés [name] ...".
    static QString severalFilesNamed(const QString &name);
};
