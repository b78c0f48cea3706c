#include "views/PatientIdentification.h"

#include "core/DebugTrace.h"
#include "core/ReportName.h"

#include "platform/Dialogs.h"
#include "core/Globals.h"
#include "platform/LocalTables.h"
#include "core/LogWriter.h"
#include "core/NameDateRoutines.h"
#include "views/PatientSearch.h"
#include "views/PatientChoiceWindow.h"
#include "platform/TextRules.h"

#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

namespace {

// The traces' line breaks: message boxes break lines on line feeds only.
constexpr QChar kLineBreak = u'\n';

int shownRowCount(const PatientChoiceWindow &window)
{
    const LocalQuery *query = window.shownQuery();
    return query && query->isActive() ? query->recordCount() : 0;
}

// The exact search of the window's edits, opened; a failure shows no row.
void runExactSearch(PatientChoiceWindow &window)
{
    window.NomPatientChange1();
    try {
        if (LocalQuery *query = window.shownQuery(); query && !query->isActive())
            query->open();
    } catch (const std::exception &error) {
        LogWriter::write(QStringLiteral("Recherche de patients (exacte) : ") + QString::fromUtf8(error.what()));
    }
}

// The birth date of a patient row as "dd-mm-yyyy"; nothing when the field
// does not hold a date.
std::optional<QString> rowBirthDate(const QString &neLe)
{
    const QString text = TextRules::trim32(neLe);
    QDate date = QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
    if (!date.isValid())
        date = QDate::fromString(text, QStringLiteral("d/M/yyyy"));
    if (!date.isValid())
        return std::nullopt;
    return NameRoutines::ExpandBirthYear(date.toString(QStringLiteral("dd/MM/yyyy")), NameRoutines::YearMode::BirthDate);
}

// Restores the main window whatever way the window's display ends.
class MainWindowDisabled
{
public:
    explicit MainWindowDisabled(QWidget *window) : m_window(window)
    {
        if (m_window)
            m_window->setEnabled(false);
    }
    ~MainWindowDisabled()
    {
        if (m_window)
            m_window->setEnabled(true);
    }
    MainWindowDisabled(const MainWindowDisabled &) = delete;
    MainWindowDisabled &operator=(const MainWindowDisabled &) = delete;

private:
    QWidget *m_window;
};

} // namespace

PatientIdentification::PatientIdentification(Needs environment) : m_env(std::move(environment))
{
    if (!m_env.showModal)
        m_env.showModal = [](PatientChoiceWindow &window) { return window.exec(); };
}

PatientIdentification::~PatientIdentification() = default;
PatientIdentification::PatientIdentification(PatientIdentification &&) noexcept = default;

PatientChoiceWindow &PatientIdentification::freshWindow()
{
    // Building the window is most of the cost of a report found at once.
    if (m_window && !m_windowShown) {
        m_window->resetForNextReport();
    } else {
        m_window.reset();
        m_window = m_env.createWindow();
        m_windowShown = false;
    }
    return *m_window;
}

