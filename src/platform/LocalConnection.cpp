#include "platform/LocalConnection.h"

#include "platform/LocalTables.h"
#include "platform/NameFolding.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QRandomGenerator>

// The low-level SHA-1 functions (deprecated, still provided by OpenSSL 3):
// the key derivation below copies their contexts instead of making a new
// keyed-hash object for each of its rounds.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <cstring>
#include <dirent.h>

#include <future>
#include <vector>

namespace {

// The plain main database of a folder's connection (see the constructor).
constexpr char kMainFileName[] = ".transactions";

QHash<QString, std::weak_ptr<LocalConnection>> &registry()
{
    static QHash<QString, std::weak_ptr<LocalConnection>> connections;
    return connections;
}

QString folderKey(const QString &folder)
{
    return QDir::cleanPath(QDir(folder).absolutePath()) + QLatin1Char('/');
}

// The first bytes of a plain (not encrypted) table file.
const QByteArray kPlainHeader("SQLite format 3\0", 16);
// What the engine keeps at the start of an encrypted file: the key's salt.
constexpr int kSaltSize = 16;
constexpr int kKeySize = 32;

QByteArray fileStart(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kSaltSize);
}

QString pragmaText(sqlite3 *db, const char *pragma)
{
    sqlite3_stmt *stmt = nullptr;
    QString value;
    if (sqlite3_prepare_v2(db, pragma, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return value;
}

// The rounds of the engine's key derivation for new connections, or 0 when
// it is not the one derived here: SQLCipher 3 derives with PBKDF2-HMAC-SHA1
// (a later engine derives otherwise, and a file made with a key derived here
// would then not open with its password).
int sha1KdfRounds()
{
    sqlite3 *db = nullptr;
    int rounds = 0;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
        && pragmaText(db, "PRAGMA cipher_version").startsWith(QLatin1String("3.")))
        rounds = pragmaText(db, "PRAGMA cipher_default_kdf_iter").toInt();
    sqlite3_close(db);
    return rounds;
}

// One block of the engine's key derivation, PBKDF2 with HMAC-SHA1: block
// number index (from 1) of the key derived from password and salt.
QByteArray pbkdf2Sha1Block(const QByteArray &password, const QByteArray &salt, int rounds, quint32 index)
{
    unsigned char key[SHA_CBLOCK] = {};
    if (password.size() > SHA_CBLOCK)
        SHA1(reinterpret_cast<const unsigned char *>(password.constData()), password.size(), key);
    else
        std::memcpy(key, password.constData(), password.size());
    unsigned char pad[SHA_CBLOCK];
    SHA_CTX inner, outer;
    for (int i = 0; i < SHA_CBLOCK; ++i)
        pad[i] = key[i] ^ 0x36;
    SHA1_Init(&inner);
    SHA1_Update(&inner, pad, SHA_CBLOCK);
    for (int i = 0; i < SHA_CBLOCK; ++i)
        pad[i] = key[i] ^ 0x5c;
    SHA1_Init(&outer);
    SHA1_Update(&outer, pad, SHA_CBLOCK);
    const auto hmac = [&](const unsigned char *data, std::size_t size, unsigned char *out) {
        SHA_CTX context = inner;
        unsigned char digest[SHA_DIGEST_LENGTH];
        SHA1_Update(&context, data, size);
        SHA1_Final(digest, &context);
        context = outer;
        SHA1_Update(&context, digest, SHA_DIGEST_LENGTH);
        SHA1_Final(out, &context);
    };
    QByteArray first = salt;
    for (int shift = 24; shift >= 0; shift -= 8)
        first += char((index >> shift) & 0xff);
    unsigned char u[SHA_DIGEST_LENGTH], t[SHA_DIGEST_LENGTH];
    hmac(reinterpret_cast<const unsigned char *>(first.constData()), first.size(), u);
    std::memcpy(t, u, sizeof t);
    for (int round = 1; round < rounds; ++round) {
        hmac(u, sizeof u, u);
        for (int i = 0; i < SHA_DIGEST_LENGTH; ++i)
            t[i] ^= u[i];
    }
    return QByteArray(reinterpret_cast<const char *>(t), sizeof t);
}

struct PreparedKey {
    QByteArray salt;
    // The key's blocks, derived on threads; read once they are there.
    std::vector<std::shared_future<QByteArray>> blocks;
    // Drawn for a file still to be created: given (with its salt) for the
    // first creation only, so no two files ever share a salt.
    bool forNewFile = false;
};

QMutex &preparedMutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<QString, PreparedKey> &preparedKeys() // by path + '\n' + password
{
    static QHash<QString, PreparedKey> keys;
    return keys;
}

QString preparedIndex(const QString &path, const QString &password)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath()) + QLatin1Char('\n') + password;
}

} // namespace

