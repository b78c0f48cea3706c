#include "reception/MailboxOperations.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/LogWriter.h"

namespace {

const QString kAbandon = QStringLiteral("Abandon de la procédure.");

} // namespace

QString mailServerUnreachableText(const QString &server, const QString &error)
{
    return QStringLiteral("Impossible de se connecter au serveur de messagerie [") + server + u'\n'
         + (error.isEmpty() ? QString() : QStringLiteral("Erreur : ") + error + QStringLiteral("\n\n")) + kAbandon;
}

bool mailServerLost(const Pop3Error &error)
{
    return error.timedOut() || dynamic_cast<const MailServerUnreachableError *>(&error);
}

MailAccount MailboxOperations::account() const
{
    return accountSource ? accountSource() : MailAccount();
}

void MailboxOperations::setStatus(int panel, const QString &text)
{
    if (status)
        status(panel, text);
}

std::unique_ptr<Pop3Session> MailboxOperations::connect(const MailAccount &account, QString *error)
{
    Globals::ReportRecipient = account.adresse;
    std::unique_ptr<Pop3Session> session = connectMailbox(account, error);
    if (session)
        session->setWorkHandlers(work);
    return session;
}

namespace {

// "Le message n°... et provenant de [...]" and what befell it, then the error.
QString aboutMessage(int number, int count, const MailAccount &account, const QString &subject, qint64 size,
                     const QString &sender, const QString &what, const QString &error, bool forBox)
{
    const QString sep = forBox ? QStringLiteral("\n") : QStringLiteral(" ");
    return QStringLiteral("Le message n°") + QString::number(number) + u'/' + QString::number(count)
         + QStringLiteral(" pour l'adresse email [") + account.adresse + u']' + sep
         + QStringLiteral("dont le titre est [") + subject + QStringLiteral("] et de taille ") + QString::number(size)
         + sep + QStringLiteral("et provenant de [") + sender + u']' + sep + what
         + (forBox ? QStringLiteral("\n\n") : QStringLiteral(" ")) + QStringLiteral("Erreur : ") + error;
}

} // namespace

QString MailboxOperations::notCompatible(int number, int count, const MailAccount &account, const QString &subject,
                                         qint64 size, const QString &sender, const QString &error, bool forBox)
{
    return aboutMessage(number, count, account, subject, size, sender,
                        QStringLiteral("n'est pas compatible avec cette messagerie. Il ne sera pas téléchargé. "
                                       "Veuillez le récupérer et le supprimer avec un autre logiciel de messagerie."),
                        error, forBox);
}

// A cut download: the message is whole on the server still, and the next
// reception takes it again.
QString MailboxOperations::receivedInPart(const MailAccount &account, const HeaderRow &row, const QString &error,
                                          bool forBox)
{
    return aboutMessage(Globals::CurrentMailNumber, Globals::MailCount, account, row.subject, row.size, row.sender,
                        QStringLiteral("n'a été reçu qu'en partie : il reste sur le serveur de messagerie et sera "
                                       "téléchargé lors d'une prochaine réception."),
                        error, forBox);
}

QString MailboxOperations::characteristicsError(const QString &lead, const MailAccount &account, const HeaderRow &row,
                                                const QString &subject, const QString &sender, const QString &error,
                                                bool forBox)
{
    Q_UNUSED(row);
    const QString sep = forBox ? QStringLiteral("\n") : QStringLiteral(" ");
    return lead + QString::number(Globals::CurrentMailNumber) + u'/' + QString::number(Globals::MailCount)
         + QStringLiteral(" pour l'adresse email [") + account.adresse + u']' + sep
         + QStringLiteral("dont le titre est [") + subject + QStringLiteral("] et de taille ")
         + QString::number(row.size) + sep + QStringLiteral("et provenant de [") + sender + QStringLiteral("].")
         + (forBox ? QStringLiteral("\n\n") : QStringLiteral(" ")) + QStringLiteral("Erreur : ") + error;
}

