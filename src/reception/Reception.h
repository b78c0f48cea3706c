#pragma once

#include "reception/MailboxOperations.h"
#include "reception/MessageFilePlacement.h"

#include <QString>
#include <QStringList>

#include <functional>

class MainWindowInterface;
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
// reception and the physician is told why. A message no reception could take
// (its archive refused, two different files one name designates) is offered
// for deletion, once its raw text is saved.
class Reception
{
public:
    static constexpr char kArchiveName[] = "PJ.7z";
    static constexpr char kArchivePassword[] = "falaise:-)";
    static constexpr char kRefusalLine[] = "Suppression du mail par l'utilisateur";

    explicit Reception(MainWindowInterface &main);

    // TfMain.bEmailClick: the service database, the reception, then
    // importObservances when the reception ran to its end. Does nothing while
    // a reception is already running.
    static void bEmailClick(MainWindowInterface &main, const std::function<void()> &importObservances);
    static bool running();

    // TfMain.ReceiveEmails: true when the reception ran to its end, false when
    // the service database could not be reached at its start or the program
    // must close (tmrClose armed).
    bool ReceiveEmails();

    // The folder of the program's folder where the raw messages the
    // physician deleted from the server unread are kept.
    static QString rejectedMessagesFolder();
    // Saves the raw text of a message about to be deleted in that folder,
    // which only this account can read, under a name of its own; its path,
    // or empty with error saying why.
    static QString saveRejectedMessage(const QByteArray &raw, int number, QString *error);

    using Transfer = MessageFilePlacement::Transfer;
    // TfMain.TransferFilesForImport: moves the files of the e-mails folder
    // into the import folder, each where MessageFilePlacement puts it.
    Transfer TransferFilesForImport();

    // How long the mail server may take to connect and to answer each
    // command, and the base of each command's deadline (the client's
    // defaults unless set).
    void setMailTimeouts(int connectMs, int responseS, int deadlineBaseMs = 0)
    {
        m_connectTimeoutMs = connectMs;
        m_responseTimeoutS = responseS;
        m_deadlineBaseMs = deadlineBaseMs;
    }

    // True once the remote recording asked for the program to close.
    bool mustClose() const { return m_mustClose; }

private:
    enum class Step { Next, Stop };
    struct Received {
        bool archive = false;
        QString reportPath;     // the report shown and recorded, or empty
        QString failure;        // why the message's files cannot be taken (an attachment not saved...)
        bool unplaceable = false; // the failure is the message's own: no reception could take it
        QString archiveFailure; // the archive could not be opened (user text)
        bool archiveRefused = false; // damaged or password refused, not our fault
        bool rejectedReport = false; // a report was set aside for its name
    };

    // The message of m_row.
    Step receiveMessage(TfMessage &worker);
    Received saveAttachments(TfMessage &worker, TFMessageAction &dialog);
    void extractArchive(TfMessage &worker, Received &received, int n);
    void setAsideUnreadableNames(Received &received);
    QString scanEmailsFolder(TFMessageAction &dialog);
    void offerDeletion(TfMessage &worker, const QString &why);
    // Moves the files for import and then deletes the message on the server;
    // a message whose deletion fails takes its report back out of the import
    // folder, so that it is imported once, when it is received again. Once
    // the server accepted the deletion, the files stay whatever its QUIT gives.
    void importAndDelete(TfMessage &worker);
    enum class Deletion { Done, NotDone, Uncertain };
    Deletion deleteOnServer(TfMessage &worker);
    // abandon: the reception stops after this message.
    void keepOnServer(const QString &why, bool abandon = false);
    void warn(const QString &why, bool abandon);
    void endSteps();

    QString accountAddress() const;
    void setStatus(int panel, const QString &text);

    MainWindowInterface &fMain;
    // The listed message being received.
    HeaderRow m_row;
    bool m_mustClose = false;
    // The mail server stopped answering or cannot be reached any more: the
    // messages still to come stay on it.
    bool m_serverLost = false;
    int m_connectTimeoutMs = 0;
    int m_responseTimeoutS = 0;
    int m_deadlineBaseMs = 0;
};