void PreparedKeys::prepare(const QStringList &paths, const QStringList &passwords)
{
    const int rounds = sha1KdfRounds();
    if (rounds <= 0)
        return;
    // Every block of every key on a thread of its own (or, when none can be
    // had, when it is asked for); nobody waits here: the key is waited for
    // when a file is opened with it.
    constexpr int kBlocks = (kKeySize + SHA_DIGEST_LENGTH - 1) / SHA_DIGEST_LENGTH;
    QMutexLocker lock(&preparedMutex());
    for (const QString &path : paths) {
        QByteArray salt = fileStart(path);
        const bool newFile = !QFileInfo::exists(path);
        if (newFile) {
            salt.resize(kSaltSize);
            QRandomGenerator::system()->generate(salt.begin(), salt.end());
        } else if (salt.size() < kSaltSize || salt == kPlainHeader) {
            continue; // nothing to derive: a plain or damaged file
        }
        for (const QString &password : passwords) {
            if (password.isEmpty())
                continue;
            const QString index = preparedIndex(path, password);
            // Already under way (derived ahead at start-up) and still right
            // for the file as it is now.
            const auto known = preparedKeys().constFind(index);
            if (known != preparedKeys().cend() && (newFile ? known->forNewFile : known->salt == salt))
                continue;
            PreparedKey key{salt, {}, newFile};
            const QByteArray secret = password.toUtf8();
            for (quint32 block = 1; block <= kBlocks; ++block)
                key.blocks.push_back(std::async(std::launch::async | std::launch::deferred, [secret, salt, rounds, block] {
                    return pbkdf2Sha1Block(secret, salt, rounds, block);
                }).share());
            preparedKeys().insert(index, std::move(key));
        }
    }
}

QString PreparedKeys::rawKeyFor(const QString &path, const QString &password)
{
    QMutexLocker lock(&preparedMutex());
    const auto it = preparedKeys().find(preparedIndex(path, password));
    if (it == preparedKeys().end())
        return {};
    QByteArray key;
    for (const std::shared_future<QByteArray> &block : it->blocks)
        key += block.get();
    key.truncate(kKeySize);
    // A new file takes the salt drawn for it; an existing one must still
    // have the salt the key was derived with (not replaced since).
    QByteArray hex;
    if (!QFileInfo::exists(path)) {
        if (!it->forNewFile)
            return {};
        it->forNewFile = false;
        hex = key.toHex() + it->salt.toHex();
    } else if (fileStart(path) == it->salt)
        hex = key.toHex();
    else
        return {};
    return QStringLiteral("x'%1'").arg(QString::fromLatin1(hex));
}

void PreparedKeys::clear()
{
    QMutexLocker lock(&preparedMutex());
    preparedKeys().clear();
}

QString LocalConnection::quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

std::shared_ptr<LocalConnection> LocalConnection::forFolder(const QString &folder)
{
    const QString key = folderKey(folder);
    std::shared_ptr<LocalConnection> connection = registry().value(key).lock();
    if (!connection) {
        connection = std::make_shared<LocalConnection>(key);
        registry().insert(key, connection);
    }
    return connection;
}

void LocalConnection::detachEverywhere()
{
    for (const auto &weak : std::as_const(registry())) {
        if (auto connection = weak.lock())
            connection->detachAll();
    }
}