int PatientIdentification::identify(const QString &fileName)
{
    PatientChoiceWindow &window = freshWindow();
    struct QueriesClosed {
        PatientChoiceWindow &window;
        ~QueriesClosed()
        {
            window.closeQueries();
            window.identificationEnded();
        }
    } closed{window};

    const PatientIdentity report =
        PatientSearch::reportIdentity(Globals::PatientNom, Globals::PatientPrenom, Globals::PatientNeLe);
    window.ObsNom = report.nom;
    window.ObsPrenom = report.prenom;
    window.ObsNeLe = report.neLe;
    // Each change of an edit would run a search over every patient, with
    // the edits as they are at that change: only the last of those searches
    // is run, at the point where the change would have run it.
    const bool withDate = NameRoutines::IsDateText(Globals::PatientNeLe);
    const bool dateSearch = withDate && window.EdNe()->text() != Globals::PatientNeLe;
    bool nameSearch;
    {
        const QSignalBlocker nom(window.NomPatient()), prenom(window.PrenomPatient());
        const QString nomBefore = window.NomPatient()->text(), prenomBefore = window.PrenomPatient()->text();
        window.NomPatient()->setText(Globals::PatientNom);
        window.PrenomPatient()->setText(Globals::PatientPrenom);
        nameSearch = window.NomPatient()->text() != nomBefore || window.PrenomPatient()->text() != prenomBefore;
    }
    if (nameSearch && !dateSearch)
        window.NomPatientChange(window.NomPatient());
    window.bFermer()->setEnabled(false);
    {
        const QSignalBlocker ne(window.EdNe());
        if (withDate) {
            window.SBWithBirthday()->setChecked(true);
            window.EdNe()->setText(Globals::PatientNeLe);
        } else {
            // The toggle is up in a new window: no search follows.
            window.EdNe()->clear();
        }
    }
    if (dateSearch)
        window.NomPatientChange(window.EdNe());
    const QString savedBirthDate = window.EdNe()->text();
    traceSearch(window, {});

    // The exact searches replace whatever the edits' changes would search.
    if (shownRowCount(window) == 0 && !window.EdNe()->text().isEmpty()) {
        {
            const QSignalBlocker quiet(window.PrenomPatient());
            window.PrenomPatient()->clear();
        }
        runExactSearch(window);
        traceSearch(window, {});
    }
    if (shownRowCount(window) == 0 && !Globals::PatientPrenom.isEmpty()) {
        window.SpeedButton2()->setChecked(true);
        {
            const QSignalBlocker ne(window.EdNe()), prenom(window.PrenomPatient());
            window.EdNe()->clear();
            window.PrenomPatient()->setText(Globals::PatientPrenom);
        }
        runExactSearch(window);
        traceSearch(window, {});
    }

    QString label = QStringLiteral("Un document a été trouvé pour ")
                  + (Globals::PatientPrenom.isEmpty() ? QStringLiteral("[prénom inconnu]") : Globals::PatientPrenom)
                  + u' '
                  + (Globals::PatientNom.isEmpty() ? QStringLiteral("[nom inconnu]")
                                                   : TextRules::upperAZ(Globals::PatientNom));
    if (!savedBirthDate.isEmpty())
        label += QStringLiteral(" (né(e) le ") + savedBirthDate + u')';
    window.Label1()->setText(label);

    switch (shownRowCount(window)) {
    case 0:
        return noRow(window, fileName, savedBirthDate);
    case 1:
        return oneRow(window, fileName);
    default:
        return severalRows(window, fileName);
    }
}

