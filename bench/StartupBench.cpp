// Start-up: the whole program process, offline, in an empty program folder,
// from its start until its main window has been shown, against a minimal Qt
// Widgets program showing a window. Both run under the same probe
// (ShownProbe, preloaded) that ends the process once the main window is
// exposed, and both run in a network namespace with only a loopback, so the
// machine is offline for them.
//
// The job "startup-observances" starts the program on tables that already
// hold BENCH_OBSERVANCES observances (10 000 unless set) instead.

#include "BenchSupport.h"
#include "BenchTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Runs the program under the probe and returns the seconds until it ended.
double timeProcess(const QString &program, const QString &home, const QString &probe)
{
    QTemporaryDir scratch;
    Bench::require(scratch.isValid(), QStringLiteral("no temporary folder"));
    QStringList env = QProcessEnvironment::systemEnvironment().toStringList();
    const QStringList overrides = {
        QStringLiteral("QT_QPA_PLATFORM=offscreen"),
        QStringLiteral("TOLVARENIX_HOME=") + home,
        QStringLiteral("XDG_DESKTOP_DIR=") + scratch.filePath(QStringLiteral("Desktop")),
        QStringLiteral("ODBCINI=") + scratch.filePath(QStringLiteral("odbc.ini")),
    };
    for (const QString &entry : overrides) {
        const QString name = entry.section(u'=', 0, 0) + u'=';
        env.erase(std::remove_if(env.begin(), env.end(), [&](const QString &e) { return e.startsWith(name); }),
                  env.end());
        env << entry;
    }
    // The probe goes into the program only, not into unshare.
    QList<QByteArray> envBytes,
        argBytes = {"unshare", "-n", "env", "LD_PRELOAD=" + probe.toLocal8Bit(), program.toLocal8Bit()};
    for (const QString &e : env)
        envBytes << e.toLocal8Bit();
    std::vector<char *> argv, envp;
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (QByteArray &e : envBytes)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    // The programs' own chatter (Qt's warnings) would drown the figures.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const double start = Bench::now();
    const int spawned = posix_spawnp(&pid, "unshare", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Bench::require(spawned == 0, QStringLiteral("cannot start ") + program);
    int status = 0;
    // A program that never shows its window would hang the bench: 60 s at most.
    while (true) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (Bench::now() - start > 60) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            throw Bench::Failure(program + QStringLiteral(" did not show its main window within 60 s"));
        }
        usleep(200);
    }
    const double seconds = Bench::now() - start;
    Bench::require(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                   program + QStringLiteral(" ended before showing its main window"));
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool withObservances = app.arguments().contains(QStringLiteral("--observances"));
    const QString binDir = QCoreApplication::applicationDirPath();
    // BENCH_PROGRAM: another build of the program, to compare.
    const QString program = qEnvironmentVariable("BENCH_PROGRAM", QStringLiteral(OBSIDRA_PATH));
    const QString floor = binDir + QStringLiteral("/bench_floor_window");
    const QString probe = binDir + QStringLiteral("/libbench_shown_probe.so");
    const char *job = withObservances ? "startup-observances" : "startup";

    return Bench::run(job, [&] {
        Bench::require(getuid() == 0, QStringLiteral("needs root for an offline network namespace (unshare -n)"));
        QTemporaryDir filled;
        if (withObservances) {
            const int count = Bench::setting("BENCH_OBSERVANCES", 10000);
            BenchTables::makeProgramFolderWithObservances(filled.path() + QStringLiteral("/"), count);
        }
        auto freshHome = [&](QTemporaryDir &dir) {
            const QString home = dir.path() + QStringLiteral("/program/");
            QDir().mkpath(home);
            if (withObservances)
                BenchTables::copyFolder(filled.path() + QStringLiteral("/Base"), home + QStringLiteral("Base"));
            return home;
        };
        return Bench::alternate(
            Bench::rounds(9),
            [&] {
                QTemporaryDir dir;
                return timeProcess(program, freshHome(dir), probe);
            },
            [&] {
                QTemporaryDir dir;
                return timeProcess(floor, freshHome(dir), probe);
            });
    });
}
