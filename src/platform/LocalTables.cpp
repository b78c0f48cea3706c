#include "platform/LocalTables.h"

#include "platform/DecimalSeparator.h"
#include "platform/LocalConnection.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kDateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString quoted(const QString &identifier)
{
    return LocalConnection::quoted(identifier);
}

// Declared column types: they keep the field types in the table file.
QString declaredType(const FieldDef &def)
{
    switch (def.type) {
    case FieldType::String: return QStringLiteral("VARCHAR(%1)").arg(def.size);
    case FieldType::Integer: return QStringLiteral("INTEGER");
    case FieldType::Boolean: return QStringLiteral("BOOLEAN");
    case FieldType::Float: return QStringLiteral("FLOAT");
    case FieldType::Date: return QStringLiteral("DATE");
    case FieldType::DateTime: return QStringLiteral("DATETIME");
    case FieldType::AutoInc: return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case FieldType::Memo: return QStringLiteral("MEMO");
    }
    return QString();
}

// Field type from a declared type; false when it is none of ours.
bool typeFromDeclared(const QString &declared, FieldDef *def)
{
    const QString type = declared.trimmed().toUpper();
    if (type.startsWith(QLatin1String("VARCHAR"))) {
        def->type = FieldType::String;
        const int open = type.indexOf(QLatin1Char('(')), close = type.indexOf(QLatin1Char(')'));
        def->size = (open > 0 && close > open) ? type.mid(open + 1, close - open - 1).toInt() : 0;
        return true;
    }
    static const QHash<QString, FieldType> types = {
        {QStringLiteral("INTEGER"), FieldType::Integer}, {QStringLiteral("BOOLEAN"), FieldType::Boolean},
        {QStringLiteral("FLOAT"), FieldType::Float},     {QStringLiteral("DATE"), FieldType::Date},
        {QStringLiteral("DATETIME"), FieldType::DateTime}, {QStringLiteral("MEMO"), FieldType::Memo},
    };
    const auto it = types.find(type);
    if (it == types.end())
        return false;
    def->type = it.value();
    return true;
}

// A column of a query result without a declared type: from its first value.
FieldType typeFromValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong: return FieldType::Integer;
    case QMetaType::Double: return FieldType::Float;
    default: return FieldType::Memo;
    }
}

[[noreturn]] void conversionError(const QString &text, const QString &kind)
{
    throw LocalTablesError(QStringLiteral("'%1' n'est pas %2.").arg(text, kind));
}

QDateTime parseDateTime(const QString &text)
{
    static const QStringList formats = {
        QStringLiteral("dd/MM/yyyy HH:mm:ss"), QStringLiteral("dd/MM/yyyy HH:mm"), QStringLiteral("dd/MM/yyyy"),
        QStringLiteral("d/M/yyyy H:mm:ss"), QStringLiteral("d/M/yyyy H:mm"), QStringLiteral("d/M/yyyy"),
        kDateTimeFormat, QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"), kDateFormat,
    };
    for (const QString &format : formats) {
        QDateTime value = QDateTime::fromString(text, format);
        if (value.isValid())
            return value;
    }
    return {};
}

// The stored form of a value for a field type: null, qint64, double or text.
QVariant toStored(const FieldDef &def, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    const bool isText = value.typeId() == QMetaType::QString;
    // The value as text is wanted only for a text, or for an error message:
    // made for every date, it cost as much as the stored form itself.
    const auto text = [&value] { return value.toString(); };
    switch (def.type) {
    case FieldType::String:
    case FieldType::Memo: {
        if (value.typeId() == QMetaType::Bool)
            return value.toBool() ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        const QString string = text();
        if (string.isEmpty())
            return {};
        return def.type == FieldType::String && def.size > 0 ? string.left(def.size) : string;
    }
    case FieldType::Integer:
    case FieldType::AutoInc: {
        if (isText && text().trimmed().isEmpty())
            return {};
        bool ok = false;
        const qint64 number = isText ? text().trimmed().toLongLong(&ok) : value.toLongLong(&ok);
        if (!ok || number < INT32_MIN || number > INT32_MAX)
            conversionError(text(), QStringLiteral("une valeur entière correcte"));
        return number;
    }
    case FieldType::Float: {
        if (isText && text().trimmed().isEmpty())
            return {};
        bool ok = false;
        double number = 0;
        if (isText) {
            QString normal = text().trimmed();
            normal.replace(DecimalSeparator::system(), QLatin1Char('.'));
            number = QLocale::c().toDouble(normal, &ok);
        } else {
            number = value.toDouble(&ok);
        }
        if (!ok)
            conversionError(text(), QStringLiteral("une valeur à virgule flottante correcte"));
        return number;
    }
    case FieldType::Boolean: {
        if (!isText)
            return qint64(value.toBool() ? 1 : 0);
        const QString word = text().trimmed().toLower();
        if (word.isEmpty())
            return {};
        static const QStringList yes = {QStringLiteral("vrai"), QStringLiteral("true"), QStringLiteral("1"),
                                        QStringLiteral("oui"), QStringLiteral("v"), QStringLiteral("t")};
        static const QStringList no = {QStringLiteral("faux"), QStringLiteral("false"), QStringLiteral("0"),
                                       QStringLiteral("non"), QStringLiteral("f")};
        if (yes.contains(word))
            return qint64(1);
        if (no.contains(word))
            return qint64(0);
        conversionError(text(), QStringLiteral("une valeur booléenne correcte"));
    }
    case FieldType::Date:
    case FieldType::DateTime: {
        // A day for a date needs no time zone (its midnight, found in local
        // time, could only move the time).
        if (def.type == FieldType::Date && value.typeId() == QMetaType::QDate) {
            const QDate day = value.toDate();
            if (!day.isValid())
                conversionError(text(), QStringLiteral("une date correcte"));
            return StoredText::date(day);
        }
        QDateTime moment;
        if (value.typeId() == QMetaType::QDateTime)
            moment = value.toDateTime();
        else if (value.typeId() == QMetaType::QDate)
            moment = value.toDate().startOfDay();
        else if (!text().trimmed().isEmpty())
            moment = parseDateTime(text().trimmed());
        else
            return {};
        if (!moment.isValid())
            conversionError(text(), QStringLiteral("une date correcte"));
        return def.type == FieldType::Date ? StoredText::date(moment.date()) : StoredText::dateTime(moment);
    }
    }
    return {};
}

