#include "reception/MessageAction.h"
#include "ui_MessageAction.h"

#include "core/Common.h"
#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "reception/MessageBrowser.h"
#include "core/ScreenPlacement.h"
#include "reception/UMessage.h"

#include <QEvent>
#include <QFileInfo>
#include <QShowEvent>

TFMessageAction::TFMessageAction(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TFMessageAction)
{
    ui->setupUi(this);
    // Fixed border, no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(675, 471);
    ui->LShowSelvantineDatas->installEventFilter(this);
    connect(ui->BtValider, &QPushButton::clicked, this, &TFMessageAction::BtValiderClick);
    connect(ui->BtAnnuler, &QPushButton::clicked, this, &TFMessageAction::BtAnnulerClick);
    connect(ui->PiecesJointes, &QListWidget::itemClicked, this, &TFMessageAction::PiecesJointesClick);
    connect(ui->WebBrowser1, &MessageBrowser::statusTextChanged, this,
            &TFMessageAction::WebBrowser1StatusTextChange);
}

TFMessageAction::~TFMessageAction()
{
    delete ui;
}

void TFMessageAction::fillFromWorker(const TfMessage &worker, int current, int count)
{
    ui->LFrom->setText(worker.From()->text());
    ui->LMessageNumber->setText(MessageActionState::messageNumberText(current, count));
    ui->LObjet->setText(worker.Subject()->text());
    ui->LDate->setText(worker.Date()->text());
    ui->Memo1->setPlainText(worker.Memo1()->toPlainText());
    // The worker is never shown: its views' own visibility is what counts.
    const bool textBody = !worker.Memo1()->isHidden();
    ui->WebBrowser1->setVisible(!worker.WebBrowser1()->isHidden());
    ui->Memo1->setVisible(textBody);
    if (QFileInfo::exists(TfMessage::tempHtmlFile()))
        ui->WebBrowser1->showFile(TfMessage::tempHtmlFile());
    if (textBody)
        ui->Memo1->raise();
    else
        ui->WebBrowser1->raise();
}

void TFMessageAction::addAttachment(const QString &name, const QString &relativePath)
{
    auto *item = new QListWidgetItem(name, ui->PiecesJointes);
    item->setData(Qt::UserRole, relativePath.isEmpty() ? name : relativePath);
}

TFMessageAction::Answer TFMessageAction::answerFor(int result)
{
    return result == kResultImport ? Answer::Import : Answer::Delete;
}

void TFMessageAction::FormShow()
{
    QStringList attachments;
    for (int row = 0; row < ui->PiecesJointes->count(); ++row)
        attachments.append(ui->PiecesJointes->item(row)->data(Qt::UserRole).toString());
    m_state.emplace(Globals::EmailsFolder, attachments, ui->Memo1->toPlainText());

    if (m_state->hasReport())
        ui->MDocument->setPlainText(m_state->preview().join(u'\n'));
    placePreview(m_state->previewInFront());
    ui->LShowSelvantineDatas->setText(m_state->toggleCaption());
    ui->LShowSelvantineDatas->setVisible(m_state->toggleVisible());
    ui->BtAnnuler->setEnabled(m_state->refuseEnabled());
    if (!m_state->failure().isEmpty())
        Dialogs::instance().error(m_state->failure());
}

void TFMessageAction::BtValiderClick()
{
    done(kResultImport);
}

void TFMessageAction::BtAnnulerClick()
{
    done(kResultDelete);
}

void TFMessageAction::reject()
{
    if (ui->BtAnnuler->isEnabled())
        BtAnnulerClick();
}

void TFMessageAction::PiecesJointesClick(QListWidgetItem *item)
{
    if (!item)
        return;
    const QFileInfo file(Globals::EmailsFolder + item->data(Qt::UserRole).toString());
    ShellOpen(file.filePath(), QString(), file.path() + u'/');
}

void TFMessageAction::LShowSelvantineDatasMouseEnter()
{
    if (!m_state)
        return;
    m_state->toggle();
    placePreview(m_state->previewInFront());
    ui->LShowSelvantineDatas->setText(m_state->toggleCaption());
    ui->LShowSelvantineDatas->repaint();
}

void TFMessageAction::WebBrowser1StatusTextChange(const QString &text)
{
    Globals::HoveredUrl = text.startsWith(QLatin1String("http://")) ? text : QString();
}

QWidget *TFMessageAction::frontView() const
{
    const QObjectList &stack = ui->bodyArea->children();
    for (auto it = stack.crbegin(); it != stack.crend(); ++it) {
        QWidget *view = qobject_cast<QWidget *>(*it);
        if (view && !view->isHidden())
            return view;
    }
    return nullptr;
}

void TFMessageAction::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen(*this);
    FormShow();
}

bool TFMessageAction::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->LShowSelvantineDatas && event->type() == QEvent::Enter)
        LShowSelvantineDatasMouseEnter();
    return QDialog::eventFilter(watched, event);
}

void TFMessageAction::placePreview(bool inFront)
{
    if (inFront)
        ui->MDocument->raise();
    else
        ui->MDocument->lower();
}

QLabel *TFMessageAction::LFrom() const { return ui->LFrom; }
QLabel *TFMessageAction::LObjet() const { return ui->LObjet; }
QLabel *TFMessageAction::LDate() const { return ui->LDate; }
QLabel *TFMessageAction::LMessageNumber() const { return ui->LMessageNumber; }
QLabel *TFMessageAction::LShowSelvantineDatas() const { return ui->LShowSelvantineDatas; }
QPlainTextEdit *TFMessageAction::MDocument() const { return ui->MDocument; }
MessageBrowser *TFMessageAction::WebBrowser1() const { return ui->WebBrowser1; }
QPlainTextEdit *TFMessageAction::Memo1() const { return ui->Memo1; }
QListWidget *TFMessageAction::PiecesJointes() const { return ui->PiecesJointes; }
QPushButton *TFMessageAction::BtValider() const { return ui->BtValider; }
QPushButton *TFMessageAction::BtAnnuler() const { return ui->BtAnnuler; }
