#include "reception/VerifiedCopy.h"

#include "core/Common.h"

#include <QFile>
#include <QSaveFile>

namespace {

constexpr qint64 kChunk = 256 * 1024;

} // namespace

bool CopyFileVerified(const QString &source, const QString &destination, QString *error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error)
            *error = in.errorString();
        return false;
    }
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error)
            *error = out.errorString();
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError) {
            if (error)
                *error = in.errorString();
            out.cancelWriting();
            return false;
        }
        if (out.write(chunk) != chunk.size()) {
            if (error)
                *error = out.errorString();
            out.cancelWriting();
            return false;
        }
    }
    if (!out.commit()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    if (!SameFileContent(source, destination, error)) {
        QFile::remove(destination);
        return false;
    }
    return true;
}
