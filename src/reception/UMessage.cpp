#include "reception/UMessage.h"
#include "ui_UMessage.h"

#include "core/Common.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "core/LogWriter.h"
#include "core/MainWindowInterface.h"
#include "reception/MessageBrowser.h"
#include "platform/ProgramFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kImageMessage = 5;
constexpr int kImageDeleted = 3;
constexpr int kImageAttachment = 8;

void processEvents()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// The sender as the worker shows it: cut before its first blank, quotes removed.
QString shortSender(const QString &sender)
{
    const qsizetype blank = sender.indexOf(u' ');
    QString text = blank >= 0 ? sender.left(blank) : sender;
    return text.remove(u'"');
}

MailAccount accountOfMailTable()
{
    MainWindowInterface *main = Globals::mainWindow();
    if (!main)
        return {};
    LocalTable &table = main->database().TMail;
    try {
        if (!table.isActive())
            table.open();
        if (table.isEmpty())
            return {};
        if (table.recNo() < 0)
            table.first();
        return MailAccount::fromRecord(table);
    } catch (const LocalTablesError &e) {
        LogWriter::write(QStringLiteral("Lecture du compte de messagerie impossible : ") + e.message());
        return {};
    }
}

} // namespace

TfMessage::TfMessage(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::TfMessage)
{
    ui->setupUi(this);
    m_ops.accountSource = accountOfMailTable;
    m_ops.status = [](int panel, const QString &text) {
        if (MainWindowInterface *main = Globals::mainWindow()) {
            main->setStatusText(panel, text);
            processEvents();
        }
    };
    m_ops.work.begin = [this](qint64) { POPWorkBegin(); };
    m_ops.work.work = [this](qint64 count) { POPWork(count); };
    m_ops.work.end = [this] { POPWorkEnd(); };
    connect(ui->WebBrowser1, &MessageBrowser::statusTextChanged, this, &TfMessage::WebBrowser1StatusTextChange);
    FormCreate();
}

TfMessage::~TfMessage()
{
    delete ui;
}

void TfMessage::FormCreate()
{
    setObjectName(QStringLiteral("fMessage"));
    Globals::EmailsFolder = ProgramFolder::path() + QStringLiteral("Emails/");
    const QString folder = Globals::EmailsFolder;
    QString failure;
    if (!KeepFolderPrivate(folder))
        failure = QStringLiteral("impossible de créer le dossier");
    const QString manual = QStringLiteral("Veuillez créer le répertoire manuellement. Ne validez pas ce message avant "
                                          "d'avoir terminé cette création.");
    bool first = true;
    while (!QDir(folder).exists()) {
        QString text = QStringLiteral("Impossible de créer le répertoire [") + folder + QStringLiteral("].\n");
        if (first && !failure.isEmpty())
            text += QStringLiteral("Erreur : ") + failure + QStringLiteral("\n\n");
        Dialogs::instance().error(text + manual);
        first = false;
    }
    m_ops.MessageCount = 0;
    m_ops.MailboxSizeKB = 0;
}

QString TfMessage::tempHtmlFile()
{
    return ProgramFolder::path() + QStringLiteral("temp.html");
}

QList<HeaderRow> TfMessage::CheckMailToExecute()
{
    ui->lvHeaders->clear();
    ui->lvMessageParts->clear();
    const QList<HeaderRow> rows = m_ops.checkMail();
    LoadHeaders(rows);
    return rows;
}

void TfMessage::LoadHeaders(const QList<HeaderRow> &rows)
{
    ui->lvHeaders->clear();
    for (const HeaderRow &row : rows) {
        auto *item = new QTreeWidgetItem(ui->lvHeaders);
        item->setText(0, row.subject);
        item->setText(1, row.sender);
        item->setText(2, row.date.isValid() ? row.date.toString(QStringLiteral("dd/MM/yyyy")) : QString());
        item->setText(3, QString::number(row.size));
        item->setText(4, QString());
        item->setData(0, NumberRole, row.number);
        item->setData(0, UidlRole, row.uidl);
        item->setData(0, ImageRole, kImageMessage);
        item->setData(0, SizeRole, row.size);
        item->setData(0, DateRole, row.date);
        item->setData(0, HeadersRole, row.headers);
    }
}

