#include "views/ObservanceDisplay.h"

#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "core/MakerContact.h"
#include "views/Patients.h"
#include "views/uObservances.h"

#include "platform/Dialogs.h"
#include "platform/TextRules.h"

#include <QComboBox>
#include <QSignalBlocker>

#include <optional>

ObservanceDisplay::ObservanceDisplay(Needs needs)
    : m_needs(needs)
{
}

QString ObservanceDisplay::dateBoxText(const QString &consultation)
{
    return consultation.left(16);
}

QString ObservanceDisplay::dateBoxText(const LocalDataSet &observances, int row, int field)
{
    // Built from the stored text itself: converting each of thousands of
    // rows to a date-time costs a time-zone look-up per row.
    const QString stored = observances.storedValue(row, field).toString();
    const auto at = [&stored](int i, char c) { return stored.at(i) == QLatin1Char(c); };
    if (stored.size() != 19 || !at(4, '-') || !at(7, '-') || !at(10, ' ') || !at(13, ':') || !at(16, ':'))
        return dateBoxText(observances.displayText(row, field));
    const QString day = stored.mid(8, 2) + u'/' + stored.mid(5, 2) + u'/' + stored.left(4);
    return QStringView(stored).mid(11) == u"00:00:00" ? day : day + u' ' + stored.mid(11, 5);
}

void ObservanceDisplay::bPatientClick()
{
    std::optional<TfPatients::ChosenPatient> chosen;
    {
        TfPatients chooser(*m_needs.database, m_needs.window);
        chooser.preparePlainChoice();
        if (chooser.exec() == TfPatients::ResultChosen)
            chosen = chooser.shownPatient();
        chooser.closeQueries();
    }
    if (chosen) {
        Globals::CurrentPatientID = chosen->id;
        m_needs.window->setWindowTitle(QStringLiteral("Tolvarenix Light - ") + chosen->nom + u' ' + chosen->prenom
                              + QStringLiteral(" - né(e) le ") + chosen->neLe);
        if (!reopenObservances()) {
            clearObservances();
            return;
        }
    }
    // After a cancellation these are still the previous patient's.
    LocalQuery &observances = m_needs.database->qObservances;
    if (observances.isActive() && observances.recordCount() > 0)
        showObservances();
    else if (chosen)
        clearObservances();
}

void ObservanceDisplay::clearObservances()
{
    const QSignalBlocker quiet(m_needs.dates);
    m_needs.dates->clear();
    if (Globals::fObservance)
        Globals::fObservance->closeAndFree();
}

bool ObservanceDisplay::reopenObservances()
{
    LocalQuery &observances = m_needs.database->qObservances;
    try {
        observances.close();
        observances.setParam(QStringLiteral("patients_id"), Globals::CurrentPatientID);
        observances.open();
        return true;
    } catch (const LocalTablesError &e) {
        Dialogs::instance().warning(QStringLiteral("Erreur lors de l'ouverture des observances de ce patient : ")
                                    + e.message() + QStringLiteral("\n\nVeuillez contacter Tolvarenix au ")
                                    + MakerContact::telephone()
                                    + QStringLiteral(" si l'anomalie persiste."));
        return false;
    }
}

void ObservanceDisplay::showObservances()
{
    LocalQuery &observances = m_needs.database->qObservances;
    QComboBox *dates = m_needs.dates;
    const QSignalBlocker quiet(dates);
    dates->clear();
    // A new window builds its charts from the rows itself.
    const bool windowWasOpen = Globals::fObservance;
    if (!windowWasOpen)
        TfObservance::open(m_needs.mdiArea, &observances);
    // Read by row: moving the current row would refresh the observance
    // window's controls for every row.
    const int field = observances.fieldIndex(QStringLiteral("DATE_CONSULTATION"));
    QStringList texts;
    texts.reserve(observances.recordCount());
    for (int row = 0; row < observances.recordCount(); ++row)
        texts << dateBoxText(observances, row, field);
    dates->addItems(texts);
    if (windowWasOpen && Globals::fObservance)
        Globals::fObservance->fillSeries();
    if (observances.recNo() != 0 || observances.eof())
        observances.first();
    dates->setCurrentIndex(0);
}

void ObservanceDisplay::fDateChange()
{
    const QString text = TextRules::trim32(m_needs.dates->currentText());
    if (text.isEmpty())
        return;
    LocalQuery &observances = m_needs.database->qObservances;
    if (!observances.isActive() || observances.recordCount() == 0)
        return;
    QDateTime wanted = QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy HH:mm"));
    if (!wanted.isValid())
        wanted = QDateTime(QDate::fromString(text, QStringLiteral("dd/MM/yyyy")), QTime(0, 0));
    observances.first();
    while (observances.field(QStringLiteral("DATE_CONSULTATION")).asDateTime() != wanted
           && observances.recNo() < observances.recordCount() - 1)
        observances.next();
    if (Globals::fObservance)
        Globals::fObservance->showProviderButtons();
}
