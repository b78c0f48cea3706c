#pragma once

#include "reception/MessageActionState.h"

#include <QDialog>

#include <optional>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class MessageBrowser;
class TfMessage;

namespace Ui {
class TFMessageAction;
}

// "Réception d'un email": shows one received message (sender, subject, date,
// body, the files it brought and a preview of its observance report) and
// asks whether its files go on to the import ("&Importer") or are dropped
// ("&Supprimer"). The reception creates one per message, fills it, runs
// exec() and reads answer().
class TFMessageAction : public QDialog
{
    Q_OBJECT
public:
    enum class Answer { Import, Delete };
    static constexpr int kResultImport = 1;
    static constexpr int kResultDelete = 2;

    explicit TFMessageAction(QWidget *parent = nullptr);
    ~TFMessageAction() override;

    // Takes the retrieved message from the worker: header labels, the
    // counter "Message n°current/count", the plain body and the HTML body
    // ("temp.html") with the worker's visibilities, the body seen in front.
    void fillFromWorker(const TfMessage &worker, int current, int count);
    // Adds one file of the message: its name, shown, and where it lies
    // (relative to the e-mails folder, the name itself unless given).
    void addAttachment(const QString &name, const QString &relativePath = {});

    // The answer of a modal result: only kResultImport imports.
    static Answer answerFor(int result);
    Answer answer() const { return answerFor(result()); }

    // Run when the window is shown; public so the window can be checked
    // without a display.
    void FormShow();
    void BtValiderClick();
    void BtAnnulerClick();
    void PiecesJointesClick(QListWidgetItem *item);
    void LShowSelvantineDatasMouseEnter();
    void WebBrowser1StatusTextChange(const QString &text);

    // Esc closes the dialog as "&Supprimer" does, only while it is enabled.
    void reject() override;

    // The view of the body area seen by the user: MDocument, WebBrowser1 or Memo1.
    QWidget *frontView() const;

    QLabel *LFrom() const;
    QLabel *LObjet() const;
    QLabel *LDate() const;
    QLabel *LMessageNumber() const;
    QLabel *LShowSelvantineDatas() const;
    QPlainTextEdit *MDocument() const;
    MessageBrowser *WebBrowser1() const;
    QPlainTextEdit *Memo1() const;
    QListWidget *PiecesJointes() const;
    QPushButton *BtValider() const;
    QPushButton *BtAnnuler() const;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placePreview(bool inFront);

    Ui::TFMessageAction *ui;
    std::optional<MessageActionState> m_state;
};