// Whether a text could be taken for a number by a column that prefers
// numbers (the engine converts such a text when it stores it): the engine's
// form of a number, spaces around it, a sign, digits with one point, an
// exponent. Looser than the engine where they differ (an exponent without
// digits), never stricter.
bool mayReadAsNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    const auto at = [&](qsizetype k) { return k < size ? text[k].unicode() : char16_t(0); };
    const auto isSpace = [](char16_t c) { return c == u' ' || (c >= 9 && c <= 13); };
    const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    while (isSpace(at(i)))
        ++i;
    if (at(i) == u'+' || at(i) == u'-')
        ++i;
    bool digits = false;
    for (; isDigit(at(i)); ++i)
        digits = true;
    if (at(i) == u'.')
        for (++i; isDigit(at(i)); ++i)
            digits = true;
    if (!digits)
        return false;
    if (at(i) == u'e' || at(i) == u'E') {
        ++i;
        if (at(i) == u'+' || at(i) == u'-')
            ++i;
        while (isDigit(at(i)))
            ++i;
    }
    while (isSpace(at(i)))
        ++i;
    return i == size;
}

// Whether the engine stores a value bound for a field exactly as it is, so
// that reading the row back would give the same value. Texts go unchanged
// into a String (text) column, and into the others unless they look like a
// number; integers into Integer and Boolean columns; doubles into Float
// (real) columns, except the two the engine does not keep: NaN (stored as
// null) and -0 (stored as 0).
bool storedAsBound(const FieldDef &def, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return true;
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString &text = *static_cast<const QString *>(value.constData());
        return text.isValidUtf16() && (def.type == FieldType::String || !mayReadAsNumber(text));
    }
    case QMetaType::LongLong:
        return def.type == FieldType::Integer || def.type == FieldType::AutoInc || def.type == FieldType::Boolean;
    case QMetaType::Double: {
        const double number = *static_cast<const double *>(value.constData());
        return def.type == FieldType::Float && !std::isnan(number) && !(number == 0 && std::signbit(number));
    }
    default: return false;
    }
}

// A DateTime as stored, "yyyy-MM-dd HH:mm:ss", read without the general
// parser (the same date and time in local time; the parser also worked out
// the start of the day, a second time-zone look-up).
QDateTime storedDateTime(const QString &text)
{
    const auto number = [&text](int from, int size) {
        int value = 0;
        for (int i = from; i < from + size; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    if (text.size() == 19 && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u' ' && text.at(13) == u':'
        && text.at(16) == u':') {
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2));
        if (date.isValid() && time.isValid())
            return QDateTime(date, time);
    }
    return QDateTime::fromString(text, kDateTimeFormat);
}

// The typed value of a stored value.
QVariant fromStored(const FieldDef &def, const QVariant &stored)
{
    if (!stored.isValid() || stored.isNull())
        return {};
    switch (def.type) {
    case FieldType::String:
    case FieldType::Memo: return stored.toString();
    case FieldType::Integer:
    case FieldType::AutoInc: return stored.toLongLong();
    case FieldType::Float: return stored.toDouble();
    case FieldType::Boolean: return stored.toLongLong() != 0;
    case FieldType::Date: {
        const QString text = stored.toString();
        const QDate date = QDate::fromString(text.left(10), kDateFormat);
        return date.isValid() ? QVariant(date) : QVariant(parseDateTime(text).date());
    }
    case FieldType::DateTime: {
        const QString text = stored.toString();
        const QDateTime moment = storedDateTime(text);
        return moment.isValid() ? QVariant(moment) : QVariant(parseDateTime(text));
    }
    }
    return stored;
}

