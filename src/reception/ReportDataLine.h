#pragma once

#include "core/Common.h"

#include <QDateTime>
#include <QTimeZone>
#include <QString>
#include <QStringList>
#include <QSet>
#include <QVariant>

#include <functional>
#include <optional>
#include <utility>

// The data lines of a report block: "KORVA|label|key|type|value|...".

// The fields of a data line. A field counts only when its closing "|" is
// there: a line ending right after its value carries an empty value.
struct DataLineFields {
    QString label;
    QString key;   // as written, never trimmed
    QString type;
    QString value; // trimmed
};

DataLineFields SplitDataLine(const QString &line);

// How a value becomes the content of its field.
enum class ValueKind { Text, DateText, Number, WholeNumber, YesNo, Link };

struct ObservanceKey {
    const char *key;
    const char *field; // field of "Observances.db"
    ValueKind kind;
    bool exactCase;    // else compared upper-cased
};

// The row of the key table a key selects, or nullptr. "PJ", "SENDER" and
// "RECIPIENT" are not in this table.
const ObservanceKey *FindObservanceKey(const QString &key);

// The outcome of converting one value for its field.
struct ConvertedValue {
    enum class Outcome {
        Assign,  // the field takes value
        Keep,    // blank value: the field stays as it is
        Invalid  // the value cannot be read for this field: the field stays
    };
    Outcome outcome = Outcome::Keep;
    QVariant value; // QString, QDateTime, double, int or bool
};

// value is trimmed; Number and WholeNumber read it with the local decimal
// separator after replacing the foreign one. Dates are local times in zone
// (the system's local time when it is invalid).
ConvertedValue ConvertValue(ValueKind kind, const QString &value, const QTimeZone &zone = QTimeZone());

// A date "dd/MM/yyyy", optionally followed by "hh:mm" or "hh:mm:ss"; one-digit
// parts and two-digit years are accepted. A local time in zone, as
// Clock::local makes it.
std::optional<QDateTime> ReadShortDateTime(const QString &text, const QTimeZone &zone = QTimeZone());
// The date part of the same text, when the whole text reads.
std::optional<QDate> ReadShortDate(const QString &text);


// The observance record a block's data lines fill.
class ObservanceRecord
{
public:
    virtual ~ObservanceRecord() = default;
    virtual QVariant field(const QString &name) const = 0;
    // False with error set when the record refuses the value.
    virtual bool setField(const QString &name, const QVariant &value, QString *error) = 0;
};

// The patients' documents ("Images.db").
class DocumentTable
{
public:
    virtual ~DocumentTable() = default;
    // Stores a new document; its Images_ID, or empty with error set.
    virtual std::optional<int> insertDocument(int patientId, const QDateTime &dateConsultation,
                                              const QString &descriptor, QString *error) = 0;
    virtual bool setAuxFileName(int imagesId, const QString &auxFileName, QString *error) = 0;
    // Deletes a document record; false with error set when it stays.
    virtual bool removeDocument(int imagesId, QString *error) = 0;
};

// Applies the data lines of a report block to its observance record, its
// attached documents and the report's recipient.
class ReportLineImporter
{
public:
    ReportLineImporter(ObservanceRecord &record, DocumentTable &documents);

    // What shows a file the user has to deal with (OpenInNotepad unless replaced).
    void setFileShower(std::function<void(const QString &)> shower);

    // The zone the dates read are local times in (the system's local time
    // unless set).
    void setTimeZone(const QTimeZone &zone) { m_zone = zone; }

    // The folders (each ending with "/") a document's name is looked for in,
    // first to last; the import folder's "Attachments/" unless set.
    void setAttachmentFolders(QStringList folders);

    // Document lines then only note their names in pending: the import
    // registers them with registerDocument once the block's observance is
    // stored.
    void deferDocuments(QStringList *pending) { m_pending = pending; }

    // One data line of the block's data section. A value that cannot be read
    // leaves its field as it was and is logged; nothing here stops the import.
    void ImportReportLine(const QString &line);

    // Sources taken by a copy are never found again by any importer sharing
    // this set (a source stays until its registration is committed).
    void setClaimedSources(QSet<QString> *claimed) { m_claimed = claimed; }

    // What registrations copied: the sources, for the caller to delete once
    // the registrations are committed, and the copies in the documents folder,
    // to remove should they be undone.
    struct Copied {
        QStringList sources;
        QStringList copies;
    };
    // Registers the document of that name for the record and copies it into
    // the documents folder; true when it did. The source is then deleted or,
    // when copied is given, noted in it. A record whose copy fails is deleted:
    // it would show whatever stands under its name. Throws when it cannot be.
    bool registerDocument(const QString &name, Copied *copied = nullptr);

    // The file a document line of that name designates, or empty: a bare
    // name, found in the first attachment folder that holds it, not claimed
    // yet, and not contested in "Attachments/".
    QString findDocument(const QString &name);
    // The names findDocument found contested since the last call, once each.
    QStringList takeContested() { return std::exchange(m_contested, {}); }

private:
    void showFile(const QString &fileName);

    ObservanceRecord &m_record;
    DocumentTable &m_documents;
    std::function<void(const QString &)> m_shower;
    QStringList m_folders;
    QStringList *m_pending = nullptr;
    QSet<QString> *m_claimed = nullptr;
    QStringList m_contested;
    QTimeZone m_zone;
};
