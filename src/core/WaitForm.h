#pragma once

#include <QDialog>

class QTimer;

namespace Ui {
class TWaitingForm;
}

// The modal wait window shown while an external program runs: it looks at
// Globals::WaitingFinished once a second and closes itself (accepted) when
// the flag is set, or when the user clicks its lower band. It has no close
// box and its cancel buttons stay disabled: a running program cannot be
// cancelled from here.
class TWaitingForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 1000;

    explicit TWaitingForm(QWidget *parent = nullptr);
    ~TWaitingForm() override;

    void setMessage(const QString &message);
    QString message() const;
    void setProgramPath(const QString &path) { ProgramPath = path; }

    QTimer *Timer1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Timer1Timer();
    void Panel1Click();

    Ui::TWaitingForm *ui;
    QString ProgramPath;
};

// Shows the wait window modally with the message and returns once it has
// closed; the window is freed before the return.
void ShowWaitingForm(const QString &programPath, const QString &message);
