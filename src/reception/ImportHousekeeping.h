#pragma once

#include <QString>

// What the import does with the files around the reports it read: a copy
// of a declined report, and the documents no report took.
namespace ImportHousekeeping {

// A copy of a declined report beside it, so that the report stays whole
// waiting should its group not be committed; false when it could not be
// made (the report then stays).
bool keepDeclinedCopy(const QString &path);

// A documents folder goes where its report went: a report waiting or set
// aside keeps it; once the report is gone, what it did not register is set
// aside under its name and shown to the user, and a folder holding nothing
// but system leftovers goes.
void setLeftFoldersAside();

} // namespace ImportHousekeeping
