#pragma once

#include "core/LogWriter.h"
#include "platform/LocalTables.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The checks each report's observance goes through before it is stored,
// for one run: whether the patient has it already, and which consultation
// time is free. Their statements are built once for the run and run with
// the record's values bound by position.
//
// The keys of every observance (key, patient, consultation time) are copied
// into the connection's temporary database (kept in memory: nothing of it
// reaches a file) with an index, for these checks: the table file has no
// index on the patient, so asking it alone would read every observance for
// every report. Made from one read of the table, inside the same transaction
// as what is written to the table meanwhile, so a rollback takes the copy
// back with the table. The import adds the key of each observance it
// stores; triggers follow changed and deleted rows. A trigger on new rows
// would make the engine copy aside (and encrypt) every page an observance
// touches, for each report: rows stored otherwise during the run are found
// by their keys instead, the table numbering its rows upwards (a new row's
// key is above every key the copy holds). Dropped at the end of the run. The
// copy finds the candidate rows; the table's own test decides, as without
// it.
class ObservanceChecks
{
public:
    explicit ObservanceChecks(const QString &folder)
    {
        m_query.setDatabaseName(folder);
        for (LocalCommand *command : {&m_sameContent, &m_sameTime, &m_keyAdded, &m_inStep, &m_catchUp, &m_remove})
            command->setDatabaseName(folder);
        m_keyAdded.setSqlText(QStringLiteral("insert or replace into temp.ImportObservanceKeys values (?1, ?2, ?3)"));
        m_inStep.setSqlText(QStringLiteral("select (select max(OBSERVANCES_ID) from Observances) is "
                                           "(select max(OBSERVANCES_ID) from temp.ImportObservanceKeys)"));
        m_catchUp.setSqlText(QStringLiteral(
            "insert or replace into temp.ImportObservanceKeys select OBSERVANCES_ID, PATIENTS_ID, DATE_CONSULTATION "
            "from Observances where OBSERVANCES_ID > ifnull((select max(OBSERVANCES_ID) from "
            "temp.ImportObservanceKeys), -1)"));
        m_remove.setSqlText(QStringLiteral("delete from Observances where OBSERVANCES_ID = ?1"));
        makeKeyCopy();
        m_sameTime.setSqlText(patientRows(QStringLiteral("count(*)"))
                              + QStringLiteral("o.Patients_ID = ?1 and o.DATE_CONSULTATION = ?2")
                              + (m_keyCopy ? QStringLiteral(" and k.DATE_CONSULTATION = ?2") : QString()));
    }
    ~ObservanceChecks() { dropKeyCopy(); }
    ObservanceChecks(const ObservanceChecks &) = delete;
    ObservanceChecks &operator=(const ObservanceChecks &) = delete;

    // The consultation time (as stored) of an observance of the record's
    // patient with the same content (everything but its key and consultation
    // time), or null when the patient has none.
    QVariant alreadyStored(LocalDataSet &record)
    {
        keepInStep();
        if (!m_layout.isSharedWith(record.fields()))
            followLayout(record);
        m_values[0] = record.field(m_patientField).storedValue();
        for (int i = 0; i < m_compared.size(); ++i)
            m_values[i + 1] = record.field(m_compared.at(i)).storedValue();
        return m_sameContent.firstValue(m_values);
    }

    // The first consultation time from this one on, minute by minute, that
    // the patient has no observance at.
    QDateTime freeConsultationTime(int patientId, QDateTime time)
    {
        keepInStep();
        while (m_sameTime.firstValue({patientId, time}).toLongLong() > 0)
            time = time.addSecs(60);
        return time;
    }

    // The record's observance was just stored under this key.
    void added(int id, LocalDataSet &record)
    {
        if (m_keyCopy)
            m_keyAdded.firstValue({id, record.field(QStringLiteral("PATIENTS_ID")).storedValue(),
                                   record.field(QStringLiteral("DATE_CONSULTATION")).storedValue()});
    }

    // Deletes a stored observance (its key leaves the copy by trigger).
    void removeObservance(int id) { m_remove.firstValue({id}); }

private:
    // Rows stored by others since the copy last took a key are taken now.
    void keepInStep()
    {
        if (m_keyCopy && m_inStep.firstValue({}).toLongLong() != 1)
            m_catchUp.firstValue({});
    }

