#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

class TProcess;

// How the started program should show its main window. Kept for the
// callers' settings; the console programs run here have no window, so the
// value changes nothing.
enum class TShowWindow {
    swHide,
    swMaximize,
    swMinimize,
    swRestore,
    swShow,
    swShowDefault,
    swShowMaximized,
    swShowMinimized,
    swShowMinNoActive,
    swShowNA,
    swShowNoActivate,
    swShowNormal
};

// Fired in the worker thread once the program has ended (or could not be
// started): the runner and the program's exit code.
using TProcessEvent = std::function<void(TProcess *sender, quint32 exitCode)>;

// The worker thread of one runner: starts the program, waits for its end
// when asked to and fires the runner's finish handler.
class TProcessThread : public QThread
{
public:
    explicit TProcessThread(TProcess &runner);

protected:
    void run() override;

private:
    TProcess &m_runner;
};

// Runs one external program from a worker thread without freezing the
// windows. The program is started directly with its argument list (never
// through a shell), standard input closed, LC_ALL=C.UTF-8.
//
// Set every property before Execute() and leave them alone afterwards. The
// outcome (started, exit code, error output) can be read once Finished()
// is true. Destroying the runner while its program still runs (the user
// closed the wait window early) ends the program and waits for the worker.
class TProcess
{
public:
    // Detached: started without waiting (Wait false), nothing more is known.
    enum class Outcome { Running, NotStarted, Detached, Crashed, Exited };

    TProcess();
    ~TProcess();
    TProcess(const TProcess &) = delete;
    TProcess &operator=(const TProcess &) = delete;

    QString Program;           // the program file
    QStringList Arguments;     // each argument as the program receives it
    QString Directory;         // working folder; empty: inherited
    TShowWindow ShowWindow = TShowWindow::swShowNormal;
    bool Wait = false;         // wait for the end and fire OnFinished
    TProcessEvent OnFinished;

    // Starts the worker and returns at once. Blanks around Directory are
    // trimmed (the trimmed text stays in Directory). Only once per runner.
    void Execute();

    bool Finished() const { return m_finished.load(); }
    Outcome outcome() const { return m_outcome.load(); }
    // True only when the program ran to its end with exit code 0.
    bool Succeeded() const { return Finished() && outcome() == Outcome::Exited && m_exitCode == 0; }
    quint32 ExitCode() const { return m_exitCode; }
    // What the program wrote on its error output (at most 64 KiB), or why it
    // could not be started. Read only once Finished() is true.
    const QString &ErrorText() const { return m_errorText; }

    // The command as a readable text for messages and the log.
    QString CommandText() const;

private:
    friend class TProcessThread;
    void runInWorker();
    void finish(Outcome outcome, quint32 exitCode, const QString &errorText);

    std::unique_ptr<TProcessThread> m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<Outcome> m_outcome{Outcome::Running};
    quint32 m_exitCode = 0;
    QString m_errorText;
};

// The finish handler every caller gives to the runner: sets the wait
// window's flag (Globals::WaitingFinished). Both arguments are ignored.
void DecompressionTerminated(TProcess *sender, quint32 exitCode);

// The calling order shared by every caller: the runner is told to wait and
// to report through DecompressionTerminated, the flag is cleared, the
// program started, and the wait window shown with message until the
// program has ended (or the user clicked the window's lower band).
void RunWithWaitingForm(TProcess &process, const QString &message);
