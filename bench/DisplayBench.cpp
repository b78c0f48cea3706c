// Display: choosing a patient who has BENCH_OBSERVANCES observances (10 000
// unless set) in the main window, through the patient chooser, until the
// date list is filled and the observance window with its charts has been
// painted; against the bare query of those rows (every value read) on a
// connection of its own.

#include "BenchSupport.h"
#include "BenchTables.h"

#include "Globals.h"
#include "LocalDatabase.h"
#include "MainWindow.h"
#include "Patients.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "uObservances.h"

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

            const double start = Bench::now();
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
            BenchTables::RawDatabase raw(base + QStringLiteral("Observances.db"),
                                         QString::fromLatin1(Globals::kDatabasePassword));
            const double start = Bench::now();
            sqlite3_stmt *select = nullptr;
            Bench::require(sqlite3_prepare_v2(raw.handle(),
                                              "select * from Observances where PATIENTS_ID=?1 "
                                              "order by DATE_CONSULTATION DESC",
                                              -1, &select, nullptr)
                               == SQLITE_OK,
                           QStringLiteral("floor query"));
            sqlite3_bind_int(select, 1, 1);
            int rows = 0;
            qint64 bytes = 0;
            while (sqlite3_step(select) == SQLITE_ROW) {
                ++rows;
                for (int i = 0; i < sqlite3_column_count(select); ++i)
                    bytes += sqlite3_column_bytes(select, i); // every value read
            }
            sqlite3_finalize(select);
            const double seconds = Bench::now() - start;
            Bench::require(rows == count && bytes > 0, QStringLiteral("floor read %1 rows").arg(rows));
            return seconds;
        };
        return Bench::alternate(Bench::rounds(5), project, floor);
    });
}