QString displayOf(const FieldDef &def, const QVariant &stored)
{
    const QVariant value = fromStored(def, stored);
    if (value.isNull())
        return QString();
    switch (def.type) {
    case FieldType::Boolean: return value.toBool() ? QStringLiteral("Vrai") : QStringLiteral("Faux");
    case FieldType::Date: return value.toDate().toString(QStringLiteral("dd/MM/yyyy"));
    case FieldType::DateTime: {
        const QDateTime moment = value.toDateTime();
        if (moment.time() == QTime(0, 0))
            return moment.toString(QStringLiteral("dd/MM/yyyy"));
        return moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
    case FieldType::Float: {
        QString text = QLocale::c().toString(value.toDouble(), 'g', 15);
        text.replace(QLatin1Char('.'), DecimalSeparator::system());
        return text;
    }
    default: return value.toString();
    }
}

} // namespace

LocalTablesError::LocalTablesError(const QString &message)
    : std::runtime_error(message.toStdString()), m_message(message)
{
}

// --- LocalSession

namespace {
QStringList &sessionPasswords()
{
    static QStringList list;
    return list;
}
} // namespace

void LocalSession::addPassword(const QString &password)
{
    if (!sessionPasswords().contains(password))
        sessionPasswords().append(password);
}

void LocalSession::removeAllPasswords()
{
    sessionPasswords().clear();
    PreparedKeys::clear();
    LocalConnection::detachEverywhere();
}

QStringList LocalSession::passwords()
{
    return sessionPasswords();
}

void LocalSession::prepareKeys(const QString &folder, const QStringList &fileNames)
{
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    QStringList paths;
    for (const QString &name : fileNames)
        paths << base + name;
    PreparedKeys::prepare(paths, sessionPasswords());
}

// --- LocalField

const FieldDef &LocalField::def() const
{
    return m_dataSet->m_fields.at(m_index);
}

bool LocalField::isNull() const
{
    const QVariant stored = m_dataSet->currentValue(m_index);
    return !stored.isValid() || stored.isNull();
}

QVariant LocalField::storedValue() const
{
    return m_dataSet->currentValue(m_index);
}

QVariant LocalField::value() const
{
    return fromStored(def(), m_dataSet->currentValue(m_index));
}

QString LocalField::asString() const
{
    return displayOf(def(), m_dataSet->currentValue(m_index));
}

int LocalField::asInteger() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const int number = v.toString().trimmed().toInt(&ok);
        if (!ok)
            conversionError(v.toString(), QStringLiteral("une valeur entière correcte"));
        return number;
    }
    return int(v.toLongLong());
}

double LocalField::asFloat() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        const FieldDef asFloat{def().name, FieldType::Float, 0, false};
        return toStored(asFloat, v).toDouble();
    }
    return v.toDouble();
}

bool LocalField::asBoolean() const
{
    const QVariant v = value();
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const FieldDef asBool{def().name, FieldType::Boolean, 0, false};
        return toStored(asBool, v).toLongLong() != 0;
    }
    return v.toBool();
}

QDateTime LocalField::asDateTime() const
{
    const QVariant v = value();
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().startOfDay();
    if (v.typeId() == QMetaType::QString)
        return parseDateTime(v.toString().trimmed());
    return v.toDateTime();
}

QDate LocalField::asDate() const
{
    return asDateTime().date();
}

void LocalField::setValue(const QVariant &value)
{
    if (m_dataSet->m_state != LocalDataSet::State::Insert && m_dataSet->m_state != LocalDataSet::State::Edit)
        throw LocalTablesError(
            QStringLiteral("La table n'est pas en mode édition ou insertion (champ '%1').").arg(def().name));
    m_dataSet->setBufferValue(m_index, toStored(def(), value));
}

void LocalField::setAsString(const QString &text) { setValue(text); }
void LocalField::setAsInteger(int value) { setValue(value); }
void LocalField::setAsFloat(double value) { setValue(value); }
void LocalField::setAsBoolean(bool value) { setValue(value); }
void LocalField::setAsDateTime(const QDateTime &value) { setValue(value); }
void LocalField::setAsDate(const QDate &value) { setValue(value); }
void LocalField::clear() { setValue(QVariant()); }

// --- LocalDataSet

LocalDataSet::LocalDataSet(QObject *parent)
    : QObject(parent)
{
}

LocalDataSet::~LocalDataSet() = default;

namespace {
// The database folder with one trailing separator; the connection of the
// former folder is let go when it changes.
void setFolder(QString &folder, std::shared_ptr<LocalConnection> &connection, const QString &name)
{
    QString path = name;
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    if (path != folder)
        connection.reset();
    folder = path;
}

const std::shared_ptr<LocalConnection> &folderConnection(const QString &folder, std::shared_ptr<LocalConnection> &connection)
{
    if (folder.isEmpty())
        throw LocalTablesError(QStringLiteral("Aucun dossier de base de données n'est indiqué."));
    if (!connection)
        connection = LocalConnection::forFolder(folder);
    return connection;
}
} // namespace