LocalConnection::LocalConnection(const QString &folder)
    : m_folder(folder)
{
    // The main database is a small plain file of the folder, never a table:
    // with a main database in memory the engine commits each attached table
    // file on its own, so a process killed during a commit could keep an
    // observance without its document row. With a file, a transaction over
    // several table files commits as one (through a master journal beside
    // it). Without a folder to write in, the memory one still works.
    const QFileInfo folderInfo(folder);
    const QByteArray mainFile = folderInfo.isDir() && folderInfo.isWritable()
                                    ? QFile::encodeName(folder + QLatin1String(kMainFileName))
                                    : QByteArray(":memory:");
    // Only the thread that opens a connection uses it: the engine need not
    // lock it at each call (hundreds per imported report).
    if (sqlite3_open_v2(mainFile.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr)
        != SQLITE_OK) {
        const QString error = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("mémoire insuffisante");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw LocalTablesError(QStringLiteral("Impossible d'ouvrir le moteur de base de données : %1").arg(error));
    }
    // Refuse to run when the engine in the process does not encrypt.
    sqlite3_stmt *stmt = nullptr;
    bool cipher = false;
    if (sqlite3_prepare_v2(m_db, "PRAGMA cipher_version", -1, &stmt, nullptr) == SQLITE_OK)
        cipher = sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0) != nullptr;
    sqlite3_finalize(stmt);
    if (!cipher) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw LocalTablesError(QStringLiteral(
            "Le moteur de base de données ne sait pas chiffrer les tables : elles ne seront pas ouvertes."));
    }
    sqlite3_busy_timeout(m_db, 5000);
    // Temporary tables hold copies of table rows: never in a plain file.
    sqlite3_exec(m_db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    // Patient names are searched and sorted without regard to case and accents.
    if (!NameFolding::registerOn(m_db)) {
        const QString error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw LocalTablesError(QStringLiteral("Impossible d'ouvrir le moteur de base de données : %1").arg(error));
    }
}

LocalConnection::~LocalConnection()
{
    dropStatements();
    if (m_db)
        sqlite3_close_v2(m_db);
    auto it = registry().find(m_folder);
    if (it != registry().end() && it->expired())
        registry().erase(it);
}

QString LocalConnection::schemaFor(const QString &fileName)
{
    QString schema = QStringLiteral("tbl_");
    for (QChar c : tableFor(fileName).toLower())
        schema += (c.isLetterOrNumber() && c.unicode() < 128) ? c : QLatin1Char('_');
    return schema;
}

QString LocalConnection::tableFor(const QString &fileName)
{
    return QFileInfo(fileName).completeBaseName();
}

QString LocalConnection::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

void LocalConnection::exec(const QString &sql)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString error = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        throw LocalTablesError(QStringLiteral("Erreur du moteur de base de données : %1").arg(error));
    }
}

bool LocalConnection::tryAttach(const QString &fileName, const QString &key, QString *error)
{
    const QString schema = schemaFor(fileName);
    {
        LocalStatement attach(*this, QStringLiteral("ATTACH DATABASE ?1 AS ?2 KEY ?3"));
        attach.bindAt(1, m_folder + fileName);
        attach.bindAt(2, schema);
        attach.bindAt(3, key);
        try {
            attach.step();
        } catch (const LocalTablesError &e) {
            *error = e.message();
            return false;
        }
    }
    // The key is checked when the first page is read.
    try {
        LocalStatement check(*this, QStringLiteral("SELECT count(*) FROM %1.sqlite_master").arg(quoted(schema)));
        check.step();
    } catch (const LocalTablesError &e) {
        *error = e.message();
        sqlite3_exec(m_db, QStringLiteral("DETACH DATABASE %1").arg(quoted(schema)).toUtf8().constData(),
                     nullptr, nullptr, nullptr);
        return false;
    }
    m_attached.insert(fileName.toLower(), schema);
    dropStatements();
    return true;
}

void LocalConnection::attach(const QString &fileName)
{
    if (m_attached.contains(fileName.toLower()))
        return;
    if (!QFileInfo(m_folder + fileName).isFile())
        throw LocalTablesError(QStringLiteral("La table \"%1\" est introuvable.").arg(m_folder + fileName));
    const QString path = m_folder + fileName;
    QStringList keys;
    for (const QString &password : LocalSession::passwords()) {
        const QString raw = PreparedKeys::rawKeyFor(path, password);
        if (!raw.isEmpty())
            keys << raw;
        keys << password;
    }
    // A plain file is tried first with the empty key, which costs nothing,
    // rather than after a derivation of each password.
    if (fileStart(path) == kPlainHeader)
        keys.prepend(QString());
    else
        keys.append(QString());
    QString error;
    for (const QString &key : std::as_const(keys)) {
        if (tryAttach(fileName, key, &error))
            return;
    }
    throw LocalTablesError(QStringLiteral("Impossible d'ouvrir la table \"%1\" (mot de passe incorrect ou fichier endommagé) : %2")
                               .arg(m_folder + fileName, error));
}

