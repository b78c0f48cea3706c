#include "platform/NameFolding.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

namespace NameFolding {

namespace {

// The base letter of an accented letter of the Windows-1252 repertoire, in
// capitals; 0 when the character is no accented letter.
char16_t baseLetter(char16_t c)
{
    switch (c) {
    case u'à': case u'á': case u'â': case u'ã': case u'ä': case u'å':
    case u'À': case u'Á': case u'Â': case u'Ã': case u'Ä': case u'Å': return u'A';
    case u'ç': case u'Ç': return u'C';
    case u'è': case u'é': case u'ê': case u'ë':
    case u'È': case u'É': case u'Ê': case u'Ë': return u'E';
    case u'ì': case u'í': case u'î': case u'ï':
    case u'Ì': case u'Í': case u'Î': case u'Ï': return u'I';
    case u'ñ': case u'Ñ': return u'N';
    case u'ò': case u'ó': case u'ô': case u'õ': case u'ö': case u'ø':
    case u'Ò': case u'Ó': case u'Ô': case u'Õ': case u'Ö': case u'Ø': return u'O';
    case u'ù': case u'ú': case u'û': case u'ü':
    case u'Ù': case u'Ú': case u'Û': case u'Ü': return u'U';
    case u'ý': case u'ÿ': case u'Ý': case u'Ÿ': return u'Y';
    case u'š': case u'Š': return u'S';
    case u'ž': case u'Ž': return u'Z';
    default: return 0;
    }
}

void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QByteArray result = folded(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(context, result.constData(), int(result.size()), SQLITE_TRANSIENT);
}

int frenchCollation(void *, int lengthA, const void *a, int lengthB, const void *b)
{
    return compare(QString::fromUtf8(static_cast<const char *>(a), lengthA),
                   QString::fromUtf8(static_cast<const char *>(b), lengthB));
}

} // namespace

QString folded(const QString &text)
{
    QString key;
    key.reserve(text.size());
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c >= u'a' && c <= u'z')
            key += QChar(char16_t(c - 32));
        else if (c < 128)
            key += ch;
        else if (c == u'œ' || c == u'Œ')
            key += QLatin1String("OE");
        else if (c == u'æ' || c == u'Æ')
            key += QLatin1String("AE");
        else if (const char16_t base = baseLetter(c))
            key += QChar(base);
        else
            key += ch;
    }
    return key;
}

int compare(const QString &a, const QString &b)
{
    if (const int order = folded(a).compare(folded(b)))
        return order < 0 ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

bool registerOn(sqlite3 *db)
{
    return sqlite3_create_function_v2(db, kSqlFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      &foldFunction, nullptr, nullptr, nullptr)
               == SQLITE_OK
        && sqlite3_create_collation_v2(db, kSqlCollation, SQLITE_UTF8, nullptr, &frenchCollation, nullptr)
               == SQLITE_OK;
}

} // namespace NameFolding
