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

// The one candidate born on the report's birth date (both years completed to
// four digits); nothing when none or several are, or its row has no key.
std::optional<PatientRow> bornOnReportDate(const QVector<PatientRow> &rows)
{
    const std::optional<QString> reportDate =
        NameRoutines::ExpandBirthYear(Globals::PatientNeLe, NameRoutines::YearMode::BirthDate);
    if (!reportDate)
        return std::nullopt;
    std::optional<PatientRow> found;
    for (const PatientRow &row : rows) {
        const std::optional<QString> date = rowBirthDate(row.identity.neLe);
        if (date && *date == *reportDate) {
            if (found)
                return std::nullopt;
            found = row;
        }
    }
    return found && found->id > 0 ? found : std::nullopt;
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

struct PatientIdentification::NameIndex {
    PatientNameIndex patients;
    // Set by any change of the patient table (a patient added, a rollback's
    // reload): the picture is then read again.
    bool stale = false;
    QObject watcher;
};

PatientIdentification::PatientIdentification(Needs environment) : m_env(std::move(environment))
{
    if (!m_env.showModal)
        m_env.showModal = [](PatientChoiceWindow &window) { return window.exec(); };
}

PatientIdentification::~PatientIdentification() = default;
PatientIdentification::PatientIdentification(PatientIdentification &&) noexcept = default;

PatientChoiceWindow &PatientIdentification::builtWindow()
{
    // Building the window is most of the cost of a report found at once.
    if (!m_window || m_windowShown) {
        m_window.reset();
        m_window = m_env.createWindow();
        m_windowShown = false;
        m_windowUsed = false;
    }
    return *m_window;
}

void PatientIdentification::prepareWindow(PatientChoiceWindow &window)
{
    if (m_windowReady)
        return;
    if (m_windowUsed)
        window.resetForNextReport();
    m_windowUsed = true;
    m_windowReady = true;
}

void PatientIdentification::showRowInWindow(PatientChoiceWindow &window, const PatientIdentity &report, const QString &label)
{
    prepareWindow(window);
    window.ObsNom = report.nom;
    window.ObsPrenom = report.prenom;
    window.ObsNeLe = report.neLe;
    {
        const QSignalBlocker nom(window.NomPatient()), prenom(window.PrenomPatient()), ne(window.EdNe());
        window.NomPatient()->setText(m_row.nom);
        window.PrenomPatient()->setText(m_row.prenom);
        window.EdNe()->setText(m_row.neLe);
    }
    // The toggles' clicks search, their state changes do not.
    if (m_row.withBirthday)
        window.SBWithBirthday()->setChecked(true);
    else
        window.SpeedButton2()->setChecked(true);
    window.bFermer()->setEnabled(false);
    window.Label1()->setText(label);
    searchInWindow(window);
}

int PatientIdentification::identify(const QString &fileName)
{
    PatientChoiceWindow &window = builtWindow();
    m_windowReady = false;
    m_found.reset();
    m_lastSearch.reset();
    // The search row of a new window.
    m_row = {};
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
    // The search row is filled as the window's edits would be, each change
    // of which would run a search over every patient, with the row as it is
    // at that change: only the last of those searches is run, at the point
    // where the change would have run it. The window itself gets the row
    // only when it is to be shown.
    const auto edited = [](const QLineEdit *edit, const QString &text) { return text.left(edit->maxLength()); };
    const bool withDate = NameRoutines::IsDateText(Globals::PatientNeLe);
    const bool dateSearch = withDate && m_row.neLe != edited(window.EdNe(), Globals::PatientNeLe);
    const SearchRow before = m_row;
    m_row.nom = edited(window.NomPatient(), Globals::PatientNom);
    m_row.prenom = edited(window.PrenomPatient(), Globals::PatientPrenom);
    const bool nameSearch = m_row.nom != before.nom || m_row.prenom != before.prenom;
    if (nameSearch && !dateSearch)
        search(window, false);
    if (withDate) {
        m_row.withBirthday = true;
        m_row.neLe = edited(window.EdNe(), Globals::PatientNeLe);
    } else {
        // The toggle is up in a new window: no search follows.
        m_row.neLe.clear();
    }
    // The toggle is down: the birth date's change searches.
    if (dateSearch)
        search(window, false);
    const QString savedBirthDate = m_row.neLe;
    traceSearch(window, {});

    // The exact searches replace whatever the edits' changes would search.
    if (shownRowCount(window) == 0 && !m_row.neLe.isEmpty()) {
        m_row.prenom.clear();
        search(window, true);
        traceSearch(window, {});
    }
    if (shownRowCount(window) == 0 && !Globals::PatientPrenom.isEmpty()) {
        m_row.withBirthday = false;
        m_row.neLe.clear();
        m_row.prenom = edited(window.PrenomPatient(), Globals::PatientPrenom);
        search(window, true);
        traceSearch(window, {});
    }

    QString label = QStringLiteral("Un document a été trouvé pour ")
                  + (Globals::PatientPrenom.isEmpty() ? QStringLiteral("[prénom inconnu]") : Globals::PatientPrenom)
                  + u' '
                  + (Globals::PatientNom.isEmpty() ? QStringLiteral("[nom inconnu]")
                                                   : TextRules::upperAZ(Globals::PatientNom));
    if (!savedBirthDate.isEmpty())
        label += QStringLiteral(" (né(e) le ") + savedBirthDate + u')';

    if (m_found) {
        if (const std::optional<int> id = settledInMemory(report, fileName))
            return *id;
    }
    // The window may show: it holds the search row, and its grid what its
    // own query gives.
    showRowInWindow(window, report, label);
    switch (shownRowCount(window)) {
    case 0:
        return noRow(window, fileName, savedBirthDate);
    case 1:
        return oneRow(window, fileName);
    default:
        return severalRows(window, fileName);
    }
}

void PatientIdentification::search(PatientChoiceWindow &window, bool exact)
{
    const PatientSearchInput input{m_row.nom, m_row.prenom, m_row.neLe, m_row.withBirthday};
    Search last{exact ? PatientSearch::exact(input) : PatientSearch::incremental(input), exact};
    if (const PatientNameIndex *index = nameIndex(window)) {
        if (std::optional<QVector<PatientRow>> rows = index->find(last.criteria)) {
            m_found = std::move(rows);
            m_lastSearch = std::move(last);
            return;
        }
    }
    m_found.reset();
    m_lastSearch = std::move(last);
    searchInWindow(window);
}

void PatientIdentification::searchInWindow(PatientChoiceWindow &window)
{
    m_found.reset();
    if (!m_lastSearch)
        return;
    prepareWindow(window);
    const Search last = *std::exchange(m_lastSearch, std::nullopt);
    window.applySearch(last.criteria, last.exact);
    if (!last.exact)
        return;
    // The exact search is prepared only: it is opened here, a failure
    // showing no row.
    try {
        if (LocalQuery *query = window.shownQuery(); query && !query->isActive())
            query->open();
    } catch (const std::exception &error) {
        LogWriter::write(QStringLiteral("Recherche de patients (exacte) : ") + QString::fromUtf8(error.what()));
    }
}

int PatientIdentification::shownRowCount(const PatientChoiceWindow &window) const
{
    if (m_found)
        return int(m_found->size());
    const LocalQuery *query = window.shownQuery();
    return query && query->isActive() ? query->recordCount() : 0;
}

const PatientNameIndex *PatientIdentification::nameIndex(PatientChoiceWindow &window)
{
    if (m_index && m_index->stale)
        m_index.reset();
    if (!m_index) {
        try {
            auto index = std::make_unique<NameIndex>();
            index->patients = PatientNameIndex::read(window.QPatients.databaseName());
            LocalTable &table = window.patientTable();
            NameIndex *raw = index.get();
            const auto changed = [raw] { raw->stale = true; };
            QObject::connect(&table, &LocalDataSet::rowsChanged, &raw->watcher, changed);
            QObject::connect(&table, &LocalDataSet::afterOpen, &raw->watcher, changed);
            QObject::connect(&table, &LocalDataSet::afterClose, &raw->watcher, changed);
            m_index = std::move(index);
        } catch (const std::exception &) {
            // Not lost: the window's own search meets the same fault and
            // writes it to the log.
            return nullptr;
        }
    }
    return &m_index->patients;
}

std::optional<int> PatientIdentification::settledInMemory(const PatientIdentity &report, const QString &fileName)
{
    const QVector<PatientRow> &rows = *m_found;
    if (rows.size() == 1) {
        const PatientRow &row = rows.front();
        if (PatientSearch::matchCount(report, row.identity) != 3)
            return std::nullopt;
        DebugTrace::show([&] {
            return QStringLiteral("Gestion du fichier ") + Globals::ImportFolder + fileName + kLineBreak
                 + QStringLiteral("Patient trouvé : ") + QString::number(row.id);
        });
        return settledOne(fileName, row);
    }
    if (rows.size() > 1) {
        const std::optional<PatientRow> born = bornOnReportDate(rows);
        if (!born)
            return std::nullopt;
        announceSeveral(fileName);
        Globals::PatientNeLe = born->identity.neLe;
        return born->id;
    }
    return std::nullopt;
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
        window.bDoNotImport()->setVisible(true);
        result = askUser(window);
    }

    int id;
    if (result != PatientChoiceWindow::ResultChosen) {
        id = unanswered(result);
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
    DebugTrace::show(QStringLiteral("Gestion du fichier ") + Globals::ImportFolder + fileName + kLineBreak
          + QStringLiteral("Patient trouvé : ") + QString::number(chosen->id));

    // Anything less than the report's identity (case and accents aside) is
    // the physician's to confirm.
    window.QPatientsAfterScroll();
    if (window.MatchCount != 3)
        return confirmInWindow(window, fileName,
                               QStringLiteral("Gestion du ") + Globals::ImportFolder + fileName + kLineBreak
                                   + QStringLiteral("Envoi de modifications d'identification au prestataire..."));
    return settledOne(fileName, {chosen->id, {chosen->nom, chosen->prenom, chosen->neLe}});
}

int PatientIdentification::settledOne(const QString &fileName, const PatientRow &row)
{
    const PatientIdentity &chosen = row.identity;
    // The same identity written otherwise: nothing to correct at the
    // provider's, the stored writing is taken.
    const bool sameIdentity = chosen.nom == Globals::PatientNom && chosen.prenom == Globals::PatientPrenom
                           && chosen.neLe == Globals::PatientNeLe;
    if (ReportName::isProviderReport(fileName) && Globals::ProviderReachable && !sameIdentity) {
        Globals::PatientNeLe = chosen.neLe;
        if (TextRules::upperAZ(Globals::PatientPrenom) != TextRules::upperAZ(chosen.prenom))
            Globals::PatientPrenom = chosen.prenom;
        DebugTrace::show(QStringLiteral("Gestion du ") + Globals::ImportFolder + fileName + kLineBreak
              + QStringLiteral("Patient : ") + Globals::PatientNom + QStringLiteral(" | ")
              + Globals::PatientPrenom + QStringLiteral(" | ") + Globals::PatientNeLe);
    }
    return row.id;
}

void PatientIdentification::announceSeveral(const QString &fileName)
{
    if (m_env.openReport)
        m_env.openReport(Globals::ImportFolder + fileName);
    DebugTrace::show(QStringLiteral("Résultat de la recherche du patient dans la base de données Tolvarenix : plusieurs patients "
                         "ont été trouvés."));
}

int PatientIdentification::severalRows(PatientChoiceWindow &window, const QString &fileName)
{
    announceSeveral(fileName);
    // Every candidate, the grid left on the last one.
    QVector<PatientRow> rows;
    LocalQuery *query = window.shownQuery();
    for (;;) {
        rows.append({query->field(QStringLiteral("PATIENTS_ID")).asInteger(),
                     {{}, {}, query->field(QStringLiteral("NE_LE")).asString()}});
        if (query->recNo() >= query->recordCount() - 1)
            break;
        query->next();
    }
    if (const std::optional<PatientRow> born = bornOnReportDate(rows)) {
        Globals::PatientNeLe = born->identity.neLe;
        return born->id;
    }
    return confirmInWindow(window, fileName);
}

int PatientIdentification::confirmInWindow(PatientChoiceWindow &window, const QString &fileName,
                                           const QString &correctionTrace)
{
    DebugTrace::show(QStringLiteral("Résultat de la recherche du patient dans la base de données Tolvarenix - affichage de la "
                         "fenêtre de sélection d'un patient."));
    window.bAjouter()->setVisible(true);
    window.bDoNotImport()->setVisible(true);
    if (const int result = askUser(window); result != PatientChoiceWindow::ResultChosen)
        return unanswered(result);
    if (ReportName::isProviderReport(fileName) && Globals::ProviderReachable && m_env.remote.connect
        && m_env.remote.connect(true))
        sendCorrectionWhenOneFieldDiffers(window, correctionTrace);
    const int id = takeChosen(window);
    DebugTrace::show(QStringLiteral("Gestion du ") + Globals::ImportFolder + fileName + kLineBreak + QStringLiteral("Patient : ")
          + Globals::PatientNom + QStringLiteral(" | ") + Globals::PatientPrenom + QStringLiteral(" | ")
          + Globals::PatientNeLe);
    return id;
}

int PatientIdentification::askUser(PatientChoiceWindow &window)
{
    // What the user did in it stays: the next report gets a new window,
    // and the patient table is read again.
    m_windowShown = true;
    m_index.reset();
    for (;;) {
        const int result = m_env.showModal(window);
        // A key pressed by accident must not refuse a report: only "Ne pas
        // importer" declines it.
        if (result != PatientChoiceWindow::ResultChosen)
            return result == PatientChoiceWindow::ResultDoNotImport ? result : PatientChoiceWindow::ResultCancelled;
        if (LocalQuery *query = window.shownQuery(); query && !query->isActive())
            query->open();
        // A choice of nothing cannot stand: the window comes back.
        if (window.shownPatient())
            return result;
    }
}

int PatientIdentification::unanswered(int result)
{
    if (result != PatientChoiceWindow::ResultDoNotImport)
        return kLeftWaiting;
    if (m_env.addResultLine)
        m_env.addResultLine(QStringLiteral("Patient inconnu"));
    return kDeclined;
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
    const QString opening = QStringLiteral("Recherche du patient dans la base de données Tolvarenix (") + m_row.nom
                          + u'|' + m_row.prenom + u'|' + m_row.neLe;
    DebugTrace::show(ending.isEmpty() ? opening + QStringLiteral("). Nombre de patients trouvés : ")
                                 + QString::number(shownRowCount(window))
                           : opening + ending);
}
