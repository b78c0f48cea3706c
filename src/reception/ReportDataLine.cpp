#include "reception/ReportDataLine.h"

#include "platform/Clock.h"

#include "core/Common.h"
#include "platform/DecimalSeparator.h"
#include "core/Globals.h"
#include "core/LogWriter.h"
#include "core/ReportName.h"
#include "core/NameDateRoutines.h"
#include "platform/TextRules.h"
#include "reception/VerifiedCopy.h"
#include "reception/WaitingDocuments.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <iterator>
#include <limits>
#include <stdexcept>

namespace {

// In the order in which keys are compared.
constexpr ObservanceKey kKeys[] = {
    {"OBS_TECHNICIEN", "TECHNICIEN", ValueKind::Text, false},
    {"OBS_TYPE_VISITE", "TYPE_DE_VISITE", ValueKind::Text, false},
    {"OBS_APPAREIL", "APPAREIL", ValueKind::Text, false},
    {"OBS_MASQUE", "MASQUE", ValueKind::Text, false},
    {"OBS_HU", "HU", ValueKind::Text, false},
    {"OBS_DATE_VISITE", "DATE_DE_VISITE", ValueKind::DateText, false},
    {"OBS_POIDS", "POIDS", ValueKind::WholeNumber, false},
    {"OBS_PEP_MINI", "PEP_MINI", ValueKind::Number, false},
    {"OBS_PEP_MAXI", "PEP_MAXI", ValueKind::Number, false},
    {"OBS_PIP_MAXI", "PIP_MAXI", ValueKind::Number, false},
    {"OBS_FR_MINI", "FR_MINI", ValueKind::Number, false},
    {"OBS_OBS_PAR_NUIT", "OBSERVANCES_NUIT", ValueKind::Number, false},
    {"OBS_NB_JOUR_OBS", "NOMBRE_DE_JOURS_OBS", ValueKind::Number, false},
    {"OBS_DEBIT", "DEBIT", ValueKind::Number, false},
    {"OBS_NB_NUITS_VENTIL", "NB_NUITS_AVEC_VENTIL", ValueKind::Number, false},
    {"OBS_IAH_RES", "IAH_RESIDUEL", ValueKind::Number, false},
    {"OBS_TEMPS_24_H", "TEMPS_24H", ValueKind::Number, false},
    {"OBS_P_MOY", "P_MOYENNE", ValueKind::Number, false},
    {"OBS_P95", "P95", ValueKind::Number, false},
    {"OBS_POULS", "POULS", ValueKind::Number, false},
    {"OBS_SAO2", "SATURATION", ValueKind::Number, false},
    {"OBS_EPWORTH", "E_EPWORTH", ValueKind::Number, false},
    {"OBS_RAMPE", "RAMPE", ValueKind::YesNo, false},
    {"OBS_ALARME", "ALARME", ValueKind::YesNo, false},
    {"OBS_SECHERESSE_BUCCALE", "SECHERESSE_BUCCALE", ValueKind::YesNo, false},
    {"OBS_BRUIT_APPAREIL", "BRUIT_APPAREIL", ValueKind::YesNo, false},
    {"OBS_NEZ_BOUCHE", "NEZ_BOUCHE", ValueKind::YesNo, false},
    {"OBS_MONTEE_PRESSION_EVEILLANTE", "MONTE_EN_PRESSION_EVEILLA", ValueKind::YesNo, false},
    {"OBS_RHINORHEE_CLAIRE", "RHINORRHEE_CLAIRE", ValueKind::YesNo, false},
    {"OBS_BRUIT_MASQUE", "BRUIT_MASQUE", ValueKind::YesNo, false},
    {"OBS_OUVERTURE_BOUCHE", "OUVERTURE_DE_LA_BOUCHE", ValueKind::YesNo, false},
    {"OBS_DOULEURS_MASQUE", "DOULEURS_MASQUE", ValueKind::YesNo, false},
    {"OBS_RHINORHEE_PURULENTE", "RHINORRHEE_PURULENTE", ValueKind::YesNo, false},
    {"OBS_FUITES", "FUITES", ValueKind::YesNo, false},
    {"OBS_AEROPHAGIE", "AEROPHAGIE", ValueKind::YesNo, false},
    {"OBS_REVEILS_NOCTURNES", "REVEILS_NOCTURNE", ValueKind::YesNo, false},
    {"OBS_ALERTE", "ALERTE", ValueKind::YesNo, false},
    {"OBS_URL", "URL", ValueKind::Link, true},
    {"OBS_URL_VA", "URL_VA", ValueKind::Link, true},
    {"OBS_URL_ORKYN", "URL_ORKYN", ValueKind::Link, true},
};

ConvertedValue assign(QVariant value)
{
    return {ConvertedValue::Outcome::Assign, std::move(value)};
}

ConvertedValue keep()
{
    return {ConvertedValue::Outcome::Keep, {}};
}

ConvertedValue invalid()
{
    return {ConvertedValue::Outcome::Invalid, {}};
}

std::optional<int> readInteger(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]{1,10}$"));
    const QString t = TextRules::trim32(text);
    if (!pattern.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    const int value = t.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

ConvertedValue wholeNumber(const QString &value)
{
    QString normalised = value;
    if (!IsFloatText(normalised))
        return invalid();
    if (normalised.contains(DecimalSeparator::system())) {
        const double rounded = std::nearbyint(*ReadLocalFloat(normalised));
        if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max())
            return invalid();
        return assign(static_cast<int>(rounded));
    }
    const std::optional<int> whole = readInteger(normalised);
    return whole ? assign(*whole) : invalid();
}

} // namespace

