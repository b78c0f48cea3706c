// Display: choosing a patient who has BENCH_OBSERVANCES observances (10 000
// unless set) in the main window, through the patient chooser, until the
// date list is filled and the observance window with its charts has been
// painted, timed from the opening of the tables (their keys derived); against
// the engine's own shell, as a whole process, running the bare query of those
// rows with the same key.

#include "BenchSupport.h"
#include "BenchTables.h"

#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "app/MainWindow.h"
#include "views/Patients.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "views/uObservances.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>

namespace {

void answerChooser()
{
    QTimer::singleShot(0, [] {
        auto *chooser = qobject_cast<TfPatients *>(QApplication::activeModalWidget());
        if (chooser)
            chooser->bValiderClick();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return Bench::run("display", [] {
        const int count = Bench::setting("BENCH_OBSERVANCES", 10000);
        TestHome home;
        ScriptedDialogs dialogs;
        const QString base = home.path() + QStringLiteral("Base/");
        BenchTables::makeProgramFolderWithObservances(home.path(), count);

        const auto project = [&] {
            Globals::reset();
            Globals::BaseFolder = base;
            MainWindow window;
            Globals::fMain = &window;
            window.database().createAndOpen(base, home.path() + QStringLiteral("Obsidra.ini"));
            window.show();
            QApplication::processEvents();
            window.database().close();

            const double start = Bench::now();
            window.database().createAndOpen(base, home.path() + QStringLiteral("Obsidra.ini"));
            answerChooser();
            window.bPatientClick();
            window.grab(); // the date box, the observance window and its charts painted
            const double seconds = Bench::now() - start;

            Bench::require(window.fDate()->count() == count && Globals::fObservance,
                           QStringLiteral("the patient's observances were not shown"));
            Bench::require(dialogs.shown.isEmpty(), QStringLiteral("unexpected box: ") + dialogs.lastText());
            window.database().close();
            Globals::fMain = nullptr;
            return seconds;
        };

        const auto floor = [&] {
            return BenchTables::timeEngineShell(base + QStringLiteral("Observances.db"),
                                                QString::fromLatin1(Globals::kDatabasePassword),
                                                "select * from Observances where PATIENTS_ID=1 "
                                                "order by DATE_CONSULTATION DESC;\n");
        };
        return Bench::alternate(Bench::rounds(5), project, floor);
    });
}