void LocalDataSet::setDatabaseName(const QString &folder)
{
    setFolder(m_folder, m_connection, folder);
}

std::shared_ptr<LocalConnection> LocalDataSet::connection()
{
    return folderConnection(m_folder, m_connection);
}

void LocalDataSet::close()
{
    if (m_state == State::Inactive)
        return;
    m_state = State::Inactive;
    m_rowsPending = false;
    m_rows.clear();
    m_buffer.clear();
    m_current = -1;
    m_eof = m_bof = true;
    emit afterClose();
}

QStringList LocalDataSet::fieldNames() const
{
    QStringList names;
    for (const FieldDef &def : m_fields)
        names << def.name;
    return names;
}

int LocalDataSet::fieldIndex(const QString &name) const
{
    // Records are filled field by field by name: the index found last time
    // for the same spelling is tried first.
    const auto known = m_fieldLookup.constFind(name);
    if (known != m_fieldLookup.cend())
        return known.value();
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0) {
            if (m_fieldLookup.size() > 1024)
                m_fieldLookup.clear();
            m_fieldLookup.insert(name, i);
            return i;
        }
    }
    return -1;
}

LocalField LocalDataSet::field(const QString &name)
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw LocalTablesError(QStringLiteral("Champ '%1' introuvable.").arg(name));
    return LocalField(this, index);
}

LocalField LocalDataSet::field(int index)
{
    if (index < 0 || index >= m_fields.size())
        throw LocalTablesError(QStringLiteral("Champ n°%1 introuvable.").arg(index));
    return LocalField(this, index);
}

void LocalDataSet::setCurrent(int row)
{
    m_current = m_rows.isEmpty() ? -1 : std::clamp(row, 0, int(m_rows.size()) - 1);
    emit afterScroll();
}

void LocalDataSet::first()
{
    ensureRows();
    setCurrent(0);
    m_bof = true;
    m_eof = m_rows.isEmpty();
}

void LocalDataSet::last()
{
    ensureRows();
    setCurrent(int(m_rows.size()) - 1);
    m_eof = true;
    m_bof = m_rows.isEmpty();
}

void LocalDataSet::next()
{
    ensureRows();
    if (m_current + 1 >= m_rows.size()) {
        m_eof = true;
        return;
    }
    setCurrent(m_current + 1);
    m_bof = false;
    m_eof = false;
}

void LocalDataSet::prior()
{
    ensureRows();
    if (m_current <= 0) {
        m_bof = true;
        return;
    }
    setCurrent(m_current - 1);
    m_bof = false;
    m_eof = false;
}

void LocalDataSet::moveTo(int row)
{
    ensureRows();
    setCurrent(row);
    m_bof = m_current <= 0;
    m_eof = m_rows.isEmpty();
}

