#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class TfMain;
class TfMessage;
class TFMessageAction;

// The reception of the providers' e-mails: empties the physician's mailbox
// message by message through the hidden POP3 worker, unpacks the observance
// archive "PJ.7z", records the receipt of the report in the service database,
// lets the physician accept or refuse the message and moves the accepted
// files into the import folder.
//
// A message leaves the mail server only once what it brought is safe: its
// files moved into the import folder, or refused by the physician. Whenever
// that cannot be done (attachment not written, archive not unpacked, receipt
// not recorded, file not moved), the message stays on the server for a later
// reception and the physician is told why.
class Reception
{
public:
    static constexpr char kArchiveName[] = "PJ.7z";
    static constexpr char kArchivePassword[] = "falaise:-)";
    static constexpr char kRefusalLine[] = "Suppression du mail par l'utilisateur";

    explicit Reception(TfMain &main);

    // TfMain.bEmailClick: the service database, the reception, then
    // importObservances when the reception ran to its end. Does nothing while
    // a reception is already running.
    static void bEmailClick(TfMain &main, const std::function<void()> &importObservances);
    static bool running();

    // TfMain.ReceiveEmails: true when the reception ran to its end, false when
    // the service database could not be reached at its start or the program
    // must close (tmrClose armed).
    bool ReceiveEmails();

    struct Transfer {
        QStringList reports;   // report files moved into the import folder
        QString failure;       // empty, or why a file could not be moved
    };
    // TfMain.TransferFilesForImport: moves the files of the e-mails folder
    // into the import folder (reports) and its "Attachments/" (the others).
    // Report files go last, and the walk stops at the first file that cannot
    // be moved, so a message whose files were not all moved never had its
    // report moved.
    Transfer TransferFilesForImport();

    // True once the remote recording asked for the program to close.
    bool mustClose() const { return m_mustClose; }

private:
    enum class Step { Next, Stop };
    struct Received {
        bool archive = false;
        QString reportFile;
        QString failure; // attachment or archive that could not be made safe
    };

    Step receiveMessage(TfMessage &worker, int row);
    Received saveAttachments(TfMessage &worker, TFMessageAction &dialog);
    QString extractArchive();
    QString scanEmailsFolder(TFMessageAction &dialog);
    // Moves the files for import and then deletes the message on the server;
    // a message whose deletion fails takes its report back out of the import
    // folder, so that it is imported once, when it is received again.
    void importAndDelete(TfMessage &worker);
    bool deleteOnServer(TfMessage &worker);
    void keepOnServer(const QString &why);
    void endSteps();

    QString accountAddress() const;
    void setStatus(int panel, const QString &text);
    static void trace(const QString &text);

    TfMain &fMain;
    bool m_mustClose = false;
};
