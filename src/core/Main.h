#pragma once

#include <QMainWindow>

class QMdiArea;
class QTimer;

namespace Ui {
class TfMain;
}

// The main window: the frame of the whole program. Its creation handler runs
// the start-up steps; its show handler decides what opens first.
class TfMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfMain(QWidget *parent = nullptr);
    ~TfMain() override;

    // The start-up steps, in order; called once by the program entry right
    // after the window object exists (Globals::fMain already designates it).
    void FormCreate();
    void FormShow();

    void tmrCloseTimer();
    void tmrOpenPatientTimer();

    // Called by the program entry once its message loop runs: from then on
    // the closing timer may close the window and end the program.
    void eventLoopStarted();

    QTimer *tmrClose;
    QTimer *tmrOpenPatient;

    QMdiArea *mdiArea() const;

signals:
    // Emitted once, when the closing handlers have run.
    void closingHandlersRan();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    // Writes a step text on the splash and paints it before the step's work.
    void showStartupStep(const QString &text);

private:
    void FormCloseQuery(bool &canClose);
    void FormClose();
    void FormDestroy();

    Ui::TfMain *ui;
    bool m_eventLoopRunning = false;
    bool m_shown = false;
    bool m_closed = false;
};