bool LocalDataSet::locate(const QStringList &names, const QVariantList &values, bool caseInsensitive)
{
    ensureRows();
    QList<int> indexes;
    QVariantList wanted;
    for (int i = 0; i < names.size(); ++i) {
        field(names.at(i)); // unknown names throw
        const int index = fieldIndex(names.at(i));
        indexes << index;
        wanted << fromStored(m_fields.at(index), toStored(m_fields.at(index), values.value(i)));
    }
    for (int row = 0; row < m_rows.size(); ++row) {
        bool match = true;
        for (int i = 0; i < indexes.size() && match; ++i) {
            const FieldDef &def = m_fields.at(indexes.at(i));
            const QVariant have = fromStored(def, m_rows.at(row).at(indexes.at(i)));
            const QVariant &want = wanted.at(i);
            if (have.isNull() || want.isNull())
                match = have.isNull() && want.isNull();
            else if (have.typeId() == QMetaType::QString)
                match = have.toString().compare(want.toString(), caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
            else
                match = have == want;
        }
        if (match) {
            moveTo(row);
            return true;
        }
    }
    return false;
}

QVariant LocalDataSet::value(int row, int fieldIndex) const
{
    ensureRows();
    if (row < 0 || row >= m_rows.size() || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return {};
    return fromStored(m_fields.at(fieldIndex), m_rows.at(row).at(fieldIndex));
}

QVariant LocalDataSet::storedValue(int row, int fieldIndex) const
{
    ensureRows();
    if (row < 0 || row >= m_rows.size() || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return {};
    return m_rows.at(row).at(fieldIndex);
}

QString LocalDataSet::displayText(int row, int fieldIndex) const
{
    ensureRows();
    if (row < 0 || row >= m_rows.size() || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return {};
    return displayOf(m_fields.at(fieldIndex), m_rows.at(row).at(fieldIndex));
}

QVariant LocalDataSet::currentValue(int index) const
{
    if (m_state == State::Insert || m_state == State::Edit)
        return m_buffer.value(index);
    ensureRows();
    if (m_current < 0 || m_current >= m_rows.size())
        return {};
    return m_rows.at(m_current).value(index);
}

void LocalDataSet::setBufferValue(int, const QVariant &)
{
    throw LocalTablesError(QStringLiteral("Le résultat d'une requête ne peut pas être modifié."));
}

// --- LocalTable

LocalTable::LocalTable(QObject *parent)
    : LocalDataSet(parent)
{
}

void LocalTable::setTableName(const QString &fileName)
{
    if (isActive())
        close();
    m_fileName = fileName;
}

QString LocalTable::filePath() const
{
    return m_folder + m_fileName;
}

bool LocalTable::exists() const
{
    return !m_fileName.isEmpty() && QFileInfo(filePath()).isFile();
}

QString LocalTable::schema() const
{
    return LocalConnection::schemaFor(m_fileName);
}

void LocalTable::attachFile(LocalConnection &db)
{
    // The engine refuses these settings inside a running transaction; a
    // file attached by a query or a transaction gets them at the table's next
    // opening or write outside one. Its rollback journal is kept in memory: a
    // write can still be rolled back, and a crash only costs rows that the
    // next start drops anyway.
    db.attach(m_fileName);
    if (m_scratch && sqlite3_get_autocommit(db.handle())) {
        db.exec(QStringLiteral("PRAGMA %1.synchronous = OFF").arg(quoted(schema())));
        db.exec(QStringLiteral("PRAGMA %1.journal_mode = MEMORY").arg(quoted(schema())));
    }
}

QString LocalTable::tableIdent() const
{
    return quoted(schema()) + QLatin1Char('.') + quoted(LocalConnection::tableFor(m_fileName));
}

void LocalTable::createTable(const QString &key)
{
    if (m_fileName.isEmpty())
        throw LocalTablesError(QStringLiteral("Aucun nom de table n'est indiqué."));
    if (exists())
        throw LocalTablesError(QStringLiteral("La table \"%1\" existe déjà.").arg(filePath()));
    if (m_defs.isEmpty())
        throw LocalTablesError(QStringLiteral("La table \"%1\" n'a aucun champ.").arg(filePath()));
    if (!QFileInfo(m_folder).isDir())
        throw LocalTablesError(QStringLiteral("Le dossier \"%1\" est introuvable.").arg(m_folder));
    close();
    auto db = connection();
    QStringList columns;
    for (const FieldDef &def : std::as_const(m_defs)) {
        QString column = quoted(def.name) + QLatin1Char(' ') + declaredType(def);
        if (def.required && def.type != FieldType::AutoInc)
            column += QStringLiteral(" NOT NULL");
        columns << column;
    }
    QStringList statements;
    statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(tableIdent(), columns.join(QStringLiteral(", ")));
    for (const IndexDef &index : std::as_const(m_indexes)) {
        if (index.primary)
            continue; // the AutoInc key is the primary index
        QStringList parts;
        for (const QString &name : index.fields)
            parts << quoted(name) + (index.caseInsensitive ? QStringLiteral(" COLLATE NOCASE") : QString());
        statements << QStringLiteral("CREATE %1INDEX %2.%3 ON %4 (%5)")
                          .arg(index.unique ? QStringLiteral("UNIQUE ") : QString(), quoted(schema()), quoted(index.name),
                               quoted(LocalConnection::tableFor(m_fileName)), parts.join(QStringLiteral(", ")));
    }
    try {
        db->attachWithKey(m_fileName, key);
        if (m_scratch) // the table is new: nothing of it needs forcing to disk either
            db->exec(QStringLiteral("PRAGMA %1.synchronous = OFF").arg(quoted(schema())));
        // A file being created has nothing to roll back to: interrupted, it is
        // unusable with or without a rollback journal, so it is made without
        // one (its content is still forced to disk when committed).
        const QString journal = QStringLiteral("PRAGMA %1.journal_mode = %2").arg(quoted(schema()));
        db->exec(journal.arg(QStringLiteral("OFF")));
        db->exec(QStringLiteral("BEGIN"));
        for (const QString &statement : std::as_const(statements))
            db->exec(statement);
        db->exec(QStringLiteral("COMMIT"));
        db->exec(journal.arg(QStringLiteral("DELETE")));
    } catch (const LocalTablesError &e) {
        try {
            db->exec(QStringLiteral("ROLLBACK"));
        } catch (const LocalTablesError &) {
        }
        try {
            db->detach(m_fileName);
        } catch (const LocalTablesError &) {
        }
        QFile::remove(filePath());
        throw LocalTablesError(QStringLiteral("Impossible de créer la table \"%1\" : %2").arg(filePath(), e.message()));
    }
}

void LocalTable::deleteTable()
{
    close();
    // The folder's connection is shared: detach the file for every user.
    connection()->detach(m_fileName);
    if (exists() && !QFile::remove(filePath()))
        throw LocalTablesError(QStringLiteral("Impossible de supprimer la table \"%1\".").arg(filePath()));
    QFile::remove(filePath() + QStringLiteral("-journal"));
}

void LocalTable::open()
{
    if (isActive())
        return;
    auto db = connection();
    attachFile(*db);
    // The stored layout.
    QList<FieldDef> fields;
    int keyField = -1;
    {
        LocalStatement info(*db, QStringLiteral("PRAGMA %1.table_info(%2)")
                                     .arg(quoted(schema()), quoted(LocalConnection::tableFor(m_fileName))));
        while (info.step()) {
            FieldDef def;
            def.name = info.columnValue(1).toString();
            if (!typeFromDeclared(info.columnValue(2).toString(), &def))
                def.type = FieldType::Memo;
            def.required = info.columnValue(3).toLongLong() != 0;
            if (info.columnValue(5).toLongLong() > 0 && def.type == FieldType::Integer) {
                def.type = FieldType::AutoInc;
                def.required = true;
                keyField = int(fields.size());
            }
            fields << def;
        }
    }
    if (fields.isEmpty())
        throw LocalTablesError(QStringLiteral("La table \"%1\" ne contient pas la table attendue.").arg(filePath()));
    setFields(fields);
    m_keyField = keyField;
    m_rowSql = {};
    m_state = State::Browse;
    m_postedRowId = -1;
    m_postedRow.clear();
    if (m_rowsOnDemand) {
        m_rowsPending = true;
        emit afterScroll();
    } else {
        readRows();
        first();
    }
    emit afterOpen();
}

void LocalTable::close()
{
    LocalDataSet::close();
    m_rowSql = {};
    m_rowIds.clear();
    m_postedRowId = -1;
    m_postedRow.clear();
}

void LocalTable::readPendingRows()
{
    readRows();
    m_rowsPending = false;
    // The current row stays the record posted last, else the first one.
    const int posted = m_postedRowId < 0 ? -1 : int(m_rowIds.indexOf(m_postedRowId));
    m_current = m_rows.isEmpty() ? -1 : std::max(posted, 0);
    m_bof = m_current <= 0;
    m_eof = m_rows.isEmpty();
    m_postedRowId = -1;
    m_postedRow.clear();
}

QVariant LocalTable::currentValue(int index) const
{
    if (m_rowsPending && m_state == State::Browse && m_postedRowId >= 0)
        return m_postedRow.value(index);
    return LocalDataSet::currentValue(index);
}

void LocalTable::setFilter(const QString &where, const QVariantMap &params)
{
    m_filter = where;
    m_filterParams = params;
}

void LocalTable::readRows()
{
    auto db = connection();
    QString sql = QStringLiteral("SELECT rowid, * FROM %1").arg(tableIdent());
    if (!m_filter.trimmed().isEmpty())
        sql += QStringLiteral(" WHERE ") + m_filter;
    sql += QStringLiteral(" ORDER BY rowid");
    LocalStatement select(*db, sql);
    select.bind(m_filterParams);
    m_rows.clear();
    m_rowIds.clear();
    while (select.step()) {
        QVector<QVariant> row(m_fields.size());
        for (int i = 0; i < m_fields.size(); ++i)
            row[i] = select.columnValue(i + 1);
        m_rowIds << select.columnValue(0).toLongLong();
        m_rows << row;
    }
}

QVector<QVariant> LocalTable::readRow(qint64 rowId)
{
    auto db = connection();
    if (m_rowSql.select.isEmpty())
        m_rowSql.select = QStringLiteral("SELECT * FROM %1 WHERE rowid = ?1").arg(tableIdent());
    LocalStatement select(*db, m_rowSql.select, LocalStatement::Reuse::Yes);
    select.bindAt(1, rowId);
    QVector<QVariant> row(m_fields.size());
    if (select.step()) {
        for (int i = 0; i < m_fields.size(); ++i)
            row[i] = select.columnValue(i);
    }
    return row;
}

void LocalTable::requireBrowse(const char *operation)
{
    if (m_state == State::Inactive)
        throw LocalTablesError(QStringLiteral("Opération impossible sur une table fermée (%1) : \"%2\".")
                                   .arg(QLatin1String(operation), filePath()));
    if (m_state != State::Browse)
        post();
}

void LocalTable::append()
{
    requireBrowse("ajout");
    m_buffer = QVector<QVariant>(m_fields.size());
    m_state = State::Insert;
}

void LocalTable::edit()
{
    if (m_state == State::Insert || m_state == State::Edit)
        return;
    requireBrowse("modification");
    ensureRows();
    if (m_current < 0) {
        append();
        return;
    }
    m_buffer = m_rows.at(m_current);
    m_state = State::Edit;
}

void LocalTable::setBufferValue(int index, const QVariant &stored)
{
    if (index == m_keyField)
        throw LocalTablesError(QStringLiteral("Le champ '%1' est numéroté par la table.").arg(m_fields.at(index).name));
    m_buffer[index] = stored;
}

void LocalTable::post()
{
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    for (int i = 0; i < m_fields.size(); ++i) {
        const FieldDef &def = m_fields.at(i);
        if (def.required && i != m_keyField && (m_buffer.at(i).isNull() || !m_buffer.at(i).isValid()))
            throw LocalTablesError(QStringLiteral("Le champ '%1' doit avoir une valeur.").arg(def.name));
    }
    auto db = connection();
    attachFile(*db);
    if (m_rowSql.insert.isEmpty()) {
        // The same for every record of the opened layout: built once.
        QStringList names, marks, sets;
        for (int i = 0; i < m_fields.size(); ++i) {
            if (i == m_keyField)
                continue;
            names << quoted(m_fields.at(i).name);
            marks << QStringLiteral("?%1").arg(names.size());
            sets << QStringLiteral("%1 = ?%2").arg(names.last()).arg(names.size());
        }
        m_rowSql.insert = names.isEmpty()
                            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(tableIdent())
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(tableIdent(), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        m_rowSql.update = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                            .arg(tableIdent(), sets.join(QStringLiteral(", ")))
                            .arg(names.size() + 1);
    }
    // Binds the buffer's values (the key left out) from position 1; the
    // number of values bound.
    const auto bindBuffer = [this](LocalStatement &statement) {
        int position = 0;
        for (int i = 0; i < m_fields.size(); ++i) {
            if (i != m_keyField)
                statement.bindAt(++position, m_buffer.at(i));
        }
        return position;
    };
    // The row as the file now holds it: the values just bound when the
    // engine keeps each of them as it is, else read back.
    const auto writtenRow = [this](qint64 rowId) {
        for (int i = 0; i < m_fields.size(); ++i) {
            if (i != m_keyField && !storedAsBound(m_fields.at(i), m_buffer.at(i)))
                return readRow(rowId);
        }
        QVector<QVariant> row = std::move(m_buffer);
        if (m_keyField >= 0)
            row[m_keyField] = rowId; // the key is the row's id
        return row;
    };
    if (m_state == State::Insert) {
        qint64 rowId = 0;
        {
            LocalStatement insert(*db, m_rowSql.insert, LocalStatement::Reuse::Yes);
            bindBuffer(insert);
            insert.step();
            rowId = sqlite3_last_insert_rowid(db->handle());
        }
        if (m_rowsPending) {
            // The other rows are still unread: keep only this one at hand.
            m_postedRowId = rowId;
            m_postedRow = writtenRow(rowId);
            m_state = State::Browse;
            m_buffer.clear();
            emit rowsChanged();
            emit afterScroll();
            return;
        }
        const auto position = std::upper_bound(m_rowIds.begin(), m_rowIds.end(), rowId) - m_rowIds.begin();
        m_rowIds.insert(position, rowId);
        m_rows.insert(position, writtenRow(rowId));
        m_state = State::Browse;
        m_buffer.clear();
        emit rowsChanged();
        moveTo(int(position));
    } else {
        {
            LocalStatement update(*db, m_rowSql.update, LocalStatement::Reuse::Yes);
            update.bindAt(bindBuffer(update) + 1, m_rowIds.at(m_current));
            update.step();
        }
        m_rows[m_current] = writtenRow(m_rowIds.at(m_current));
        m_state = State::Browse;
        m_buffer.clear();
        emit rowsChanged();
    }
}

void LocalTable::cancel()
{
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    m_state = State::Browse;
    m_buffer.clear();
    emit afterScroll();
}

void LocalTable::deleteRecord()
{
    if (m_state == State::Insert || m_state == State::Edit)
        cancel();
    ensureRows();
    if (m_state != State::Browse || m_current < 0)
        throw LocalTablesError(QStringLiteral("Aucun enregistrement à supprimer dans \"%1\".").arg(filePath()));
    auto db = connection();
    attachFile(*db);
    LocalStatement remove(*db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(tableIdent()), LocalStatement::Reuse::Yes);
    remove.bindAt(1, m_rowIds.at(m_current));
    remove.step();
    m_rows.removeAt(m_current);
    m_rowIds.removeAt(m_current);
    emit rowsChanged();
    moveTo(m_current);
}

void LocalTable::emptyTable()
{
    if (m_state == State::Insert || m_state == State::Edit)
        cancel();
    auto db = connection();
    attachFile(*db);
    db->exec(QStringLiteral("DELETE FROM %1").arg(tableIdent()));
    if (isActive()) {
        m_rowsPending = false;
        m_postedRowId = -1;
        m_postedRow.clear();
        m_rows.clear();
        m_rowIds.clear();
        emit rowsChanged();
        first();
    }
}

// --- LocalQuery

LocalQuery::LocalQuery(QObject *parent)
    : LocalDataSet(parent)
{
}

// Kept under their lower-case names: parameter names ignore letter case.
void LocalQuery::setParam(const QString &name, const QVariant &value)
{
    m_params.insert(name.toLower(), value);
}

QVariant LocalQuery::param(const QString &name) const
{
    return m_params.value(name.toLower());
}

void LocalQuery::open()
{
    if (isActive())
        return;
    auto db = connection();
    db->attachAvailable();
    LocalStatement select(*db, m_sql.join(QLatin1Char('\n')), LocalStatement::Reuse::Yes);
    select.bind(m_params);
    QList<FieldDef> fields;
    QList<bool> typed;
    for (int i = 0; i < select.columnCount(); ++i) {
        FieldDef def;
        def.name = select.columnName(i);
        typed << typeFromDeclared(select.columnDeclType(i), &def);
        fields << def;
    }
    QVector<QVector<QVariant>> rows;
    while (select.step()) {
        QVector<QVariant> row(fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            row[i] = select.columnValue(i);
            if (!typed.at(i) && !row.at(i).isNull()) {
                fields[i].type = typeFromValue(row.at(i));
                typed[i] = true;
            }
        }
        rows << row;
    }
    for (int i = 0; i < fields.size(); ++i) {
        if (!typed.at(i))
            fields[i].type = FieldType::Memo;
    }
    setFields(fields);
    m_rows = rows;
    m_state = State::Browse;
    first();
    emit afterOpen();
}

int LocalQuery::execSql()
{
    auto db = connection();
    db->attachAvailable();
    LocalStatement statement(*db, m_sql.join(QLatin1Char('\n')));
    statement.bind(m_params);
    while (statement.step()) {
    }
    return sqlite3_changes(db->handle());
}

// --- LocalCommand

void LocalCommand::setDatabaseName(const QString &folder)
{
    setFolder(m_folder, m_connection, folder);
}

QVariant LocalCommand::firstValue(const QVariantList &values)
{
    LocalConnection &db = *folderConnection(m_folder, m_connection);
    db.attachAvailable();
    LocalStatement statement(db, m_sql, LocalStatement::Reuse::Yes);
    for (int i = 0; i < values.size(); ++i)
        statement.bindAt(i + 1, values.at(i));
    return statement.step() ? statement.columnValue(0) : QVariant();
}

// --- LocalDataSetModel

LocalDataSetModel::LocalDataSetModel(LocalDataSet *dataSet, QObject *parent)
    : QAbstractTableModel(parent), m_dataSet(dataSet)
{
    const auto reset = [this] {
        beginResetModel();
        endResetModel();
    };
    connect(dataSet, &LocalDataSet::afterOpen, this, reset);
    connect(dataSet, &LocalDataSet::afterClose, this, reset);
    connect(dataSet, &LocalDataSet::rowsChanged, this, reset);
}

int LocalDataSetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataSet || !m_dataSet->isActive() ? 0 : m_dataSet->recordCount();
}

int LocalDataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataSet || !m_dataSet->isActive() ? 0 : int(m_dataSet->fields().size());
}

QVariant LocalDataSetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return m_dataSet->displayText(index.row(), index.column());
    if (role == Qt::EditRole)
        return m_dataSet->value(index.row(), index.column());
    return {};
}

QVariant LocalDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_dataSet->fields().size() ? m_dataSet->fields().at(section).name : QVariant();
    return section + 1;
}

// --- LocalTransaction

LocalTransaction::LocalTransaction(const QString &folder)
    : m_connection(LocalConnection::forFolder(folder))
{
    // A file cannot be attached once the transaction runs.
    m_connection->attachAvailable();
    m_connection->exec(QStringLiteral("BEGIN"));
    m_active = true;
}

LocalTransaction::~LocalTransaction()
{
    if (!m_active)
        return;
    try {
        rollback();
    } catch (const LocalTablesError &) {
        // Nothing more can be done here: an uncommitted transaction is
        // dropped by the engine when the connection closes.
    }
}

void LocalTransaction::commit()
{
    if (!m_active)
        return;
    m_connection->exec(QStringLiteral("COMMIT"));
    m_active = false;
}

void LocalTransaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    // A commit that failed on a disk or constraint error may have ended the
    // transaction already: there is nothing left to undo.
    if (!sqlite3_get_autocommit(m_connection->handle()))
        m_connection->exec(QStringLiteral("ROLLBACK"));
}

bool LocalTransaction::isRunning() const
{
    return m_active && !sqlite3_get_autocommit(m_connection->handle());
}

qint64 LocalTransaction::changes() const
{
    return sqlite3_total_changes(m_connection->handle());
}

// A savepoint is begun and ended once per imported file: its statements are
// prepared once and kept, as parsing them each time cost more than running them.
void LocalTransaction::runKept(const QString &sql)
{
    LocalStatement(*m_connection, sql, LocalStatement::Reuse::Yes).step();
}

void LocalTransaction::savepoint(const QString &name)
{
    runKept(QStringLiteral("SAVEPOINT ") + LocalConnection::quoted(name));
}

void LocalTransaction::release(const QString &name)
{
    runKept(QStringLiteral("RELEASE ") + LocalConnection::quoted(name));
}

void LocalTransaction::rollbackTo(const QString &name)
{
    const QString savepoint = LocalConnection::quoted(name);
    m_connection->exec(QStringLiteral("ROLLBACK TO ") + savepoint);
    m_connection->exec(QStringLiteral("RELEASE ") + savepoint);
}