int PatientIdentification::noRow(PatientChoiceWindow &window, const QString &fileName, const QString &savedBirthDate)
{
    traceSearch(window, QStringLiteral("). Aucun patient trouvé."));
    if (!savedBirthDate.isEmpty()) {
        window.SBWithBirthday()->setChecked(true);
        window.SBWithBirthdayTag = 1;
        window.EdNe()->setText(savedBirthDate);
    } else {
        window.EdNe()->clear();
    }
    if (window.shownQuery() == &window.QPatients) {
        window.QPatients.close();
        window.showQuery(&window.QAllPatients);
        try {
            window.QAllPatients.open();
        } catch (const std::exception &error) {
            LogWriter::write(QStringLiteral("Recherche de patients (liste) : ") + QString::fromUtf8(error.what()));
        }
    }

    DebugTrace::show(QStringLiteral("Recherche du patient dans la base de données Tolvarenix - affichage de la fenêtre de "
                         "sélection d'un dossier."));
    int result;
    {
        MainWindowDisabled disabled(m_env.mainWindow);
        if (m_env.setStatusText)
            m_env.setStatusText(2, QStringLiteral("Affectation du patient de ") + fileName);
        window.Panel2()->setVisible(true);
        window.Panel1()->setVisible(true);
        window.bAjouter()->setVisible(true);
        window.bDoNotImport()->setVisible(ReportName::isProviderReport(fileName));
        result = askUser(window);
    }

    int id = kDeclined;
    if (result != PatientChoiceWindow::ResultChosen) {
        declined();
    } else {
        const auto chosen = window.shownPatient();
        if (ReportName::isProviderReport(fileName) && Globals::ProviderReachable) {
            sendCorrectionWhenOneFieldDiffers(window, QStringLiteral("Envoi de l'identification du patient au prestataire."));
            if (chosen->nom == Globals::PatientNom && chosen->prenom == Globals::PatientPrenom
                && chosen->neLe == Globals::PatientNeLe && m_env.addResultLine)
                m_env.addResultLine(QStringLiteral("Nouveau patient"));
        }
        id = takeChosen(window);
        DebugTrace::show(QStringLiteral("Résultat de la recherche du patient dans la base de données Tolvarenix :") + kLineBreak
              + QStringLiteral("  - nom : ") + Globals::PatientNom + kLineBreak + QStringLiteral("  - prénom : ")
              + Globals::PatientPrenom + kLineBreak + QStringLiteral("  - né le : ") + Globals::PatientNeLe + kLineBreak
              + QStringLiteral("  - patients_id : ") + QString::number(id));
    }
    if (m_env.setStatusText)
        m_env.setStatusText(2, QString());
    return id;
}

int PatientIdentification::oneRow(PatientChoiceWindow &window, const QString &fileName)
{
    const auto chosen = window.shownPatient();
    const int id = chosen->id;
    const QString handled = QStringLiteral("Gestion du ") + Globals::ImportFolder + fileName + kLineBreak;
    DebugTrace::show(QStringLiteral("Gestion du fichier ") + Globals::ImportFolder + fileName + kLineBreak
          + QStringLiteral("Patient trouvé : ") + QString::number(id));

    // Anything less than the report's identity (case and accents aside) is
    // the physician's to confirm.
    window.QPatientsAfterScroll();
    if (window.MatchCount != 3)
        return confirmInWindow(window, fileName);

    // The same identity written otherwise: nothing to correct at the
    // provider's, the stored writing is taken.
    const bool sameIdentity = chosen->nom == Globals::PatientNom && chosen->prenom == Globals::PatientPrenom
                           && chosen->neLe == Globals::PatientNeLe;
    if (ReportName::isProviderReport(fileName) && Globals::ProviderReachable && !sameIdentity) {
        Globals::PatientNeLe = chosen->neLe;
        if (TextRules::upperAZ(Globals::PatientPrenom) != TextRules::upperAZ(chosen->prenom))
            Globals::PatientPrenom = chosen->prenom;
        DebugTrace::show(handled + QStringLiteral("Patient : ") + Globals::PatientNom + QStringLiteral(" | ")
              + Globals::PatientPrenom + QStringLiteral(" | ") + Globals::PatientNeLe);
    }
    return id;
}

int PatientIdentification::severalRows(PatientChoiceWindow &window, const QString &fileName)
{
    if (m_env.openReport)
        m_env.openReport(Globals::ImportFolder + fileName);
    DebugTrace::show(QStringLiteral("Résultat de la recherche du patient dans la base de données Tolvarenix : plusieurs patients "
                         "ont été trouvés."));

    // Birth-date tie-break, both years completed to four digits.
    int id = -1;
    QString birthDate;
    LocalQuery *query = window.shownQuery();
    const std::optional<QString> reportDate =
        NameRoutines::ExpandBirthYear(Globals::PatientNeLe, NameRoutines::YearMode::BirthDate);
    for (;;) {
        const QString neLe = query->field(QStringLiteral("NE_LE")).asString();
        const std::optional<QString> date = rowBirthDate(neLe);
        if (reportDate && date && *reportDate == *date) {
            if (id == -1) {
                id = query->field(QStringLiteral("PATIENTS_ID")).asInteger();
                birthDate = neLe;
            } else {
                id = -2;
            }
        }
        if (query->recNo() >= query->recordCount() - 1)
            break;
        query->next();
    }
    if (id > 0) {
        Globals::PatientNeLe = birthDate;
        return id;
    }
    return confirmInWindow(window, fileName);
}

