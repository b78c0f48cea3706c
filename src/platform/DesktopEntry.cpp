#include "platform/DesktopEntry.h"

#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace {

// Quoting of one Exec argument: inside double quotes, ", `, $ and \ take a
// backslash.
QString quoteArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = argument.isEmpty();
    for (QChar c : argument)
        if (reserved.contains(c))
            needsQuotes = true;
    if (!needsQuotes)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

// Escapes of a string value of the key file format.
QString escapeValue(const QString &value)
{
    QString out;
    for (QChar c : value) {
        switch (c.unicode()) {
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

QString DesktopEntry::desktopFolder()
{
    const QString fromEnv = qEnvironmentVariable("XDG_DESKTOP_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString DesktopEntry::execValue(const QString &target, const QString &arguments)
{
    QStringList parts{quoteArgument(target)};
    const QStringList args = arguments.split(u' ', Qt::SkipEmptyParts);
    for (const QString &a : args) {
        // A literal percent sign is doubled; field codes are not used.
        QString arg = a;
        parts << quoteArgument(arg.replace(u'%', QStringLiteral("%%")));
    }
    return parts.join(u' ');
}

QByteArray DesktopEntry::content(const QString &name, const QString &comment, const QString &target,
                                 const QString &arguments, const QString &workingFolder, const QString &icon)
{
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Version=1.0\n");
    text += QStringLiteral("Name=") + escapeValue(name) + u'\n';
    text += QStringLiteral("Comment=") + escapeValue(comment) + u'\n';
    text += QStringLiteral("Exec=") + escapeValue(execValue(target, arguments)) + u'\n';
    text += QStringLiteral("Path=") + escapeValue(workingFolder) + u'\n';
    if (!icon.isEmpty())
        text += QStringLiteral("Icon=") + escapeValue(icon) + u'\n';
    text += QStringLiteral("Terminal=false\n");
    return text.toUtf8();
}

bool DesktopEntry::write(const QString &fileName, const QByteArray &content)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content) != content.size())
        return false;
    if (!file.commit())
        return false;
    return QFile::setPermissions(fileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                               | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                               | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                               | QFileDevice::ExeOther);
}
