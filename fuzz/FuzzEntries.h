#pragma once

// The entry functions of the fuzz targets, shared with the regression test
// that replays the saved inputs in the normal build. Each returns an empty
// text, or the invariant that the input broke.

#include "core/Globals.h"
#include "core/NameDateRoutines.h"
#include "reception/ReportDataLine.h"
#include "reception/ReportFile.h"
#include "platform/TextRules.h"
#include "platform/Windows1252.h"

#include <QBuffer>
#include <QRegularExpression>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace FuzzEntries {

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// Runs every report reader over the bytes as a report file.
inline QString reportReader(const uint8_t *data, size_t size)
{
    QByteArray bytes = bytesOf(data, size);
    const auto pass = [&bytes](auto &&read) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ReportLineReader reader(&buffer, QStringLiteral("fuzz"));
        return read(reader);
    };

    QString problem;
    pass([&](ReportLineReader &reader) {
        QString line;
        qsizetype total = 0;
        while (reader.readLine(line)) {
            total += line.size() + 1;
            if (line.size() > ReportLineReader::kMaxLineLength)
                problem = QStringLiteral("line longer than the limit");
            if (line.contains(u'\n'))
                problem = QStringLiteral("line end inside a line");
            const QString address = ReportMarkers::addressValue(line);
            if (!address.isEmpty() && !line.contains(address))
                problem = QStringLiteral("address not cut from its line");
            ReportMarkers::isEndOfBlock(line);
            ReportMarkers::isEndOfFile(line);
            ReportMarkers::isDataSectionStart(line);
            if (const std::optional<QString> date = SendDateFromFileName(line)) {
                if (!QDateTime::fromString(*date, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid())
                    problem = QStringLiteral("invalid sending date accepted: ") + *date;
            }
        }
        if (total > bytes.size() + 1)
            problem = QStringLiteral("more text than bytes");
        if (reader.failure() == ReportReadFailure::None && bytes.size() > ReportLineReader::kMaxFileSize)
            problem = QStringLiteral("oversized input read whole");
        return 0;
    });
    const bool complete = pass([](ReportLineReader &r) { return IsReportComplete(r); });
    if (complete && !bytes.contains("****"))
        problem = QStringLiteral("complete without markers");
    const QString sender = pass([](ReportLineReader &r) { return GetReportSender(r); });
    const QString recipient = pass([](ReportLineReader &r) { return GetReportRecipient(r); });
    const QString decoded = Windows1252::decode(bytes);
    if (!decoded.contains(sender) || !decoded.contains(recipient))
        problem = QStringLiteral("address not found in the file");
    if (!recipient.isEmpty() && !pass([&](ReportLineReader &r) { return ReportHasRecipient(recipient, r); }))
        problem = QStringLiteral("recipient read but not recognised");
    return problem;
}

// A record that accepts every field, for the data-line target.
class FuzzRecord : public ObservanceRecord
{
public:
    QVariant field(const QString &name) const override { return values.value(name); }
    bool setField(const QString &name, const QVariant &value, QString *) override
    {
        values.insert(name, value);
        return true;
    }
    QVariantMap values;
};

class FuzzDocuments : public DocumentTable
{
public:
    std::optional<int> insertDocument(int, const QDateTime &, const QString &, QString *) override
    {
        return ++count;
    }
    bool setAuxFileName(int, const QString &, QString *) override { return true; }
    bool removeDocument(int, QString *) override { return true; }
    int count = 0;
};

// Applies the bytes as one data line (and feeds them to the date and number
// routines the import uses on report lines). ImportFolder must name a folder
// without attachments.
inline QString dataLine(const uint8_t *data, size_t size)
{
    const QString line = Windows1252::decode(bytesOf(data, size));
    QString problem;

    const DataLineFields fields = SplitDataLine(line);
    if (fields.label.contains(u'|') || fields.key.contains(u'|') || fields.type.contains(u'|')
        || fields.value.contains(u'|'))
        problem = QStringLiteral("field holding a bar");
    if (fields.value != TextRules::trim32(fields.value))
        problem = QStringLiteral("value not trimmed");

    FuzzRecord record;
    FuzzDocuments documents;
    ReportLineImporter importer(record, documents);
    importer.setFileShower({});
    importer.ImportReportLine(line);
    if (documents.count != 0)
        problem = QStringLiteral("document registered without its file");
    for (auto it = record.values.cbegin(); it != record.values.cend(); ++it) {
        const QVariant &v = it.value();
        if (v.typeId() == QMetaType::Double && !std::isfinite(v.toDouble()))
            problem = QStringLiteral("non-finite number stored in ") + it.key();
        if (v.typeId() == QMetaType::QDateTime && !v.toDateTime().isValid())
            problem = QStringLiteral("invalid date stored in ") + it.key();
    }
    if (IsBareFileName(fields.value)
        && (fields.value.contains(u'/') || fields.value.contains(u'\\') || fields.value.startsWith(u'.')))
        problem = QStringLiteral("path accepted as a bare name");

    for (const NameRoutines::YearMode mode : {NameRoutines::YearMode::OtherDate}) {
        if (const std::optional<QString> expanded = NameRoutines::ExpandBirthYear(line, mode)) {
            if (expanded->contains(u'/'))
                problem = QStringLiteral("slash left by the year expansion");
        }
    }
    QString number = fields.value;
    if (IsFloatText(number) && !ReadLocalFloat(number))
        problem = QStringLiteral("number accepted but unreadable");
    NameRoutines::CapitalizeName(line);
    if (const std::optional<QDateTime> date = ReadShortDateTime(line); date && !date->isValid())
        problem = QStringLiteral("invalid date accepted");
    return problem;
}

} // namespace FuzzEntries
