#include "platform/Dialogs.h"

#include "platform/FrontWindow.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {

Dialogs *installed = nullptr;
bool s_closing = false;

// A window that waits for work in progress (the wait window of an external
// program) asks nothing: the command waits for the work, then returns.
bool answersSomething(const QDialog *dialog)
{
    return !dialog->inherits("TWaitingForm");
}

void endLater(QDialog *dialog)
{
    // Queued: a dialog being shown by exec() ends once its loop runs.
    QPointer<QDialog> guarded(dialog);
    QMetaObject::invokeMethod(
        dialog,
        [guarded] {
            if (guarded && guarded->isVisible())
                guarded->done(Dialogs::kEndedForClosing);
        },
        Qt::QueuedConnection);
}

// Ends every dialog shown while the program is closing.
class ClosingFilter : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (s_closing && event->type() == QEvent::Show) {
            auto *dialog = qobject_cast<QDialog *>(watched);
            if (dialog && answersSomething(dialog))
                endLater(dialog);
        }
        return false;
    }
};

QMessageBox::Icon iconFor(Dialogs::Kind kind)
{
    switch (kind) {
    case Dialogs::Kind::Information: return QMessageBox::Information;
    case Dialogs::Kind::Warning: return QMessageBox::Warning;
    case Dialogs::Kind::Error: return QMessageBox::Critical;
    case Dialogs::Kind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString titleFor(Dialogs::Kind kind)
{
    switch (kind) {
    case Dialogs::Kind::Information: return QStringLiteral("Information");
    case Dialogs::Kind::Warning: return QStringLiteral("Avertissement");
    case Dialogs::Kind::Error: return QStringLiteral("Erreur");
    case Dialogs::Kind::Confirmation: return QStringLiteral("Confirmation");
    }
    return {};
}

} // namespace

Dialogs &Dialogs::instance()
{
    static MessageBoxDialogs boxes;
    return installed ? *installed : boxes;
}

void Dialogs::setInstance(Dialogs *dialogs)
{
    installed = dialogs;
}

void Dialogs::endForClosing()
{
    static ClosingFilter *filter = nullptr;
    s_closing = true;
    if (!qApp)
        return;
    if (!filter) {
        filter = new ClosingFilter(qApp);
        qApp->installEventFilter(filter);
    }
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(widget);
        if (dialog && dialog->isVisible() && answersSomething(dialog))
            endLater(dialog);
    }
}

bool Dialogs::closing()
{
    return s_closing;
}

void Dialogs::resetClosing()
{
    s_closing = false;
}

void MessageBoxDialogs::message(Kind kind, const QString &text)
{
    if (s_closing)
        return;
    QMessageBox box(iconFor(kind), titleFor(kind), text, QMessageBox::Ok, ServedWindow());
    box.exec();
}

bool MessageBoxDialogs::ask(Kind kind, const QString &text)
{
    return askWithDefault(kind, text, true);
}

bool MessageBoxDialogs::askDefaultNo(Kind kind, const QString &text)
{
    return askWithDefault(kind, text, false);
}

bool MessageBoxDialogs::askWithDefault(Kind kind, const QString &text, bool defaultYes)
{
    if (s_closing)
        return false;
    QMessageBox box(iconFor(kind), titleFor(kind), text, QMessageBox::NoButton, ServedWindow());
    QPushButton *yes = box.addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
    box.setDefaultButton(defaultYes ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void MessageBoxDialogs::beep(Beep)
{
    QApplication::beep();
}
