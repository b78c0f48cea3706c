#include "core/LocalDatabase.h"

#include "core/Globals.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QFile>
#include <QFileInfo>

namespace {

FieldDef text(const char *name, int size, bool required = false)
{
    return {QString::fromLatin1(name), FieldType::String, size, required};
}

FieldDef typed(const char *name, FieldType type, bool required = false)
{
    return {QString::fromLatin1(name), type, 0, required};
}

// The key field of a table: an AutoInc field first in the layout.
IndexDef primaryOn(const QString &field, bool unique = false)
{
    return {QString(), {field}, true, unique, false};
}

const QString kPassword = QString::fromLatin1(Globals::kDatabasePassword);

// The protected table files, in the order they are created and opened.
const QStringList kProtectedFiles = {QStringLiteral("Mail.db"), QStringLiteral("Patients.db"),
                                     QStringLiteral("Images.db"), QStringLiteral("Observances.db")};

} // namespace

LocalDatabase::LocalDatabase() = default;

QList<FieldDef> LocalDatabase::mailFields()
{
    return {text("COMPTE", 150, true),     text("ADRESSE", 150, true),
            text("SERVEUR_POP3", 150),      typed("PORT_POP3", FieldType::Integer),
            typed("Secured", FieldType::Boolean), text("LOGIN", 150, true),
            text("PASSWORD", 20)};
}

QList<FieldDef> LocalDatabase::patientsFields()
{
    return {typed("PATIENTS_ID", FieldType::AutoInc, true), text("NOM", 50, true), text("PRENOM", 50, true),
            text("NE_LE", 10)};
}

QList<FieldDef> LocalDatabase::imagesFields()
{
    return {typed("Images_ID", FieldType::AutoInc, true), typed("Patients_ID", FieldType::Integer, true),
            typed("Date_Consultation", FieldType::DateTime, true), text("Descriptor", 100, true),
            typed("AuxFileName", FieldType::Memo)};
}

QList<FieldDef> LocalDatabase::observancesFields()
{
    const FieldType S = FieldType::String, F = FieldType::Float, B = FieldType::Boolean, M = FieldType::Memo;
    const struct {
        const char *name;
        FieldType type;
    } rest[] = {
        {"MOTIF_DE_CONSULTATION", M}, {"PRESTATAIRE", S}, {"TECHNICIEN", S},
        {"DATE_DE_VISITE", FieldType::DateTime}, {"TYPE_DE_VISITE", S}, {"APPAREIL", S}, {"MASQUE", S}, {"HU", S},
        {"PEP_MINI", F}, {"PEP_MAXI", F}, {"PIP_MAXI", F}, {"FR_MINI", F}, {"RAMPE", B}, {"ALARME", B},
        {"DEBIT", F}, {"TEMPS_24H", F}, {"OBSERVANCES_NUIT", F}, {"NOMBRE_DE_JOURS_OBS", F},
        {"NB_NUITS_AVEC_VENTIL", F}, {"IAH_RESIDUEL", F}, {"P_MOYENNE", F}, {"P95", F},
        {"CEPHALEES", B}, {"SECHERESSE_BUCCALE", B}, {"RHINORRHEE_CLAIRE", B}, {"RHINORRHEE_PURULENTE", B},
        {"NEZ_BOUCHE", B}, {"BRUIT_APPAREIL", B}, {"BRUIT_MASQUE", B}, {"FUITES", B},
        {"MONTE_EN_PRESSION_EVEILLA", B}, {"DOULEURS_MASQUE", B}, {"OUVERTURE_DE_LA_BOUCHE", B},
        {"AEROPHAGIE", B}, {"REVEILS_NOCTURNE", B}, {"NYCTURIE", B}, {"POIDS", FieldType::Integer},
        {"POULS", F}, {"SATURATION", F}, {"E_EPWORTH", F}, {"ATTITUDE_PRATIQUE", M}, {"COMMENTAIRES", M},
        {"ALERTE", B}, {"ALERTE_VUE", B}, {"URL", M}, {"URL_VA", M}, {"URL_ORKYN", M},
    };
    QList<FieldDef> fields = {typed("OBSERVANCES_ID", FieldType::AutoInc, true),
                              typed("PATIENTS_ID", FieldType::Integer, true),
                              typed("DATE_CONSULTATION", FieldType::DateTime, true)};
    for (const auto &field : rest)
        fields << (field.type == S ? text(field.name, 97) : typed(field.name, field.type));
    return fields;
}