QList<HeaderRow> MailboxOperations::checkMail()
{
    QList<HeaderRow> rows;
    const MailAccount mail = account();
    QString error;
    std::unique_ptr<Pop3Session> session = connect(mail, &error);
    if (!session) {
        Dialogs::instance().error(mailServerUnreachableText(mail.server, error));
        return rows;
    }

    const auto statError = [&](const QString &what, const QString &error) {
        LogWriter::write(QStringLiteral("Impossible de déterminer ") + what + QStringLiteral(" de [") + mail.server
                         + QStringLiteral("] pour le compte [") + mail.login + QStringLiteral("].")
                         + QStringLiteral(" Erreur : ") + error);
        Dialogs::instance().error(QStringLiteral("Impossible de déterminer ") + what + QStringLiteral(" de [")
                                  + mail.server + QStringLiteral("]\npour le compte [") + mail.login
                                  + QStringLiteral("]\nErreur : ") + error + QStringLiteral("\n\n") + kAbandon);
    };
    Pop3Session::Status stat;
    try {
        stat = session->stat();
    } catch (const Pop3Error &e) {
        statError(QStringLiteral("le nombre d'emails à recevoir"), e.text());
        return rows;
    }
    MessageCount = stat.count;
    MailboxSizeKB = int(stat.size / 1024);
    if (MessageCount <= 0)
        return rows;

    ShowReceptionProgress = false;
    QMap<int, QString> uidls;
    bool byNumber = false;
    try {
        uidls = session->uidls();
    } catch (const Pop3Error &e) {
        if (mailServerLost(e)) {
            statError(QStringLiteral("le nombre d'emails à recevoir"), e.text());
            ShowReceptionProgress = true;
            return rows;
        }
        // UIDL is optional in POP3: without it a message is known by its
        // number alone, as long as no other mail program changes the mailbox.
        byNumber = true;
        LogWriter::write(QStringLiteral("Le serveur de messagerie [") + mail.server + QStringLiteral("] ne donne pas "
                         "d'identifiant unique (UIDL) pour le compte [") + mail.login
                         + QStringLiteral("] : les messages sont désignés par leur seul numéro. Erreur : ") + e.text());
    }
    for (int i = 1; i <= MessageCount; ++i) {
        setStatus(0, QStringLiteral("Réception des en-têtes des emails..."));
        setStatus(1, QString::number(i) + u'/' + QString::number(MessageCount));
        HeaderRow row;
        row.number = i;
        row.uidl = uidls.value(i);
        try {
            if (!session->isOpen())
                session = connect(mail);
            if (!session)
                throw MailServerUnreachableError(QStringLiteral("Connexion au serveur de messagerie impossible"));
            row.headers = session->top(i, 0);
            const MailMessage headers = MailMessage::parse(row.headers);
            row.subject = headers.subject;
            row.sender = headers.from;
            row.date = headers.date;
            row.size = session->listOne(i);
            if (row.uidl.isEmpty() && !byNumber)
                throw Pop3Error(QStringLiteral("Le serveur ne donne pas d'identifiant unique pour ce message."));
            rows << row;
        } catch (const std::exception &e) {
            const QString error = QString::fromStdString(e.what());
            if (const auto *pop3 = dynamic_cast<const Pop3Error *>(&e); pop3 && mailServerLost(*pop3)) {
                // The messages after it would each wait as long: none is listed.
                LogWriter::write(notCompatible(i, MessageCount, mail, row.subject, row.size, row.sender, error, false));
                Dialogs::instance().error(mailServerUnreachableText(mail.server));
                ShowReceptionProgress = true;
                return {};
            }
            LogWriter::write(notCompatible(i, MessageCount, mail, row.subject, row.size, row.sender, error, false));
            Dialogs::instance().error(
                notCompatible(i, MessageCount, mail, row.subject, row.size, row.sender, error, true));
        }
    }
    ShowReceptionProgress = true;
    setStatus(0, QStringLiteral("Réception des en-têtes des emails terminée"));
    setStatus(1, QString());
    return rows;
}

void MailboxOperations::checkIdentity(Pop3Session &session, const HeaderRow &row)
{
    bool same = false;
    if (!row.uidl.isEmpty()) {
        // The whole listing, so that a message deleted meanwhile (its number
        // no longer listed) is told apart from a failed command.
        same = session.uidls().value(row.number) == row.uidl;
    } else {
        // No ids (the listing said so in the log): another mail program that
        // deleted a message before this one shifted the numbers, and its
        // number now designates another message, or none.
        same = session.list().value(row.number, -1) == row.size && session.top(row.number, 0) == row.headers;
    }
    if (!same)
        throw MailboxChangedError(QStringLiteral("Le message n°%1 a changé sur le serveur de messagerie depuis la lecture "
                                                 "de la liste des messages.")
                                      .arg(row.number));
}

MailboxOperations::Retrieval MailboxOperations::retrieve(const HeaderRow &row, MailMessage &message,
                                                        QByteArray *rawOut)
{
    const MailAccount mail = account();
    QString error;
    std::unique_ptr<Pop3Session> session = connect(mail, &error);
    if (!session) {
        Dialogs::instance().error(mailServerUnreachableText(mail.server, error));
        return Retrieval::ServerLost;
    }
    QByteArray raw;
    try {
        checkIdentity(*session, row);
        raw = session->retrieve(row.number, row.size);
    } catch (const MailboxChangedError &e) {
        LogWriter::write(e.text());
        return Retrieval::MailboxChanged;
    } catch (const Pop3Error &e) {
        const auto told = [&](bool forBox) {
            return e.truncated() ? receivedInPart(mail, row, e.text(), forBox)
                                 : notCompatible(Globals::CurrentMailNumber, Globals::MailCount, mail, row.subject,
                                                 row.size, row.sender, e.text(), forBox);
        };
        LogWriter::write(told(false));
        if (mailServerLost(e)) {
            Dialogs::instance().error(e.truncated() ? told(true) + QStringLiteral("\n\n") + kAbandon
                                                    : mailServerUnreachableText(mail.server));
            return Retrieval::ServerLost;
        }
        Dialogs::instance().error(told(true));
        return Retrieval::NotReceived;
    }
    session->close();
    try {
        message = MailMessage::parse(raw);
    } catch (const MailParseError &e) {
        const QString lead = QStringLiteral("Erreur lors de la détermination des caractéristiques du message n°");
        LogWriter::write(characteristicsError(lead, mail, row, row.subject, row.sender, e.text(), false));
        Dialogs::instance().error(characteristicsError(lead, mail, row, row.subject, row.sender, e.text(), true));
        return Retrieval::Unreadable;
    }
    if (rawOut)
        *rawOut = raw;
    return Retrieval::Retrieved;
}

void MailboxOperations::remove(const HeaderRow &row)
{
    const MailAccount mail = account();
    std::unique_ptr<Pop3Session> session = connect(mail);
    if (!session)
        throw MailServerUnreachableError(QStringLiteral("Connexion au serveur de messagerie [") + mail.server
                                         + QStringLiteral("] impossible."));
    checkIdentity(*session, row);
    session->dele(row.number);
    // The QUIT carries the deletion out: unanswered, the deletion is not known done.
    try {
        session->quit();
    } catch (const Pop3Error &e) {
        throw DeletionUncertainError(e.text(), e.timedOut() ? Pop3Error::Cause::TimedOut : Pop3Error::Cause::Other);
    }
}