DataLineFields SplitDataLine(const QString &line)
{
    // Field n stands between the n-th bar and the next one; only the first
    // five fields are looked at.
    QStringView closed[5];
    qsizetype start = 0;
    for (int n = 0; n < 5; ++n) {
        const qsizetype bar = line.indexOf(u'|', start);
        if (bar < 0)
            break;
        closed[n] = QStringView(line).sliced(start, bar - start);
        start = bar + 1;
    }
    DataLineFields fields;
    fields.label = closed[1].toString();
    fields.key = closed[2].toString();
    fields.type = closed[3].toString();
    fields.value = TextRules::trim32View(closed[4]).toString();
    return fields;
}

const ObservanceKey *FindObservanceKey(const QString &key)
{
    for (const ObservanceKey &row : kKeys)
        if (!row.exactCase && TextRules::equalsUpperAZ(key, QLatin1StringView(row.key)))
            return &row;
    if (key.startsWith(QLatin1String("OBS_URL")))
        for (const ObservanceKey &row : kKeys)
            if (row.exactCase && key == QLatin1String(row.key))
                return &row;
    return nullptr;
}

namespace {

// Up to maxDigits ASCII digits from pos on; their value, or empty when
// there is none.
std::optional<int> readDigits(QStringView text, qsizetype &pos, int maxDigits, int *count = nullptr)
{
    int value = 0;
    int n = 0;
    while (n < maxDigits && pos < text.size() && text.at(pos) >= u'0' && text.at(pos) <= u'9') {
        value = value * 10 + (text.at(pos).unicode() - u'0');
        ++pos;
        ++n;
    }
    if (count)
        *count = n;
    return n > 0 ? std::optional<int>(value) : std::nullopt;
}

bool readChar(QStringView text, qsizetype &pos, char16_t c)
{
    if (pos >= text.size() || text.at(pos) != c)
        return false;
    ++pos;
    return true;
}

// "d/M/y" with 1 or 2 digits for the day and month and 1, 2 or 4 for the
// year, optionally followed by spaces and "h:m" or "h:m:s" (1 or 2 digits
// each); read by hand, as every report line holding a date goes through it.
std::optional<std::pair<QDate, QTime>> readShortDateParts(const QString &text)
{
    const QStringView t = TextRules::trim32View(text);
    qsizetype pos = 0;
    int yearDigits = 0;
    const std::optional<int> day = readDigits(t, pos, 2);
    if (!day || !readChar(t, pos, u'/'))
        return std::nullopt;
    const std::optional<int> month = readDigits(t, pos, 2);
    if (!month || !readChar(t, pos, u'/'))
        return std::nullopt;
    std::optional<int> year = readDigits(t, pos, 4, &yearDigits);
    if (!year)
        return std::nullopt;
    QTime time(0, 0);
    if (pos < t.size()) {
        if (t.at(pos) != u' ')
            return std::nullopt;
        while (pos < t.size() && t.at(pos) == u' ')
            ++pos;
        const std::optional<int> hour = readDigits(t, pos, 2);
        if (!hour || !readChar(t, pos, u':'))
            return std::nullopt;
        const std::optional<int> minute = readDigits(t, pos, 2);
        if (!minute)
            return std::nullopt;
        std::optional<int> second = 0;
        if (readChar(t, pos, u':') && !(second = readDigits(t, pos, 2)))
            return std::nullopt;
        if (pos != t.size())
            return std::nullopt;
        time = QTime(*hour, *minute, *second);
    }
    if (yearDigits <= 2)
        *year += *year > CurrentTwoDigitYear() ? 1900 : 2000;
    else if (yearDigits == 3)
        return std::nullopt;
    const QDate date(*year, *month, *day);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return std::pair{date, time};
}

} // namespace

