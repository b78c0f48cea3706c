#include "platform/OdbcDataSources.h"

#include <QDir>

#include <odbcinst.h>

#include <vector>

namespace {

constexpr char kIniName[] = "odbc.ini";

QString &lastErrorText()
{
    static QString text;
    return text;
}

// Every call of the installer works on the user's file only.
class UserMode
{
public:
    UserMode()
    {
        SQLGetConfigMode(&m_previous);
        SQLSetConfigMode(ODBC_USER_DSN);
    }
    ~UserMode() { SQLSetConfigMode(m_previous); }

private:
    UWORD m_previous = ODBC_BOTH_DSN;
};

QString installerError(const QString &what)
{
    QString text = what;
    for (WORD i = 1; i <= 8; ++i) {
        DWORD code = 0;
        char message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
        WORD length = 0;
        const RETCODE rc = SQLInstallerError(i, &code, message, sizeof message - 1, &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            break;
        text += QStringLiteral(" : ") + QString::fromLocal8Bit(message);
    }
    return text;
}

// The raw listing of a section's keys (or of the sections), NUL separated.
QStringList listing(const char *section)
{
    std::vector<char> buffer(65536);
    const int n = SQLGetPrivateProfileString(section, nullptr, "", buffer.data(), int(buffer.size()), kIniName);
    QStringList names;
    if (n <= 0)
        return names;
    const char *p = buffer.data();
    const char *end = buffer.data() + n;
    while (p < end && *p) {
        const QString name = QString::fromLocal8Bit(p);
        names << name;
        p += qstrlen(p) + 1;
    }
    return names;
}

} // namespace

bool OdbcDataSources::sectionExists(const QString &section)
{
    UserMode mode;
    return listing(nullptr).contains(section, Qt::CaseInsensitive);
}

bool OdbcDataSources::hasValue(const QString &section, const QString &key)
{
    UserMode mode;
    const QByteArray s = section.toLocal8Bit();
    return listing(s.constData()).contains(key, Qt::CaseInsensitive);
}

QString OdbcDataSources::value(const QString &section, const QString &key)
{
    UserMode mode;
    const QByteArray s = section.toLocal8Bit();
    const QByteArray k = key.toLocal8Bit();
    std::vector<char> buffer(4096);
    const int n = SQLGetPrivateProfileString(s.constData(), k.constData(), "", buffer.data(), int(buffer.size()),
                                             kIniName);
    return n > 0 ? QString::fromLocal8Bit(buffer.data(), n).trimmed() : QString();
}

bool OdbcDataSources::writeValue(const QString &section, const QString &key, const QString &value)
{
    UserMode mode;
    const QByteArray s = section.toLocal8Bit();
    const QByteArray k = key.toLocal8Bit();
    const QByteArray v = value.toLocal8Bit();
    if (!SQLWritePrivateProfileString(s.constData(), k.constData(), v.constData(), kIniName)) {
        lastErrorText() = installerError(QStringLiteral("Écriture de %1/%2 impossible").arg(section, key));
        return false;
    }
    return true;
}

bool OdbcDataSources::removeValue(const QString &section, const QString &key)
{
    UserMode mode;
    const QByteArray s = section.toLocal8Bit();
    const QByteArray k = key.toLocal8Bit();
    if (!SQLWritePrivateProfileString(s.constData(), k.constData(), nullptr, kIniName)) {
        lastErrorText() = installerError(QStringLiteral("Suppression de %1/%2 impossible").arg(section, key));
        return false;
    }
    return true;
}

bool OdbcDataSources::removeSection(const QString &section)
{
    UserMode mode;
    const QByteArray s = section.toLocal8Bit();
    if (!SQLWritePrivateProfileString(s.constData(), nullptr, nullptr, kIniName)) {
        lastErrorText() = installerError(QStringLiteral("Suppression de %1 impossible").arg(section));
        return false;
    }
    return true;
}

QString OdbcDataSources::userFile()
{
    const QByteArray env = qgetenv("ODBCINI");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QDir::homePath() + QStringLiteral("/.odbc.ini");
}

QString OdbcDataSources::lastError()
{
    return lastErrorText();
}
