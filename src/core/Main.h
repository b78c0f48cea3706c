#pragma once

#include "core/Downloader.h"
#include "platform/HttpClient.h"
#include "platform/LocalAddressWatcher.h"
#include "core/LocalDatabase.h"
#include "core/MainWindowInterface.h"
#include "core/StartupNeeds.h"
#include "core/RemoteDatabase.h"
#include "core/UpdateSearch.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class QComboBox;
class DeferredMemo;
class TfAbout;
class QLabel;
class QMdiArea;
class QPlainTextEdit;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolButton;

namespace Ui {
class TfMain;
}

// The main window: the frame of the whole program, with the menus and tool
// bars of the full practice suite. Only a few commands act here; every other
// one shows the same notice. Its creation handler runs the start-up steps;
// its show handler decides what opens first.
//
// The commands and the start-up and closing steps that belong to other parts
// of the program are virtual: `MainWindow` (src/app), the window class the
// program creates, overrides them with the commands of the other layers. The
// defaults do nothing (or report "nothing there" for the questions), so the
// frame works on its own. The reception and view logic see the window only
// through `MainWindowInterface`.
class TfMain : public QMainWindow, public MainWindowInterface
{
    Q_OBJECT
public:
    explicit TfMain(QWidget *parent = nullptr);
    ~TfMain() override;

    // The start-up steps, in order; called once by the program entry right
    // after the window object exists (Globals::fMain already designates it).
    void FormCreate();
    void FormShow();
    // Step 1 of the creation: the accented captions and hints (the layout
    // holds them without accents).
    void SetAccentedTexts();

    void tmrCloseTimer();
    void tmrOpenPatientTimer();

    // Asks the program to close from outside (the session ending, a signal):
    // boxes and dialogs open at that moment end as cancelled, the start-up
    // stops at its next step, a running command returns, then the closing
    // timer closes the window through its closing handlers.
    void requestClose();
    // True once a close was requested: commands stop at their next step and
    // take a dialog that ended as cancelled, never as an answer.
    bool closeRequested() const override { return m_closeRequested; }

    // Marks a command as running for its lifetime: a close requested
    // meanwhile waits until it has returned.
    class RunningCommand
    {
    public:
        explicit RunningCommand(TfMain &main) : m_main(main) { ++m_main.m_runningCommands; }
        ~RunningCommand() { --m_main.m_runningCommands; }
        RunningCommand(const RunningCommand &) = delete;
        RunningCommand &operator=(const RunningCommand &) = delete;

    private:
        TfMain &m_main;
    };

    // Called by the program entry once its message loop runs: from then on
    // the closing timer may close the window and end the program.
    void eventLoopStarted();

    // Commands of the frame.
    void NoAccessClick();
    void Voirfichemdecin1Click();
    void QuitterClick();
    void m_A_ProposClick();
    void Chercherlesmisesjour1Click();

    // Commands of the other subsystems, bound to their menu items, buttons
    // and the date box here: the patient choice and display (bPatientClick,
    // fDateChange), the documents window (bImagesClick), the reception
    // (bEmailClick) and the backup (Sauvegarder1Click).
    virtual void bPatientClick() {}
    virtual void bImagesClick() {}
    virtual void bEmailClick() {}
    virtual void fDateChange() {}
    virtual void Sauvegarder1Click() {}

    // The remote database and HTTP client connection; true only when both
    // are connected.
    bool ConnectInternetDatabase(bool reconnect) override;

    // The program's only trace file writer.
    static void WriteLog(const QString &message);

    // The text shown by NoAccessClick.
    static QString noAccessNotice();

    // Status bar: panel 0 the step, panel 1 the counter "n/N", panel 2 the
    // file or patient. Setting a text shows the bar; callers process pending
    // events afterwards when the change must be seen at once.
    void setStatusText(int panel, const QString &text) override;
    QString statusText(int panel) const override;
    void repaintStatus() override;

    void setProgressMaximum(int maximum) override;
    int progressMaximum() const override;
    void setProgress(int value) override;
    void setProgressVisible(bool visible) override;

    void addDocumentLine(const QString &line) override;
    void clearDocumentLines() override;