std::optional<QDateTime> ReadShortDateTime(const QString &text, const QTimeZone &zone)
{
    const auto parts = readShortDateParts(text);
    if (!parts)
        return std::nullopt;
    return Clock::local(parts->first, parts->second, zone);
}

std::optional<QDate> ReadShortDate(const QString &text)
{
    const auto parts = readShortDateParts(text);
    return parts ? std::optional<QDate>(parts->first) : std::nullopt;
}

ConvertedValue ConvertValue(ValueKind kind, const QString &value, const QTimeZone &zone)
{
    const bool blank = TextRules::trim32View(value).isEmpty();
    switch (kind) {
    case ValueKind::Link:
        return assign(value);
    case ValueKind::Text:
        return blank ? keep() : assign(value);
    case ValueKind::YesNo:
        return blank ? keep() : assign(value == QLatin1String("True"));
    case ValueKind::DateText: {
        if (blank)
            return keep();
        const std::optional<QDateTime> date = ReadShortDateTime(value, zone);
        return date ? assign(*date) : invalid();
    }
    case ValueKind::Number: {
        if (blank)
            return keep();
        QString normalised = value;
        if (!IsFloatText(normalised))
            return invalid();
        return assign(*ReadLocalFloat(normalised));
    }
    case ValueKind::WholeNumber:
        return blank ? keep() : wholeNumber(value);
    }
    return keep();
}

ReportLineImporter::ReportLineImporter(ObservanceRecord &record, DocumentTable &documents)
    : m_record(record)
    , m_documents(documents)
    , m_shower(OpenInNotepad)
    , m_folders{ReportName::attachmentsRoot()}
{
}

void ReportLineImporter::setAttachmentFolders(QStringList folders)
{
    m_folders = std::move(folders);
}

void ReportLineImporter::setFileShower(std::function<void(const QString &)> shower)
{
    m_shower = std::move(shower);
}

void ReportLineImporter::showFile(const QString &fileName)
{
    if (m_shower)
        m_shower(fileName);
}

void ReportLineImporter::ImportReportLine(const QString &line)
{
    const DataLineFields fields = SplitDataLine(line);
    if (fields.key == QLatin1String("PJ")) {
        if (m_pending)
            *m_pending << fields.value;
        else
            registerDocument(fields.value);
        return;
    }
    if (fields.key == QLatin1String("SENDER"))
        return; // the sender comes from the report's own sender line
    if (fields.key == QLatin1String("RECIPIENT")) {
        Globals::ReportRecipient = fields.value;
        return;
    }
    const ObservanceKey *row = FindObservanceKey(fields.key);
    if (!row)
        return;
    const ConvertedValue converted = ConvertValue(row->kind, fields.value, m_zone);
    switch (converted.outcome) {
    case ConvertedValue::Outcome::Assign: {
        QString error;
        if (!m_record.setField(QLatin1String(row->field), converted.value, &error))
            LogWriter::write(QStringLiteral("Impossible d'enregistrer la valeur [") + fields.value
                             + QStringLiteral("] de la clé [") + fields.key + QStringLiteral("] : ") + error);
        break;
    }
    case ConvertedValue::Outcome::Keep:
        break;
    case ConvertedValue::Outcome::Invalid:
        LogWriter::write(QStringLiteral("Valeur [") + fields.value + QStringLiteral("] de la clé [")
                         + fields.key + QStringLiteral("] illisible : le champ ")
                         + QLatin1String(row->field) + QStringLiteral(" reste inchangé."));
        break;
    }
}

