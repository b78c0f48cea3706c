#include "core/LogWriter.h"

#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/Windows1252.h"

#include <QFile>

#include <algorithm>

namespace {

QStringList &secrets()
{
    static QStringList list;
    return list;
}

constexpr char kMask[] = "********";

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// A secret is masked only where it stands as a word of its own (or right
// after a "-p" switch), so that a short one never stars the same
// characters inside ordinary words and numbers.
bool standsAlone(const QString &text, qsizetype at, qsizetype length)
{
    const qsizetype end = at + length;
    const bool startsWord = isWordChar(text[at]);
    const bool endsWord = isWordChar(text[end - 1]);
    const auto separatedBefore = [&](qsizetype i) { return i == 0 || !isWordChar(text[i - 1]); };
    const bool switchValue = at >= 2 && text[at - 2] == u'-' && text[at - 1] == u'p' && separatedBefore(at - 2);
    const bool before = !startsWord || separatedBefore(at) || switchValue;
    const bool after = !endsWord || end == text.size() || !isWordChar(text[end]);
    return before && after;
}

} // namespace

QString LogWriter::entry(const QString &message, const QDateTime &when)
{
    // Short date, then the time unless it is exactly midnight.
    QString stamp = when.date().toString(QStringLiteral("dd/MM/yyyy"));
    if (when.time() != QTime(0, 0))
        stamp += u' ' + when.time().toString(QStringLiteral("HH:mm:ss"));
    return stamp + QStringLiteral(" : ") + QString(64, u'-') + QStringLiteral("\r\n") + masked(message)
         + QStringLiteral("\r\n");
}

bool LogWriter::writeTo(const QString &fileName, const QString &message, const QDateTime &when)
{
    try {
        QFile file(fileName);
        // The entries name patients: the file is the user's alone.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return false;
        const QByteArray bytes = Windows1252::encode(entry(message, when));
        const bool written = file.write(bytes) == bytes.size();
        file.close();
        return written && file.error() == QFileDevice::NoError;
    } catch (...) {
        return false;
    }
}

void LogWriter::write(const QString &message)
{
    writeTo(ProgramFolder::logFile(), message, Clock::now());
}

void LogWriter::addSecret(const QString &secret)
{
    if (!secret.isEmpty() && !secrets().contains(secret))
        secrets().append(secret);
}

void LogWriter::clearSecrets()
{
    secrets().clear();
}

QString LogWriter::masked(const QString &message)
{
    // Longer secrets first, so that one holding another is masked whole.
    QStringList list = secrets();
    std::stable_sort(list.begin(), list.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    QString text = message;
    for (const QString &secret : std::as_const(list)) {
        for (qsizetype at = text.indexOf(secret); at >= 0; at = text.indexOf(secret, at)) {
            if (standsAlone(text, at, secret.size())) {
                text.replace(at, secret.size(), QLatin1String(kMask));
                at += qsizetype(sizeof(kMask)) - 1;
            } else {
                at += 1;
            }
        }
    }
    return text;
}
