#pragma once

#include "reception/ReportDataLine.h"

class LocalTable;

// The observance record being filled: the current record of tObservances,
// in insert state.
class ObservanceTableRecord : public ObservanceRecord
{
public:
    explicit ObservanceTableRecord(LocalTable &observances) : m_table(observances) {}
    QVariant field(const QString &name) const override;
    bool setField(const QString &name, const QVariant &value, QString *error) override;

private:
    LocalTable &m_table;
};

// The patients' documents in tImages ("Images.db"), which must be open.
class ImagesTableDocuments : public DocumentTable
{
public:
    explicit ImagesTableDocuments(LocalTable &images) : m_table(images) {}
    std::optional<int> insertDocument(int patientId, const QDateTime &dateConsultation,
                                      const QString &descriptor, QString *error) override;
    bool setAuxFileName(int imagesId, const QString &auxFileName, QString *error) override;
    bool removeDocument(int imagesId, QString *error) override;
    // Runs before each write; what it throws goes to the caller.
    void setBeforeWrite(std::function<void()> check) { m_beforeWrite = std::move(check); }

private:
    void goTo(int imagesId); // makes that document the current record
    void beforeWrite() const
    {
        if (m_beforeWrite)
            m_beforeWrite();
    }
    LocalTable &m_table;
    std::function<void()> m_beforeWrite;
};

// One data line of a report block applied to the main window's tables:
// tObservances in insert state on the block's record, tImages open.
void ImportReportLine(LocalTable &tObservances, LocalTable &tImages, const QString &line);