// In the first of the attachment folders that holds a file of that name,
// whatever its case (an exact match first): the one not claimed yet, or
// nothing; a link is refused rather than followed. A later folder is never
// looked in then: its file may wait for another report. A name contested in
// "Attachments/" designates nothing, and is noted for takeContested().
QString ReportLineImporter::findDocument(const QString &name)
{
    if (name.isEmpty())
        return {};
    // A hidden file of the message is a document like any other.
    if (!IsBareFileName(name, DotNames::Included)) {
        LogWriter::write(QStringLiteral("Pièce jointe refusée : le nom [") + name
                         + QStringLiteral("] n'est pas un simple nom de fichier."));
        return {};
    }
    for (const QString &folder : m_folders) {
        QStringList names{name};
        if (!QFileInfo::exists(folder + name) && !QFileInfo(folder + name).isSymLink()) {
            names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
            names.removeIf([&name](const QString &other) { return other.compare(name, Qt::CaseInsensitive) != 0; });
        }
        bool claimed = false;
        for (const QString &found : std::as_const(names)) {
            const QString path = folder + found;
            const QFileInfo info(path);
            if (m_claimed && m_claimed->contains(path)) {
                claimed = true;
                continue;
            }
            if (info.isSymLink()) {
                LogWriter::write(QStringLiteral("Pièce jointe refusée : [") + path
                                 + QStringLiteral("] est un lien symbolique."));
                return {};
            }
            if (!info.isFile())
                continue;
            if (folder != ReportName::attachmentsRoot())
                return path;
            // Two different files received under that name are both kept:
            // neither is given to a report.
            const QStringList contested = WaitingDocuments::contested(folder, name);
            if (contested.isEmpty())
                return path;
            LogWriter::write(QStringLiteral("Pièce jointe [") + name
                             + QStringLiteral("] non enregistrée : plusieurs fichiers différents reçus sous ce nom "
                                              "sont conservés [")
                             + contested.join(QStringLiteral("], [")) + u']');
            if (!m_contested.contains(name))
                m_contested << name;
            return {};
        }
        if (claimed)
            return {};
    }
    return {};
}

bool ReportLineImporter::registerDocument(const QString &name, Copied *copied)
{
    const QString source = findDocument(name);
    if (source.isEmpty())
        return false;

    const int patientId = m_record.field(QStringLiteral("PATIENTS_ID")).toInt();
    const QDateTime dateConsultation = m_record.field(QStringLiteral("DATE_CONSULTATION")).toDateTime();
    const auto failed = [&](const QString &error) {
        LogWriter::write(QStringLiteral("Erreur survenue lors de l'enregistrement de la pièce jointe nommée [")
                         + name + QStringLiteral("] :") + error);
        showFile(source);
    };

    QString error;
    const std::optional<int> imagesId = m_documents.insertDocument(patientId, dateConsultation, name, &error);
    if (!imagesId) {
        failed(error);
        return false;
    }
    // A long name is cut to what the file system takes, keeping its extension.
    const QString storedName = TextRules::fitFileName(QString::number(*imagesId) + u'_' + name);
    if (!m_documents.setAuxFileName(*imagesId, storedName, &error)) {
        failed(error);
        return false;
    }
    const QString docs = Globals::BaseFolder + QStringLiteral("Docs/");
    QDir().mkpath(docs);
    const QString destination = docs + storedName;
    if (CopyFileVerified(source, destination, &error)) {
        if (m_claimed)
            m_claimed->insert(source);
        if (copied) {
            copied->sources << source;
            copied->copies << destination;
        } else {
            DeleteFileIfExists(source);
        }
        return true;
    }
    LogWriter::write(QStringLiteral("Impossible de copier le fichier [") + source + QStringLiteral("] vers [")
                     + destination + QStringLiteral("].") + QChar(13)
                     + QStringLiteral("Veuillez effectuer cette copie manuellement puis effacer le fichier d'origine."));
    if (!m_documents.removeDocument(*imagesId, &error))
        throw std::runtime_error((QStringLiteral("document ") + QString::number(*imagesId)
                                  + QStringLiteral(" enregistré sans sa copie : ") + error).toStdString());
    showFile(source);
    return false;
}
