#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

Dialogs *installed = nullptr;

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

QWidget *parentWindow()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w)
        w = QApplication::activeWindow();
    return w;
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

void MessageBoxDialogs::message(Kind kind, const QString &text)
{
    QMessageBox box(iconFor(kind), titleFor(kind), text, QMessageBox::Ok, parentWindow());
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
    QMessageBox box(iconFor(kind), titleFor(kind), text, QMessageBox::NoButton, parentWindow());
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