QList<FieldDef> LocalDatabase::resultsFields()
{
    return {typed("Numero", FieldType::AutoInc, true), text("NomFic", 250, true), text("NomPat", 100),
            text("PrenomPat", 100), text("NePat", 10), typed("Date", FieldType::Date),
            typed("Imported", FieldType::Boolean), text("Sender", 150), text("Comment", 250)};
}

QList<IndexDef> LocalDatabase::resultsIndexes()
{
    return {primaryOn(QStringLiteral("Numero"), true),
            {QStringLiteral("FicPat"),
             {QStringLiteral("NomFic"), QStringLiteral("NomPat"), QStringLiteral("PrenomPat")},
             false, false, true}};
}

namespace {

// Table files are readable by their owner only, also those of an earlier
// version; the engine's journals take the same rights.
void keepToOwner(const QString &file)
{
    if (QFileInfo::exists(file))
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

void LocalDatabase::createAndOpen()
{
    createAndOpen(Globals::BaseFolder, ProgramFolder::configurationFile());
}

void LocalDatabase::deriveKeysAhead(const QString &baseFolder)
{
    LocalSession::addPassword(kPassword);
    LocalSession::prepareKeys(baseFolder, kProtectedFiles);
}

void LocalDatabase::createAndOpen(const QString &baseFolder, const QString &configurationFile)
{
    m_baseFolder = baseFolder;
    LocalSession::addPassword(kPassword);
    // Deriving the four keys one after the other was half of the start-up.
    LocalSession::prepareKeys(m_baseFolder, kProtectedFiles);
    // Nothing shows the observances at start-up: their rows are read when
    // something looks at them, not here.
    tObservances.setRowsOnDemand(true);
    // The schema version is the same for every table: written once (a
    // configuration write is forced to disk), also when a later table fails.
    bool created = false;
    const auto writeVersion = [&] {
        if (created)
            IniFile(configurationFile).writeInteger(QStringLiteral("Main"), QStringLiteral("DBVersion"), 1);
    };
    try {
        created = createIfMissing(TMail, kProtectedFiles.at(0), mailFields()) || created;
        created = createIfMissing(tPatients, kProtectedFiles.at(1), patientsFields()) || created;
        created = createIfMissing(tImages, kProtectedFiles.at(2), imagesFields()) || created;
        created = createIfMissing(tObservances, kProtectedFiles.at(3), observancesFields()) || created;
    } catch (const LocalTablesError &) {
        writeVersion();
        throw;
    }
    writeVersion();

    qObservances.setDatabaseName(m_baseFolder);
    qObservances.setSql({QStringLiteral("select * from Observances"),
                         QStringLiteral("where PATIENTS_ID=:patients_id"),
                         QStringLiteral("order by DATE_CONSULTATION DESC")});
    recreateResults();
    Query1.setDatabaseName(m_baseFolder);
}

bool LocalDatabase::createIfMissing(LocalTable &table, const QString &fileName, const QList<FieldDef> &fields)
{
    table.close();
    table.setDatabaseName(m_baseFolder);
    table.setTableName(fileName);
    const bool created = !table.exists();
    if (created) {
        table.fieldDefs() = fields;
        table.indexDefs().clear();
        if (fields.first().type == FieldType::AutoInc)
            table.indexDefs() << primaryOn(fields.first().name);
        table.createTable(kPassword);
    }
    table.open();
    keepToOwner(m_baseFolder + fileName);
    return created;
}

void LocalDatabase::recreateResults()
{
    tResultat.close();
    tResultat.setDatabaseName(m_baseFolder);
    tResultat.setTableName(QStringLiteral("Temp.db"));
    tResultat.setScratch(true);
    if (tResultat.exists()) {
        try {
            tResultat.deleteTable();
        } catch (const LocalTablesError &) {
            // A file that cannot be deleted stays and is used as it is.
        }
    }
    if (!tResultat.exists()) {
        tResultat.fieldDefs() = resultsFields();
        tResultat.indexDefs() = resultsIndexes();
        tResultat.createTable(QString()); // not protected
    }
    keepToOwner(m_baseFolder + QStringLiteral("Temp.db"));
}

QList<LocalTable *> LocalDatabase::mainTables()
{
    return {&TMail, &tPatients, &tImages, &tObservances};
}

void LocalDatabase::close()
{
    for (LocalTable *table : mainTables())
        table->close();
    tResultat.close();
    qObservances.close();
    Query1.close();
    LocalSession::removeAllPasswords();
}

void LocalDatabase::reopen()
{
    LocalSession::addPassword(kPassword);
    LocalSession::prepareKeys(m_baseFolder, kProtectedFiles);
    for (LocalTable *table : mainTables())
        table->open();
}