    void armCloseTimer() override;
    QWidget *dialogParent() override { return this; }
    RemoteDatabase &remoteDatabase() override { return DBFTP; }

    // Controls the other units use.
    QMdiArea *mdiArea() const;
    QProgressBar *pbReception() const;
    QPlainTextEdit *MErrors() const;
    QPlainTextEdit *MDocument() const;
    QComboBox *fDate() const;

    // The result lines of the report being handled, exactly as they were
    // given: MErrors shows them, but its text would turn a no-break space
    // into a plain one, so what is sent to the service comes from here.
    const QStringList &resultLines() const override { return m_resultLines; }
    void addResultLine(const QString &line) override;
    void setResultLines(const QStringList &lines) override;
    QToolButton *bEmail() const;
    QStatusBar *StatusBar1() const;

    QTimer *tmrClose;
    QTimer *tmrOpenPatient;

    // The local tables and queries (TMail, tPatients, tImages, tObservances,
    // tResultat, qObservances, Query1).
    LocalDatabase &database() override { return m_db; }

    // The HTTP client with the proxy settings applied, the local-address
    // watcher and the service database (declared in this order: the
    // database works with the other two).
    HttpClient IdHTTP1;
    LocalAddressWatcher IdIPWatch1;
    RemoteDatabase DBFTP{IdHTTP1, IdIPWatch1};
    // What the connectivity steps work with.
    StartupNeeds startupNeeds();
    // Downloads with progress (empty until the configuration is read).
    Downloader *downloader() const { return m_downloader.get(); }

signals:
    // Emitted once, when the closing handlers have run: the program entry
    // then leaves its message loop.
    void closingHandlersRan();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    // Writes a step text on the splash and paints it before the step's work.
    void showStartupStep(const QString &text);

    // What the show handler asks: is an account recorded in "Mail.db", is a
    // patient recorded in "Patients.db".
    virtual bool hasMailAccount();
    virtual bool hasPatients();
    // Opens the mail table when needed, then appends a record when it is
    // empty or puts its first record in edit state. False (its error shown)
    // when the table cannot be opened.
    virtual bool editMailAccountRecord();
    // Creates the mail account form (an MDI child that shows itself).
    virtual void openMailAccountForm() {}
    // Brings an open mail account form to the front; false when none is open.
    virtual bool raiseMailAccountForm() { return false; }
    // The about box, shown modally and freed.
    virtual void showAboutBox();
    // The update search of the about box, without showing the box (which
    // then stays, hidden, until the program ends).
    virtual void searchForUpdates();
    // What the about box's update search works with.
    UpdateSearch::Needs updateNeeds();

    // Closing: each disconnects only what is connected.
    virtual void disconnectHttpClient();
    virtual void disconnectRemoteDatabase();
    // Closes the local tables and forgets their keys.
    virtual void closeLocalTables();

private:
    void bindCommands();
    // Runs a command of a menu item or a button as a running command.
    void runCommand(void (TfMain::*command)());
    // A command runs, or a modal loop is open: closing now would end it.
    bool busy() const;
    void bindNotice(QObject *control);
    void setUpStatusBar();
    void wrapTopBand();
    void hideToolBarWidget(QWidget *widget);

    void FormCloseQuery(bool &canClose);
    void FormClose();
    void FormDestroy();

    Ui::TfMain *ui;
    LocalDatabase m_db;
    QStringList m_resultLines;
    // MErrors and MDocument, filled only once they are seen.
    DeferredMemo *m_errorsMemo = nullptr;
    DeferredMemo *m_documentMemo = nullptr;
    std::unique_ptr<Downloader> m_downloader;
    // The hidden about box of the menu's update search.
    TfAbout *fAbout = nullptr;
    // False once a start-up step failed: the remaining steps do not run.
    bool m_startupComplete = false;
    // The mail table could not be opened at start (its error was shown).
    bool m_mailTableFailed = false;
    QList<QLabel *> m_statusPanels;
    bool m_eventLoopRunning = false;
    bool m_shown = false;
    bool m_closed = false;
    bool m_closeRequested = false;
    int m_runningCommands = 0;
};