void LocalConnection::attachWithKey(const QString &fileName, const QString &key)
{
    if (m_attached.contains(fileName.toLower()))
        return;
    QString error;
    const QString raw = key.isEmpty() ? QString() : PreparedKeys::rawKeyFor(m_folder + fileName, key);
    if (!raw.isEmpty() && tryAttach(fileName, raw, &error))
        return;
    if (!tryAttach(fileName, key, &error))
        throw LocalTablesError(QStringLiteral("Impossible d'ouvrir la table \"%1\" : %2").arg(m_folder + fileName, error));
}

void LocalConnection::detach(const QString &fileName)
{
    const auto it = m_attached.find(fileName.toLower());
    if (it == m_attached.end())
        return;
    dropStatements();
    exec(QStringLiteral("DETACH DATABASE %1").arg(quoted(it.value())));
    m_attached.erase(it);
}

void LocalConnection::detachAll()
{
    // Files cannot be detached inside a transaction: one still open when
    // the tables close (the program closing in the middle of a command) is
    // dropped, as it would be if the program ended there.
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    const QStringList files = m_attached.keys();
    for (const QString &file : files)
        detach(file);
}

bool LocalConnection::everyTableFileAttached() const
{
    // A bare read of the folder: most queries find every file attached, and
    // a sorted, filtered listing costs more than the query itself.
    DIR *dir = opendir(QFile::encodeName(m_folder).constData());
    if (!dir)
        return false;
    bool all = true;
    while (const dirent *entry = readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) && !m_attached.contains(name.toLower())) {
            all = false;
            break;
        }
    }
    closedir(dir);
    return all;
}

void LocalConnection::attachAvailable()
{
    // The engine attaches nothing inside a transaction (its beginning
    // attached what it could): no need to look at the folder then.
    if (!sqlite3_get_autocommit(m_db) || everyTableFileAttached())
        return;
    const QStringList files = QDir(m_folder).entryList({QStringLiteral("*.db")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString &file : files) {
        if (m_attached.contains(file.toLower()))
            continue;
        try {
            attach(file);
        } catch (const LocalTablesError &) {
            // Left out: a query naming its table then reports it missing.
        }
    }
}

namespace {
// Enough for every statement an import or a window runs again; texts built
// with values in them would otherwise pile up.
constexpr int kIdleStatementsKept = 64;
} // namespace

sqlite3_stmt *LocalConnection::takeStatement(const QString &sql)
{
    const auto it = m_idle.find(sql);
    if (it == m_idle.end())
        return nullptr;
    sqlite3_stmt *stmt = it->stmt;
    m_idle.erase(it);
    return stmt;
}

void LocalConnection::giveBackStatement(const QString &sql, sqlite3_stmt *stmt)
{
    // Nothing of this use may reach the next one: no row under way, no value.
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    // The texts are long (a table's every column): hashed once in the usual
    // case, where the cache is not full.
    if (m_idle.size() >= kIdleStatementsKept && !m_idle.contains(sql)) {
        auto oldest = m_idle.begin();
        for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
            if (it->lastUse < oldest->lastUse)
                oldest = it;
        }
        sqlite3_finalize(oldest->stmt);
        m_idle.erase(oldest);
    }
    IdleStatement &slot = m_idle[sql];
    if (slot.stmt) { // another statement of the same text ran meanwhile
        sqlite3_finalize(stmt);
        return;
    }
    slot = {stmt, ++m_uses};
}

void LocalConnection::dropStatements()
{
    for (const IdleStatement &idle : std::as_const(m_idle))
        sqlite3_finalize(idle.stmt);
    m_idle.clear();
}

// --- StoredText

namespace {
// Digits of a number from 0 to 10^width - 1, zero-padded.
void putDigits(char16_t *&out, int number, int width)
{
    for (int i = width - 1; i >= 0; --i, number /= 10)
        out[i] = char16_t(u'0' + number % 10);
    out += width;
}

// "yyyy-MM-dd" at out; false for a year the form cannot hold as four digits.
bool putDate(char16_t *&out, const QDate &day)
{
    int year = 0, month = 0, dayOfMonth = 0;
    day.getDate(&year, &month, &dayOfMonth);
    if (year < 1000 || year > 9999)
        return false;
    putDigits(out, year, 4);
    *out++ = u'-';
    putDigits(out, month, 2);
    *out++ = u'-';
    putDigits(out, dayOfMonth, 2);
    return true;
}
} // namespace

