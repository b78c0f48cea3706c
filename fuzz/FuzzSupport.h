#pragma once

// What every fuzz target sets up once: a private program folder whose log
// cannot grow (its name is taken by a folder), an import folder without
// attachments, and a fixed decimal separator.

#include "platform/DecimalSeparator.h"
#include "core/Globals.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace FuzzSupport {

inline void setUp()
{
    char pattern[] = "/tmp/tolvarenix-fuzz.XXXXXX";
    const char *home = ::mkdtemp(pattern);
    if (!home) {
        std::perror("mkdtemp");
        std::abort();
    }
    const QString folder = QString::fromLocal8Bit(home) + QStringLiteral("/");
    QDir().mkpath(folder + QStringLiteral("Obsidra.log"));
    qputenv("TOLVARENIX_HOME", QFile::encodeName(folder));
    Globals::ImportFolder = folder + QStringLiteral("ForImportation/");
    Globals::BaseFolder = folder + QStringLiteral("Base/");
    Globals::ForeignDecimalSeparator = QStringLiteral(".");
    DecimalSeparator::setOverride(u',');
}

inline void report(const QString &problem, const uint8_t *data, size_t size)
{
    if (problem.isEmpty())
        return;
    std::fprintf(stderr, "Invariant broken: %s (%zu bytes)\n", qPrintable(problem), size);
    (void)data;
    std::abort();
}

} // namespace FuzzSupport