    // The statement of the content check for the record's fields: every
    // field but the key, the patient and the consultation time, compared
    // with IS (an empty value is stored as null) to its stored value, which
    // binds as the same parameter as the typed value without reading a date
    // back through the time zone.
    void followLayout(LocalDataSet &record)
    {
        const QList<FieldDef> &fields = record.fields();
        QStringList names;
        for (const FieldDef &def : fields)
            names << def.name;
        if (names != m_names) {
            m_patientField = record.fieldIndex(QStringLiteral("PATIENTS_ID"));
            if (m_patientField < 0)
                record.field(QStringLiteral("PATIENTS_ID")); // throws, naming the field
            QStringList conditions{QStringLiteral("o.PATIENTS_ID = ?1")};
            m_compared.clear();
            for (int i = 0; i < fields.size(); ++i) {
                const QString field = fields.at(i).name.toUpper();
                if (field == QLatin1String("OBSERVANCES_ID") || field == QLatin1String("DATE_CONSULTATION")
                    || field == QLatin1String("PATIENTS_ID"))
                    continue;
                m_compared << i;
                conditions << QStringLiteral("o.\"") + fields.at(i).name + QStringLiteral("\" IS ?")
                                  + QString::number(m_compared.size() + 1);
            }
            m_sameContent.setSqlText(patientRows(QStringLiteral("o.DATE_CONSULTATION"))
                                     + conditions.join(QStringLiteral(" and ")) + QStringLiteral(" limit 1"));
            m_values = QVariantList(m_compared.size() + 1);
            m_names = names;
        }
        m_layout = fields;
    }

    // The start of a selection of what from the patient's observances (?1),
    // "o", up to their conditions. With the copy: the copy's rows of the
    // patient, each joined to its observance by its key (unique, so each
    // observance counts once), in that order whatever the engine would guess.
    QString patientRows(const QString &what) const
    {
        return QStringLiteral("select ") + what
             + (m_keyCopy ? QStringLiteral(" from temp.ImportObservanceKeys k cross join Observances o "
                                           "on o.OBSERVANCES_ID = k.OBSERVANCES_ID where k.PATIENTS_ID = ?1 and ")
                          : QStringLiteral(" from Observances o where "));
    }

    void makeKeyCopy()
    {
        try {
            // An engine built to keep temporary tables in files would write
            // the copy out in plain.
            m_query.setSqlText(QStringLiteral("select sqlite_compileoption_used('TEMP_STORE=0')"));
            m_query.open();
            const bool onDisk = m_query.field(0).asInteger() != 0;
            m_query.close();
            if (onDisk)
                return;
            run(QStringLiteral("CREATE TEMP TABLE ImportObservanceKeys (OBSERVANCES_ID INTEGER PRIMARY KEY, "
                               "PATIENTS_ID INTEGER, DATE_CONSULTATION DATETIME)"));
            run(QStringLiteral("INSERT INTO temp.ImportObservanceKeys SELECT OBSERVANCES_ID, PATIENTS_ID, "
                               "DATE_CONSULTATION FROM Observances"));
            run(QStringLiteral("CREATE INDEX temp.ImportObservanceKeysByPatient ON ImportObservanceKeys "
                               "(PATIENTS_ID, DATE_CONSULTATION)"));
            // A row not taken yet stays for the next look for new keys.
            run(QStringLiteral("CREATE TEMP TRIGGER ImportObservanceKeysChanged AFTER UPDATE ON Observances BEGIN "
                               "UPDATE ImportObservanceKeys SET OBSERVANCES_ID = new.OBSERVANCES_ID, "
                               "PATIENTS_ID = new.PATIENTS_ID, DATE_CONSULTATION = new.DATE_CONSULTATION "
                               "WHERE OBSERVANCES_ID = old.OBSERVANCES_ID; END"));
            run(QStringLiteral("CREATE TEMP TRIGGER ImportObservanceKeysRemoved AFTER DELETE ON Observances BEGIN "
                               "DELETE FROM ImportObservanceKeys WHERE OBSERVANCES_ID = old.OBSERVANCES_ID; END"));
            m_keyCopy = true;
        } catch (const std::exception &error) {
            // The checks then ask the table itself, as slowly as before.
            LogWriter::write(QStringLiteral("Copie des clés des observances : ") + QString::fromUtf8(error.what()));
            dropKeyCopy();
        }
    }

    void run(const QString &sql)
    {
        m_query.setSqlText(sql);
        m_query.execSql();
    }
    // The triggers go first: a trigger left without its table would make
    // every write of an observance fail.
    void dropKeyCopy()
    {
        m_keyCopy = false;
        try {
            for (const char *sql : {"DROP TRIGGER IF EXISTS temp.ImportObservanceKeysChanged",
                                    "DROP TRIGGER IF EXISTS temp.ImportObservanceKeysRemoved",
                                    "DROP TABLE IF EXISTS temp.ImportObservanceKeys"})
                run(QString::fromLatin1(sql));
        } catch (const std::exception &error) {
            LogWriter::write(QStringLiteral("Copie des clés des observances : ") + QString::fromUtf8(error.what()));
        }
    }

    LocalQuery m_query;
    bool m_keyCopy = false;
    LocalCommand m_sameContent;
    LocalCommand m_sameTime;
    LocalCommand m_keyAdded;
    LocalCommand m_inStep;
    LocalCommand m_catchUp;
    LocalCommand m_remove;
    // The record's layout the content check was built for, its field names,
    // the patient's field and the compared fields, in the order of their
    // parameters from ?2 on.
    QList<FieldDef> m_layout;
    QStringList m_names;
    int m_patientField = -1;
    QList<int> m_compared;
    QVariantList m_values;
};
