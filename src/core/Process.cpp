#include "core/Process.h"

#include "core/Globals.h"
#include "core/WaitForm.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {

constexpr qsizetype kMaxErrorText = 64 * 1024;
constexpr int kStopPollMs = 100;

QString quotedIfNeeded(const QString &text)
{
    return text.isEmpty() || text.contains(u' ') ? u'"' + text + u'"' : text;
}

void prepare(QProcess &process, const TProcess &runner)
{
    process.setProgram(runner.Program);
    process.setArguments(runner.Arguments);
    if (!runner.Directory.isEmpty())
        process.setWorkingDirectory(runner.Directory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
}

} // namespace

TProcessThread::TProcessThread(TProcess &runner)
    : m_runner(runner)
{
}

void TProcessThread::run()
{
    m_runner.runInWorker();
}

TProcess::TProcess() = default;

TProcess::~TProcess()
{
    if (m_thread) {
        m_stop = true;
        m_thread->wait();
    }
}

void TProcess::Execute()
{
    if (m_thread)
        return;
    Directory = Directory.trimmed();
    m_thread = std::make_unique<TProcessThread>(*this);
    m_thread->start();
}

QString TProcess::CommandText() const
{
    QStringList parts{quotedIfNeeded(Program)};
    for (const QString &argument : Arguments)
        parts << quotedIfNeeded(argument);
    return parts.join(u' ');
}

void TProcess::runInWorker()
{
    QProcess process;
    prepare(process, *this);

    if (!Wait) {
        if (!process.startDetached())
            finish(Outcome::NotStarted, quint32(-1), process.errorString());
        else
            finish(Outcome::Detached, 0, QString());
        return;
    }

    process.start();
    if (!process.waitForStarted(-1)) {
        finish(Outcome::NotStarted, quint32(-1), process.errorString());
        if (OnFinished)
            OnFinished(this, quint32(-1));
        return;
    }
    QByteArray errors;
    const auto collectErrors = [&] {
        const QByteArray chunk = process.readAllStandardError();
        if (errors.size() < kMaxErrorText)
            errors += chunk.left(kMaxErrorText - errors.size());
    };
    bool killed = false;
    while (!process.waitForFinished(kStopPollMs) && process.state() != QProcess::NotRunning) {
        collectErrors();
        if (m_stop) {
            process.kill();
            process.waitForFinished(-1);
            killed = true;
            break;
        }
    }
    collectErrors();
    const QString errorText = QString::fromUtf8(errors).trimmed();
    if (process.exitStatus() == QProcess::CrashExit || killed) {
        finish(Outcome::Crashed, quint32(-1), errorText.isEmpty() ? process.errorString() : errorText);
    } else {
        finish(Outcome::Exited, quint32(process.exitCode()), errorText);
    }
    if (OnFinished)
        OnFinished(this, m_exitCode);
}

void TProcess::finish(Outcome outcome, quint32 exitCode, const QString &errorText)
{
    m_exitCode = exitCode;
    m_errorText = errorText;
    m_outcome = outcome;
    // Published last: readers look at the rest only once this is set.
    m_finished = true;
}

void DecompressionTerminated(TProcess *sender, quint32 exitCode)
{
    Q_UNUSED(sender);
    Q_UNUSED(exitCode);
    Globals::WaitingFinished = true;
}

void RunWithWaitingForm(TProcess &process, const QString &message)
{
    process.Wait = true;
    process.OnFinished = DecompressionTerminated;
    Globals::WaitingFinished = false;
    process.Execute();
    ShowWaitingForm(process.Program, message);
}
