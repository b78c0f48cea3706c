#include "LogWriter.h"

#include "Clock.h"
#include "ProgramFolder.h"
#include "Windows1252.h"

#include <QFile>

namespace {

QStringList &secrets()
{
    static QStringList list;
    return list;
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
    QString text = message;
    for (const QString &s : secrets())
        text.replace(s, QStringLiteral("********"));
    return text;
}