QString StoredText::date(const QDate &day)
{
    QString text(10, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    if (!day.isValid() || !putDate(out, day))
        return day.toString(QStringLiteral("yyyy-MM-dd"));
    return text;
}

QString StoredText::dateTime(const QDateTime &moment)
{
    const QDate day = moment.date();
    const QTime time = moment.time();
    QString text(19, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    if (!day.isValid() || !time.isValid() || !putDate(out, day))
        return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    *out++ = u' ';
    putDigits(out, time.hour(), 2);
    *out++ = u':';
    putDigits(out, time.minute(), 2);
    *out++ = u':';
    putDigits(out, time.second(), 2);
    return text;
}

// --- LocalStatement

LocalStatement::LocalStatement(LocalConnection &connection, const QString &sql, Reuse reuse)
    : m_connection(connection)
{
    if (reuse == Reuse::Yes && !sql.isEmpty()) {
        m_reusedSql = sql;
        m_stmt = connection.takeStatement(m_reusedSql);
        if (m_stmt)
            return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(connection.handle(), text.constData(), int(text.size()), &m_stmt, nullptr) != SQLITE_OK) {
        const QString error = connection.lastError();
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw LocalTablesError(QStringLiteral("Erreur dans la requête : %1").arg(error));
    }
    if (!m_stmt)
        throw LocalTablesError(QStringLiteral("La requête est vide."));
}

LocalStatement::~LocalStatement()
{
    if (!m_reusedSql.isEmpty() && m_stmt)
        m_connection.giveBackStatement(m_reusedSql, m_stmt);
    else
        sqlite3_finalize(m_stmt);
}

void LocalStatement::bindAt(int position, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, position);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int(m_stmt, position, value.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::Short:
            rc = sqlite3_bind_int64(m_stmt, position, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, position, value.toDouble());
            break;
        case QMetaType::QDate:
            rc = sqlite3_bind_text(m_stmt, position, StoredText::date(value.toDate()).toUtf8().constData(), -1,
                                   SQLITE_TRANSIENT);
            break;
        case QMetaType::QDateTime:
            rc = sqlite3_bind_text(m_stmt, position, StoredText::dateTime(value.toDateTime()).toUtf8().constData(), -1,
                                   SQLITE_TRANSIENT);
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob(m_stmt, position, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, position, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        throw LocalTablesError(QStringLiteral("Paramètre de requête refusé : %1").arg(m_connection.lastError()));
}

void LocalStatement::bind(const QVariantMap &params)
{
    // Most callers name their values in lower case already: those are found
    // as they are, the others through a lower-case copy made when needed.
    QMap<QString, QVariant> lower;
    bool lowered = false;
    const int count = sqlite3_bind_parameter_count(m_stmt);
    for (int i = 1; i <= count; ++i) {
        const char *name = sqlite3_bind_parameter_name(m_stmt, i);
        const QString key = name ? QString::fromUtf8(name + 1).toLower() : QString();
        const auto exact = params.constFind(key);
        if (exact != params.cend()) {
            bindAt(i, exact.value());
            continue;
        }
        if (!lowered) {
            for (auto it = params.cbegin(); it != params.cend(); ++it)
                lower.insert(it.key().toLower(), it.value());
            lowered = true;
        }
        bindAt(i, lower.value(key));
    }
}

bool LocalStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw LocalTablesError(QStringLiteral("Erreur du moteur de base de données : %1").arg(m_connection.lastError()));
}

int LocalStatement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString LocalStatement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString LocalStatement::columnDeclType(int column) const
{
    const char *type = sqlite3_column_decltype(m_stmt, column);
    return type ? QString::fromUtf8(type) : QString();
}

QVariant LocalStatement::columnValue(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column)),
                                          sqlite3_column_bytes(m_stmt, column)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_stmt, column)),
                                   sqlite3_column_bytes(m_stmt, column)));
    default:
        return QVariant();
    }
}
