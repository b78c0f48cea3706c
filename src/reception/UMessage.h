#pragma once

#include "platform/MailMessage.h"
#include "reception/MailboxOperations.h"

#include <QWidget>

class QFrame;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;
class MessageBrowser;

namespace Ui {
class TfMessage;
}

// The POP3 worker window, never shown: the reception creates it, lists the
// mailbox, retrieves and deletes the messages of the rows it got from the
// listing, reads the results from its controls and frees it. The header list
// only shows the rows. Each operation is one POP3
// session of its own; a row's message is addressed by its number only once
// the server confirms the row's unique id.
class TfMessage : public QWidget
{
    Q_OBJECT
public:
    // Row data of lvHeaders (column 0 of each row).
    enum Role { NumberRole = Qt::UserRole, UidlRole, ImageRole, SizeRole, DateRole, HeadersRole };

    explicit TfMessage(QWidget *parent = nullptr);
    ~TfMessage() override;

    void FormCreate();

    // Lists the mailbox's messages and shows them in lvHeaders.
    QList<HeaderRow> CheckMailToExecute();
    // Retrieves the row's message into Msg() and the labels, memo, browser
    // and attachment rows, its header shown as the current one; sets the
    // main window's MessageRetrieved. True when the message was retrieved.
    bool RetrieveExecute(const HeaderRow &row);
    // The same for the header selected in lvHeaders (false when none is).
    bool RetrieveExecute();
    // After a failed RetrieveExecute: the failure was that another mail
    // program changed the mailbox since it was listed (nothing shown yet).
    bool mailboxChanged() const { return m_retrieval == MailboxOperations::Retrieval::MailboxChanged; }
    // After a failed RetrieveExecute: the mail server could not be reached
    // or stopped answering (already told).
    bool serverLost() const { return m_retrieval == MailboxOperations::Retrieval::ServerLost; }
    // After a failed RetrieveExecute: the message came whole but is no
    // message that can be read (already told). Any other failure leaves it
    // whole on the server.
    bool unreadable() const { return m_retrieval == MailboxOperations::Retrieval::Unreadable; }
    // The retrieved message as the server sent it.
    const QByteArray &rawMessage() const { return m_raw; }
    // Deletes the row's message on the server (committed by the QUIT that
    // ends the operation) and marks its header (image 3). Throws Pop3Error
    // when the message could not be deleted, so the caller never takes it
    // for done.
    void DeleteExecute(const HeaderRow &row);
    // The same for the header selected in lvHeaders (nothing when none is).
    void DeleteExecute();

    // Saves the retrieved message's file attachments into EmailsFolder (only
    // those named onlyName when given), each under its bare file name,
    // replacing a file of that name; with onlyRow, the attachment of that row
    // of lvMessageParts alone. With numbered (an ordinary e-mail,
    // MessageFilePlacement::isOrdinaryMessage), two different attachments of
    // one name are both kept, the later under a numbered name. False (error
    // set) at the first file that could not be written completely.
    bool SaveAttachments(const QString &onlyName, QStringList *saved, QString *error, int onlyRow = -1,
                         bool numbered = false);

    // Progress of the POP3 commands on the main window.
    void POPWorkBegin();
    void POPWork(qint64 count);
    void POPWorkEnd();
    void WebBrowser1StatusTextChange(const QString &text);

    const MailMessage &Msg() const { return m_msg; }
    HeaderRow rowOf(const QTreeWidgetItem *item) const;

    // The account used by the operations (the main window's TMail record
    // unless replaced, for tests).
    void setAccountSource(std::function<MailAccount()> source) { m_ops.accountSource = std::move(source); }
    MailboxOperations &operations() { return m_ops; }

    QTreeWidget *lvHeaders() const;
    QListWidget *lvMessageParts() const;
    QLabel *From() const;
    QLabel *Recipients() const;
    QLabel *Cc() const;
    QLabel *Subject() const;
    QLabel *Date() const;
    QLabel *Receipt() const;
    QLabel *Priority() const;
    QPlainTextEdit *Memo1() const;
    MessageBrowser *WebBrowser1() const;
    QFrame *pnlAttachments() const;
    QStatusBar *StatusBar1() const;

    // "temp.html" in the program's folder.
    static QString tempHtmlFile();

private:
    void LoadHeaders(const QList<HeaderRow> &rows);
    QTreeWidgetItem *itemOf(const HeaderRow &row) const;
    void clearMessage();
    void showMessage();
    void loadText(const QString &text);

    Ui::TfMessage *ui;
    MailboxOperations m_ops;
    MailMessage m_msg;
    QByteArray m_raw;
    MailboxOperations::Retrieval m_retrieval = MailboxOperations::Retrieval::Retrieved;
    // The size of the message being retrieved, for the progress bar.
    qint64 m_retrievalSize = -1;
};
