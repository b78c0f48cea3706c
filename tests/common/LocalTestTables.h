#pragma once

#include "core/Globals.h"
#include "core/LocalDatabase.h"
#include "platform/ProgramFolder.h"
#include "TestHome.h"

#include <QDir>

// Creates and opens the local tables in the "Base/" folder of a test's
// program folder, which becomes BaseFolder; returns that folder.
inline QString openLocalTables(LocalDatabase &db, const TestHome &home)
{
    const QString base = home.path() + QStringLiteral("Base/");
    QDir().mkpath(base);
    Globals::BaseFolder = base;
    db.createAndOpen(base, ProgramFolder::configurationFile());
    return base;
}
