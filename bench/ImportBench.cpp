// Import: BENCH_REPORTS report files (2 000 unless set), each one report of a
// known patient (identity matching fully, so nothing is asked), imported by
// the program from its import folder, the results window included, timed
// from the opening of the tables (their keys derived) to the end of the
// import; against the engine's own shell, as a whole process, inserting the
// same rows with the same key into the same encrypted table in one
// transaction.
//
// The reports are not provider reports and the service database is out of
// reach, so nothing is recorded remotely: the job times the local work.

#include "BenchSupport.h"
#include "BenchTables.h"

#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "app/MainWindow.h"
#include "platform/ProgramFolder.h"
#include "reception/ReportImport.h"
#include "ScriptedDialogs.h"
#include "TestHome.h"
#include "platform/Windows1252.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

const QString kPassword = QString::fromLatin1(Globals::kDatabasePassword);

// Follows the import's counter "i/N" (status panel 1) as the import sets it,
// to time its first and last tenths of reports: the import's time should
// grow linearly with the reports. Each tenth is timed from the start of one
// report to the start of the report a tenth later, so that neither the run's
// opening (tables, listing) nor its closing (last commit, last deletions)
// counts as a tenth's.
class GrowthMeter
{
public:
    void start(int count)
    {
        m_count = count;
        m_firstStart = m_firstEnd = m_lastStart = m_lastEnd = -1;
    }
    void counter(const QString &text)
    {
        const int tenth = m_count / 10;
        if (tenth <= 0)
            return;
        const int started = text.section(u'/', 0, 0).toInt(); // the report now begun, from 1
        const auto mark = [&](double &at, int report) {
            if (at < 0 && started >= report)
                at = Bench::now();
        };
        mark(m_firstStart, 1);
        mark(m_firstEnd, 1 + tenth);
        mark(m_lastStart, m_count - tenth);
        mark(m_lastEnd, m_count);
    }
    // The last tenth's time over the first's, once the import has ended.
    double ratio() const
    {
        const double first = m_firstEnd - m_firstStart;
        return m_firstStart >= 0 && m_firstEnd > m_firstStart && m_lastStart >= 0 && m_lastEnd > m_lastStart
                   ? (m_lastEnd - m_lastStart) / first
                   : 0;
    }

private:
    int m_count = 0;
    double m_firstStart = -1, m_firstEnd = -1, m_lastStart = -1, m_lastEnd = -1;
};

class OfflineMain : public MainWindow
{
public:
    bool ConnectInternetDatabase(bool) override { return false; }
    void setStatusText(int panel, const QString &text) override
    {
        MainWindow::setStatusText(panel, text);
        if (panel == 1)
            growth.counter(text);
    }
    GrowthMeter growth;
};

// The patient of report i: a name of four letters, unique and no prefix of
// another, so the identification finds exactly one patient.
QString patientName(int i)
{
    QString name(4, u'A');
    for (int k = 3; k >= 0; --k, i /= 26)
        name[k] = QChar(u'A' + i % 26);
    return QStringLiteral("P") + name;
}

QString report(int i)
{
    QStringList lines{QStringLiteral("H|report"), patientName(i), QStringLiteral("Jean"), {}, {}, {},
                      QStringLiteral("12/05/1945"), {}, {}, QStringLiteral("05/03/2017"),
                      QStringLiteral("PRESTATAIRE  Souffle Dom")};
    while (lines.size() < 18)
        lines << QStringLiteral("x");
    lines << QStringLiteral("Patient stable, bonne tolérance du masque.")
          << QStringLiteral("Observance en hausse depuis la dernière visite.") << QStringLiteral("****LAB****");
    const QStringList data = {
        QStringLiteral("KORVA|Technicien|OBS_TECHNICIEN||M. Martin|"),
        QStringLiteral("KORVA|Type|OBS_TYPE_VISITE||Suivi|"),
        QStringLiteral("KORVA|Appareil|OBS_APPAREIL||S9 AutoSet|"),
        QStringLiteral("KORVA|Masque|OBS_MASQUE||Nasal|"),
        QStringLiteral("KORVA|Humidificateur|OBS_HU||H5i|"),
        QStringLiteral("KORVA|Date|OBS_DATE_VISITE||01/03/2017|"),
        QStringLiteral("KORVA|Poids|OBS_POIDS||%1|").arg(60 + i % 30),
        QStringLiteral("KORVA|PEP mini|OBS_PEP_MINI||%1|").arg(4 + i % 3),
        QStringLiteral("KORVA|PEP maxi|OBS_PEP_MAXI||%1|").arg(10 + i % 5),
        QStringLiteral("KORVA|Obs|OBS_OBS_PAR_NUIT||%1|").arg(5 + i % 4),
        QStringLiteral("KORVA|Jours|OBS_NB_JOUR_OBS||30|"),
        QStringLiteral("KORVA|IAH|OBS_IAH_RES||%1|").arg(2 + i % 7),
        QStringLiteral("KORVA|P95|OBS_P95||%1|").arg(9 + i % 4),
        QStringLiteral("KORVA|Rampe|OBS_RAMPE||Oui|"),
        QStringLiteral("KORVA|Fuites|OBS_FUITES||Non|"),
        QStringLiteral("KORVA|Lien|OBS_URL||https://souffle.example/obs/%1|").arg(i),
    };
    lines << data << QStringLiteral("****FIN****") << QStringLiteral("****FINFICHIER****");
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

// Closes the results window (or any other modal window) as soon as it shows,
// so that no polling delay counts in the import's time.
class ModalCloser : public QObject
{
public:
    ModalCloser() { qApp->installEventFilter(this); }
    ~ModalCloser() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            if (auto *dialog = qobject_cast<QDialog *>(watched); dialog && dialog->isModal())
                QTimer::singleShot(0, dialog, &QDialog::reject);
        return false;
    }
};