QTreeWidgetItem *TfMessage::itemOf(const HeaderRow &row) const
{
    for (int i = 0; i < ui->lvHeaders->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = ui->lvHeaders->topLevelItem(i);
        if (item->data(0, NumberRole).toInt() == row.number && item->data(0, UidlRole).toString() == row.uidl)
            return item;
    }
    return nullptr;
}

HeaderRow TfMessage::rowOf(const QTreeWidgetItem *item) const
{
    HeaderRow row;
    if (!item)
        return row;
    row.number = item->data(0, NumberRole).toInt();
    row.uidl = item->data(0, UidlRole).toString();
    row.subject = item->text(0);
    row.sender = item->text(1);
    row.date = item->data(0, DateRole).toDateTime();
    row.size = item->data(0, SizeRole).toLongLong();
    row.headers = item->data(0, HeadersRole).toByteArray();
    return row;
}

void TfMessage::clearMessage()
{
    m_msg = MailMessage();
    m_raw.clear();
    m_retrieval = MailboxOperations::Retrieval::Retrieved;
    ui->lvMessageParts->clear();
    for (QLabel *label : {ui->Subject, ui->Cc, ui->From, ui->Date, ui->Receipt, ui->Priority})
        label->clear();
    ui->Recipients->clear();
    ui->pnlAttachments->hide();
    ui->Memo1->clear();
}

bool TfMessage::RetrieveExecute()
{
    const QTreeWidgetItem *item = ui->lvHeaders->currentItem();
    return item && RetrieveExecute(rowOf(item));
}

bool TfMessage::RetrieveExecute(const HeaderRow &row)
{
    if (QTreeWidgetItem *item = itemOf(row)) {
        ui->lvHeaders->setCurrentItem(item);
        item->setSelected(true);
    }
    clearMessage();
    MailMessage message;
    m_retrievalSize = row.size;
    m_retrieval = m_ops.retrieve(row, message, &m_raw);
    if (m_retrieval != MailboxOperations::Retrieval::Retrieved)
        return false;
    m_msg = message;
    showMessage();
    if (MainWindowInterface *main = Globals::mainWindow())
        main->MessageRetrieved = true;
    return true;
}

void TfMessage::showMessage()
{
    ui->From->setText(shortSender(m_msg.from));
    ui->Recipients->setText(m_msg.to.join(QStringLiteral(", ")));
    ui->Cc->setText(m_msg.cc.join(QStringLiteral(", ")));
    ui->Subject->setText(m_msg.subject);
    ui->Date->setText(m_msg.date.isValid()
                          ? QLocale(QLocale::French).toString(m_msg.date, QStringLiteral("dd MMM yyyy HH:mm:ss"))
                          : QString());
    ui->Receipt->setText(m_msg.receiptTo);
    ui->Priority->setText(QString::number(m_msg.priority));

    if (!m_msg.hasParts) {
        loadText(m_msg.body);
        return;
    }
    bool htmlFound = false;
    for (const MailPart &part : std::as_const(m_msg.parts)) {
        if (part.kind == MailPart::Kind::Attachment) {
            ui->pnlAttachments->show();
            auto *row = new QListWidgetItem(part.fileName, ui->lvMessageParts);
            row->setData(ImageRole, kImageAttachment);
        } else if (!htmlFound) {
            loadText(part.text);
            htmlFound = !ui->WebBrowser1->isHidden();
        }
    }
}

void TfMessage::loadText(const QString &text)
{
    ui->Memo1->setPlainText(text);
    const bool html = text.toUpper().contains(QStringLiteral("<HTML"));
    DeleteFileIfExists(tempHtmlFile());
    if (html) {
        QSaveFile file(tempHtmlFile());
        // With a byte-order mark the browser reads it as UTF-8 whatever the
        // page declares.
        if (file.open(QIODevice::WriteOnly) && file.write("\xEF\xBB\xBF" + text.toUtf8()) >= 0 && file.commit())
            ui->WebBrowser1->showFile(tempHtmlFile());
        else
            ui->WebBrowser1->setHtml(text);
        ui->WebBrowser1->show();
        ui->Memo1->hide();
        ui->WebBrowser1->raise();
    } else {
        ui->Memo1->show();
        ui->WebBrowser1->hide();
        ui->Memo1->raise();
    }
}

