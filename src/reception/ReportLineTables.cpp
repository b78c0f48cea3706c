#include "reception/ReportLineTables.h"

#include "platform/LocalTables.h"

QVariant ObservanceTableRecord::field(const QString &name) const
{
    try {
        return m_table.field(name).value();
    } catch (const LocalTablesError &) {
        return QVariant(); // an unreadable field counts as empty
    }
}

bool ObservanceTableRecord::setField(const QString &name, const QVariant &value, QString *error)
{
    try {
        m_table.field(name).setValue(value);
        return true;
    } catch (const LocalTablesError &e) {
        if (error)
            *error = e.message();
        return false;
    }
}

std::optional<int> ImagesTableDocuments::insertDocument(int patientId, const QDateTime &dateConsultation,
                                                        const QString &descriptor, QString *error)
{
    beforeWrite();
    try {
        m_table.append();
        m_table.field(QStringLiteral("Patients_ID")).setAsInteger(patientId);
        m_table.field(QStringLiteral("Date_Consultation")).setAsDateTime(dateConsultation);
        m_table.field(QStringLiteral("Descriptor")).setAsString(descriptor);
        m_table.post();
        return m_table.field(QStringLiteral("Images_ID")).asInteger();
    } catch (const LocalTablesError &e) {
        if (m_table.state() == LocalDataSet::State::Insert || m_table.state() == LocalDataSet::State::Edit)
            m_table.cancel();
        if (error)
            *error = e.message();
        return std::nullopt;
    }
}

void ImagesTableDocuments::goTo(int imagesId)
{
    if (m_table.field(QStringLiteral("Images_ID")).asInteger() != imagesId
        && !m_table.locate({QStringLiteral("Images_ID")}, {imagesId}))
        throw LocalTablesError(QStringLiteral("document %1 introuvable").arg(imagesId));
}

bool ImagesTableDocuments::setAuxFileName(int imagesId, const QString &auxFileName, QString *error)
{
    beforeWrite();
    try {
        goTo(imagesId);
        m_table.edit();
        m_table.field(QStringLiteral("AuxFileName")).setAsString(auxFileName);
        m_table.post();
        return true;
    } catch (const LocalTablesError &e) {
        if (m_table.state() == LocalDataSet::State::Insert || m_table.state() == LocalDataSet::State::Edit)
            m_table.cancel();
        if (error)
            *error = e.message();
        return false;
    }
}

bool ImagesTableDocuments::removeDocument(int imagesId, QString *error)
{
    beforeWrite();
    try {
        goTo(imagesId);
        m_table.deleteRecord();
        return true;
    } catch (const LocalTablesError &e) {
        if (error)
            *error = e.message();
        return false;
    }
}

void ImportReportLine(LocalTable &tObservances, LocalTable &tImages, const QString &line)
{
    ObservanceTableRecord record(tObservances);
    ImagesTableDocuments documents(tImages);
    ReportLineImporter(record, documents).ImportReportLine(line);
}