struct Home {
    TestHome home;
    QString base = home.path() + QStringLiteral("Base/");
    Home()
    {
        Globals::reset();
        Globals::BaseFolder = base;
        Globals::ImportFolder = home.path() + QStringLiteral("ForImportation/");
        Globals::ImportsFolder = base + QStringLiteral("Imports/");
        Bench::require(QDir().mkpath(Globals::ImportsFolder) && QDir().mkpath(Globals::ImportFolder),
                       QStringLiteral("cannot make the folders"));
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return Bench::run("import", [] {
        const int count = Bench::setting("BENCH_REPORTS", 2000);
        std::vector<std::vector<sqlite3_value *>> stored; // the rows the program stored

        const auto project = [&] {
            Home home;
            ScriptedDialogs dialogs;
            OfflineMain main;
            Globals::fMain = &main;
            LocalDatabase &db = main.database();
            db.createAndOpen(home.base, ProgramFolder::configurationFile());
            db.TMail.append(); // a mail account, as at any import
            db.TMail.field(QStringLiteral("COMPTE")).setAsString(QStringLiteral("Cabinet"));
            db.TMail.field(QStringLiteral("ADRESSE")).setAsString(QStringLiteral("dr.martin@cabinet.fr"));
            db.TMail.field(QStringLiteral("LOGIN")).setAsString(QStringLiteral("dr.martin"));
            db.TMail.post();
            BenchTables::exec(db, QStringLiteral(
                                      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                      "INSERT INTO Patients (NOM, PRENOM, NE_LE) SELECT 'P' || char(65 + i / 17576 % 26, "
                                      "65 + i / 676 % 26, 65 + i / 26 % 26, 65 + i % 26), 'Jean', '12/05/1945' FROM n")
                                      .arg(count - 1));
            db.tPatients.close();
            db.tPatients.open();
            Bench::require(db.tPatients.recordCount() == count, QStringLiteral("patients not made"));
            for (int i = 0; i < count; ++i) {
                QFile file(Globals::ImportFolder + QStringLiteral("rapport-%1.txt").arg(i, 5, 10, QLatin1Char('0')));
                Bench::require(file.open(QIODevice::WriteOnly), QStringLiteral("cannot write a report"));
                file.write(Windows1252::encode(report(i)));
            }
            ModalCloser closer;
            db.close();

            const double start = Bench::now();
            db.createAndOpen(home.base, ProgramFolder::configurationFile());
            main.growth.start(count);
            ReportImport(main).ImportObservances();
            const double seconds = Bench::now() - start;
            std::fprintf(stderr, "  (import: last tenth %.2f times as long as the first)\n", main.growth.ratio());

            Bench::require(dialogs.shown.isEmpty(), QStringLiteral("unexpected box: ") + dialogs.lastText());
            Bench::require(QDir(Globals::ImportFolder).entryList({QStringLiteral("*.txt")}, QDir::Files).isEmpty(),
                           QStringLiteral("reports left in the import folder"));
            db.close();
            Globals::fMain = nullptr;
            BenchTables::RawDatabase raw(home.base + QStringLiteral("Observances.db"), kPassword);
            BenchTables::RawDatabase::release(stored);
            stored = raw.rows("SELECT * FROM t.Observances ORDER BY OBSERVANCES_ID");
            Bench::require(int(stored.size()) == count,
                           QStringLiteral("%1 observances stored of %2").arg(stored.size()).arg(count));
            return seconds;
        };

        const auto floor = [&] {
            Home home;
            {
                LocalDatabase db;
                db.createAndOpen(home.base, ProgramFolder::configurationFile());
                db.close();
            }
            QByteArray script = "BEGIN;\n";
            for (const auto &row : stored) {
                script += "INSERT INTO Observances VALUES (NULL";
                for (std::size_t i = 1; i < row.size(); ++i)
                    script += ", " + BenchTables::literal(row[i]);
                script += ");\n";
            }
            script += "COMMIT;\nSELECT count(*) FROM Observances;\n";
            return BenchTables::timeEngineShell(home.base + QStringLiteral("Observances.db"), kPassword, script);
        };

        // The floor needs the rows of a first import.
        const Bench::Result result = Bench::alternate(Bench::rounds(3), project, floor);
        BenchTables::RawDatabase::release(stored);
        return result;
    });
}