void TfMessage::DeleteExecute()
{
    if (const QTreeWidgetItem *item = ui->lvHeaders->currentItem())
        DeleteExecute(rowOf(item));
}

void TfMessage::DeleteExecute(const HeaderRow &row)
{
    m_ops.remove(row);
    if (QTreeWidgetItem *item = itemOf(row))
        item->setData(0, ImageRole, kImageDeleted);
}

bool TfMessage::SaveAttachments(const QString &onlyName, QStringList *saved, QString *error, int onlyRow, bool numbered)
{
    const QList<MailPart> attachments = m_msg.attachments();
    // Two different attachments of one name in an ordinary e-mail: the later
    // one takes a numbered name, so that neither is lost nor keeps the
    // message on the server. Identical copies make one file.
    QHash<QString, QByteArray> written;
    for (qsizetype row = 0; row < attachments.size(); ++row) {
        const MailPart &part = attachments.at(row);
        if ((!onlyName.isEmpty() && part.fileName != onlyName) || (onlyRow >= 0 && row != onlyRow))
            continue;
        QString name = part.fileName;
        if (numbered) {
            const auto same = [&](const QString &candidate) {
                const auto found = written.constFind(candidate);
                return found != written.cend() && *found == part.content;
            };
            name = FirstFreeName([&part](int n) { return NumberedFileName(part.fileName, n); },
                                 [&](const QString &candidate) { return written.contains(candidate) && !same(candidate); });
            if (same(name))
                continue;
            written.insert(name, part.content);
        }
        const QString path = Globals::EmailsFolder + name;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(part.content) != part.content.size() || !file.commit()) {
            if (error)
                *error = QStringLiteral("Impossible d'enregistrer la pièce jointe [") + path
                       + QStringLiteral("] : ") + file.errorString();
            return false;
        }
        if (saved)
            *saved << name;
    }
    return true;
}

void TfMessage::POPWorkBegin()
{
    MainWindowInterface *main = Globals::mainWindow();
    if (!main)
        return;
    if (m_retrievalSize >= 0)
        main->setProgressMaximum(int(qMin<qint64>(m_retrievalSize, std::numeric_limits<int>::max())));
    main->setProgress(0);
    main->setProgressVisible(m_ops.ShowReceptionProgress);
    processEvents();
}

void TfMessage::POPWork(qint64 count)
{
    MainWindowInterface *main = Globals::mainWindow();
    if (!main)
        return;
    const int maximum = main->progressMaximum();
    main->setProgress(int(qMin<qint64>(count, maximum)));
    main->setStatusText(1, QString::number(qint64(std::nearbyint(double(count) / 1024.0))) + QStringLiteral(" Ko / ")
                               + QString::number(qint64(std::nearbyint(maximum / 1024.0))) + QStringLiteral(" Ko"));
    processEvents();
}

void TfMessage::POPWorkEnd()
{
    MainWindowInterface *main = Globals::mainWindow();
    if (!main)
        return;
    main->setProgressVisible(false);
    main->setStatusText(1, QString());
    processEvents();
}

void TfMessage::WebBrowser1StatusTextChange(const QString &text)
{
    ui->StatusBar1->showMessage(text);
    Globals::HoveredUrl = text.startsWith(QStringLiteral("http://")) ? text : QString();
}

QTreeWidget *TfMessage::lvHeaders() const { return ui->lvHeaders; }
QListWidget *TfMessage::lvMessageParts() const { return ui->lvMessageParts; }
QLabel *TfMessage::From() const { return ui->From; }
QLabel *TfMessage::Recipients() const { return ui->Recipients; }
QLabel *TfMessage::Cc() const { return ui->Cc; }
QLabel *TfMessage::Subject() const { return ui->Subject; }
QLabel *TfMessage::Date() const { return ui->Date; }
QLabel *TfMessage::Receipt() const { return ui->Receipt; }
QLabel *TfMessage::Priority() const { return ui->Priority; }
QPlainTextEdit *TfMessage::Memo1() const { return ui->Memo1; }
MessageBrowser *TfMessage::WebBrowser1() const { return ui->WebBrowser1; }
QFrame *TfMessage::pnlAttachments() const { return ui->pnlAttachments; }
QStatusBar *TfMessage::StatusBar1() const { return ui->StatusBar1; }