int PatientIdentification::confirmInWindow(PatientChoiceWindow &window, const QString &fileName)
{
    DebugTrace::show(QStringLiteral("Résultat de la recherche du patient dans la base de données Tolvarenix - affichage de la "
                         "fenêtre de sélection d'un patient."));
    window.bAjouter()->setVisible(true);
    window.bDoNotImport()->setVisible(true);
    if (askUser(window) != PatientChoiceWindow::ResultChosen) {
        declined();
        return kDeclined;
    }
    if (ReportName::isProviderReport(fileName) && Globals::ProviderReachable && m_env.remote.connect
        && m_env.remote.connect(true))
        sendCorrectionWhenOneFieldDiffers(window, {});
    const int id = takeChosen(window);
    DebugTrace::show(QStringLiteral("Gestion du ") + Globals::ImportFolder + fileName + kLineBreak + QStringLiteral("Patient : ")
          + Globals::PatientNom + QStringLiteral(" | ") + Globals::PatientPrenom + QStringLiteral(" | ")
          + Globals::PatientNeLe);
    return id;
}

int PatientIdentification::askUser(PatientChoiceWindow &window)
{
    // What the user did in it stays: the next report gets a new window.
    m_windowShown = true;
    for (;;) {
        const int result = m_env.showModal(window);
        // Closing the window is the way to decline a report that offers no
        // "Ne pas importer".
        if (result != PatientChoiceWindow::ResultChosen)
            return PatientChoiceWindow::ResultDoNotImport;
        if (LocalQuery *query = window.shownQuery(); query && !query->isActive())
            query->open();
        // A choice of nothing cannot stand: the window comes back.
        if (window.shownPatient())
            return result;
    }
}

void PatientIdentification::declined()
{
    if (m_env.addResultLine)
        m_env.addResultLine(QStringLiteral("Patient inconnu"));
}

int PatientIdentification::takeChosen(PatientChoiceWindow &window)
{
    const auto chosen = window.shownPatient();
    Globals::PatientNeLe = chosen->neLe;
    Globals::PatientNom = chosen->nom;
    Globals::PatientPrenom = chosen->prenom;
    window.shownQuery()->close();
    return chosen->id;
}

void PatientIdentification::sendCorrectionWhenOneFieldDiffers(PatientChoiceWindow &window, const QString &trace)
{
    window.QPatientsAfterScroll();
    const auto chosen = window.shownPatient();
    if (!chosen || window.MatchCount != 2)
        return;
    using TextRules::trim32;
    if (trim32(chosen->neLe).isEmpty() || trim32(chosen->prenom).isEmpty() || trim32(chosen->nom).isEmpty())
        return;
    if (!trace.isEmpty())
        DebugTrace::show(trace);
    if (PatientCorrection::send(m_env.remote, Globals::ProviderID, Globals::PatientNom, Globals::PatientPrenom,
                                Globals::PatientNeLe, chosen->nom, chosen->prenom, chosen->neLe))
        Globals::PatientCorrectionSent = true;
}

void PatientIdentification::traceSearch(PatientChoiceWindow &window, const QString &ending)
{
    const QString opening = QStringLiteral("Recherche du patient dans la base de données Tolvarenix (")
                          + window.NomPatient()->text() + u'|' + window.PrenomPatient()->text() + u'|'
                          + window.EdNe()->text();
    DebugTrace::show(ending.isEmpty() ? opening + QStringLiteral("). Nombre de patients trouvés : ")
                                 + QString::number(shownRowCount(window))
                           : opening + ending);
}
